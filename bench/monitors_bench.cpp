// The wallpaper drawn from two pictures, each on its own monitor, against each picture drawn
// alone on its monitor, in one run, interleaved: the median times, the ratio of the pair to
// the sum of the two alone, and each variant's peak memory (a fresh process each).
// Usage: tessaren-monitors-bench [RUNS]. A benchmark, not a test: nothing fails on the figures.
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

// The peak resident memory, in MiB, of a fresh process of this program that draws one
// variant once, as it reports it (VmHWM): a forked child's own figure would count the
// parent's pictures too.
double peakMiB(const std::string& dir, int variant) {
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 0;
  const std::string command = std::string(self) + " --once " + dir + " " + std::to_string(variant);
  FILE* child = popen(command.c_str(), "r");
  if (child == nullptr) return 0;
  double kilobytes = 0;
  if (std::fscanf(child, "%lf", &kilobytes) != 1) kilobytes = 0;
  pclose(child);
  return kilobytes / 1024;
}

// This process's peak resident memory in kilobytes.
long peakKilobytes() {
  FILE* status = std::fopen("/proc/self/status", "r");
  char line[256];
  long kilobytes = 0;
  while (status != nullptr && std::fgets(line, sizeof line, status))
    if (std::sscanf(line, "VmHWM: %ld", &kilobytes) == 1) break;
  if (status != nullptr) std::fclose(status);
  return kilobytes;
}

}  // namespace

int main(int argc, char** argv) {
  const bool once = argc == 4 && std::string(argv[1]) == "--once";
  const int runs = !once && argc > 1 ? std::atoi(argv[1]) : 15;
  const std::filesystem::path dir =
      once ? std::filesystem::path(argv[2])
           : std::filesystem::temp_directory_path() /
                 ("tessaren-monitors-bench-" + std::to_string(getpid()));
  // A 4K weather chart (JPEG) fills a landscape monitor; a tall radar picture (PNG) is
  // fitted on a portrait monitor beside it.
  const std::string chart = (dir / "chart.jpg").string(), radar = (dir / "radar.png").string();
  if (!once) {
    std::filesystem::create_directories(dir);
    test::writeFile(
        chart, test::encodeJpeg({.width = 3840, .height = 2160}, test::weatherPixels(3840, 2160)));
    test::writeFile(
        radar, test::encodePng({.width = 1600, .height = 2400}, test::weatherPixels(1600, 2400)));
  }
  const Monitor landscape{{0, 0, 1920, 1080}, true}, portrait{{1920, -420, 3000, 1500}, false};
  const std::string bmp = (dir / (once ? "once.bmp" : "out.bmp")).string();

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
      {"chart alone, the desktop's wallpaper",
       draw({{chart, DisplayMode::Fill, {landscape}}}, {landscape, portrait})},
      {"radar alone, the desktop's wallpaper",
       draw({{radar, DisplayMode::Fit, {portrait}}}, {landscape, portrait})},
      {"both, one wallpaper",
       draw({{chart, DisplayMode::Fill, {landscape}}, {radar, DisplayMode::Fit, {portrait}}},
            {landscape, portrait})},
      {"before: the chart filled on both",
       draw({{chart, DisplayMode::Fill, {landscape, portrait}}}, {landscape, portrait})},
  };
  if (once) {
    variants[std::atoi(argv[3])].run();
    std::printf("%ld\n", peakKilobytes());
    return 0;
  }
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
  for (std::size_t i = 0; i < std::size(variants); ++i)
    std::printf("%-40s %7.1f ms %8.1f MiB\n", variants[i].name, median(variants[i].ms),
                peakMiB(dir.string(), static_cast<int>(i)));
  const double both = median(variants[4].ms);
  std::printf("both / (each alone on the desktop's wallpaper) = %.2f\n",
              both / (median(variants[2].ms) + median(variants[3].ms)));
  std::printf("both / (each alone on its monitor only) = %.2f (%d runs, medians)\n",
              both / (median(variants[0].ms) + median(variants[1].ms)), runs);
  std::filesystem::remove_all(dir);
  return 0;
}
