// What the controller and the window procedure ask of the display window:
// the WndSet operations plus hiding to the tray. The Qt window implements it;
// tests use a recording fake. User-interface thread only.
#pragma once

namespace qorve {

// Hit codes of HitTest.
enum HitCode : int {
  kHitOutside = 0,
  kHitWindow = 1,
  kHitVideo = 2,
  kHitSeekBar = 3,
  kHitButtonBase = 10,  // 10 + button slot: 10 exit, 11 pause, ... 21 hide
};

class DisplayPort {
 public:
  virtual ~DisplayPort() = default;
  virtual int HitTest() = 0;
  // The media time under the cursor on the seek bar, or -1.
  virtual double TimeAtCursor(double length) = 0;
  virtual void Layout() = 0;
  virtual void MarkAllDirty() = 0;
  virtual void MarkTextDirty(int value) = 0;
  virtual void MarkButtonsDirty(int value) = 0;
  virtual void SetPressed(int value) = 0;
  virtual void Invalidate() = 0;
  virtual void SetTrackbarTime(double seconds) = 0;
  // Whether the window is on the screen (not hidden, nor in the tray).
  virtual bool OnScreen() { return true; }
  // The media time that one pixel of the seek bar stands for, for media of
  // `length` seconds; 0 when no seek bar is on the screen.
  virtual double SeekBarSecondsPerPixel(double /*length*/) { return 0.0; }
  // Adds the tray icon and hides the window (the caller sets WINSET TASK).
  virtual void HideToTray() = 0;
};

}  // namespace qorve
