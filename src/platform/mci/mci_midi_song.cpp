#include "platform/mci/mci_midi_song.h"

#include "platform/system/text.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace qorve {
namespace {

// Far beyond any real song; keeps a mistaken open of a huge file cheap.
constexpr std::uintmax_t kMaxFileBytes = 64 * 1024 * 1024;

}  // namespace

bool HasMidiContent(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;  // reading a FIFO would block
  std::ifstream file(path, std::ios::binary);
  char head[12] = {};
  file.read(head, sizeof head);
  const std::string_view bytes(head, static_cast<std::size_t>(file.gcount()));
  if (bytes.starts_with("MThd")) return true;
  return bytes.size() == 12 && bytes.starts_with("RIFF") && bytes.substr(8, 4) == "RMID";
}

bool HasMidiExtension(const std::string& path) {
  const std::string extension = std::filesystem::path(path).extension().string();
  return EqualsIgnoreCase(extension, ".mid") || EqualsIgnoreCase(extension, ".midi") ||
         EqualsIgnoreCase(extension, ".rmi");
}

std::optional<MidiSong> ReadMidiSongFile(const std::string& path, MCIERROR& error) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    error = MCIERR_FILE_NOT_FOUND;
    return std::nullopt;
  }
  if (!std::filesystem::is_regular_file(path, ec) || std::filesystem::file_size(path, ec) > kMaxFileBytes) {
    error = MCIERR_INVALID_FILE;
    return std::nullopt;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = MCIERR_FILE_READ;
    return std::nullopt;
  }
  const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (file.bad()) {
    error = MCIERR_FILE_READ;
    return std::nullopt;
  }
  std::optional<MidiSong> song = ParseMidiFile(bytes);
  if (!song) error = MCIERR_INVALID_FILE;
  return song;
}

}  // namespace qorve
