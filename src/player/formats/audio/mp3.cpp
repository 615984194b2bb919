#include "player/formats/audio/mp3.h"

#include "common/log.h"
#include "platform/system/clock.h"
#include "player/visual/video_window.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace qorve {
namespace {

// The module's file information record (272 bytes, little-endian).
struct InfoRecord {
  char title[128];
  char artist[128];
  int32_t channels;
  int32_t unused;
  int32_t rate;
  int32_t seconds;
};
static_assert(sizeof(InfoRecord) == 272);

constexpr double kLeadSeconds = 0.5;
// The largest second sent to the module: its milliseconds still fit an int.
constexpr double kLargestSecond = 2147483.0;

}  // namespace

struct MP3::Entries {
  using Call = int (*)();
  Call init = nullptr;
  Call free = nullptr;
  int (*open)(const char*, InfoRecord*) = nullptr;
  Call play = nullptr;
  Call pause = nullptr;
  Call restart = nullptr;
  Call stop = nullptr;
  Call close = nullptr;
  int (*getState)(int*) = nullptr;
  int (*seek)(int) = nullptr;
  Call getLastErrorNo = nullptr;

  bool Complete() const {
    return init && free && open && play && pause && restart && stop && close && getState && seek && getLastErrorNo;
  }
  int Seconds() const {
    int seconds = 0;
    getState(&seconds);
    return seconds;
  }
};

int MP3::ResultOfModuleError(int error) {
  if (error >= 1 && error <= 4) return kResultFileInUse;
  if (error == 10 || error == 11 || (error >= 20 && error <= 24)) return kResultUnsupported;
  if (error == 19) return kResultOutOfMemory;
  if (error == 25) return kResultDeviceInUse;
  if (error == 30 || error == 31) return kResultCodecNotFound;
  return kResultUnknownError;
}

MP3::MP3() {
  Log("MP3 コンストラクタ", 0);
  if (!module_.Load(kModuleName)) return;
  auto entries = std::make_unique<Entries>();
  entries->init = module_.EntryAs<Entries::Call>("vbmp3_init");
  entries->free = module_.EntryAs<Entries::Call>("vbmp3_free");
  entries->open = module_.EntryAs<int (*)(const char*, InfoRecord*)>("vbmp3_open");
  entries->play = module_.EntryAs<Entries::Call>("vbmp3_play");
  entries->pause = module_.EntryAs<Entries::Call>("vbmp3_pause");
  entries->restart = module_.EntryAs<Entries::Call>("vbmp3_restart");
  entries->stop = module_.EntryAs<Entries::Call>("vbmp3_stop");
  entries->close = module_.EntryAs<Entries::Call>("vbmp3_close");
  entries->getState = module_.EntryAs<int (*)(int*)>("vbmp3_getState");
  entries->seek = module_.EntryAs<int (*)(int)>("vbmp3_seek");
  entries->getLastErrorNo = module_.EntryAs<Entries::Call>("vbmp3_getLastErrorNo");
  // A module without every entry is as good as none.
  if (!entries->Complete()) {
    module_.Free();
    return;
  }
  entries_ = std::move(entries);
  entries_->init();
  playState_ = kStopped;
  info_.Kind = kKindSound;
}

MP3::~MP3() {
  Log("MP3 デストラクタ", 0);
  Close();
}

int MP3::Open(const std::string& path, const std::string& extension, WindowHandle) {
  DestroyVideoWindow();
  if (!entries_) return kResultLibraryNotFound;
  InfoRecord record{};
  if (entries_->open(path.c_str(), &record) == 0) return ResultOfModuleError(entries_->getLastErrorNo());
  info_.Length = record.seconds;
  SetInfoText(info_.FileName, std::filesystem::path(path).filename().string());
  SetInfoText(info_.Format, extension);
  SetInfoText(info_.Title, std::string_view(record.title, strnlen(record.title, sizeof record.title)));
  SetInfoText(info_.Artist, std::string_view(record.artist, strnlen(record.artist, sizeof record.artist)));
  info_.Channels = static_cast<uint8_t>(record.channels & 0xFF);
  info_.SampleRate = record.rate;
  return kResultSuccess;
}

int MP3::Close() {
  Log("VCMP3 解放処理", 0);
  if (!entries_) return 0;
  entries_->stop();
  entries_->close();
  entries_->free();
  entries_.reset();
  module_.Free();
  return 0;
}

int MP3::Play(double from) {
  if (!entries_) return 0;
  if (playState_ == kPaused) {
    const int seconds = entries_->Seconds();
    clockBase_ = TimeGetTime() - static_cast<uint32_t>(seconds) * 1000u;
    entries_->restart();
  } else {
    // A negative `from` (-1.0: start) plays from 0, so that the clock and the
    // module agree from the first moment.
    const int seconds = from > 0 ? static_cast<int>(std::min(from, kLargestSecond)) : 0;
    clockBase_ = TimeGetTime() - static_cast<uint32_t>(seconds) * 1000u;
    entries_->seek(seconds);
    entries_->play();
  }
  playState_ = kPlaying;
  return 0;
}

int MP3::Rewind(double position) {
  // No position at all (NaN, infinity) is no seek; a huge one is held.
  if (!entries_ || !std::isfinite(position)) return 0;
  entries_->seek(static_cast<int>(std::clamp(position, -kLargestSecond, kLargestSecond)));
  return 0;
}

int MP3::Pause() {
  playState_ = kPaused;
  if (entries_) entries_->pause();
  return 0;
}

int MP3::Stop() {
  Rewind(0.0);
  return Pause();
}

int MP3::TogglePause() {
  MediaState state{};
  GetStatus(state);
  if (state.PlayState == kPlaying) return Pause();
  return Play(-1.0);
}

void MP3::GetStatus(MediaState& out) {
  if (playState_ == kPlaying) {
    out.TimePos = static_cast<double>(TimeGetTime() - clockBase_) * 0.001 - kLeadSeconds;
  } else {
    out.TimePos = (entries_ ? entries_->Seconds() : 0) - kLeadSeconds;
  }
  out.PlayState = playState_;
}

}  // namespace qorve
