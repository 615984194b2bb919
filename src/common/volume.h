// The master volume (0..65535) and the one place for the arithmetic the player
// does on it. Percentages use the factor 655, so 100 percent is 65500.
// User-interface thread only.
#pragma once

#include <cstdint>

namespace qorve {

constexpr int kVolumeKeyStep = 3276;
constexpr int kVolumePercentFactor = 655;

// 1 on success, 0 when there is no mixer or volume control (value unchanged).
int GetVolume(uint16_t& value);
int SetVolume(uint16_t value);

// Volume-up key: + 3276, at most 65535.
uint16_t VolumeAfterKeyUp(uint16_t value);
// Volume-down key: − 3276, at least 0.
uint16_t VolumeAfterKeyDown(uint16_t value);

// Mouse wheel: the step is (600 ÷ delta, as a positive whole percent) of full
// scale; a delta above 1 turns it up, any other down. One notch (120) is 5
// percent. A delta of 0 (no turn) changes nothing.
uint16_t VolumeAfterWheel(uint16_t value, int delta);

// value ÷ 655.
int VolumeToPercent(uint16_t value);
// percent × 655, held to 0..65535.
uint16_t PercentToVolume(int percent);

// The default tray volume: a third of the master volume, in percent.
int BgmVolumeDefault(uint16_t masterVolume);

}  // namespace qorve
