#include "player/formats/video/mcivideo.h"

#include "common/log.h"
#include "common/settings.h"
#include "player/formats/audio/mcisound.h"
#include "player/formats/video/video_geometry.h"
#include "player/formats/video/video_headers.h"
#include "player/formats/video/video_window_control.h"
#include "player/visual/video_window.h"

#include <algorithm>
#include <filesystem>

namespace qorve {
namespace {

constexpr uint32_t kShowNormal = 5;  // MCI_DGV_WINDOW_PARMS::nCmdShow: show
constexpr double kLongestMilliseconds = 4294967295.0;

PreviousVideoSize& Previous() {
  static PreviousVideoSize previous;
  return previous;
}

}  // namespace

MCIVIDEO::MCIVIDEO() {
  Log("MCIVIDEO コンストラクタ", 0);
  info_.Kind = kKindVideo;
}

MCIVIDEO::~MCIVIDEO() {
  Log("MCIVIDEO デストラクタ", 0);
  Close();
}

int MCIVIDEO::Open(const std::string& path, const std::string& extension, WindowHandle) {
  ReadVideoHeaderFile(path, extension, info_);
  MCI_OPEN_PARMS open{};
  MCIERROR error = MCIERR_NO_ERROR;
  try {
    open.lpstrDeviceType = "MPEGVideo";
    open.lpstrElementName = path.c_str();
    error = mciSendCommand(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_OPEN_TYPE | MCI_WAIT, &open);
    Log("MPEGVideo", 0);
    if (error != MCIERR_NO_ERROR) {
      open = MCI_OPEN_PARMS{};
      open.lpstrElementName = path.c_str();
      error = mciSendCommand(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT, &open);
      Log("MCI", 0);
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

  const bool reused = GetVideoWindow() != nullptr;
  window_ = CreateVideoWindow();

  MCI_SET_PARMS format{};
  format.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
  mciSendCommand(device_, MCI_SET, MCI_SET_TIME_FORMAT | MCI_WAIT, &format);
  MCI_STATUS_PARMS status{};
  status.dwItem = MCI_STATUS_LENGTH;
  mciSendCommand(device_, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &status);
  info_.Length = static_cast<double>(status.dwReturn) * 0.001;
  if (info_.Length == 0) info_.Length = 1.0;
  SetInfoText(info_.FileName, std::filesystem::path(path).filename().string());
  SetInfoText(info_.Format, extension);

  MCI_DGV_WINDOW_PARMS window{};
  window.hWnd = reinterpret_cast<uintptr_t>(VideoWindowSurface());
  window.nCmdShow = kShowNormal;
  mciSendCommand(device_, MCI_WINDOW, MCI_DGV_WINDOW_HWND | MCI_DGV_WINDOW_STATE | MCI_WAIT, &window);
  MCI_DGV_RECT_PARMS where{};
  mciSendCommand(device_, MCI_WHERE, MCI_DGV_WHERE_SOURCE | MCI_WAIT, &where);
  info_.Width = where.rc.right - where.rc.left;
  info_.Height = where.rc.bottom - where.rc.top;

  SetVideoSize(ProgramSettings().videosetFull == 1 ? kVideoFullScreen : kVideoNatural, 0, 0);
  PlaceOpenedVideo(reused, Previous(), info_.Width, info_.Height);
  ShowVideo();
  InvalidateVideoWindow();
  return kResultSuccess;
}

int MCIVIDEO::Close() {
  if (device_ != 0) {
    MCI_GENERIC_PARMS generic{};
    mciSendCommand(device_, MCI_STOP, MCI_WAIT, &generic);
    mciSendCommand(device_, MCI_CLOSE, 0, &generic);
    device_ = 0;
  }
  return 0;
}

int MCIVIDEO::Play(double from) {
  MCI_PLAY_PARMS play{};
  if (from < 0) {
    mciSendCommand(device_, MCI_PLAY, 0, &play);
  } else {
    play.dwFrom = static_cast<uint32_t>(std::min(from * 1000.0, kLongestMilliseconds));
    mciSendCommand(device_, MCI_PLAY, MCI_FROM, &play);
  }
  return 0;
}

int MCIVIDEO::Rewind(double) {
  MCI_SEEK_PARMS seek{};
  mciSendCommand(device_, MCI_SEEK, MCI_SEEK_TO_START | MCI_WAIT, &seek);
  return 0;
}

int MCIVIDEO::Pause() {
  MCI_GENERIC_PARMS generic{};
  mciSendCommand(device_, MCI_PAUSE, MCI_WAIT, &generic);
  return 0;
}

int MCIVIDEO::Stop() {
  Pause();
  Rewind(0);
  return 0;
}

int MCIVIDEO::TogglePause() {
  MediaState state{};
  GetStatus(state);
  if (state.PlayState == kPlaying) return Pause();
  return Play(-1.0);
}

int MCIVIDEO::SetSpeed(int percent) {
  MCI_DGV_SET_PARMS set{};
  set.dwSpeed = static_cast<uint32_t>(percent * 10);
  mciSendCommand(device_, MCI_SET, MCI_WAIT | MCI_DGV_SET_SPEED, &set);
  return 0;
}

int MCIVIDEO::SetVideoSize(int mode, int, int) {
  ApplyVideoSize(*this, mode, info_.Width, info_.Height, false);
  return 0;
}

int MCIVIDEO::CenterVideo() {
  CenterVideoWindow();
  return 0;
}

int MCIVIDEO::FitPicture() {
  if (device_ == 0) return 0;
  if (info_.Width <= 0 || info_.Height <= 0) return 0;  // sound only: no picture to place
  const VideoWindowRect window = VideoWindowRectangle();
  const PictureRect picture =
      FitPictureRect(window.right - window.left, window.bottom - window.top, info_.Width, info_.Height);
  MCI_DGV_RECT_PARMS put{};
  put.rc = MCI_RECT{picture.left, picture.top, picture.width, picture.height};
  mciSendCommand(device_, MCI_PUT, MCI_DGV_RECT | MCI_DGV_PUT_DESTINATION | MCI_WAIT, &put);
  return 0;
}

int MCIVIDEO::IsPointerOnVideo() { return IsPointerOnVideoWindow() ? 1 : 0; }

int MCIVIDEO::ShowVideo() {
  ShowVideoWindow();
  return 0;
}

void MCIVIDEO::GetStatus(MediaState& out) {
  MCI_STATUS_PARMS status{};
  status.dwItem = MCI_STATUS_POSITION;
  mciSendCommand(device_, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &status);
  out.TimePos = static_cast<double>(status.dwReturn) * 0.001;
  status = MCI_STATUS_PARMS{};
  status.dwItem = MCI_STATUS_MODE;
  mciSendCommand(device_, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &status);
  out.PlayState = status.dwReturn == MCI_MODE_PLAY ? kPlaying : status.dwReturn == MCI_MODE_PAUSE ? kPaused : kStopped;
}

}  // namespace qorve
