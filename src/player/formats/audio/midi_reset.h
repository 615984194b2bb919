// The reset message sent to a MIDI port before a MIDI file plays.
#pragma once

#include <cstdint>
#include <span>

namespace qorve {

// The MIDISET RESET value that sends no reset at all.
constexpr int kNoMidiReset = 3;

// The system-exclusive message for a MIDISET RESET value: 0 GM System On,
// 1 GS Reset, any other XG System On (3 sends nothing: see SendMidiReset).
std::span<const uint8_t> MidiResetMessage(int reset);

// Sends the reset message chosen by `reset` to MIDI port `device` (-1: the
// MIDI mapper), then resets and closes the port. RESET 3 sends nothing; a
// port that cannot be opened is skipped silently.
void SendMidiReset(int device, int reset);

}  // namespace qorve
