// Cost of the start-up settings read and of the time text the display redraws
// several times a second.
#include "common/settings.h"
#include "common/time_text.h"
#include "platform/audio/mixer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

namespace qorve {
namespace {

void BM_LoadSettingsFromFullFile(benchmark::State& state) {
  const auto folder = std::filesystem::temp_directory_path() / "qorve-bench-settings";
  setenv("QORVE_HOME", folder.c_str(), 1);
  SetSystemMixerForTesting(CreateVirtualMixer(65535));
  LoadSettings();
  SaveSettings(0);
  SaveSettings(1);
  for (auto _ : state) {
    LoadSettings();
    benchmark::DoNotOptimize(ProgramSettings().keysetVolumeDown);
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LoadSettingsFromFullFile);

void BM_FormatTime(benchmark::State& state) {
  double seconds = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FormatTime(seconds, 2, 1));
    seconds += 0.333;
  }
}
BENCHMARK(BM_FormatTime);

}  // namespace
}  // namespace qorve
