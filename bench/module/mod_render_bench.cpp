// Render speed of the module engine in times real time, beside openmpt123
// rendering the same files in the same run, and the time the length
// measurement takes. Usage: mod_render_bench FILE...
#include "player/module/mod_player.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Seconds openmpt123 takes to render the whole song to raw 16-bit PCM at
// 44.1 kHz with `taps` interpolation taps (2: linear), or -1 when it fails.
double OpenMptSeconds(const std::string& file, int taps) {
  // The output format follows the file's extension.
  const std::string output = "/tmp/qorve_mod_bench_" + std::to_string(getpid()) + ".raw";
  const std::string command = "openmpt123 --batch --quiet --samplerate 44100 --no-float --filter " +
                              std::to_string(taps) + " --force -o '" + output + "' '" + file + "' >/dev/null 2>&1";
  const auto start = Clock::now();
  const int status = std::system(command.c_str());
  const double elapsed = Since(start);
  std::remove(output.c_str());
  return status == 0 ? elapsed : -1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qorve;
  if (argc < 2) {
    std::fprintf(stderr, "usage: mod_render_bench FILE...\n");
    return 2;
  }
  std::printf("%-28s %4s %7s %10s %12s %14s %14s\n", "module", "ch", "length", "measure", "qorve x rt",
              "openmpt x rt", "openmpt lin x");
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
    ModPlayer* player = ModCreate();
    if (!ModLoad(player, image.data(), static_cast<int64_t>(image.size()))) {
      std::printf("%-28s rejected\n", argv[i]);
      ModDestroy(player);
      continue;
    }
    ModSetRate(player, 44100);
    ModSetLoop(player, 0);
    auto start = Clock::now();
    const int seconds = ModMeasureSeconds(player, 1800);
    const double measure = Since(start);

    std::vector<uint8_t> pcm(44100 * 4);
    start = Clock::now();
    for (int s = 0; s < seconds; ++s) ModRender(player, pcm.data(), 44100);
    const double render = Since(start);
    const double ours = seconds / render;
    const double theirs = OpenMptSeconds(argv[i], 8);
    const double theirsLinear = OpenMptSeconds(argv[i], 2);
    std::string name = argv[i];
    name = name.substr(name.find_last_of('/') + 1);
    std::printf("%-28s %4d %6ds %9.4fs %11.0fx %13.0fx %13.0fx\n", name.c_str(), player->channels, seconds, measure,
                ours, theirs > 0 ? seconds / theirs : 0.0, theirsLinear > 0 ? seconds / theirsLinear : 0.0);
    ModDestroy(player);
  }
  return 0;
}
