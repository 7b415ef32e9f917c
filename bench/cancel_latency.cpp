// tessaren-cancel-latency PICTURE RUNS: how soon a conversion ends once its stop flag is
// raised 100 ms into it (a large progressive JPEG spends that inside libjpeg's reading of
// its scans). Prints each run's milliseconds from the raised flag to the returned
// Cancelled, and the median.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "imaging/conversion.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s PICTURE RUNS\n", argv[0]);
    return 1;
  }
  const std::string bmp = std::string(argv[1]) + ".bmp";
  std::vector<double> latencies;
  for (int run = 0; run < std::max(1, std::atoi(argv[2])); ++run) {
    std::atomic<bool> stop{false};
    tessaren::ConversionRequest request;
    request.stop = &stop;
    std::chrono::steady_clock::time_point raised;
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      raised = std::chrono::steady_clock::now();
      stop = true;
    });
    const tessaren::ConversionResult result = tessaren::convertToBitmap(argv[1], bmp, request);
    const auto returned = std::chrono::steady_clock::now();
    stopper.join();
    if (!result.failure || result.failure->kind != tessaren::FailureKind::Cancelled) {
      std::fprintf(stderr, "run %d ended before the stop flag was raised\n", run + 1);
      return 1;
    }
    latencies.push_back(std::chrono::duration<double, std::milli>(returned - raised).count());
    std::printf("cancel_ms %.2f\n", latencies.back());
  }
  std::sort(latencies.begin(), latencies.end());
  std::printf("median_cancel_ms %.2f\n", latencies[latencies.size() / 2]);
  return 0;
}
