#include "player/formats/audio/mcisound.h"

#include "common/log.h"
#include "common/settings.h"
#include "player/formats/audio/midi_reset.h"
#include "player/formats/tags/tag_files.h"
#include "player/visual/video_window.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>

namespace qorve {
namespace {

constexpr std::string_view kCdName = "音楽ＣＤ";

bool IsMidi(const std::string& extension) { return extension == "MID" || extension == "MIDI"; }

}  // namespace

int OpenResultFromMciError(MCIERROR error) {
  switch (error) {
    case MCIERR_OUT_OF_MEMORY:
      return kResultOutOfMemory;
    case MCIERR_FILE_NOT_FOUND:
    case MCIERR_FILENAME_REQUIRED:
    case MCIERR_FILE_READ:
      return kResultFileNotFound;
    case MCIERR_DEVICE_NOT_READY:
    case MCIERR_MUST_USE_SHAREABLE:
      return kResultDeviceInUse;
    case MCIERR_EXTENSION_NOT_FOUND:
    case MCIERR_INVALID_FILE:
      return kResultWrongExtension;
    default:
      return kResultUnknownError;
  }
}

MCISOUND::MCISOUND() {
  Log("MCISOUND コンストラクタ", 0);
  info_.Kind = kKindSound;
}

MCISOUND::~MCISOUND() {
  Log("MCISOUND デストラクタ", 0);
  Close();
}

int MCISOUND::Open(const std::string& path, const std::string& extension, WindowHandle) {
  DestroyVideoWindow();
  const int port = ProgramSettings().midisetDevice;
  const int reset = ProgramSettings().midisetReset;
  ReadTagsForExtension(path, extension, info_);
  // A chosen port gets the reset now; with the mapper the file plays through
  // the synthesizer device, which takes the reset itself (below).
  if (IsMidi(extension) && port != -1) SendMidiReset(port, reset);

  const bool cd = extension == "CDA";
  const bool wantsSequencer = IsMidi(extension) && port != -1;
  std::string shownPath = cd ? std::string(kCdName) : path;
  bool openedAsSequencer = false;
  MCI_OPEN_PARMS open{};
  MCIERROR error = MCIERR_NO_ERROR;
  try {
    if (cd) {
      open.lpstrDeviceType = "CDAudio";
      error = mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_WAIT, &open);
    } else {
      open.lpstrDeviceType = wantsSequencer ? "sequencer" : "MPEGVideo";
      open.lpstrElementName = path.c_str();
      error = mciSendCommand(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_OPEN_TYPE | MCI_WAIT, &open);
      openedAsSequencer = wantsSequencer && error == MCIERR_NO_ERROR;
    }
    if (error != MCIERR_NO_ERROR) {
      // Once more, letting the extension choose the device.
      open = MCI_OPEN_PARMS{};
      open.lpstrElementName = path.c_str();
      error = mciSendCommand(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT, &open);
    }
  } catch (...) {
    device_ = 0;
    return kResultFatalError;
  }
  if (error != MCIERR_NO_ERROR) {
    device_ = 0;
    return OpenResultFromMciError(error);
  }
  device_ = open.wDeviceID;

  if (openedAsSequencer) {
    MCI_SEQ_SET_PARMS set{};
    set.dwPort = static_cast<uint32_t>(port);
    mciSendCommand(device_, MCI_SET, MCI_WAIT | MCI_SEQ_SET_PORT, &set);
  }
  MCI_SET_PARMS format{};
  format.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
  mciSendCommand(device_, MCI_SET, MCI_SET_TIME_FORMAT | MCI_WAIT, &format);
  MCI_STATUS_PARMS status{};
  status.dwItem = MCI_STATUS_LENGTH;
  mciSendCommand(device_, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &status);
  info_.Length = static_cast<double>(status.dwReturn) / 1000.0;
  // The device that plays a MIDI file sends the reset again after every seek;
  // the synthesizer (the mapper, or a file that did not open on the
  // sequencer) also ahead of the song, which a chosen port had above.
  if (IsMidi(extension)) SendResetToDevice(reset);

  SetInfoText(info_.FileName, cd ? shownPath : std::filesystem::path(path).filename().string());
  SetInfoText(info_.Format, extension);
  return kResultSuccess;
}

void MCISOUND::SendResetToDevice(int reset) {
  if (reset == kNoMidiReset) return;
  const std::span<const uint8_t> message = MidiResetMessage(reset);
  MCI_MIDI_SET_RESET_PARMS set{};
  set.lpMessage = message.data();
  set.dwLength = static_cast<uint32_t>(message.size());
  mciSendCommand(device_, MCI_SET, MCI_WAIT | MCI_MIDI_SET_RESET, &set);
}

int MCISOUND::Close() {
  if (device_ != 0) {
    MCI_GENERIC_PARMS generic{};
    mciSendCommand(device_, MCI_STOP, MCI_WAIT, &generic);
    mciSendCommand(device_, MCI_CLOSE, 0, &generic);
    device_ = 0;
  }
  return 0;
}

int MCISOUND::Play(double from) {
  // No position at all; converted it would be any millisecond.
  if (!std::isfinite(from)) return 0;
  MCI_PLAY_PARMS play{};
  if (from < 0) {
    mciSendCommand(device_, MCI_PLAY, 0, &play);
  } else {
    // Held to the largest millisecond the device takes (about 49 days).
    constexpr double kLastMillisecond = std::numeric_limits<uint32_t>::max();
    play.dwFrom = static_cast<uint32_t>(std::min(from * 1000.0, kLastMillisecond));
    mciSendCommand(device_, MCI_PLAY, MCI_FROM, &play);
  }
  return 0;
}

int MCISOUND::Rewind(double) {
  MCI_SEEK_PARMS seek{};
  mciSendCommand(device_, MCI_SEEK, MCI_SEEK_TO_START | MCI_WAIT, &seek);
  return 0;
}

int MCISOUND::Pause() {
  MCI_GENERIC_PARMS generic{};
  mciSendCommand(device_, MCI_PAUSE, MCI_WAIT, &generic);
  return 0;
}

int MCISOUND::Stop() {
  Pause();
  Rewind(0);
  return 0;
}

int MCISOUND::TogglePause() {
  MediaState state{};
  GetStatus(state);
  if (state.PlayState == kPlaying) {
    Pause();
  } else {
    Play(-1.0);
  }
  return 0;
}

int MCISOUND::SetSpeed(int percent) {
  // A negative speed is none; a huge one is held to what the device field holds.
  if (percent < 0) return 0;
  constexpr int64_t kLargestSpeed = std::numeric_limits<uint32_t>::max() / 10 * 10;
  MCI_DGV_SET_PARMS set{};
  set.dwSpeed = static_cast<uint32_t>(std::min(int64_t{percent} * 10, kLargestSpeed));
  mciSendCommand(device_, MCI_SET, MCI_WAIT | MCI_DGV_SET_SPEED, &set);
  return 0;
}

void MCISOUND::GetStatus(MediaState& out) {
  MCI_STATUS_PARMS status{};
  status.dwItem = MCI_STATUS_POSITION;
  mciSendCommand(device_, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &status);
  out.TimePos = static_cast<double>(status.dwReturn) / 1000.0;
  status = MCI_STATUS_PARMS{};
  status.dwItem = MCI_STATUS_MODE;
  mciSendCommand(device_, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &status);
  out.PlayState = status.dwReturn == MCI_MODE_PLAY ? kPlaying : status.dwReturn == MCI_MODE_PAUSE ? kPaused : kStopped;
}

}  // namespace qorve
