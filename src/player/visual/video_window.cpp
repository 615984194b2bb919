#include "player/visual/video_window.h"

#include "common/log.h"
#include "player/visual/video_window_widget.h"

namespace qorve {
namespace {

VideoWindow*& VideoWindowSlot() {
  static VideoWindow* window = nullptr;
  return window;
}

}  // namespace

WindowHandle CreateVideoWindow() {
  VideoWindow*& window = VideoWindowSlot();
  if (window) return window;
  Log("ビデオウィンドウ作成", 0);
  window = new VideoWindow();
  return window;
}

WindowHandle GetVideoWindow() { return VideoWindowSlot(); }

void DestroyVideoWindow() {
  VideoWindow*& window = VideoWindowSlot();
  if (!window) return;
  delete window;
  window = nullptr;
  Log("ビデオウィンドウ削除", 0);
}

void StartVideoWindowTimer(int milliseconds) {
  if (VideoWindow* window = VideoWindowSlot()) window->StartRefitTimer(milliseconds);
}

}  // namespace qorve
