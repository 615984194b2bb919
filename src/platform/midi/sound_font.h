// Finding the General MIDI sound font the MIDI synthesizer plays with.
#pragma once

#include <filesystem>
#include <vector>

namespace qorve {

// The sound font: the file QORVE_SOUNDFONT names when that is set (and none
// when it is not a sound font), else the first found by FindSoundFontIn in
// the system's sound font folders (/usr/share/sounds/sf2, /usr/share/sounds/sf3,
// /usr/share/soundfonts). Empty when there is none.
std::filesystem::path FindSoundFont();

// The system's default General MIDI font ("default-GM.sf2", then
// "default-GM.sf3") in the first folder that has one, else the first other
// .sf2 or .sf3 file by name in the first folder that has one. Only files that
// can be read and begin as a sound font (RIFF "sfbk") count, so a dangling
// alternatives link is passed over.
std::filesystem::path FindSoundFontIn(const std::vector<std::filesystem::path>& folders);

// True when `path` is a readable file that begins as a sound font.
bool IsSoundFontFile(const std::filesystem::path& path);

}  // namespace qorve
