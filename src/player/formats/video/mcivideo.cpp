#include "player/formats/video/mcivideo.h"

#include "common/log.h"
#include "common/settings.h"
#include "player/formats/video/video_geometry.h"
#include "player/formats/video/video_headers.h"
#include "player/formats/video/video_window_control.h"
#include "player/visual/video_window.h"

#include <algorithm>
#include <filesystem>

namespace qorve {
namespace {

constexpr uint32_t kShowNormal = 5;
// The picture is placed again once the shown window has its size: an X image
// sink learns its window's size only when told to redraw, and the places
// given while the window was still hidden left it drawing at the old size.
constexpr int kRefitDelayMs = 10;  // MCI_DGV_WINDOW_PARMS::nCmdShow: show

PreviousVideoSize& Previous() {
  static PreviousVideoSize previous;
  return previous;
}

}  // namespace

MCIVIDEO::MCIVIDEO() {
  Log("MCIVIDEO コンストラクタ", 0);
  info_.Kind = kKindVideo;
}

MCIVIDEO::~MCIVIDEO() { Log("MCIVIDEO デストラクタ", 0); }

int MCIVIDEO::Open(const std::string& path, const std::string& extension, WindowHandle) {
  ReadVideoHeaderFile(path, extension, info_);
  bool retried = false;
  const int result = OpenDevice("MPEGVideo", path, false, retried);
  Log("MPEGVideo", 0);
  if (retried) Log("MCI", 0);
  if (result != kResultSuccess) return result;

  const bool reused = GetVideoWindow() != nullptr;
  window_ = CreateVideoWindow();

  info_.Length = ReadLengthSeconds();
  if (info_.Length == 0) info_.Length = 1.0;
  SetInfoText(info_.FileName, std::filesystem::path(path).filename().string());
  SetInfoText(info_.Format, extension);

  MCI_DGV_WINDOW_PARMS window{};
  window.hWnd = reinterpret_cast<uintptr_t>(VideoWindowSurface());
  window.nCmdShow = kShowNormal;
  mciSendCommand(device_, MCI_WINDOW, MCI_DGV_WINDOW_HWND | MCI_DGV_WINDOW_STATE | MCI_WAIT, &window);
  if (const std::string output = TakeVideoOutputNote(); !output.empty()) Log(output, 0);
  MCI_DGV_RECT_PARMS where{};
  mciSendCommand(device_, MCI_WHERE, MCI_DGV_WHERE_SOURCE | MCI_WAIT, &where);
  info_.Width = where.rc.right - where.rc.left;
  info_.Height = where.rc.bottom - where.rc.top;

  SetVideoSize(ProgramSettings().videosetFull == 1 ? kVideoFullScreen : kVideoNatural, 0, 0);
  PlaceOpenedVideo(reused, Previous(), info_.Width, info_.Height);
  ShowVideo();
  InvalidateVideoWindow();
  StartVideoWindowTimer(kRefitDelayMs);
  return kResultSuccess;
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

}  // namespace qorve
