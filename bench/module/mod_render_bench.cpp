// Render speed of the module engine in times real time, beside
// `openmpt123 --render` with its default settings (48 kHz float WAV, 8-tap
// interpolation) on the same files in the same run, and the time the length
// measurement takes. Every figure is the best of several runs, which is the
// one least disturbed by other work on the machine.
// Usage: mod_render_bench [--runs N] [--no-openmpt] FILE...
#include "player/module/mod_player.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct OpenMptRender {
  double seconds = -1;  // best wall-clock time, -1 when it failed
  double length = 0;    // of the music it rendered, in seconds
};

// `runs` runs of `openmpt123 --render` on a copy of `file` in a private folder
// (it writes FILE.wav beside its input). It decides the song's length itself,
// read back from the size of its 48 kHz stereo float output.
OpenMptRender OpenMptRenderSeconds(const fs::path& file, int runs) {
  const fs::path folder = fs::temp_directory_path() / ("qorve_mod_bench_" + std::to_string(getpid()));
  fs::create_directories(folder);
  const fs::path copy = folder / file.filename();
  fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
  const std::string command = "openmpt123 --render --quiet --force '" + copy.string() + "' >/dev/null 2>&1";
  OpenMptRender result;
  for (int run = 0; run < runs; ++run) {
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const double elapsed = Since(start);
    if (status != 0) {
      result.seconds = -1;
      break;
    }
    result.seconds = result.seconds < 0 ? elapsed : std::min(result.seconds, elapsed);
  }
  std::error_code ec;
  const auto bytes = fs::file_size(folder / (file.filename().string() + ".wav"), ec);
  if (!ec) result.length = static_cast<double>(bytes) / (48000.0 * 2 * 4);
  fs::remove_all(folder);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qorve;
  int runs = 5;
  bool openmpt = true;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--no-openmpt") == 0) {
      openmpt = false;
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: mod_render_bench [--runs N] [--no-openmpt] FILE...\n");
    return 2;
  }
  std::printf("%-32s %3s %7s %9s %10s %10s %12s %12s %6s\n", "module", "ch", "length", "measure", "qorve ms",
              "qorve x rt", "openmpt ms", "openmpt x rt", "ratio");
  for (const std::string& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
    ModPlayer* player = ModCreate();
    const std::string name = fs::path(file).filename().string();
    if (!ModLoad(player, image.data(), static_cast<int64_t>(image.size()))) {
      std::printf("%-32s rejected\n", name.c_str());
      ModDestroy(player);
      continue;
    }
    ModSetRate(player, 44100);
    ModSetLoop(player, 0);
    auto start = Clock::now();
    const int seconds = ModMeasureSeconds(player, 1800);
    const double measure = Since(start);

    // The whole song, as far as the measured length, from its start each run.
    std::vector<uint8_t> pcm(44100 * 4);
    double render = -1;
    for (int run = 0; run < runs; ++run) {
      ModReset(player);
      start = Clock::now();
      for (int s = 0; s < seconds; ++s) ModRender(player, pcm.data(), 44100);
      const double elapsed = Since(start);
      render = render < 0 ? elapsed : std::min(render, elapsed);
    }
    const OpenMptRender theirs = openmpt ? OpenMptRenderSeconds(file, std::max(1, runs / 2 + 1)) : OpenMptRender{};
    std::printf("%-32s %3d %6ds %8.4fs %10.1f %9.0fx", name.c_str(), player->channels, seconds, measure,
                render * 1000, seconds / render);
    // The ratio compares speeds in times real time: the two may differ on the song's length.
    if (theirs.seconds > 0 && theirs.length > 0) {
      const double theirSpeed = theirs.length / theirs.seconds;
      std::printf(" %12.1f %11.0fx %6.2f\n", theirs.seconds * 1000, theirSpeed, seconds / render / theirSpeed);
    } else {
      std::printf(" %12s %12s %6s\n", "-", "-", "-");
    }
    ModDestroy(player);
  }
  return 0;
}
