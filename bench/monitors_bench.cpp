// The wallpaper drawn from two pictures, each on its own monitor, against each picture drawn
// alone on its monitor, in one run, interleaved: the median times, the ratio of the pair to
// the sum of the two alone, and each variant's peak memory (a child process per variant).
// Usage: tessaren-monitors-bench [RUNS]. A benchmark, not a test: nothing fails on the figures.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "imaging/conversion.h"
#include "tests/support/test_pictures.h"

namespace {

using namespace tessaren;

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The peak resident memory of a child that draws once, in MiB.
double peakMiB(const std::function<void()>& draw) {
  const pid_t child = fork();
  if (child == 0) {
    draw();
    std::_Exit(0);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  return double(usage.ru_maxrss) / 1024;  // kilobytes on Linux
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 15;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("tessaren-monitors-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  // A 4K weather chart (JPEG) fills a landscape monitor; a tall radar picture (PNG) is
  // fitted on a portrait monitor beside it.
  const std::string chart = (dir / "chart.jpg").string(), radar = (dir / "radar.png").string();
  test::writeFile(
      chart, test::encodeJpeg({.width = 3840, .height = 2160}, test::weatherPixels(3840, 2160)));
  test::writeFile(
      radar, test::encodePng({.width = 1600, .height = 2400}, test::weatherPixels(1600, 2400)));
  const Monitor landscape{{0, 0, 1920, 1080}, true}, portrait{{1920, -420, 3000, 1500}, false};
  const std::string bmp = (dir / "out.bmp").string();

  const auto draw = [&](std::vector<WallpaperPicture> set, std::vector<Monitor> monitors) {
    return [=] {
      ConversionRequest request;
      request.monitors = monitors;
      if (drawWallpaper(set, bmp, request).failure) std::abort();
    };
  };
  struct Variant {
    const char* name;
    std::function<void()> run;
    std::vector<double> ms{};
  } variants[] = {
      {"chart alone on the landscape monitor",
       draw({{chart, DisplayMode::Fill, {landscape}}}, {landscape})},
      {"radar alone on the portrait monitor",
       draw({{radar, DisplayMode::Fit, {portrait}}}, {portrait})},
      {"both, one wallpaper",
       draw({{chart, DisplayMode::Fill, {landscape}}, {radar, DisplayMode::Fit, {portrait}}},
            {landscape, portrait})},
      {"today: the chart filled on both",
       draw({{chart, DisplayMode::Fill, {landscape, portrait}}}, {landscape, portrait})},
  };
  for (Variant& v : variants) v.run();  // warm-up
  for (int i = 0; i < runs; ++i) {
    for (Variant& v : variants) {
      const auto start = std::chrono::steady_clock::now();
      v.run();
      v.ms.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
    }
  }
  std::printf("%-40s %10s %12s\n", "variant", "median", "peak memory");
  for (Variant& v : variants)
    std::printf("%-40s %7.1f ms %8.1f MiB\n", v.name, median(v.ms), peakMiB(v.run));
  const double alone = median(variants[0].ms) + median(variants[1].ms);
  std::printf("both / (chart alone + radar alone) = %.2f (%d runs, medians)\n",
              median(variants[2].ms) / alone, runs);
  std::filesystem::remove_all(dir);
  return 0;
}
