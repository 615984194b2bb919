// The display window's seek bar: a horizontal slider that only shows the
// position. The controller sets its value on every step of playback; it is
// redrawn only when that moves the thumb by at least a pixel, as repainting
// a slider (and the window behind it) hundreds of times a second for moves
// nobody can see would cost more than the rest of playback together.
#pragma once

#include <QSlider>

namespace qorve {

class SeekBar final : public QSlider {
 public:
  explicit SeekBar(QWidget* parent);

 protected:
  void sliderChange(SliderChange change) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The thumb's offset for `value` along the slider's whole width: a finer
  // scale than the groove the style draws, so no visible move is skipped.
  int ThumbOffset(int value) const;

  int drawnOffset_ = -1;  // offset at the last repaint asked for; -1 none yet
};

}  // namespace qorve
