#include "platform/midi/sound_font.h"

#include "platform/system/text.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string_view>

namespace qorve {

bool IsSoundFontFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream file(path, std::ios::binary);
  char head[12] = {};
  file.read(head, sizeof head);
  const std::string_view bytes(head, static_cast<std::size_t>(file.gcount()));
  return bytes.size() == 12 && bytes.starts_with("RIFF") && bytes.substr(8, 4) == "sfbk";
}

std::filesystem::path FindSoundFontIn(const std::vector<std::filesystem::path>& folders) {
  for (const std::filesystem::path& folder : folders) {
    for (const char* name : {"default-GM.sf2", "default-GM.sf3"}) {
      if (IsSoundFontFile(folder / name)) return folder / name;
    }
  }
  for (const std::filesystem::path& folder : folders) {
    std::vector<std::filesystem::path> fonts;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string extension = it->path().extension().string();
      if (EqualsIgnoreCase(extension, ".sf2") || EqualsIgnoreCase(extension, ".sf3")) fonts.push_back(it->path());
    }
    std::sort(fonts.begin(), fonts.end());
    for (const std::filesystem::path& font : fonts) {
      if (IsSoundFontFile(font)) return font;
    }
  }
  return {};
}

std::filesystem::path FindSoundFont() {
  if (const char* chosen = std::getenv("QORVE_SOUNDFONT"); chosen && *chosen) {
    return IsSoundFontFile(chosen) ? std::filesystem::path(chosen) : std::filesystem::path();
  }
  return FindSoundFontIn({"/usr/share/sounds/sf2", "/usr/share/sounds/sf3", "/usr/share/soundfonts"});
}

}  // namespace qorve
