// The playback controller: one step per idle moment of the message loop polls
// keys and mouse, carries out the user's commands, watches the current media
// object for its end and moves through the file list by play mode.
// User-interface thread only.
#pragma once

#include "platform/input/input.h"
#include "player/core/display_port.h"
#include "player/core/media_file.h"

#include <cstdint>

namespace qorve {

struct KeysetCommand;

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

  // How many milliseconds the message loop may wait for events before the
  // next step, when no event comes first: until the earliest moment anything
  // the step looks at can change without an event saying so (the media's
  // end, the next second on the time line, the seek bar's thumb moving a
  // pixel, the next slideshow picture, the end of an input block), and at
  // most kLongestStepDelayMs. 1 while the step must run every millisecond:
  // a mouse button is held (a seek or a window drag) or a file was loaded
  // moments ago.
  uint32_t NextStepDelay();
  static constexpr uint32_t kLongestStepDelayMs = 250;

  // What the keys and the display's buttons ask for.
  enum class Command {
    Pause,
    Once,
    Loop,
    Series,
    Random,
    FullScreen,
    Zoom,
    Next,
    Back,
    Slideshow,
    VolumeUp,
    VolumeDown,
    Hide,
  };

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

  // Carries out a command as its key or button does; `info` describes the
  // current media object and is brought up to date after a move. False when
  // the command has nothing to act on (the slideshow of anything but a
  // picture).
  bool CarryOut(WindowHandle window, Command command, MediaInfo& info);
  // A command of the KEYSET section sent by a remote, whatever key (if any)
  // it is bound to: 1 when it is the close command.
  int CarryOutKeysetCommand(WindowHandle window, const KeysetCommand& command, MediaInfo& info);

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
  // The speed the playing media's position moves at, as seen from samples
  // of it; 1 (real time) unless it is seen to move faster.
  double PlayingSpeed(uint32_t now, double position);

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

  // What NextStepDelay goes by: whether the last poll saw a mouse button
  // down, the tick of the last load, and the position the media had at a
  // tick (for the speed it plays at).
  bool buttonHeld_ = false;
  uint32_t loadedAt_ = 0;
  uint32_t speedSampleAt_ = 0;
  double speedSamplePosition_ = -1.0;
  double speed_ = 1.0;

  uint32_t pollNumber_ = 0;
  int16_t keyState_[256] = {};
  uint32_t keyReadAt_[256] = {};  // pollNumber_ of the read in keyState_

  static constexpr double kNotDrawn = 99999.0;
  static constexpr uint32_t kSettlingMs = 250;
  static constexpr uint32_t kFrameMs = 16;
  static constexpr uint32_t kEndApproachMs = 2;
};

}  // namespace qorve
