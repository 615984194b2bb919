// SNESAPU.so: the sound-processor emulator that the SPC media class loads by
// name from the program folder. The caller writes the processor memory, extra
// memory and DSP registers into the blocks GetAPUData hands out, then FixAPU
// starts emulation of exactly that state (libgme's SPC emulator runs it).
#pragma once

#include <cstdint>

// The entries are the only symbols the module exports.
#define SNESAPU_EXPORT __attribute__((visibility("default")))

extern "C" {

// The module's own memory: 64 KiB of processor memory, the 64 bytes of extra
// memory mapped over its top, the four output ports, the 64 kHz timer counter,
// the 128 DSP registers, the voice records (8 × 128 bytes) and the two peak
// meters. Any out pointer may be null.
SNESAPU_EXPORT void GetAPUData(uint8_t** ram, uint8_t** extraRam, uint8_t** outPorts, uint32_t** t64Count, uint8_t** dsp,
                void** voices, uint32_t** peakLeft, uint32_t** peakRight);

// Output options for the next FixAPU: mixing routine (any non-zero value
// mixes), channels (1 or 2), bits (8 or 16), rate in Hz (SpcOutputRate of
// common/spc_output.h: 1000 to 768000, any other rate is 32000), interpolation
// (the emulator's own), and the option word, of which bit 2 (4,
// kSpcSurroundOption) widens the stereo image (pseudo surround). Channels and
// bits out of range keep the defaults: 2 channels, 16 bits.
SNESAPU_EXPORT void SetAPUOpt(uint32_t mixing, uint32_t channels, uint32_t bits, uint32_t rate, uint32_t interpolation,
               uint32_t options);

// Clears memory and registers and ends the running emulation. `amplification`
// scales the output: 0x20000 is the emulator's natural level, 0x10000 half.
SNESAPU_EXPORT void ResetAPU(uint32_t amplification);

// Starts emulating the memory and DSP registers as they now are, with these
// processor registers.
SNESAPU_EXPORT void FixAPU(uint16_t pc, uint8_t a, uint8_t x, uint8_t y, uint8_t psw, uint8_t sp);

// Renders `length` sample frames (type 1) or the frames of `length` processor
// clock cycles at 1.024 MHz (type 0) into `buffer` in the format of SetAPUOpt;
// silence when nothing is being emulated. Returns the end of what it wrote.
SNESAPU_EXPORT void* EmuAPU(void* buffer, uint32_t length, uint8_t type);

// Advances the emulation by `time` in 1/64,000 s, its output discarded (about
// 150 times faster than real time). `fast` is accepted for the caller's sake.
SNESAPU_EXPORT void SeekAPU(uint32_t time, uint8_t fast);
}
