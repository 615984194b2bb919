#include "player/formats/tags/codec_list.h"

#include "platform/system/folders.h"
#include "platform/system/profile.h"
#include "platform/system/text.h"

#include <filesystem>
#include <optional>

namespace qorve {
namespace {

constexpr std::size_t kCodecFieldBytes = 128;

std::optional<std::string> Lookup(const std::filesystem::path& file, std::string_view section, std::string_view key) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
  return ReadProfileFile(file).Find(section, key);
}

}  // namespace

std::string CodecListText(std::string_view section, std::string_view key, std::string_view defaultText) {
  std::optional<std::string> found = Lookup(SettingsFolder() / "Codec", section, key);
  if (!found) found = Lookup(ProgramFolder() / "Codec", section, key);
  const std::string text = found ? TextToUtf8(*found) : std::string(defaultText);
  return std::string(CutUtf8(text, kCodecFieldBytes - 1));
}

}  // namespace qorve
