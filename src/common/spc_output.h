// The SPC output settings as the settings program writes them, the SPC media
// class passes them on and the emulator module (SNESAPU.so) takes them: one
// definition of the surround option and of the rates, so that the three agree.
#pragma once

#include <cstdint>

namespace qorve {

// SPCSET SURND as the settings program writes it with pseudo surround on, and
// the bit of the emulator's option word that turns it on.
constexpr int kSpcSurroundSetting = 4;
constexpr uint32_t kSpcSurroundOption = 4;

// The option word for a stored SPCSET SURND: any value but 0 (which the
// settings program shows checked, including a 1 written by hand) is surround.
constexpr uint32_t SpcOptionWord(int surround) { return surround != 0 ? kSpcSurroundOption : 0; }

// The output rates the emulator renders at. SPCSET HZ is typed freely; a rate
// outside them plays at the sound processor's own 32,000 Hz.
constexpr int64_t kSpcLowestRate = 1000;
constexpr int64_t kSpcHighestRate = 768000;
constexpr uint32_t kSpcFallbackRate = 32000;

// The rate that is rendered, and announced to the output device, for `hz`.
constexpr uint32_t SpcOutputRate(int64_t hz) {
  return hz >= kSpcLowestRate && hz <= kSpcHighestRate ? static_cast<uint32_t>(hz) : kSpcFallbackRate;
}

}  // namespace qorve
