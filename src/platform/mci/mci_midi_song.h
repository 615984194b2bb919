// MIDI files for the MCI devices that play them: telling a MIDI file from
// other media, and reading one with the MCI errors its failures give.
#pragma once

#include "platform/mci/mci.h"
#include "platform/midi/midi_file.h"

#include <optional>
#include <string>

namespace qorve {

// True when the file's first bytes are a Standard MIDI File header ("MThd")
// or a RIFF RMID file; false for anything else, or when it cannot be read.
bool HasMidiContent(const std::string& path);

// True for the extensions MIDI files go by: .mid, .midi and .rmi, in any case.
bool HasMidiExtension(const std::string& path);

// The song in `path`, or null with `error` set: MCIERR_FILE_NOT_FOUND when
// there is no such file, MCIERR_FILE_READ when it cannot be read,
// MCIERR_INVALID_FILE when it is not a regular file, is too large or is not a
// MIDI file.
std::optional<MidiSong> ReadMidiSongFile(const std::string& path, MCIERROR& error);

}  // namespace qorve
