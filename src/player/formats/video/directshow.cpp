#include "player/formats/video/directshow.h"

#include "common/log.h"
#include "common/settings.h"
#include "player/formats/video/video_geometry.h"
#include "player/formats/video/video_headers.h"
#include "player/formats/transport/mci_media.h"
#include "player/formats/video/video_window_control.h"
#include "player/visual/video_window.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace qorve {
namespace {

constexpr double kUnitsPerSecond = 10'000'000.0;  // the graph's 100-ns units
constexpr int kRefitDelayMs = 10;

PreviousVideoSize& Previous() {
  static PreviousVideoSize previous;
  return previous;
}

}  // namespace

DIRECTSHOW::DIRECTSHOW() {
  Log("DIRECTSHOW コンストラクタ", 0);
  info_.Kind = kKindVideo;
}

DIRECTSHOW::~DIRECTSHOW() {
  Log("DIRECTSHOW デストラクタ", 0);
  Close();
}

int DIRECTSHOW::Open(const std::string& path, const std::string& extension, WindowHandle) {
  ReadVideoHeaderFile(path, extension, info_);
  graph_ = FilterGraph::Create();
  if (!graph_) return kResultNoDirectShow;
  // A file the graph cannot render opens no window: the error text is shown
  // in the display window, and an empty video window would stay behind it.
  if (!graph_->RenderFile(path)) {
    LogReferencingFile(path);
    // A sound output that cannot be opened fails every file alike: that is
    // the device's failure, not the file's.
    if (OpenResultFromMciError(graph_->RenderError()) == kResultDeviceInUse) {
      LogSoundOutputFailure(graph_->OutputFailure(), graph_->RenderError());
      return kResultDeviceInUse;
    }
    return kResultUnsupported;
  }
  graph_->GetVideoSize(info_.Width, info_.Height);
  info_.Length = graph_->Duration();
  SetInfoText(info_.FileName, std::filesystem::path(path).filename().string());
  SetInfoText(info_.Format, extension);

  const bool reused = GetVideoWindow() != nullptr;
  window_ = CreateVideoWindow();
  graph_->SetOwner(VideoWindowSurface());
  if (const std::string output = TakeVideoOutputNote(); !output.empty()) Log(output, 0);
  SetVideoSize(ProgramSettings().videosetFull == 1 ? kVideoFullScreen : kVideoNatural, 0, 0);
  PlaceOpenedVideo(reused, Previous(), info_.Width, info_.Height);
  ShowVideo();
  InvalidateVideoWindow();
  StartVideoWindowTimer(kRefitDelayMs);
  Log("最後", 0);
  return kResultSuccess;
}

int DIRECTSHOW::Close() {
  graph_.reset();
  return 0;
}

int DIRECTSHOW::Play(double from) {
  if (!graph_) return 0;
  // Truncated to whole units; far beyond any length is held at the end.
  const double units = std::trunc(std::min(from * kUnitsPerSecond, 9.0e18));
  graph_->SetPositions(static_cast<int64_t>(units));
  if (from < 0) graph_->Run();
  playMode_ = kPlaying;
  return 0;
}

int DIRECTSHOW::Rewind(double) {
  if (graph_) graph_->SetPositions(0);
  return 0;
}

int DIRECTSHOW::Pause() {
  if (graph_) graph_->Stop();
  playMode_ = kPaused;
  return 0;
}

int DIRECTSHOW::Stop() {
  if (graph_) graph_->Stop();
  playMode_ = kStopped;
  return 0;
}

int DIRECTSHOW::TogglePause() {
  if (playMode_ == kPlaying) return Pause();
  return Play(-1.0);
}

int DIRECTSHOW::SetVideoSize(int mode, int, int) {
  ApplyVideoSize(*this, mode, info_.Width, info_.Height, true);
  return 0;
}

int DIRECTSHOW::CenterVideo() {
  CenterVideoWindow();
  return 0;
}

int DIRECTSHOW::FitPicture() {
  if (!graph_) return 0;
  if (info_.Width <= 0 || info_.Height <= 0) return 0;  // sound only: no picture to place
  const VideoWindowRect window = VideoWindowRectangle();
  const PictureRect picture =
      FitPictureRect(window.right - window.left, window.bottom - window.top, info_.Width, info_.Height);
  graph_->SetWindowPosition(picture.left, picture.top, picture.width, picture.height);
  return 0;
}

int DIRECTSHOW::IsPointerOnVideo() { return IsPointerOnVideoWindow() ? 1 : 0; }

int DIRECTSHOW::ShowVideo() {
  ShowVideoWindow();
  return 0;
}

void DIRECTSHOW::GetStatus(MediaState& out) {
  out.TimePos = graph_ ? graph_->CurrentPosition() : 0.0;
  out.PlayState = playMode_;
}

}  // namespace qorve
