#include "player/formats/audio/openmpt.h"

#include "common/log.h"
#include "player/module/mod.h"
#include "player/visual/video_window.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <vector>

namespace qorve {
namespace {

enum class ReadResult { kRead, kUnreadable, kTooLarge, kOutOfMemory };

// The bytes of a regular file of at most OPENMPT::kMaxFileBytes, read whole;
// the size is checked before anything is allocated.
ReadResult ReadBoundedFile(const std::string& path, std::vector<uint8_t>& bytes) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return ReadResult::kUnreadable;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return ReadResult::kUnreadable;
  if (size > OPENMPT::kMaxFileBytes) return ReadResult::kTooLarge;
  std::ifstream in(path, std::ios::binary);
  if (!in) return ReadResult::kUnreadable;
  try {
    bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return ReadResult::kOutOfMemory;
  }
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  return static_cast<std::uintmax_t>(in.gcount()) == size ? ReadResult::kRead : ReadResult::kUnreadable;
}

// libopenmpt reports what it skipped or repaired in a module; the player has
// nowhere to show it, and a hostile file could fill any log with it.
void DropMessage(const char*, void*) {}

// One metadata item of the module as UTF-8 ("" when it has none).
std::string Metadata(openmpt_module* module, const char* key) {
  const char* value = openmpt_module_get_metadata(module, key);
  if (value == nullptr) return {};
  std::string text(value);
  openmpt_free_string(value);
  return text;
}

constexpr double kSeekLeadSeconds = 1.0;
// libopenmpt's row times are sums of tick lengths: 7.2 s may come back as
// 7.2000000000000055.
constexpr double kSeekToleranceSeconds = 1e-9;
constexpr std::size_t kSeekBlockFrames = 4096;

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

void OPENMPT::ModuleDeleter::operator()(openmpt_module* module) const { openmpt_module_destroy(module); }

OPENMPT::OPENMPT() {
  Log("OPENMPTコンストラクタ", 0);
  info_.Kind = kKindSound;
}

OPENMPT::~OPENMPT() {
  Log("OPENMPTデストラクタ", 0);
  CloseStream();
  module_.reset();
}

int OPENMPT::Open(const std::string& path, const std::string& extension, WindowHandle) {
  DestroyVideoWindow();
  CloseStream();
  module_.reset();

  std::vector<uint8_t> image;
  switch (ReadBoundedFile(path, image)) {
    case ReadResult::kRead: break;
    case ReadResult::kUnreadable: return kResultFileNotFound;
    case ReadResult::kTooLarge: return kResultWrongExtension;
    case ReadResult::kOutOfMemory: return kResultOutOfMemory;
  }
  int error = OPENMPT_ERROR_OK;
  module_.reset(openmpt_module_create_from_memory2(image.data(), image.size(), &DropMessage, nullptr,
                                                   &openmpt_error_func_store, nullptr, &error, nullptr, nullptr));
  image = std::vector<uint8_t>();
  if (!module_) return error == OPENMPT_ERROR_OUT_OF_MEMORY ? kResultOutOfMemory : kResultWrongExtension;
  // Once through, as the MOD class plays its songs: a jump back ends the song.
  openmpt_module_set_repeat_count(module_.get(), 0);
  // No dither on the 16-bit output: the module plays the same samples every
  // time and from every restart, as our own engine does.
  openmpt_module_ctl_set_integer(module_.get(), "dither", 0);

  // Whole seconds, the second in which the song ends counting whole; a song
  // libopenmpt cannot measure (infinite) is held like one that never ends.
  const double duration = openmpt_module_get_duration_seconds(module_.get());
  const double limit = MOD::kMaxLengthSeconds;
  info_.Length = std::isfinite(duration) && duration >= 0.0 ? std::clamp(std::ceil(duration), 1.0, limit) : limit;

  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = MOD::kRate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 4;
  format.nAvgBytesPerSec = format.nSamplesPerSec * 4;
  format.cbSize = 0;
  if (const int result = OpenStream(format); result != kResultSuccess) return result;

  SetInfoText(info_.FileName, std::filesystem::path(path).filename().string());
  SetInfoText(info_.Format, UpperCase(extension));
  SetInfoText(info_.Title, Metadata(module_.get(), "title"));
  SetInfoText(info_.Artist, Metadata(module_.get(), "artist"));
  SetInfoText(info_.Codec, Metadata(module_.get(), "type_long"));
  return kResultSuccess;
}

void OPENMPT::Fill(uint8_t* buffer, uint32_t bytes) {
  // The ring's buffers are whole frames within one allocation: aligned for
  // 16-bit samples.
  auto* out = reinterpret_cast<int16_t*>(buffer);
  const std::size_t frames = bytes / 4;
  std::size_t done = 0;
  while (done < frames) {
    const std::size_t rendered =
        openmpt_module_read_interleaved_stereo(module_.get(), MOD::kRate, frames - done, out + done * 2);
    if (rendered == 0) break;  // the end of the song
    done += rendered;
  }
  std::memset(buffer + done * 4, 0, bytes - done * 4);
}

void OPENMPT::SeekSource(double from) {
  openmpt_module* module = module_.get();
  // libopenmpt lands on the first row that starts at or after the time it is
  // given. Landing on a row up to kSeekLeadSeconds earlier and rendering the
  // rest away starts the sound where the time shown starts; past the end the
  // module stands at its end and renders nothing.
  const double at = openmpt_module_set_position_seconds(module, std::max(0.0, from - kSeekLeadSeconds));
  if (at > from + kSeekToleranceSeconds) {
    openmpt_module_set_position_seconds(module, from);  // a row longer than the lead: its start after `from`
    return;
  }
  const auto frames = static_cast<std::size_t>(std::max(0L, std::lround((from - at) * MOD::kRate)));
  std::vector<int16_t> scratch(kSeekBlockFrames * 2);
  for (std::size_t done = 0; done < frames;) {
    const std::size_t rendered = openmpt_module_read_interleaved_stereo(
        module, MOD::kRate, std::min(kSeekBlockFrames, frames - done), scratch.data());
    if (rendered == 0) break;
    done += rendered;
  }
}

}  // namespace qorve
