#include "player/formats/transport/mci_media.h"

#include "common/log.h"
#include "platform/mci/file_gate.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace qorve {

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

void LogSoundOutputFailure(const std::string& failure, MCIERROR error) {
  if (!failure.empty()) Log(failure, static_cast<long>(error));
}

void LogReferencingFile(const std::string& path) {
  const std::string kind = ReferencingContent(path);
  if (!kind.empty()) Log("外部参照ファイルを拒否 " + kind, 0);
}

MciMedia::~MciMedia() { Close(); }

int MciMedia::OpenDevice(const char* type, const std::string& path, bool typeOnly, bool& retried) {
  retried = false;
  device_ = 0;
  MCI_OPEN_PARMS open{};
  MCIERROR error = MCIERR_NO_ERROR;
  try {
    open.lpstrDeviceType = type;
    if (typeOnly) {
      error = mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_WAIT, &open);
    } else {
      open.lpstrElementName = path.c_str();
      error = mciSendCommand(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_OPEN_TYPE | MCI_WAIT, &open);
    }
    if (error != MCIERR_NO_ERROR) {
      retried = true;
      open = MCI_OPEN_PARMS{};
      open.lpstrElementName = path.c_str();
      error = mciSendCommand(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT, &open);
    }
  } catch (...) {
    return kResultFatalError;
  }
  if (error != MCIERR_NO_ERROR) {
    if (error == MCIERR_INVALID_FILE) LogReferencingFile(path);
    const int result = OpenResultFromMciError(error);
    if (result == kResultDeviceInUse) LogSoundOutputFailure(MciOpenFailure(), error);
    return result;
  }
  device_ = open.wDeviceID;
  return kResultSuccess;
}

double MciMedia::ReadLengthSeconds() {
  MCI_SET_PARMS format{};
  format.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
  mciSendCommand(device_, MCI_SET, MCI_SET_TIME_FORMAT | MCI_WAIT, &format);
  MCI_STATUS_PARMS status{};
  status.dwItem = MCI_STATUS_LENGTH;
  mciSendCommand(device_, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &status);
  return static_cast<double>(status.dwReturn) / 1000.0;
}

int MciMedia::Close() {
  if (device_ != 0) {
    MCI_GENERIC_PARMS generic{};
    mciSendCommand(device_, MCI_STOP, MCI_WAIT, &generic);
    mciSendCommand(device_, MCI_CLOSE, 0, &generic);
    device_ = 0;
  }
  return 0;
}

int MciMedia::Play(double from) {
  // No position at all; converted it would be any millisecond.
  if (!std::isfinite(from)) return 0;
  MCI_PLAY_PARMS play{};
  if (from < 0) {
    mciSendCommand(device_, MCI_PLAY, 0, &play);
  } else {
    constexpr double kLastMillisecond = std::numeric_limits<uint32_t>::max();
    play.dwFrom = static_cast<uint32_t>(std::min(from * 1000.0, kLastMillisecond));
    mciSendCommand(device_, MCI_PLAY, MCI_FROM, &play);
  }
  return 0;
}

int MciMedia::Rewind(double) {
  MCI_SEEK_PARMS seek{};
  mciSendCommand(device_, MCI_SEEK, MCI_SEEK_TO_START | MCI_WAIT, &seek);
  return 0;
}

int MciMedia::Pause() {
  MCI_GENERIC_PARMS generic{};
  mciSendCommand(device_, MCI_PAUSE, MCI_WAIT, &generic);
  return 0;
}

int MciMedia::Stop() {
  Pause();
  Rewind(0);
  return 0;
}

int MciMedia::TogglePause() {
  MediaState state{};
  GetStatus(state);
  if (state.PlayState == kPlaying) return Pause();
  return Play(-1.0);
}

int MciMedia::SetSpeed(int percent) {
  if (percent < 0) return 0;
  constexpr int64_t kLargestSpeed = std::numeric_limits<uint32_t>::max() / 10 * 10;
  MCI_DGV_SET_PARMS set{};
  set.dwSpeed = static_cast<uint32_t>(std::min(int64_t{percent} * 10, kLargestSpeed));
  mciSendCommand(device_, MCI_SET, MCI_WAIT | MCI_DGV_SET_SPEED, &set);
  return 0;
}

void MciMedia::GetStatus(MediaState& out) {
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
