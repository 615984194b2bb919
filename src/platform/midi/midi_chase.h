// The messages that bring a MIDI port or synthesizer to the channel state a
// song has at some point, so that playing can start there.
#pragma once

#include "platform/midi/midi_file.h"

#include <cstddef>
#include <vector>

namespace qorve {

// Of song.events[0, upto): the messages that set channel state (controllers,
// programs, channel pressure, pitch bend) and the system-exclusive ones, in
// file order. Notes and polyphonic key pressure are left out: no note is
// restarted. A value that a later message before `upto` sets again is left
// out as well, except where a later message reads it: bank select (read by
// the next program change), the RPN and NRPN numbers and data entry.
std::vector<const MidiFileEvent*> ChaseEvents(const MidiSong& song, std::size_t upto);

}  // namespace qorve
