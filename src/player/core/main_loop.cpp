#include "player/core/main_loop.h"

#include "common/keyset_commands.h"
#include "common/log.h"
#include "common/settings.h"
#include "common/volume.h"
#include "platform/system/clock.h"
#include "player/core/desktop/remote_control.h"
#include "player/core/file_list.h"
#include "player/core/media_factory.h"
#include "player/core/player_state.h"
#include "player/core/sound_end.h"
#include "player/core/tray_mode.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace qorve {
namespace {

enum PlayMode : int { kModeOnce = 0, kModeLoop = 1, kModeSeries = 2, kModeRandom = 3 };

constexpr int kHitExit = kHitButtonBase + 0;

// The blocks the program sets last 25 to 350 ms. A blocked-until tick further
// ahead than this is a stale value from long ago (or the initial 0 seen from a
// clock that has passed half its range), not a block.
constexpr uint32_t kLongestInputBlockMs = 10000;
constexpr uint32_t kFullScreenInputBlockMs = 25;

using Command = MainLoop::Command;

struct CommandBinding {
  Command command;
  int Settings::*key;  // KEYSET value, null when the command has no key
  int hit;             // display button hit code, -1 when it has no button
};

// In the order the commands are tested each poll.
constexpr CommandBinding kCommands[] = {
    {Command::Pause, &Settings::keysetPause, kHitButtonBase + 1},
    {Command::Once, nullptr, kHitButtonBase + 2},
    {Command::Loop, &Settings::keysetLoop, kHitButtonBase + 3},
    {Command::Series, &Settings::keysetList, kHitButtonBase + 4},
    {Command::Random, &Settings::keysetRand, kHitButtonBase + 5},
    {Command::FullScreen, &Settings::keysetFull, kHitButtonBase + 6},
    {Command::Zoom, &Settings::keysetZoom, kHitButtonBase + 7},
    {Command::Next, &Settings::keysetNext, kHitButtonBase + 8},
    {Command::Back, &Settings::keysetBack, kHitButtonBase + 9},
    {Command::Slideshow, &Settings::keysetShow, kHitButtonBase + 10},
    {Command::VolumeUp, &Settings::keysetVolumeUp, -1},
    {Command::VolumeDown, &Settings::keysetVolumeDown, -1},
    {Command::Hide, &Settings::keysetHidden, kHitButtonBase + 11},
};

int CurrentKind() {
  const std::unique_ptr<MediaFile>& media = Player().media;
  if (!media) return kKindUnplayable;
  MediaInfo info;
  media->GetInfo(info);
  return info.Kind;
}

// The entry after (or before) `index` in a list of `count` entries, wrapping
// at both ends. An index left out of range by a rescan starts over.
int FollowingIndex(int index, int count, bool forward) {
  if (forward) return (index < 0 || index + 1 >= count) ? 0 : index + 1;
  return (index <= 0 || index > count) ? count - 1 : index - 1;
}

}  // namespace

ControllerClock SystemControllerClock() {
  return ControllerClock{&TimeGetTime, &SleepMs};
}

MainLoop::MainLoop(DisplayPort& display, InputPoller& input)
    : MainLoop(display, input, SystemControllerClock()) {}

MainLoop::MainLoop(DisplayPort& display, InputPoller& input, ControllerClock clock)
    : display_(display), input_(input), clock_(clock) {
  if (!clock_.now) clock_.now = &TimeGetTime;
  Log("MainLoop コンストラクタ", 0);
  FileList& list = Player().fileList;
  list.index = 0;
  lastChange_ = clock_.now();
  loadedAt_ = lastChange_;  // the program loads the start file right after
  ScanFolder(list, true);
}

MainLoop::~MainLoop() {
  Log("MainLoop デストラクタ", 0);
  FileList& list = Player().fileList;
  list.entries.clear();
  list.entries.shrink_to_fit();
  list.index = 0;
}

int MainLoop::Step(WindowHandle window) {
  if (Player().media) {
    MediaState state{};
    Player().media->GetStatus(state);
    // A quit request while the media is paused is dropped.
    if (PollInput(window) == 1 && state.PlayState != kPaused) return -1;
    if (WatchMedia(window) == 1) return -1;
  }
  if (clock_.sleep) clock_.sleep(1);
  return 0;
}

int16_t MainLoop::KeyState(int virtualKey) {
  if (virtualKey <= 0 || virtualKey >= 256) return 0;
  if (keyReadAt_[virtualKey] != pollNumber_) {
    keyState_[virtualKey] = input_.GetAsyncKeyState(virtualKey);
    keyReadAt_[virtualKey] = pollNumber_;
  }
  return keyState_[virtualKey];
}

void MainLoop::DiscardKeyPresses() {
  const Settings& settings = ProgramSettings();
  for (const CommandBinding& binding : kCommands) {
    if (binding.key) KeyState(settings.*binding.key);
  }
  KeyState(settings.keysetClose);
}

bool MainLoop::InputBlocked(uint32_t now) const {
  const uint32_t remaining = Player().inputBlockedUntil - now;  // wraps with the tick
  return remaining != 0 && remaining <= kLongestInputBlockMs;
}

int MainLoop::PollInput(WindowHandle window) {
  ++pollNumber_;
  PlayerState& player = Player();
  Settings& settings = ProgramSettings();

  // The mouse buttons are read on every poll, also while input is ignored, so
  // that a click made meanwhile (the tray click that restores the window) does
  // not act once input is taken again.
  const int16_t left = KeyState(kVkLButton);
  const int16_t right = KeyState(kVkRButton);
  const bool leftPressed = (left & 1) != 0;
  const bool leftHeld = (left & 0x8000) != 0;
  const bool rightPressed = (right & 1) != 0;
  const bool rightHeld = (right & 0x8000) != 0;
  if (!leftHeld) seeking_ = false;
  buttonHeld_ = leftHeld || rightHeld;
  // Read on every poll: a tap of the close key counts in the poll that sees
  // it, and is not kept for a later one (after a consumed click, a seek).
  const bool closeHeld = KeyHeld(settings.keysetClose);

  if (InputBlocked(clock_.now())) {
    DiscardKeyPresses();
    return 0;  // remote requests wait until input is taken again
  }
  // Remotes also reach a player hidden in the tray, whose keys are ignored.
  if (CarryOutRemoteRequests(window) == 1) return 1;
  if (settings.winsetTask == 1) {
    DiscardKeyPresses();
    return 0;
  }
  if (!player.media) return 0;

  // What lies under the cursor matters only to a mouse button pressed or held;
  // without one the cursor is not asked for (on X11 a round trip at times).
  const int hit = ((left | right) & 0x8001) != 0 ? display_.HitTest() : kHitOutside;
  MediaInfo info;
  player.media->GetInfo(info);

  // Seek bar: while the left button is held on it the media follows the
  // cursor, and nothing else happens in this poll.
  if (settings.winsetScroll == 1 && hit == kHitSeekBar && leftHeld) {
    const double time = display_.TimeAtCursor(info.Length);
    if (time >= 0.0) {
      if (!seeking_ || time != lastSeekTime_) {
        player.media->Play(time);
        seeking_ = true;
        lastSeekTime_ = time;
      }
      player.clickConsumed = 1;
      return 0;
    }
  }

  for (const CommandBinding& binding : kCommands) {
    bool fires = (binding.key && KeyPressed(settings.*binding.key)) ||
                 (binding.hit >= 0 && hit == binding.hit && leftPressed);
    if (binding.command == Command::Slideshow && hit == kHitWindow && rightPressed) fires = true;
    if (!fires) continue;

    if (!CarryOut(window, binding.command, info)) continue;
    // The volume keys are keys only: no click to consume.
    if (binding.command == Command::VolumeUp || binding.command == Command::VolumeDown) continue;
    player.clickConsumed = 1;
  }

  if (hit == kHitExit && leftPressed) return 1;
  if (player.clickConsumed) {
    // The press that was acted on must not also end the program, however long
    // the button stays down and wherever the cursor goes meanwhile.
    if (!leftHeld) player.clickConsumed = 0;
    return 0;
  }
  if (settings.winsetTask == 1) return 0;
  if (hit == kHitExit && leftHeld) return 1;
  if (settings.kestravoxLButtonExit == 1 && hit == kHitOutside && leftHeld) return 1;
  if (settings.kestravoxRButtonExit == 1 && hit == kHitOutside && rightHeld) return 1;
  if (closeHeld) return 1;
  return 0;
}

bool MainLoop::CarryOut(WindowHandle window, Command command, MediaInfo& info) {
  switch (command) {
    case Command::Pause:
      TogglePauseOrSlideshow(info.Kind);
      break;
    case Command::Once:
      SetPlayMode(kModeOnce);
      break;
    case Command::Loop:
      SetPlayMode(kModeLoop);
      break;
    case Command::Series:
      SetPlayMode(kModeSeries);
      break;
    case Command::Random:
      SetPlayMode(kModeRandom);
      break;
    case Command::FullScreen:
      ToggleFullScreen();
      break;
    case Command::Zoom:
      ToggleZoom();
      break;
    case Command::Next:
    case Command::Back:
      Move(window, command == Command::Next ? Direction::Forward : Direction::Backward);
      Player().media->GetInfo(info);  // a later command sees the new media
      break;
    case Command::Slideshow:
      if (info.Kind != kKindImage) return false;  // no slideshow for other kinds
      StartSlideshow();
      break;
    case Command::VolumeUp:
    case Command::VolumeDown:
      ChangeVolume(command == Command::VolumeUp);
      break;
    case Command::Hide:
      HideToTray();
      break;
  }
  return true;
}

int MainLoop::CarryOutKeysetCommand(WindowHandle window, const KeysetCommand& command, MediaInfo& info) {
  Log("リモートコマンド " + std::string(command.name), 0);
  // The close key ends the program by PollInput's answer (dropped by Step
  // while the media is paused); every other KEYSET key has its command in
  // kCommands.
  if (command.key == &Settings::keysetClose) return 1;
  // Requests also reach a player in the tray, where hiding once more would
  // take the lowered volume for the one to restore.
  if (command.key == &Settings::keysetHidden && ProgramSettings().winsetTask == 1) return 0;
  for (const CommandBinding& binding : kCommands) {
    if (binding.key == command.key) CarryOut(window, binding.command, info);
  }
  return 0;
}

int MainLoop::CarryOutRemoteRequests(WindowHandle window) {
  int quit = 0;
  for (const RemoteRequest& request : PlayerRemote().TakeAll()) {
    if (!Player().media) break;
    // A value that is no number (NaN, infinity) means nothing; turned into an
    // integer it would be anything, silence for a volume.
    if (!std::isfinite(request.value)) continue;
    MediaFile& media = *Player().media;
    MediaInfo info;
    media.GetInfo(info);
    MediaState state{};
    media.GetStatus(state);
    const bool image = info.Kind == kKindImage;
    const bool timed = info.Kind == kKindSound || info.Kind == kKindVideo;
    const bool playing = image ? Player().slideshowRunning != 0 : state.PlayState == kPlaying;
    RemoteCommand command = request.command;
    if (command == RemoteCommand::PlayPause) command = playing ? RemoteCommand::Pause : RemoteCommand::Play;

    switch (command) {
      case RemoteCommand::Play:
        if (image && ProgramSettings().imagesetShow == 0) {
          StartSlideshow();  // playing a picture is showing the folder
        } else if (timed && state.PlayState == kStopped) {
          media.Play(0.0);
          RedrawAll();
        } else if (!playing) {
          TogglePauseOrSlideshow(info.Kind);
        }
        break;
      case RemoteCommand::Pause:
        if (playing) TogglePauseOrSlideshow(info.Kind);
        break;
      case RemoteCommand::Stop:
        if (image) {
          Player().slideshowRunning = 0;
        } else if (timed) {
          media.Play(0.0);
          media.Pause();
        }
        RedrawAll();
        break;
      case RemoteCommand::Next:
      case RemoteCommand::Previous:
        Move(window, command == RemoteCommand::Next ? Direction::Forward : Direction::Backward);
        break;
      case RemoteCommand::Quit:
        quit = 1;
        break;
      case RemoteCommand::SeekBy:
      case RemoteCommand::SetPosition: {
        if (!timed || info.Length <= 0.0) break;
        double time = command == RemoteCommand::SeekBy ? state.TimePos + request.value : request.value;
        time = std::clamp(time, 0.0, info.Length);
        const bool wasPaused = state.PlayState == kPaused;
        media.Play(time);  // as a click on the seek bar
        if (wasPaused) media.Pause();
        RedrawAll();
        break;
      }
      case RemoteCommand::SetPlayMode:
        SetPlayMode(std::clamp(static_cast<int>(request.value), static_cast<int>(kModeOnce),
                               static_cast<int>(kModeRandom)));
        break;
      case RemoteCommand::SetVolume:
        SetVolume(static_cast<uint16_t>(std::lround(std::clamp(request.value, 0.0, 1.0) * 65535.0)));
        display_.MarkTextDirty(1);
        display_.Invalidate();
        break;
      case RemoteCommand::Keyset:
        if (request.keyset && CarryOutKeysetCommand(window, *request.keyset, info) == 1) quit = 1;
        break;
      case RemoteCommand::PlayPause:
        break;  // turned into Play or Pause above
    }
  }
  return quit;
}

void MainLoop::RedrawAll() {
  display_.MarkButtonsDirty(1);
  display_.MarkAllDirty();
  display_.Invalidate();
}

void MainLoop::TogglePauseOrSlideshow(int kind) {
  if (kind == kKindImage && ProgramSettings().imagesetShow == 1) {
    int& running = Player().slideshowRunning;
    running = running ? 0 : 1;
  } else {
    Player().media->TogglePause();
  }
  display_.MarkButtonsDirty(1);
  display_.Invalidate();
}

void MainLoop::SetPlayMode(int mode) {
  ProgramSettings().soundsetLoop = mode;
  display_.MarkButtonsDirty(1);
  display_.MarkAllDirty();
  display_.Invalidate();
}

void MainLoop::ToggleFullScreen() {
  int& full = ProgramSettings().videosetFull;
  MediaFile& media = *Player().media;
  media.SetVideoSize(full == 0 ? 3 : 0, 0, 0);
  full = full == 0 ? 1 : 0;
  media.ShowVideo();
  media.CenterVideo();
  display_.MarkAllDirty();
  display_.Invalidate();
  Player().inputBlockedUntil = clock_.now() + kFullScreenInputBlockMs;
}

void MainLoop::ToggleZoom() {
  int& scaleMatch = ProgramSettings().imagesetScaleMatch;
  scaleMatch = scaleMatch == 0 ? 1 : 0;
  display_.Layout();
  display_.MarkAllDirty();
  display_.Invalidate();
}

void MainLoop::StartSlideshow() {
  ScanFolder(Player().fileList, false);
  ProgramSettings().imagesetShow = 1;
  display_.Layout();
  display_.MarkAllDirty();
  display_.Invalidate();
  lastChange_ = clock_.now();
  Player().slideshowRunning = 1;
}

void MainLoop::ChangeVolume(bool up) {
  uint16_t value = 0;
  // Without a readable volume there is nothing to step from.
  if (GetVolume(value)) SetVolume(up ? VolumeAfterKeyUp(value) : VolumeAfterKeyDown(value));
  display_.MarkTextDirty(1);
  display_.Invalidate();
}

void MainLoop::HideToTray() {
  EnterTray(display_);
}

void MainLoop::Move(WindowHandle window, Direction direction) {
  const bool next = direction == Direction::Forward;
  if (next) Log("NEXT 準備", 0);
  ProgramSettings().soundsetEnd = 0;
  ScanFolder(Player().fileList, false);
  const bool random = ProgramSettings().soundsetLoop == kModeRandom;
  if (!LoadFollowingEntry(window, direction, random, CurrentKind())) return;  // empty list

  if (next) Log("NEXT 開始", 0);
  Player().media->Play(-1.0);
  display_.Layout();
  display_.MarkAllDirty();
  display_.Invalidate();
  Player().clickConsumed = 1;
  if (next) Log("NEXT 終了", 0);
  lastChange_ = clock_.now();
  seeking_ = false;
}

bool MainLoop::LoadFollowingEntry(WindowHandle window, Direction direction, bool random, int kindFilter) {
  FileList& list = Player().fileList;
  loadedAt_ = clock_.now();
  // One round: as many tries as the list has entries (in random mode as many
  // picks), so a list where nothing opens still ends the move.
  const int tries = static_cast<int>(list.entries.size());
  for (int attempt = 0; attempt < tries; ++attempt) {
    // A folder or playlist entry replaces the list while it loads.
    const int count = static_cast<int>(list.entries.size());
    if (count == 0) return attempt > 0;
    list.index = random ? RandomIndex(count) : FollowingIndex(list.index, count, direction == Direction::Forward);
    std::string path = list.entries[static_cast<std::size_t>(list.index)];  // LoadMedia rewrites it
    // 9 (an archive was extracted) leaves nothing to play: go on searching.
    if (LoadMedia(window, path, kindFilter) == kResultSuccess) return true;
  }
  return tries > 0;
}

bool MainLoop::HandleEnd(WindowHandle window, int kind) {
  MediaFile* media = Player().media.get();
  switch (ProgramSettings().soundsetLoop) {
    case kModeLoop:
      media->Play(0.0);
      break;
    case kModeSeries:
    case kModeRandom:
      ScanFolder(Player().fileList, false);
      if (LoadFollowingEntry(window, Direction::Forward, ProgramSettings().soundsetLoop == kModeRandom, kind)) {
        Player().media->Play(-1.0);
        display_.Layout();
      } else {
        media->Stop();  // the folder has gone: nothing to go on with
      }
      break;
    default:  // once
      if (ProgramSettings().soundsetEnd == 1) return true;
      media->Stop();
      break;
  }
  display_.MarkAllDirty();
  display_.Invalidate();
  seeking_ = false;
  return false;
}

void MainLoop::AdvanceSlideshow(WindowHandle window) {
  ScanFolder(Player().fileList, false);
  // List order also in random mode.
  if (LoadFollowingEntry(window, Direction::Forward, false, kKindImage)) {
    Player().media->Play(-1.0);
    display_.Layout();
    display_.MarkAllDirty();
    display_.Invalidate();
  }
  lastChange_ = clock_.now();
}

uint32_t MainLoop::NextStepDelay() {
  const uint32_t now = clock_.now();
  MediaFile* media = Player().media.get();
  if (!media) return kLongestStepDelayMs;
  // A new file settles: its device starts, its window appears and takes
  // its place, and a class may report its state late.
  if (buttonHeld_ || now - loadedAt_ < kSettlingMs) return 1;

  uint32_t delay = kLongestStepDelayMs;
  if (InputBlocked(now)) delay = std::min(delay, Player().inputBlockedUntil - now);

  const Settings& settings = ProgramSettings();
  MediaInfo info;
  media->GetInfo(info);
  MediaState state{};
  media->GetStatus(state);
  switch (info.Kind) {
    case kKindSound:
    case kKindVideo: {
      if (state.PlayState != kPlaying) {
        speedSamplePosition_ = -1.0;
        break;
      }
      const double speed = PlayingSpeed(now, state.TimePos);
      // Milliseconds of playing until the media reaches `time`: at least 1,
      // so a position held just short of the end is looked at every step.
      const auto until = [&](double time) {
        // Rounded up (less a hair for the binary fractions of decimal
        // times), so the step comes when the media is there, not before.
        const double ms = std::ceil((time - state.TimePos) * 1000.0 / speed - 1e-6);
        return static_cast<uint32_t>(std::clamp(ms, 1.0, static_cast<double>(kLongestStepDelayMs)));
      };
      // The end is approached as the polling loop did: the last few
      // milliseconds step every millisecond, so that the end is found within
      // one, however the timer and the device's position round.
      const uint32_t toEnd = until(EndOfSound(*media, info.Length));
      delay = std::min(delay, toEnd >= kLongestStepDelayMs ? toEnd : std::max(toEnd, kEndApproachMs + 1) - kEndApproachMs);
      if (!display_.OnScreen()) break;
      // What the window shows changes no faster than it is drawn.
      if (settings.winmesRenew == 11) {
        delay = std::min(delay, kFrameMs);
      } else if (settings.winmesRenew > 0) {
        const double renew = settings.winmesRenew;
        delay = std::min(delay, std::max(kFrameMs, until((std::trunc(renew * state.TimePos) + 1.0) / renew)));
      }
      if (settings.winsetScroll == 1) {
        const double perPixel = display_.SeekBarSecondsPerPixel(info.Length);
        if (perPixel > 0.0) {
          delay = std::min(delay, std::max(kFrameMs, until((std::floor(state.TimePos / perPixel) + 1.0) * perPixel)));
        }
      }
      break;
    }
    case kKindImage:
      if (settings.imagesetShow == 1 && Player().slideshowRunning == 1) {
        // The step moves on once more than the interval has passed.
        const int64_t interval = static_cast<int64_t>(std::max(settings.imagesetShowSec, 0)) * 1000;
        const int64_t due = interval + 1 - static_cast<int64_t>(now - lastChange_);
        delay = std::min<uint32_t>(delay, static_cast<uint32_t>(std::clamp<int64_t>(due, 1, kLongestStepDelayMs)));
      }
      break;
    default:
      break;
  }
  return std::max<uint32_t>(delay, 1);
}

double MainLoop::PlayingSpeed(uint32_t now, double position) {
  // Samples at least this far apart give the speed; closer ones are too
  // coarse for the position's steps.
  constexpr uint32_t kSampleSpanMs = 200;
  if (speedSamplePosition_ < 0.0 || position < speedSamplePosition_) {
    speedSampleAt_ = now;
    speedSamplePosition_ = position;
    return speed_;
  }
  const uint32_t span = now - speedSampleAt_;
  if (span >= kSampleSpanMs) {
    // Never slower than real time: a device that reports late would make
    // the loop wake after the end. Faster playing brings the wake forward.
    speed_ = std::clamp((position - speedSamplePosition_) * 1000.0 / span, 1.0, 16.0);
    speedSampleAt_ = now;
    speedSamplePosition_ = position;
  }
  return speed_;
}

int MainLoop::WatchMedia(WindowHandle window) {
  PlayerState& player = Player();
  if (!player.media) return 0;
  const Settings& settings = ProgramSettings();
  MediaInfo info;
  player.media->GetInfo(info);
  MediaState state{};
  player.media->GetStatus(state);

  switch (info.Kind) {
    case kKindSound:
    case kKindVideo: {
      // The position is what has been heard (the wave-out classes count the
      // bytes the device has played; the MCI and video devices report their
      // length once their stream has ended), so the file has ended only when
      // it reaches the end of its sound: any earlier and its last sound is
      // cut off. Classes that decode PCM themselves know that end to the
      // sample; Length is rounded to the millisecond.
      const double end = EndOfSound(*player.media, info.Length);
      if (state.TimePos >= end && HandleEnd(window, info.Kind)) return 1;
      // RENEW refreshes of the time line per second of playback; 11: every step.
      const double tick = std::trunc(settings.winmesRenew * state.TimePos);
      if (settings.winmesRenew == 11 || tick != lastDrawnTick_) {
        display_.MarkTextDirty(1);
        display_.Invalidate();
      }
      lastDrawnTick_ = tick;
      if (settings.winsetScroll == 1) display_.SetTrackbarTime(state.TimePos);
      break;
    }
    case kKindUnplayable:
    case kKindDocument:
      if (lastDrawnTick_ == kNotDrawn) {
        display_.MarkTextDirty(1);
        display_.Invalidate();
      }
      lastDrawnTick_ = 0.0;
      break;
    case kKindImage: {
      int x = lastCursorX_;
      int y = lastCursorY_;
      if (input_.GetCursorPos(x, y) && (x != lastCursorX_ || y != lastCursorY_)) {
        display_.MarkButtonsDirty(1);
        display_.Invalidate();
        lastCursorX_ = x;
        lastCursorY_ = y;
      }
      if (settings.imagesetShow == 1 && player.slideshowRunning == 1) {
        const uint32_t elapsed = clock_.now() - lastChange_;  // wraps with the tick
        const int64_t interval = static_cast<int64_t>(settings.imagesetShowSec > 0 ? settings.imagesetShowSec : 0) * 1000;
        if (static_cast<int64_t>(elapsed) > interval) AdvanceSlideshow(window);
      }
      break;
    }
    default:
      break;
  }
  return 0;
}

}  // namespace qorve
