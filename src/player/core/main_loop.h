// The playback controller: one step per idle moment of the message loop polls
// keys and mouse, carries out the user's commands, watches the current media
// object for its end and moves through the file list by play mode.
// User-interface thread only.
#pragma once

#include "player/core/display_port.h"
#include "player/core/media_file.h"
#include "platform/input.h"

#include <cstdint>

namespace qorve {

// Where the controller takes its time from and how it pauses between steps.
// Tests put a clock of their own in so that timing is theirs to decide.
struct ControllerClock {
  uint32_t (*now)();         // milliseconds, wrapping like TimeGetTime
  void (*sleep)(uint32_t);   // null: the step does not sleep
};

// TimeGetTime and SleepMs.
ControllerClock SystemControllerClock();

class MainLoop {
 public:
  // Scans the folder of Player().fileList.firstArgument (set by the caller)
  // and moves the list's index to that file.
  MainLoop(DisplayPort& display, InputPoller& input);
  MainLoop(DisplayPort& display, InputPoller& input, ControllerClock clock);
  ~MainLoop();  // frees the file list
  MainLoop(const MainLoop&) = delete;
  MainLoop& operator=(const MainLoop&) = delete;

  // One controller step: 0 go on, -1 end the program. Sleeps 1 ms at its end.
  int Step(WindowHandle window);
  // Polls input and carries out the commands: 1 when the user asks to end.
  int PollInput(WindowHandle window);
  // Watches the current media object: 1 when the program must end because a
  // file ended in play mode once with SOUNDSET END 1.
  int WatchMedia(WindowHandle window);

  // Tick of the last move to another file (start, next, back, slideshow).
  uint32_t LastChange() const { return lastChange_; }

 private:
  enum class Direction { Forward, Backward };

  // GetAsyncKeyState of a virtual key, read at most once per poll; keys out of
  // 1..255 (unbound) read as up.
  int16_t KeyState(int virtualKey);
  bool KeyPressed(int virtualKey) { return (KeyState(virtualKey) & 1) != 0; }
  // Down now, or went down since the previous poll: window-system input is
  // taken in passes (every 16 ms), so a short tap can go down and up between
  // two polls, and counts as held for the poll that sees its press.
  bool KeyHeld(int virtualKey) { return (KeyState(virtualKey) & 0x8001) != 0; }
  // Reads every bound key once so that presses made while input is ignored
  // do not fire later.
  void DiscardKeyPresses();
  bool InputBlocked(uint32_t now) const;

  // Carries out what desktop remotes asked for since the last poll, through
  // the actions the keys take: 1 when a remote asks the program to end.
  int CarryOutRemoteRequests(WindowHandle window);
  void RedrawAll();

  // Command actions; `kind` is the kind of the current media object.
  void TogglePauseOrSlideshow(int kind);
  void SetPlayMode(int mode);
  void ToggleFullScreen();
  void ToggleZoom();
  void StartSlideshow();
  void ChangeVolume(bool up);
  void HideToTray();

  // Next or back, as the user asks for it.
  void Move(WindowHandle window, Direction direction);
  // Loads the following entry of the list (random pick when `random`), going
  // on past entries that do not open, at most one round of the list. False
  // when the list is empty; otherwise the last object tried stays current,
  // an ERRORFILE when nothing opened.
  bool LoadFollowingEntry(WindowHandle window, Direction direction, bool random, int kindFilter);
  // The current sound or video has ended: loop, go on, stop, or (true) end
  // the program, by play mode.
  bool HandleEnd(WindowHandle window, int kind);
  void AdvanceSlideshow(WindowHandle window);

  DisplayPort& display_;
  InputPoller& input_;
  ControllerClock clock_;

  uint32_t lastChange_ = 0;
  double lastDrawnTick_ = kNotDrawn;
  int lastCursorX_ = 0;
  int lastCursorY_ = 0;
  // Seek-bar drag: the time of the last seek while the left button stays held,
  // so a cursor that rests does not restart the media every step.
  bool seeking_ = false;
  double lastSeekTime_ = 0.0;

  uint32_t pollNumber_ = 0;
  int16_t keyState_[256] = {};
  uint32_t keyReadAt_[256] = {};  // pollNumber_ of the read in keyState_

  static constexpr double kNotDrawn = 99999.0;
};

}  // namespace qorve
