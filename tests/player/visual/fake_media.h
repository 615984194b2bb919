// A media object whose description, state and drawing the test sets, for the
// display window tests.
#pragma once

#include "player/core/media_file.h"
#include "player/visual/draw_context.h"

#include <QColor>
#include <QPainter>

#include <cstring>
#include <string>

namespace qorve::test {

class FakeMedia final : public MediaFile {
 public:
  explicit FakeMedia(int kind) { info_.Kind = kind; info_.Width = -1; }

  MediaInfo& info() { return info_; }
  MediaState state{0.0, kPlaying};
  std::string errorText;
  int pointerOnVideo = 0;
  QColor pictureColor{Qt::red};
  int drawCalls = 0;
  int lastDrawY = 0;
  int stretchedCalls = 0;
  int lastVideoSize = -1;
  int fitCalls = 0;

  int Open(const std::string&, const std::string&, WindowHandle) override { return 0; }
  int Close() override { return 0; }
  int IsPointerOnVideo() override { return pointerOnVideo; }
  int SetVideoSize(int mode, int, int) override {
    lastVideoSize = mode;
    return 0;
  }
  int FitPicture() override {
    ++fitCalls;
    return 0;
  }
  void GetStatus(MediaState& out) override { out = state; }
  void GetErrorText(char* buffer, int size) override {
    if (size <= 0) return;
    std::strncpy(buffer, errorText.c_str(), static_cast<std::size_t>(size) - 1);
    buffer[size - 1] = '\0';
  }
  int Draw(DrawContext* dc, int x, int y, int width, int height, int, int) override {
    ++drawCalls;
    lastDrawY = y;
    dc->painter->fillRect(x, y, width, height, pictureColor);
    return 1;
  }
  int DrawStretched(DrawContext* dc, int x, int y, int width, int height, int, int, int, int) override {
    ++stretchedCalls;
    dc->painter->fillRect(x, y, width, height, pictureColor);
    return 1;
  }
};

}  // namespace qorve::test
