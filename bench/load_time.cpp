// The time the program takes to load each picture file into its source picture (ReadSourcePicture,
// the file read included), the median and the least of the runs, for web_engine_bench.sh, which
// sets it beside the page engine's loadPicture on the same files.
//
//   load_time RUNS PICTURE [PICTURE ...]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

#include "picture/loading.h"

int main(int argc, char** argv) {
  const int runs = argc > 2 ? std::atoi(argv[1]) : 0;
  if (runs < 1) {
    std::fprintf(stderr, "usage: %s RUNS PICTURE [PICTURE ...]\n", argv[0]);
    return 2;
  }
  try {
    for (int i = 2; i < argc; ++i) {
      std::vector<double> times;
      int width = 0, height = 0;
      for (int run = 0; run < runs; ++run) {
        const auto started = std::chrono::steady_clock::now();
        const TBitmap picture = ReadSourcePicture(argv[i], PictureKindOf(argv[i]));
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
        width = picture.Width();
        height = picture.Height();
      }
      std::sort(times.begin(), times.end());
      std::printf("%s %d x %d: median %.2f ms, least %.2f ms (%d runs)\n", argv[i], width, height,
                  times[times.size() / 2], times.front(), runs);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
