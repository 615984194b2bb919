// Fixed tables of the tracker module engine: the modulation waveforms, the
// multi-retrigger volume changes, the Amiga fine periods and the MOD layout's
// period-to-note table and signatures.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace qorve {

// Seven rows of 64 signed values: 0 sine, 1 negated sine, 2 falling ramp,
// 3 rising ramp, 4 square, 5 inverted square, 6 fixed pseudo-random.
extern const int8_t kModWaveforms[7][64];
// Rows used by vibrato, tremolo and panbrello waveforms 0 … 3.
extern const uint8_t kModEffectWaveformRow[4];
// Rows used by auto-vibrato types 0 … 3 (type 4 is random).
extern const uint8_t kModAutoVibratoRow[4];

// Multi-retrigger volume change by nibble: multiplier in sixteenths (0: the
// additive table applies), and additive volume steps.
extern const uint8_t kModRetriggerMultiplier[16];
extern const int8_t kModRetriggerAdd[16];

// Amiga fine periods, index 8 + note-in-octave × 8 + ⌊finetune ÷ 16⌋.
extern const uint16_t kModAmigaFinePeriods[105];

// MOD layout: the period of each note from 24 upwards (84 entries).
extern const uint16_t kModPeriodTable[84];

struct ModSignature {
  char text[5];
  int channels;
  int samples;  // sample headers: 31 or 15
};
// Every signature at byte 1080 that the MOD loader accepts, in the order tried.
extern const std::array<ModSignature, 52> kModSignatures;

}  // namespace qorve
