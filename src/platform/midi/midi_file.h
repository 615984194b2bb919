// Standard MIDI Files (formats 0, 1 and 2, also wrapped in a RIFF "RMID"
// file) read into one time-ordered list of the messages a MIDI port is sent,
// with their times in milliseconds after the tempo map.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace qorve {

struct MidiFileEvent {
  double milliseconds;
  std::vector<uint8_t> bytes;  // a complete channel message, or F0 ... F7
};

struct MidiSong {
  std::vector<MidiFileEvent> events;  // by time; events at one time keep file order
  double lengthMilliseconds = 0;      // time of the last event of any track (end of track included)
};

// Null when the bytes are not a standard MIDI file (no header, no track, a
// division of 0). Tracks cut short keep the events read so far.
std::optional<MidiSong> ParseMidiFile(std::string_view bytes);

}  // namespace qorve
