// Format check shared by the backends, and the one place that picks a backend.
#include "platform/audio/wave_out.h"

#include <cstdlib>
#include <mutex>
#include <string_view>

namespace qorve {
namespace {

std::mutex factoryMutex;
WaveOutFactory& InstalledFactory() {
  static WaveOutFactory factory;
  return factory;
}

std::unique_ptr<WaveOutDevice> DeviceFromEnvironment() {
  const char* setting = std::getenv("QORVE_AUDIO");
  const std::string_view audio = setting ? setting : "";
  if (audio.empty() || audio == "alsa") {
    const char* name = std::getenv("QORVE_AUDIO_DEVICE");
    return CreateAlsaWaveOut(name && *name ? name : "default");
  }
  for (const auto& [prefix, pace] : {std::pair{std::string_view("wav:"), CapturePace::RealTime},
                                     std::pair{std::string_view("wav-fast:"), CapturePace::Fast}}) {
    if (audio.starts_with(prefix) && audio.size() > prefix.size()) {
      CaptureOptions options;
      options.path = std::string(audio.substr(prefix.size()));
      options.pace = pace;
      return CreateCaptureWaveOut(std::move(options));
    }
  }
  return nullptr;
}

}  // namespace

MMRESULT CheckPcmFormat(const WAVEFORMATEX& format) {
  const uint32_t bits = format.wBitsPerSample;
  const bool ok = format.wFormatTag == WAVE_FORMAT_PCM && (bits == 8 || bits == 16 || bits == 24 || bits == 32) &&
                  format.nChannels >= 1 && format.nChannels <= 8 && format.nSamplesPerSec >= 1000 &&
                  format.nSamplesPerSec <= 768000 && format.nBlockAlign == format.nChannels * (bits / 8);
  return ok ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

std::unique_ptr<WaveOutDevice> CreateWaveOutDevice() {
  {
    std::lock_guard lock(factoryMutex);
    if (InstalledFactory()) return InstalledFactory()();
  }
  return DeviceFromEnvironment();
}

void SetWaveOutFactory(WaveOutFactory factory) {
  std::lock_guard lock(factoryMutex);
  InstalledFactory() = std::move(factory);
}

}  // namespace qorve
