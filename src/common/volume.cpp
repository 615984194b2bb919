#include "common/volume.h"

#include "platform/audio/mixer.h"

#include <algorithm>
#include <cstdlib>

namespace qorve {

int GetVolume(uint16_t& value) {
  return SystemMixer().ReadMaster(value) ? 1 : 0;
}

int SetVolume(uint16_t value) {
  return SystemMixer().WriteMaster(value) ? 1 : 0;
}

uint16_t VolumeAfterKeyUp(uint16_t value) {
  return static_cast<uint16_t>(std::min(value + kVolumeKeyStep, 65535));
}

uint16_t VolumeAfterKeyDown(uint16_t value) {
  return static_cast<uint16_t>(std::max(value - kVolumeKeyStep, 0));
}

uint16_t VolumeAfterWheel(uint16_t value, int delta) {
  if (delta == 0) return value;
  const int percent = std::abs(600 / delta);
  const int step = percent * 65535 / 100;
  if (delta > 1) return static_cast<uint16_t>(std::min(value + step, 65535));
  return static_cast<uint16_t>(std::max(value - step, 0));
}

int VolumeToPercent(uint16_t value) {
  return value / kVolumePercentFactor;
}

uint16_t PercentToVolume(int percent) {
  const long long value = static_cast<long long>(percent) * kVolumePercentFactor;
  return static_cast<uint16_t>(std::clamp(value, 0LL, 65535LL));
}

int BgmVolumeDefault(uint16_t masterVolume) {
  return VolumeToPercent(masterVolume) / 3;
}

}  // namespace qorve
