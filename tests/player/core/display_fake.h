// A display window for controller tests: HitTest and TimeAtCursor answer what
// the test sets, every other operation is counted.
#pragma once

#include "player/core/display_port.h"

#include <vector>

namespace qorve::test {

class RecordingDisplay final : public DisplayPort {
 public:
  int HitTest() override;
  double TimeAtCursor(double length) override;
  void Layout() override;
  void MarkAllDirty() override;
  void MarkTextDirty(int value) override;
  void MarkButtonsDirty(int value) override;
  void SetPressed(int value) override;
  void Invalidate() override;
  void SetTrackbarTime(double seconds) override;
  void HideToTray() override;
  bool OnScreen() override { return onScreen; }
  double SeekBarSecondsPerPixel(double) override { return secondsPerPixel; }

  bool onScreen = true;           // what OnScreen answers
  double secondsPerPixel = 0.0;   // what SeekBarSecondsPerPixel answers
  int hit = kHitWindow;         // what HitTest answers
  double timeAtCursor = -1.0;   // what TimeAtCursor answers

  int hitTests = 0;
  int layouts = 0;
  int allDirty = 0;
  int textDirty = 0;
  int buttonsDirty = 0;
  int invalidates = 0;
  int hides = 0;
  std::vector<double> trackbarTimes;
};

}  // namespace qorve::test
