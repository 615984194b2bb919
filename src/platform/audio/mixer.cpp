#include "platform/audio/mixer.h"

#include <cstdlib>
#include <string>

namespace qorve {
namespace {

std::unique_ptr<Mixer>& CurrentMixer() {
  static std::unique_ptr<Mixer> mixer;
  return mixer;
}

std::unique_ptr<Mixer> MixerFromEnvironment() {
  const char* kind = std::getenv("QORVE_MIXER");
  if (kind && std::string(kind) == "virtual") {
    long start = 65535;
    if (const char* text = std::getenv("QORVE_MIXER_START")) {
      char* end = nullptr;
      const long value = std::strtol(text, &end, 10);
      if (end != text && value >= 0 && value <= 65535) start = value;
    }
    return CreateVirtualMixer(static_cast<uint16_t>(start));
  }
  return CreateAlsaMixer();
}

}  // namespace

Mixer& SystemMixer() {
  std::unique_ptr<Mixer>& mixer = CurrentMixer();
  if (!mixer) mixer = MixerFromEnvironment();
  return *mixer;
}

void SetSystemMixerForTesting(std::unique_ptr<Mixer> mixer) {
  CurrentMixer() = std::move(mixer);
}

}  // namespace qorve
