#include "player/formats/tags/tag_files.h"

#include "player/formats/tags/codec_list.h"
#include "player/formats/tags/tag_readers.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace qorve {
namespace {

// The largest ID3v2 tag read whole; frames beyond it are not seen (a tag that
// large is pictures, and text frames come first).
constexpr std::size_t kMaxId3v2Bytes = 16 * 1024 * 1024;

// Reads a regular file's bytes; a FIFO or device could block, so nothing else
// is opened.
class FileBytes {
 public:
  explicit FileBytes(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return;
    file_.open(path, std::ios::binary);
    if (!file_) return;
    file_.seekg(0, std::ios::end);
    const std::streamoff end = file_.tellg();
    size_ = end > 0 ? static_cast<std::size_t>(end) : 0;
  }
  bool ok() const { return file_.is_open() && static_cast<bool>(file_); }
  std::size_t size() const { return size_; }

  // Up to `count` bytes at `offset` (fewer at the end of the file).
  std::string Read(std::size_t offset, std::size_t count) {
    if (!file_.is_open() || offset >= size_) return {};
    count = std::min(count, size_ - offset);
    std::string bytes(count, '\0');
    file_.clear();
    file_.seekg(static_cast<std::streamoff>(offset));
    file_.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(file_.gcount(), 0)));
    return bytes;
  }
  std::string Tail(std::size_t count) {
    const std::size_t take = std::min(count, size_);
    return Read(size_ - take, take);
  }

 private:
  std::ifstream file_;
  std::size_t size_ = 0;
};

}  // namespace

void ReadMidiTitleFile(const std::string& path, MediaInfo& info) {
  FileBytes file(path);
  if (file.ok()) ReadMidiTitle(file.Read(0, kMidiTitleHeadBytes), info);
}

void ReadRiffWaveFile(const std::string& path, MediaInfo& info) {
  FileBytes file(path);
  if (!file.ok()) return;
  ReadRiffWave(file.Read(0, kRiffHeadBytes), file.Tail(kRiffInfoTailBytes), CodecListText, info);
}

void ReadAsfFile(const std::string& path, MediaInfo& info) {
  FileBytes file(path);
  if (file.ok()) ReadAsfTags(file.Read(0, kAsfHeadBytes), info);
}

void ReadId3File(const std::string& path, MediaInfo& info) {
  {
    FileBytes file(path);
    if (!file.ok()) return;
    std::string head = file.Read(0, 10);
    const std::size_t tagBytes = Id3v2TagBytes(head);
    if (tagBytes > 0) head = file.Read(0, std::min(tagBytes, kMaxId3v2Bytes));
    // A file shorter than 128 bytes has no ID3v1 tag.
    const std::string last128 = file.size() >= 128 ? file.Tail(128) : std::string();
    ReadId3(head, last128, info);
  }
  ReadMpegFrameHeaderFile(path, info);
}

void ReadMpegFrameHeaderFile(const std::string& path, MediaInfo& info) {
  FileBytes file(path);
  if (!file.ok()) return;
  // The search starts after an ID3v2 tag: a tag longer than the search window
  // (any tag with a picture) would otherwise hide the first frame, and the
  // tag's own bytes could look like a frame header.
  const std::size_t start = Id3v2TagBytes(file.Read(0, 10));
  ReadMpegFrameHeader(file.Read(start, kMpegSearchBytes), info);
}

void ReadTagsForExtension(const std::string& path, std::string_view extension, MediaInfo& info) {
  if (extension == "MID" || extension == "MIDI") {
    ReadMidiTitleFile(path, info);
  } else if (extension == "WAV") {
    ReadRiffWaveFile(path, info);
  } else if (extension == "WMA") {
    ReadAsfFile(path, info);
  } else if (extension == "MP3") {
    ReadId3File(path, info);
  }
}

}  // namespace qorve
