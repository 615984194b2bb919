#include "player/core/main_loop.h"

#include "common/keyset_commands.h"
#include "common/log.h"
#include "common/settings.h"
#include "common/volume.h"
#include "platform/audio/mixer.h"
#include "player/core/desktop/remote_control.h"
#include "player/core/player_state.h"
#include "support/temp_home.h"

#include "display_fake.h"
#include "media_fake.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// Counts heap allocations while a test asks for it (the idle step must make
// none). Every other allocation of the program passes straight through.
namespace {
std::atomic<bool> g_countAllocations{false};
std::atomic<int> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  if (g_countAllocations.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace qorve {
namespace {

using test::CurrentScriptedMedia;
using test::MediaPlan;
using test::RecordingDisplay;
using test::ScriptedMedia;

uint32_t g_now = 0;
int g_sleptMs = 0;
uint32_t FakeNow() { return g_now; }
void FakeSleep(uint32_t ms) { g_sleptMs += static_cast<int>(ms); }

const WindowHandle kWindow = nullptr;

// Test parameters print as their case name.
template <typename Case>
  requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

// Scripted keys, counting how often each key is read.
class CountingInput final : public InputPoller {
 public:
  int16_t GetAsyncKeyState(int virtualKey) override {
    if (virtualKey > 0 && virtualKey < 256) ++reads[virtualKey];
    TakeEventPass();
    return keys.GetAsyncKeyState(virtualKey);
  }
  bool GetCursorPos(int& x, int& y) override { return keys.GetCursorPos(x, y); }

  // Key events as the player receives them from the window system: they
  // wait on the connection and reach the key state only at the message
  // loop's next event pass, every kEventPassMs of the test clock.
  struct Event {
    uint32_t at;
    int key;
    bool down;
  };
  static constexpr uint32_t kEventPassMs = 16;
  void Queue(Event event) { queued.push_back(event); }

  ScriptedInput keys;
  int reads[256] = {};
  std::vector<Event> queued;
  uint32_t lastPass = 0;

 private:
  void TakeEventPass() {
    if (queued.empty() || g_now - lastPass < kEventPassMs) return;
    lastPass = g_now;
    std::erase_if(queued, [this](const Event& event) {
      if (event.at > g_now) return false;
      if (event.down) {
        keys.Press(event.key);
      } else {
        keys.Release(event.key);
      }
      return true;
    });
  }
};

class MainLoopTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    SetSystemMixerForTesting(CreateVirtualMixer(30000));
    ResetSettings();
    Settings& settings = ProgramSettings();
    settings.kestravoxLog = 0;
    settings.kestravoxMixPlay = 0;  // each fake class stays with its own kind
    ResetPlayer();
    g_now = 100000;
    g_sleptMs = 0;
    classes_ = std::make_unique<test::ScriptedClassGroups>();
    folder_ = root() / "media";
    std::filesystem::create_directories(folder_);
  }

  void TearDown() override {
    loop_.reset();
    ResetPlayer();
    classes_.reset();
    CloseLog();
    SetSystemMixerForTesting(nullptr);
    ResetSettings();
    TempHome::TearDown();
  }

  static void ResetPlayer() {
    PlayerState& player = Player();
    player.media.reset();
    player.fileList = FileList{};
    player.inputBlockedUntil = 0;
    player.clickConsumed = 0;
    player.slideshowRunning = 0;
    player.volumeAtStart = {};
    player.volumeBeforeTray = {};
  }

  // Makes the files, then starts as the program does: the controller scans the
  // folder of `first`, `first` is loaded and played.
  void Start(std::initializer_list<const char*> names, const char* first) {
    Start(std::vector<std::string>(names.begin(), names.end()), first);
  }
  void Start(const std::vector<std::string>& names, const std::string& first) {
    for (const std::string& name : names) test::WriteFile(folder_ / name, "media bytes");
    Player().fileList.firstArgument = (folder_ / first).string();
    loop_ = std::make_unique<MainLoop>(display_, input_, ControllerClock{&FakeNow, &FakeSleep});
    std::string path = Player().fileList.firstArgument;
    LoadMedia(kWindow, path, 0);
    Player().media->Play(-1.0);
    if (ScriptedMedia* media = CurrentScriptedMedia()) media->plays.clear();
    MediaPlan().opened.clear();
  }

  ScriptedMedia& Media() {
    ScriptedMedia* media = CurrentScriptedMedia();
    if (!media) {
      ADD_FAILURE() << "the current media object is not a scripted one";
      static ScriptedMedia none(kKindUnplayable);
      return none;
    }
    return *media;
  }
  std::string CurrentName() {
    ScriptedMedia* media = CurrentScriptedMedia();
    return media ? media->FileName() : std::string("(none)");
  }
  static int ListSize() { return static_cast<int>(Player().fileList.entries.size()); }
  static std::string Entry(int index) {
    const int count = ListSize();
    return std::filesystem::path(Player().fileList.entries.at(static_cast<std::size_t>((index % count + count) % count)))
        .filename()
        .string();
  }
  // Puts the current file at its end (TimePos reaches Length).
  void EndCurrentFile() { Media().state.TimePos = MediaPlan().length; }
  // Down now, with its press already seen by an earlier poll.
  void Hold(int virtualKey) {
    keys().Press(virtualKey);
    keys().GetAsyncKeyState(virtualKey);
  }
  ScriptedInput& keys() { return input_.keys; }
  // A key pressed 3 ms after an event pass and released 5 ms later, while
  // the controller steps every millisecond: both events arrive with the next
  // pass. The result of the first step that saw them (0 when none did).
  int TapFiveMillisecondsBetweenPasses(int virtualKey) {
    input_.lastPass = g_now;
    input_.Queue({g_now + 3, virtualKey, true});
    input_.Queue({g_now + 8, virtualKey, false});
    for (uint32_t ms = 1; ms <= CountingInput::kEventPassMs; ++ms) {
      ++g_now;
      const int result = Step();
      if (!input_.queued.empty()) {
        EXPECT_EQ(result, 0) << "a step before the key events arrived";
        continue;
      }
      return result;
    }
    ADD_FAILURE() << "the key events never arrived";
    return 0;
  }
  int Step() { return loop_->Step(kWindow); }
  int Poll() { return loop_->PollInput(kWindow); }

  RecordingDisplay display_;
  CountingInput input_;
  std::unique_ptr<MainLoop> loop_;
  std::unique_ptr<test::ScriptedClassGroups> classes_;
  std::filesystem::path folder_;
};

// --- construction ---------------------------------------------------------

TEST_F(MainLoopTest, ConstructionListsTheStartFolderAndFindsTheStartFile) {
  Start({"a.ogg", "b.ogg", "c.ogg"}, "b.ogg");
  EXPECT_EQ(ListSize(), 3);
  EXPECT_EQ(Entry(Player().fileList.index), "b.ogg");
  EXPECT_EQ(loop_->LastChange(), g_now);
  loop_.reset();
  EXPECT_TRUE(Player().fileList.entries.empty());
}

TEST_F(MainLoopTest, StepSleepsOneMillisecondOnlyWhenTheProgramGoesOn) {
  Start({"a.ogg"}, "a.ogg");
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(g_sleptMs, 1);
  Hold(kVkEscape);
  EXPECT_EQ(Step(), -1);
  EXPECT_EQ(g_sleptMs, 1);
}

// --- commands -------------------------------------------------------------

// How a command reaches the controller: its key, its display button, or a
// remote's KEYSET request while the key is unbound (0) or is a mouse button.
enum class Trigger { Key, Button, RemoteUnbound, RemoteOnTheRightButton };

class CommandTest;

struct CommandCase {
  const char* name;
  int Settings::*key;  // null: button only
  int hit;             // -1: key only
  const char* file;    // the start file, which decides the media kind
  void (*prepare)(CommandTest&);
  void (*check)(CommandTest&);
};

class CommandTest : public MainLoopTest, public ::testing::WithParamInterface<std::tuple<CommandCase, Trigger>> {
 public:
  using MainLoopTest::display_;
  using MainLoopTest::Entry;
  using MainLoopTest::Media;
  using MainLoopTest::CurrentName;
  using MainLoopTest::loop_;
  int startIndex = 0;
};

void NoPreparation(CommandTest&) {}

const CommandCase kCommandCases[] = {
    {"Pause", &Settings::keysetPause, 11, "b.ogg", NoPreparation,
     [](CommandTest& t) {
       EXPECT_EQ(t.Media().togglePauses, 1);
       EXPECT_EQ(t.Media().state.PlayState, kPaused);
       EXPECT_GE(t.display_.buttonsDirty, 1);
     }},
    {"PauseStopsTheSlideshow", &Settings::keysetPause, 11, "b.img",
     [](CommandTest&) {
       ProgramSettings().imagesetShow = 1;
       Player().slideshowRunning = 1;
     },
     [](CommandTest& t) {
       EXPECT_EQ(Player().slideshowRunning, 0);
       EXPECT_EQ(t.Media().togglePauses, 0);
     }},
    {"Once", nullptr, 12, "b.ogg", [](CommandTest&) { ProgramSettings().soundsetLoop = 2; },
     [](CommandTest& t) {
       EXPECT_EQ(ProgramSettings().soundsetLoop, 0);
       EXPECT_EQ(t.display_.allDirty, 1);
     }},
    {"Loop", &Settings::keysetLoop, 13, "b.ogg", NoPreparation,
     [](CommandTest&) { EXPECT_EQ(ProgramSettings().soundsetLoop, 1); }},
    {"Series", &Settings::keysetList, 14, "b.ogg", NoPreparation,
     [](CommandTest&) { EXPECT_EQ(ProgramSettings().soundsetLoop, 2); }},
    {"Random", &Settings::keysetRand, 15, "b.ogg", NoPreparation,
     [](CommandTest&) { EXPECT_EQ(ProgramSettings().soundsetLoop, 3); }},
    {"FullScreen", &Settings::keysetFull, 16, "b.avi", NoPreparation,
     [](CommandTest& t) {
       EXPECT_EQ(t.Media().videoSizes, std::vector<int>{3});
       EXPECT_EQ(ProgramSettings().videosetFull, 1);
       EXPECT_EQ(t.Media().showVideos, 1);
       EXPECT_EQ(t.Media().centerVideos, 1);
       EXPECT_EQ(Player().inputBlockedUntil, g_now + 25);
     }},
    {"FullScreenOff", &Settings::keysetFull, 16, "b.avi", [](CommandTest&) { ProgramSettings().videosetFull = 1; },
     [](CommandTest& t) {
       EXPECT_EQ(t.Media().videoSizes, std::vector<int>{0});
       EXPECT_EQ(ProgramSettings().videosetFull, 0);
     }},
    {"Zoom", &Settings::keysetZoom, 17, "b.img", [](CommandTest&) { ProgramSettings().imagesetScaleMatch = 1; },
     [](CommandTest& t) {
       EXPECT_EQ(ProgramSettings().imagesetScaleMatch, 0);
       EXPECT_EQ(t.display_.layouts, 1);
     }},
    {"Next", &Settings::keysetNext, 18, "b.ogg", [](CommandTest&) { ProgramSettings().soundsetEnd = 1; },
     [](CommandTest& t) {
       EXPECT_EQ(t.CurrentName(), t.Entry(t.startIndex + 1));
       EXPECT_EQ(t.Media().plays, std::vector<double>{-1.0});
       EXPECT_EQ(t.display_.layouts, 1);
       EXPECT_EQ(ProgramSettings().soundsetEnd, 0);
     }},
    {"Back", &Settings::keysetBack, 19, "b.ogg", [](CommandTest&) { ProgramSettings().soundsetEnd = 1; },
     [](CommandTest& t) {
       EXPECT_EQ(t.CurrentName(), t.Entry(t.startIndex - 1));
       EXPECT_EQ(t.Media().plays, std::vector<double>{-1.0});
       EXPECT_EQ(ProgramSettings().soundsetEnd, 0);
     }},
    {"Slideshow", &Settings::keysetShow, 20, "b.img", [](CommandTest&) { g_now += 777; },
     [](CommandTest& t) {
       EXPECT_EQ(ProgramSettings().imagesetShow, 1);
       EXPECT_EQ(Player().slideshowRunning, 1);
       EXPECT_EQ(t.display_.layouts, 1);
       EXPECT_EQ(t.CurrentName(), "b.img");  // starts on the picture shown
       EXPECT_EQ(t.loop_->LastChange(), g_now);
     }},
    {"Hide", &Settings::keysetHidden, 21, "b.ogg", NoPreparation,
     [](CommandTest& t) {
       EXPECT_EQ(t.display_.hides, 1);
       EXPECT_EQ(ProgramSettings().winsetTask, 1);
     }},
};

std::vector<std::tuple<CommandCase, Trigger>> CommandTriggers() {
  std::vector<std::tuple<CommandCase, Trigger>> cases;
  for (const CommandCase& command : kCommandCases) {
    if (command.key) cases.emplace_back(command, Trigger::Key);
    if (command.hit >= 0) cases.emplace_back(command, Trigger::Button);
  }
  return cases;
}

TEST_P(CommandTest, FiresAndConsumesTheClick) {
  const auto& [command, trigger] = GetParam();
  const std::string extension = std::filesystem::path(command.file).extension().string();
  Start({"a" + extension, "b" + extension, "c" + extension}, command.file);
  startIndex = Player().fileList.index;
  command.prepare(*this);
  if (trigger == Trigger::Key) {
    keys().Tap(ProgramSettings().*command.key);
  } else {
    display_.hit = command.hit;
    keys().Press(kVkLButton);  // still down after the poll
  }
  EXPECT_EQ(Poll(), 0);
  command.check(*this);
  if (trigger == Trigger::Button) {
    EXPECT_EQ(Player().clickConsumed, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(MainLoop, CommandTest, ::testing::ValuesIn(CommandTriggers()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == Trigger::Key ? "ByKey" : "ByButton");

                         });

// A KEYSET command sent by a remote does what its key does, with the key
// unbound (0) or bound to a mouse button, and logs its name.
class RemoteKeysetTest : public CommandTest {};

const KeysetCommand& KeysetCommandOf(int Settings::*key) {
  for (const KeysetCommand& command : KeysetCommands()) {
    if (command.key == key) return command;
  }
  ADD_FAILURE() << "no KEYSET command for this key";
  return KeysetCommands().front();
}

TEST_P(RemoteKeysetTest, ActsAsItsKeyWhateverTheKeyIs) {
  const auto& [command, trigger] = GetParam();
  const std::string extension = std::filesystem::path(command.file).extension().string();
  Start({"a" + extension, "b" + extension, "c" + extension}, command.file);
  ProgramSettings().kestravoxLog = 1;
  startIndex = Player().fileList.index;
  command.prepare(*this);
  ProgramSettings().*command.key = trigger == Trigger::RemoteUnbound ? 0 : kVkRButton;
  const KeysetCommand& keyset = KeysetCommandOf(command.key);
  PlayerRemote().Post({RemoteCommand::Keyset, 0.0, &keyset});
  EXPECT_EQ(Poll(), 0);
  command.check(*this);
  CloseLog();
  const std::string log = test::ReadFile(settingsFolder() / "LOG.TXT");
  EXPECT_NE(log.find(std::string("\"リモートコマンド ") + keyset.name + "\""), std::string::npos) << log;
}

std::vector<std::tuple<CommandCase, Trigger>> RemoteKeysetCases() {
  std::vector<std::tuple<CommandCase, Trigger>> cases;
  for (const CommandCase& command : kCommandCases) {
    if (!command.key) continue;
    cases.emplace_back(command, Trigger::RemoteUnbound);
    cases.emplace_back(command, Trigger::RemoteOnTheRightButton);
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(MainLoop, RemoteKeysetTest, ::testing::ValuesIn(RemoteKeysetCases()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == Trigger::RemoteUnbound ? "Unbound" : "OnTheRightButton");
                         });

// Every command key fires on a tap shorter than the time between two passes
// of the window system's events.
class CommandTapTest : public CommandTest {};

TEST_P(CommandTapTest, FiresOnAFiveMillisecondTap) {
  const auto& [command, trigger] = GetParam();
  const std::string extension = std::filesystem::path(command.file).extension().string();
  Start({"a" + extension, "b" + extension, "c" + extension}, command.file);
  startIndex = Player().fileList.index;
  command.prepare(*this);
  EXPECT_EQ(TapFiveMillisecondsBetweenPasses(ProgramSettings().*command.key), 0);
  command.check(*this);
}

std::vector<std::tuple<CommandCase, Trigger>> CommandKeys() {
  std::vector<std::tuple<CommandCase, Trigger>> cases;
  for (const CommandCase& command : kCommandCases) {
    if (command.key) cases.emplace_back(command, Trigger::Key);
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(MainLoop, CommandTapTest, ::testing::ValuesIn(CommandKeys()),
                         [](const auto& info) { return std::string(std::get<0>(info.param).name); });

TEST_F(MainLoopTest, AFiveMillisecondTapOfTheCloseKeyEndsTheProgram) {
  Start({"a.ogg"}, "a.ogg");
  EXPECT_EQ(TapFiveMillisecondsBetweenPasses(kVkEscape), -1);
  ProgramSettings().keysetClose = 'Q';
  EXPECT_EQ(TapFiveMillisecondsBetweenPasses('Q'), -1);
}

TEST_F(MainLoopTest, TheVolumeKeysFireOnAFiveMillisecondTap) {
  Start({"a.ogg"}, "a.ogg");
  uint16_t volume = 0;
  ASSERT_TRUE(GetVolume(volume));
  EXPECT_EQ(TapFiveMillisecondsBetweenPasses(ProgramSettings().keysetVolumeUp), 0);
  uint16_t louder = 0;
  ASSERT_TRUE(GetVolume(louder));
  EXPECT_GT(louder, volume);
  EXPECT_EQ(TapFiveMillisecondsBetweenPasses(ProgramSettings().keysetVolumeDown), 0);
  uint16_t back = 0;
  ASSERT_TRUE(GetVolume(back));
  EXPECT_EQ(back, volume);
}

TEST_F(MainLoopTest, ACloseKeyTapDuringAConsumedClickIsNotKeptForLater) {
  Start({"a.ogg"}, "a.ogg");
  Player().clickConsumed = 1;
  Hold(kVkLButton);
  display_.hit = kHitWindow;
  keys().Tap(kVkEscape);
  EXPECT_EQ(Poll(), 0);
  keys().Release(kVkLButton);
  EXPECT_EQ(Poll(), 0);
  EXPECT_EQ(Player().clickConsumed, 0);
  EXPECT_EQ(Poll(), 0);
}

TEST_F(MainLoopTest, KeysComeFromTheSettingsAndAreReadOncePerPoll) {
  Start({"a.ogg"}, "a.ogg");
  ProgramSettings().keysetPause = 'Q';
  ProgramSettings().keysetLoop = 'Q';  // one key for two commands: both fire
  keys().Tap('P');
  Poll();
  EXPECT_EQ(Media().togglePauses, 0);
  keys().Tap('Q');
  std::fill(std::begin(input_.reads), std::end(input_.reads), 0);
  Poll();
  EXPECT_EQ(Media().togglePauses, 1);
  EXPECT_EQ(ProgramSettings().soundsetLoop, 1);
  for (int key = 0; key < 256; ++key) EXPECT_LE(input_.reads[key], 1) << "key " << key;
  EXPECT_EQ(input_.reads[kVkLButton], 1);
  EXPECT_EQ(input_.reads[kVkRButton], 1);
}

TEST_F(MainLoopTest, SlideshowStartsOnlyForPicturesAlsoByRightClickInTheWindow) {
  Start({"a.ogg", "a.img"}, "a.ogg");
  keys().Tap(ProgramSettings().keysetShow);
  Poll();
  EXPECT_EQ(ProgramSettings().imagesetShow, 0);
  EXPECT_EQ(display_.layouts, 0);

  ProgramSettings().kestravoxMixPlay = 1;  // a picture may follow a sound
  keys().Tap(ProgramSettings().keysetNext);
  Poll();
  ASSERT_EQ(CurrentName(), "a.img");
  display_.hit = kHitWindow;
  keys().Tap(kVkRButton);
  Poll();
  EXPECT_EQ(ProgramSettings().imagesetShow, 1);
  EXPECT_EQ(Player().slideshowRunning, 1);
}

struct VolumeCase {
  const char* name;
  uint16_t start;
  bool up;
  uint16_t expected;
};

class VolumeKeyTest : public MainLoopTest, public ::testing::WithParamInterface<VolumeCase> {};

TEST_P(VolumeKeyTest, StepsWithinTheRangeWithoutConsumingTheClick) {
  Start({"a.ogg"}, "a.ogg");
  ASSERT_TRUE(SetVolume(GetParam().start));
  Hold(kVkLButton);  // a click in progress inside the window
  keys().Tap(GetParam().up ? ProgramSettings().keysetVolumeUp : ProgramSettings().keysetVolumeDown);
  Poll();
  uint16_t volume = 0;
  ASSERT_TRUE(GetVolume(volume));
  EXPECT_EQ(volume, GetParam().expected);
  EXPECT_EQ(display_.textDirty, 1);
  EXPECT_EQ(Player().clickConsumed, 0);
}

INSTANTIATE_TEST_SUITE_P(MainLoop, VolumeKeyTest,
                         ::testing::Values(VolumeCase{"UpToTheTop", 64000, true, 65535},
                                           VolumeCase{"UpOneStep", 30000, true, 33276},
                                           VolumeCase{"DownToSilence", 3000, false, 0},
                                           VolumeCase{"DownOneStep", 30000, false, 26724}),
                         [](const auto& info) { return std::string(info.param.name); });

struct HideCase {
  const char* name;
  int bgmVolDown;
  int modeBefore;
  uint16_t expectedVolume;
  std::optional<int> expectedRemembered;
  int expectedMode;
};

class HideTest : public MainLoopTest, public ::testing::WithParamInterface<HideCase> {};

TEST_P(HideTest, HidesLowersTheVolumeAndKeepsTheMusicGoing) {
  Start({"a.ogg"}, "a.ogg");
  Settings& settings = ProgramSettings();
  settings.soundsetBgmVolDown = GetParam().bgmVolDown;
  settings.soundsetBgmVolume = 10;
  settings.soundsetLoop = GetParam().modeBefore;
  ASSERT_TRUE(SetVolume(30000));
  keys().Tap(settings.keysetHidden);
  EXPECT_EQ(Poll(), 0);
  EXPECT_EQ(display_.hides, 1);
  EXPECT_EQ(settings.winsetTask, 1);
  uint16_t volume = 0;
  ASSERT_TRUE(GetVolume(volume));
  EXPECT_EQ(volume, GetParam().expectedVolume);
  EXPECT_EQ(Player().volumeBeforeTray, GetParam().expectedRemembered);
  EXPECT_EQ(settings.soundsetLoop, GetParam().expectedMode);
}

INSTANTIATE_TEST_SUITE_P(MainLoop, HideTest,
                         ::testing::Values(HideCase{"BgmVolumeAndOnceBecomesLoop", 1, 0, 10 * 655, 30000 / 655, 1},
                                           HideCase{"VolumeUntouchedWithoutBgmVolDown", 0, 0, 30000, std::nullopt, 1},
                                           HideCase{"SeriesStaysSeries", 1, 2, 10 * 655, 30000 / 655, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- seek bar -------------------------------------------------------------

TEST_F(MainLoopTest, SeekBarPressPlaysAtTheCursorTimeAndNothingElseFires) {
  Start({"a.ogg", "b.ogg"}, "a.ogg");
  display_.hit = kHitSeekBar;
  display_.timeAtCursor = 42.5;
  keys().Press(kVkLButton);
  keys().Tap(ProgramSettings().keysetPause);
  keys().Tap(ProgramSettings().keysetNext);
  EXPECT_EQ(Poll(), 0);
  EXPECT_EQ(Media().plays, std::vector<double>{42.5});
  EXPECT_EQ(Media().togglePauses, 0);
  EXPECT_EQ(CurrentName(), "a.ogg");
  EXPECT_EQ(Player().clickConsumed, 1);
}

TEST_F(MainLoopTest, SeekBarDragFollowsTheCursorButARestingCursorSeeksOnce) {
  Start({"a.ogg"}, "a.ogg");
  display_.hit = kHitSeekBar;
  display_.timeAtCursor = 10.0;
  keys().Press(kVkLButton);
  Poll();
  Poll();
  display_.timeAtCursor = 12.0;
  Poll();
  keys().Release(kVkLButton);
  Poll();
  keys().Press(kVkLButton);  // a new click on the same spot seeks again
  Poll();
  EXPECT_EQ(Media().plays, (std::vector<double>{10.0, 12.0, 12.0}));
}

struct SeekFallThroughCase {
  const char* name;
  int scroll;
  double timeAtCursor;
};

class SeekFallThroughTest : public MainLoopTest, public ::testing::WithParamInterface<SeekFallThroughCase> {};

TEST_P(SeekFallThroughTest, CommandsRunWhenTheSeekBarDoesNotTakeThePress) {
  Start({"a.ogg"}, "a.ogg");
  ProgramSettings().winsetScroll = GetParam().scroll;
  display_.hit = kHitSeekBar;
  display_.timeAtCursor = GetParam().timeAtCursor;
  Hold(kVkLButton);
  keys().Tap(ProgramSettings().keysetPause);
  Poll();
  EXPECT_TRUE(Media().plays.empty());
  EXPECT_EQ(Media().togglePauses, 1);
}

INSTANTIATE_TEST_SUITE_P(MainLoop, SeekFallThroughTest,
                         ::testing::Values(SeekFallThroughCase{"SeekBarOff", 0, 5.0},
                                           SeekFallThroughCase{"CursorOffTheBar", 1, -1.0}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- quitting -------------------------------------------------------------

enum Button { kUp, kTapped, kPressedAndHeld, kHeld };

struct QuitCase {
  const char* name;
  int hit;
  Button left;
  Button right;
  Button escape;
  int lButtonExit;
  int rButtonExit;
  int clickConsumedBefore;
  int expected;
  int clickConsumedAfter;
};

class QuitTest : public MainLoopTest, public ::testing::WithParamInterface<QuitCase> {
 protected:
  void Set(int virtualKey, Button state) {
    if (state == kTapped) keys().Tap(virtualKey);
    if (state == kPressedAndHeld) keys().Press(virtualKey);
    if (state == kHeld) Hold(virtualKey);
  }
};

TEST_P(QuitTest, QuitTestsInTheirOrder) {
  const QuitCase& c = GetParam();
  Start({"a.ogg"}, "a.ogg");
  ProgramSettings().kestravoxLButtonExit = c.lButtonExit;
  ProgramSettings().kestravoxRButtonExit = c.rButtonExit;
  Player().clickConsumed = c.clickConsumedBefore;
  display_.hit = c.hit;
  Set(kVkLButton, c.left);
  Set(kVkRButton, c.right);
  Set(kVkEscape, c.escape);
  EXPECT_EQ(Poll(), c.expected);
  EXPECT_EQ(Player().clickConsumed, c.clickConsumedAfter);
}

INSTANTIATE_TEST_SUITE_P(
    MainLoop, QuitTest,
    ::testing::Values(
        QuitCase{"ExitButtonPressEndsEvenAfterAConsumedClick", 10, kPressedAndHeld, kUp, kUp, 1, 0, 1, 1, 1},
        QuitCase{"ExitButtonTappedEnds", 10, kTapped, kUp, kUp, 1, 0, 0, 1, 0},
        QuitCase{"ConsumedClickHeldOutsideDoesNotEnd", 0, kHeld, kUp, kUp, 1, 0, 1, 0, 1},
        QuitCase{"ConsumedClickClearedOnReleaseAndEscIgnoredThatPoll", 1, kUp, kUp, kHeld, 1, 0, 1, 0, 0},
        QuitCase{"ExitButtonHeldEnds", 10, kHeld, kUp, kUp, 0, 0, 0, 1, 0},
        QuitCase{"LeftHeldOutsideEndsWithLButtonExit", 0, kHeld, kUp, kUp, 1, 0, 0, 1, 0},
        QuitCase{"LeftHeldOutsideWithoutLButtonExit", 0, kHeld, kUp, kUp, 0, 0, 0, 0, 0},
        QuitCase{"LeftHeldInsideDoesNotEnd", 1, kHeld, kUp, kUp, 1, 0, 0, 0, 0},
        QuitCase{"RightHeldOutsideEndsWithRButtonExit", 0, kUp, kHeld, kUp, 1, 1, 0, 1, 0},
        QuitCase{"RightHeldOutsideWithoutRButtonExit", 0, kUp, kHeld, kUp, 1, 0, 0, 0, 0},
        QuitCase{"RightHeldInsideDoesNotEnd", 1, kUp, kHeld, kUp, 1, 1, 0, 0, 0},
        QuitCase{"EscHeldEnds", 1, kUp, kUp, kHeld, 1, 0, 0, 1, 0},
        QuitCase{"EscTappedBetweenTwoPollsEnds", 1, kUp, kUp, kTapped, 1, 0, 0, 1, 0},
        QuitCase{"EscTappedDuringAConsumedClickDoesNotEnd", 1, kHeld, kUp, kTapped, 1, 0, 1, 0, 1},
        QuitCase{"NothingGoesOn", 1, kUp, kUp, kUp, 1, 1, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainLoopTest, HidingInThisPollKeepsTheProgramRunning) {
  Start({"a.ogg"}, "a.ogg");
  Hold(kVkEscape);
  keys().Tap(ProgramSettings().keysetHidden);
  EXPECT_EQ(Poll(), 0);
  EXPECT_EQ(ProgramSettings().winsetTask, 1);
  EXPECT_EQ(Poll(), 0);  // hidden: Esc does nothing
}

TEST_F(MainLoopTest, ClickOnNextDoesNotQuitWhileTheButtonStaysDownOutsideTheNewWindow) {
  Start({"a.ogg", "b.ogg"}, "a.ogg");
  ProgramSettings().kestravoxLButtonExit = 1;
  display_.hit = kHitButtonBase + 8;
  keys().Press(kVkLButton);
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(CurrentName(), "b.ogg");
  display_.hit = kHitOutside;  // the new layout left the cursor outside
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(Step(), 0);
  keys().Release(kVkLButton);
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(Player().clickConsumed, 0);
  keys().Press(kVkLButton);  // a new click outside does end the program
  EXPECT_EQ(Step(), -1);
}

TEST_F(MainLoopTest, QuitWhilePausedIsDroppedAndWorksAfterResuming) {
  Start({"a.ogg"}, "a.ogg");
  Media().state.PlayState = kPaused;
  Hold(kVkEscape);
  EXPECT_EQ(Step(), 0);
  display_.hit = kHitButtonBase;
  keys().Press(kVkLButton);
  EXPECT_EQ(Step(), 0);
  keys().Release(kVkLButton);
  display_.hit = kHitWindow;
  Media().state.PlayState = kPlaying;
  EXPECT_EQ(Step(), -1);
}

// --- ignored input --------------------------------------------------------

struct BlockCase {
  const char* name;
  uint32_t now;
  uint32_t blockFor;
};

class InputBlockTest : public MainLoopTest, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(InputBlockTest, BlockedInputDoesNothingAndItsPressesAreDropped) {
  Start({"a.ogg"}, "a.ogg");
  g_now = GetParam().now;
  Player().inputBlockedUntil = g_now + GetParam().blockFor;  // may wrap past 0
  keys().Tap(ProgramSettings().keysetPause);
  Hold(kVkEscape);
  EXPECT_EQ(Step(), 0);
  g_now += GetParam().blockFor - 1;
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(display_.hitTests, 0);
  g_now += 1;
  EXPECT_EQ(Step(), -1);  // Esc still down
  EXPECT_EQ(Media().togglePauses, 0);  // the press made while blocked stays dropped
}

INSTANTIATE_TEST_SUITE_P(MainLoop, InputBlockTest,
                         ::testing::Values(BlockCase{"AfterRestoreFromTray", 100000, 350},
                                           BlockCase{"AcrossTheTickWrap", 0xFFFFFF00u, 0x200}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainLoopTest, NeverSetBlockDoesNotBlockAClockPastHalfItsRange) {
  Start({"a.ogg"}, "a.ogg");
  g_now = 0x90000000u;  // 28 days after boot; inputBlockedUntil is still 0
  keys().Tap(ProgramSettings().keysetPause);
  Poll();
  EXPECT_EQ(Media().togglePauses, 1);
}

TEST_F(MainLoopTest, HiddenInTheTrayIgnoresInputButStillHandlesTheEndOfAFile) {
  Start({"a.ogg", "b.ogg"}, "a.ogg");
  ProgramSettings().winsetTask = 1;
  ProgramSettings().soundsetLoop = 2;
  keys().Tap(ProgramSettings().keysetPause);
  keys().Tap(ProgramSettings().keysetNext);
  Hold(kVkEscape);
  display_.hit = kHitButtonBase;
  keys().Press(kVkLButton);
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(display_.hitTests, 0);
  EXPECT_EQ(Media().togglePauses, 0);
  EXPECT_EQ(CurrentName(), "a.ogg");

  EndCurrentFile();
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(CurrentName(), "b.ogg");

  // Back from the tray: the presses made while hidden do not act now.
  ProgramSettings().winsetTask = 0;
  keys().Release(kVkEscape);
  keys().Release(kVkLButton);
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(Media().togglePauses, 0);
  EXPECT_EQ(CurrentName(), "b.ogg");
}

// --- end of a file and play modes -----------------------------------------

TEST_F(MainLoopTest, OnceWithEndEndsTheProgramAtTheEndEvenWhileHidden) {
  Start({"a.ogg", "b.ogg"}, "a.ogg");
  ProgramSettings().soundsetLoop = 0;
  ProgramSettings().soundsetEnd = 1;
  ProgramSettings().winsetTask = 1;
  EXPECT_EQ(Step(), 0);
  EndCurrentFile();
  EXPECT_EQ(Step(), -1);
}

// The position is what has been heard: a file whose last tenth of a second
// is still to play has not ended, in any play mode.
struct TailCase {
  const char* name;
  int loop;
  int end;
};

class TailTest : public MainLoopTest, public ::testing::WithParamInterface<TailCase> {};

TEST_P(TailTest, TheLastSoundBeforeTheLengthIsStillPlayed) {
  Start({"a.ogg", "b.ogg"}, "a.ogg");
  ProgramSettings().soundsetLoop = GetParam().loop;
  ProgramSettings().soundsetEnd = GetParam().end;
  for (const double before : {0.1, 0.05, 0.001}) {
    Media().state.TimePos = MediaPlan().length - before;
    EXPECT_EQ(Step(), 0) << before << " s before the end";
    EXPECT_TRUE(MediaPlan().opened.empty()) << before << " s before the end";
    EXPECT_TRUE(Media().plays.empty()) << before << " s before the end";
    EXPECT_EQ(Media().stops, 0) << before << " s before the end";
  }
  EndCurrentFile();
  const int result = Step();
  if (GetParam().loop == 0 && GetParam().end == 1) {
    EXPECT_EQ(result, -1);
  } else if (GetParam().loop == 0) {
    EXPECT_EQ(Media().stops, 1);
  } else if (GetParam().loop == 1) {
    EXPECT_EQ(Media().plays, std::vector<double>{0.0});
  } else {
    EXPECT_EQ(MediaPlan().opened.size(), 1u);  // the next (or a random) entry
  }
}

TEST_F(MainLoopTest, AClassThatKnowsItsLastSampleEndsThereNotAtItsRoundedLength) {
  Start({"a.ogg", "b.ogg"}, "a.ogg");
  ProgramSettings().soundsetLoop = 1;
  const double length = MediaPlan().length;
  Media().soundEnd = length + 0.0004;  // Length was rounded down
  Media().state.TimePos = length;
  Step();
  EXPECT_TRUE(Media().plays.empty());
  Media().state.TimePos = length + 0.0004;
  Step();
  EXPECT_EQ(Media().plays, std::vector<double>{0.0});

  Media().plays.clear();
  Media().soundEnd = length - 0.0004;  // Length was rounded up
  Media().state.TimePos = length - 0.0005;
  Step();
  EXPECT_TRUE(Media().plays.empty());
  Media().state.TimePos = length - 0.0004;
  Step();
  EXPECT_EQ(Media().plays, std::vector<double>{0.0});
}

INSTANTIATE_TEST_SUITE_P(MainLoop, TailTest,
                         ::testing::Values(TailCase{"OnceThenEnd", 0, 1}, TailCase{"OnceThenStop", 0, 0},
                                           TailCase{"Loop", 1, 0}, TailCase{"Series", 2, 0},
                                           TailCase{"Random", 3, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainLoopTest, OnceWithoutEndStopsAndNextClearsEndForTheRestOfTheRun) {
  Start({"a.ogg", "b.ogg"}, "a.ogg");
  ProgramSettings().soundsetLoop = 0;
  ProgramSettings().soundsetEnd = 0;
  EndCurrentFile();
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(Media().stops, 1);
  EXPECT_EQ(display_.allDirty, 1);

  ProgramSettings().soundsetEnd = 1;
  keys().Tap(ProgramSettings().keysetNext);
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(CurrentName(), "b.ogg");
  EXPECT_EQ(ProgramSettings().soundsetEnd, 0);
  EndCurrentFile();
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(Media().stops, 1);
}

TEST_F(MainLoopTest, LoopRestartsTheFileAndALengthOfZeroRestartsEveryStep) {
  Start({"a.ogg"}, "a.ogg");
  ProgramSettings().soundsetLoop = 1;
  EndCurrentFile();
  Step();
  EXPECT_EQ(Media().plays, std::vector<double>{0.0});
  Media().plays.clear();
  Media().SetLength(0.0);
  Step();
  Step();
  Step();
  EXPECT_EQ(Media().plays, (std::vector<double>{0.0, 0.0, 0.0}));
}

TEST_F(MainLoopTest, SeriesGoesOnToTheFollowingEntryAndWraps) {
  Start({"a.ogg", "b.ogg", "c.ogg"}, "a.ogg");
  ProgramSettings().soundsetLoop = 2;
  const int start = Player().fileList.index;
  for (int move = 1; move <= 3; ++move) {
    EndCurrentFile();
    EXPECT_EQ(Step(), 0);
    EXPECT_EQ(CurrentName(), Entry(start + move));
    EXPECT_EQ(Media().plays, std::vector<double>{-1.0});
  }
  EXPECT_EQ(display_.layouts, 3);
}

TEST_F(MainLoopTest, SeriesStopsWhenTheFolderHasGone) {
  Start({"a.ogg"}, "a.ogg");
  ProgramSettings().soundsetLoop = 2;
  std::filesystem::remove_all(folder_);
  EndCurrentFile();
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(Media().stops, 1);
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(Media().stops, 1);
}

TEST_F(MainLoopTest, RandomModeOnAOneEntryListReloadsThatEntry) {
  Start({"a.ogg"}, "a.ogg");
  ProgramSettings().soundsetLoop = 3;
  EndCurrentFile();
  Step();
  EXPECT_EQ(MediaPlan().opened, std::vector<std::string>{"a.ogg"});
  keys().Tap(ProgramSettings().keysetNext);
  Step();
  EXPECT_EQ(MediaPlan().opened, (std::vector<std::string>{"a.ogg", "a.ogg"}));
  EXPECT_EQ(Media().plays, std::vector<double>{-1.0});
}

// Only a mouse button pressed or held makes the place under the cursor
// matter; without one the display is not asked (on X11 a round trip).
TEST_F(MainLoopTest, TheCursorIsLookedAtOnlyForAMouseButton) {
  Start({"a.ogg"}, "a.ogg");
  for (int i = 0; i < 3; ++i) Step();
  EXPECT_EQ(display_.hitTests, 0);
  for (const int button : {kVkLButton, kVkRButton}) {
    keys().Tap(button);
    Step();
    EXPECT_EQ(display_.hitTests, 1) << "a tap of button " << button;
    keys().Press(button);
    Step();
    Step();
    keys().Release(button);
    Step();
    EXPECT_EQ(display_.hitTests, 3) << "button " << button << " held for two steps";
    display_.hitTests = 0;
  }
}

// --- redrawing ------------------------------------------------------------

TEST_F(MainLoopTest, Renew3RedrawsTheTimeAtEachThirdOfASecond) {
  Start({"a.ogg"}, "a.ogg");
  ProgramSettings().winmesRenew = 3;
  const double positions[] = {0.0, 0.1, 0.3, 0.34, 0.5, 0.66, 0.67, 1.0};
  const int expected[] = {1, 0, 0, 1, 0, 0, 1, 1};
  for (std::size_t i = 0; i < std::size(positions); ++i) {
    Media().state.TimePos = positions[i];
    const int before = display_.textDirty;
    Step();
    EXPECT_EQ(display_.textDirty - before, expected[i]) << "at " << positions[i];
  }
}

TEST_F(MainLoopTest, Renew11RedrawsTheTimeEveryStep) {
  Start({"a.ogg"}, "a.ogg");
  ProgramSettings().winmesRenew = 11;
  for (int i = 0; i < 4; ++i) Step();
  EXPECT_EQ(display_.textDirty, 4);
}

TEST_F(MainLoopTest, SeekBarFollowsThePositionOnlyWhenShown) {
  Start({"a.ogg"}, "a.ogg");
  Media().state.TimePos = 12.5;
  ProgramSettings().winsetScroll = 1;
  Step();
  ProgramSettings().winsetScroll = 0;
  Step();
  EXPECT_EQ(display_.trackbarTimes, std::vector<double>{12.5});
}

TEST_F(MainLoopTest, UnplayableFileDrawsItsTextOnce) {
  MediaPlan().openResults["bad.ogg"] = kResultBrokenFile;
  Start({"bad.ogg"}, "bad.ogg");
  ASSERT_EQ(CurrentScriptedMedia(), nullptr);  // ERRORFILE
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Step(), 0);
  EXPECT_EQ(display_.textDirty, 1);
}

TEST_F(MainLoopTest, PictureRedrawsItsButtonsWhenTheCursorMoves) {
  Start({"a.img"}, "a.img");
  keys().SetCursor(10, 20);
  Step();
  Step();
  keys().SetCursor(11, 20);
  Step();
  EXPECT_EQ(display_.buttonsDirty, 2);
}

TEST_F(MainLoopTest, IdleStepAllocatesNothing) {
  Start({"a.ogg"}, "a.ogg");
  ProgramSettings().winsetScroll = 1;
  display_.trackbarTimes.reserve(100);
  Media().state.TimePos = 5.0;
  Step();
  g_allocations = 0;
  g_countAllocations = true;
  for (int i = 0; i < 50; ++i) Step();
  g_countAllocations = false;
  EXPECT_EQ(g_allocations.load(), 0);
}

// --- moves ----------------------------------------------------------------

class MoveDirectionTest : public MainLoopTest, public ::testing::WithParamInterface<int> {};

TEST_P(MoveDirectionTest, SkipsEntriesThatDoNotOpen) {
  const int step = GetParam();
  Start({"a.ogg", "b.ogg", "c.ogg", "d.ogg"}, "a.ogg");
  const int start = Player().fileList.index;
  MediaPlan().openResults[Entry(start + step)] = kResultBrokenFile;
  MediaPlan().openResults[Entry(start + 2 * step)] = kResultNothingToPlay;  // 9 counts as a failure
  keys().Tap(step > 0 ? ProgramSettings().keysetNext : ProgramSettings().keysetBack);
  Poll();
  EXPECT_EQ(MediaPlan().opened,
            (std::vector<std::string>{Entry(start + step), Entry(start + 2 * step), Entry(start + 3 * step)}));
  EXPECT_EQ(CurrentName(), Entry(start + 3 * step));
  EXPECT_EQ(Player().fileList.index, (start + 3 * step + 4) % 4);
}

TEST_P(MoveDirectionTest, WrapsAroundTheEndOfTheList) {
  const int step = GetParam();
  Start({"a.ogg", "b.ogg", "c.ogg"}, "a.ogg");
  const int edge = step > 0 ? 2 : 0;
  Player().fileList.index = edge;
  keys().Tap(step > 0 ? ProgramSettings().keysetNext : ProgramSettings().keysetBack);
  Poll();
  EXPECT_EQ(Player().fileList.index, step > 0 ? 0 : 2);
  EXPECT_EQ(CurrentName(), Entry(step > 0 ? 0 : 2));

  Player().fileList.index = 7;  // left past the end by a rescan of a shrunken folder
  keys().Tap(step > 0 ? ProgramSettings().keysetNext : ProgramSettings().keysetBack);
  Poll();
  EXPECT_EQ(Player().fileList.index, step > 0 ? 0 : 2);
}

INSTANTIATE_TEST_SUITE_P(MainLoop, MoveDirectionTest, ::testing::Values(1, -1),
                         [](const auto& info) { return std::string(info.param > 0 ? "Next" : "Back"); });

class NothingOpensTest : public MainLoopTest, public ::testing::WithParamInterface<int> {};

TEST_P(NothingOpensTest, MoveEndsAfterOneRoundWithTheErrorShown) {
  Start({"a.ogg", "b.ogg", "c.ogg"}, "a.ogg");
  ProgramSettings().soundsetLoop = GetParam();
  for (const char* name : {"a.ogg", "b.ogg", "c.ogg"}) MediaPlan().openResults[name] = kResultBrokenFile;
  keys().Tap(ProgramSettings().keysetNext);
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(MediaPlan().opened.size(), 3u);
  ASSERT_NE(Player().media, nullptr);
  EXPECT_EQ(CurrentScriptedMedia(), nullptr);  // ERRORFILE
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(MediaPlan().opened.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(MainLoop, NothingOpensTest, ::testing::Values(2, 3),
                         [](const auto& info) { return std::string(info.param == 2 ? "InOrder" : "Random"); });

TEST_F(MainLoopTest, MoveOnAnEmptyListKeepsTheCurrentMedia) {
  Player().fileList.firstArgument.clear();  // nothing to scan
  loop_ = std::make_unique<MainLoop>(display_, input_, ControllerClock{&FakeNow, &FakeSleep});
  Player().media = std::make_unique<ScriptedMedia>(kKindSound);
  MediaFile* before = Player().media.get();
  ProgramSettings().soundsetLoop = 3;
  keys().Tap(ProgramSettings().keysetNext);
  EXPECT_EQ(Step(), 0);
  keys().Tap(ProgramSettings().keysetBack);
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(Player().media.get(), before);
  EXPECT_TRUE(MediaPlan().opened.empty());
}

TEST_F(MainLoopTest, FileWithoutExtensionInTheFolderIsPassedByAndTheMovesGoOn) {
  Start({"a.ogg", "b.ogg", "Makefile", "x.ogg", "y.ogg"}, "a.ogg");
  ASSERT_EQ(Entry(2), "Makefile");
  ProgramSettings().soundsetLoop = 2;
  for (const char* expected : {"b.ogg", "x.ogg", "y.ogg", "a.ogg"}) {
    EndCurrentFile();
    EXPECT_EQ(Step(), 0);
    EXPECT_EQ(CurrentName(), expected);
  }
  EXPECT_EQ(ListSize(), 5);
  EXPECT_EQ(Player().fileList.source, kListNone);

  keys().Tap(ProgramSettings().keysetNext);
  Poll();
  keys().Tap(ProgramSettings().keysetNext);
  Poll();
  EXPECT_EQ(CurrentName(), "x.ogg");
  keys().Tap(ProgramSettings().keysetBack);
  Poll();
  EXPECT_EQ(CurrentName(), "b.ogg");
}

TEST_F(MainLoopTest, SlideshowPassesAnUnplayableFileWithoutExtension) {
  Start({"a.img", "b.img", "Notes", "x.img"}, "a.img");
  ASSERT_EQ(Entry(2), "Notes");
  MediaPlan().openResults["Notes"] = kResultUnsupported;
  ProgramSettings().imagesetShow = 1;
  ProgramSettings().imagesetShowSec = 1;
  Player().slideshowRunning = 1;
  for (const char* expected : {"b.img", "x.img", "a.img"}) {
    g_now += 1001;
    Step();
    EXPECT_EQ(CurrentName(), expected);
  }
}

TEST_F(MainLoopTest, MoveTriesOnlyClassesOfTheKindPlayedBefore) {
  Start({"a.ogg", "b.img"}, "a.ogg");
  ProgramSettings().kestravoxMixPlay = 0;
  keys().Tap(ProgramSettings().keysetNext);
  Poll();
  // The picture is skipped without asking the image class; the sound reloads.
  EXPECT_EQ(MediaPlan().opened, std::vector<std::string>{"a.ogg"});
  EXPECT_EQ(CurrentName(), "a.ogg");
}

TEST_F(MainLoopTest, NextLogsItsStages) {
  Start({"a.ogg", "b.ogg"}, "a.ogg");
  ProgramSettings().kestravoxLog = 1;
  keys().Tap(ProgramSettings().keysetBack);
  Poll();
  keys().Tap(ProgramSettings().keysetNext);
  Poll();
  CloseLog();
  const std::string log = test::ReadFile(settingsFolder() / "LOG.TXT");
  const auto prepare = log.find("\"NEXT 準備\"");
  const auto start = log.find("\"NEXT 開始\"");
  const auto done = log.find("\"NEXT 終了\"");
  ASSERT_NE(prepare, std::string::npos);
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(done, std::string::npos);
  EXPECT_LT(prepare, start);
  EXPECT_LT(start, done);
  EXPECT_EQ(log.find("NEXT 準備", start), std::string::npos);  // back logs none
}

// --- slideshow ------------------------------------------------------------

class SlideshowTest : public MainLoopTest, public ::testing::WithParamInterface<int> {};

TEST_P(SlideshowTest, AdvancesInListOrderAfterShowSecSeconds) {
  Start({"a.img", "b.img", "c.img"}, "a.img");
  ProgramSettings().soundsetLoop = GetParam();
  ProgramSettings().imagesetShow = 1;
  ProgramSettings().imagesetShowSec = 2;
  Player().slideshowRunning = 1;
  const int start = Player().fileList.index;
  const uint32_t began = loop_->LastChange();
  for (int picture = 1; picture <= 3; ++picture) {
    g_now = began + 2001u * static_cast<uint32_t>(picture) - 1;
    Step();
    EXPECT_EQ(CurrentName(), Entry(start + picture - 1));
    g_now += 1;
    Step();
    EXPECT_EQ(CurrentName(), Entry(start + picture));
    EXPECT_EQ(loop_->LastChange(), g_now);
    EXPECT_EQ(Media().plays, std::vector<double>{-1.0});
  }
}

INSTANTIATE_TEST_SUITE_P(MainLoop, SlideshowTest, ::testing::Values(0, 3),
                         [](const auto& info) { return std::string(info.param == 0 ? "Once" : "RandomMode"); });

TEST_F(MainLoopTest, PausedSlideshowStays) {
  Start({"a.img", "b.img"}, "a.img");
  ProgramSettings().imagesetShow = 1;
  ProgramSettings().imagesetShowSec = 1;
  Player().slideshowRunning = 0;
  g_now += 5000;
  Step();
  EXPECT_EQ(CurrentName(), "a.img");
}

// --- desktop remotes ------------------------------------------------------

TEST_F(MainLoopTest, RemoteRequestsActAsTheKeysAndTheSeekBar) {
  Start({"a.ogg", "b.ogg", "c.ogg"}, "b.ogg");
  auto post = [](RemoteCommand command, double value = 0.0) { PlayerRemote().Post({command, value}); };

  post(RemoteCommand::Pause);
  post(RemoteCommand::Pause);  // already paused: nothing more
  Step();
  EXPECT_EQ(Media().togglePauses, 1);
  EXPECT_EQ(Media().state.PlayState, kPaused);
  post(RemoteCommand::PlayPause);
  Step();
  EXPECT_EQ(Media().state.PlayState, kPlaying);

  // A seek keeps playing from the new time, clamped into the file.
  Media().state.TimePos = 10.0;
  post(RemoteCommand::SeekBy, 30.0);
  post(RemoteCommand::SetPosition, 500.0);
  Step();
  EXPECT_EQ(Media().plays, (std::vector<double>{40.0, 100.0}));
  post(RemoteCommand::Stop);
  Step();
  EXPECT_EQ(Media().state.PlayState, kPaused);
  EXPECT_EQ(Media().state.TimePos, 0.0);

  post(RemoteCommand::SetPlayMode, 3);
  post(RemoteCommand::SetVolume, 0.5);
  post(RemoteCommand::Next);
  Step();
  EXPECT_EQ(ProgramSettings().soundsetLoop, 3);
  uint16_t volume = 0;
  ASSERT_TRUE(GetVolume(volume));
  EXPECT_EQ(volume, 32768);
  const std::string afterNext = CurrentName();
  EXPECT_NE(afterNext, "b.ogg");
  post(RemoteCommand::SetPlayMode, 2);
  post(RemoteCommand::Previous);
  Step();
  EXPECT_EQ(CurrentName(), Entry(Player().fileList.index));
  EXPECT_NE(CurrentName(), afterNext);
}

TEST_F(MainLoopTest, RemoteValuesThatAreNoNumberAreIgnored) {
  Start({"a.ogg"}, "a.ogg");
  ASSERT_TRUE(SetVolume(30000));
  Media().state.TimePos = 10.0;
  for (const double odd : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    for (const RemoteCommand command : {RemoteCommand::SetVolume, RemoteCommand::SeekBy, RemoteCommand::SetPosition}) {
      PlayerRemote().Post({command, odd});
    }
  }
  Step();
  uint16_t volume = 0;
  ASSERT_TRUE(GetVolume(volume));
  EXPECT_EQ(volume, 30000);
  EXPECT_TRUE(Media().plays.empty());

  PlayerRemote().Post({RemoteCommand::SetVolume, 1e300});  // a number, held to full volume
  Step();
  ASSERT_TRUE(GetVolume(volume));
  EXPECT_EQ(volume, 65535);
}

TEST_F(MainLoopTest, RemoteQuitIsDroppedWhilePausedAndReachesAPlayerInTheTray) {
  Start({"a.ogg"}, "a.ogg");
  Media().state.PlayState = kPaused;
  PlayerRemote().Post({RemoteCommand::Quit});
  EXPECT_EQ(Step(), 0);
  Media().state.PlayState = kPlaying;
  ProgramSettings().winsetTask = 1;
  PlayerRemote().Post({RemoteCommand::Quit});
  EXPECT_EQ(Step(), -1);
}

TEST_F(MainLoopTest, RemoteCloseIsTheCloseKeyDroppedWhilePausedAndReachesAPlayerInTheTray) {
  Start({"a.ogg"}, "a.ogg");
  ProgramSettings().keysetClose = 0;
  const KeysetCommand* close = FindKeysetCommand("close");
  Media().state.PlayState = kPaused;
  PlayerRemote().Post({RemoteCommand::Keyset, 0.0, close});
  EXPECT_EQ(Step(), 0);
  Media().state.PlayState = kPlaying;
  ProgramSettings().winsetTask = 1;
  PlayerRemote().Post({RemoteCommand::Keyset, 0.0, close});
  EXPECT_EQ(Step(), -1);
}

TEST_F(MainLoopTest, RemoteHideOfAPlayerInTheTrayKeepsTheVolumeToComeBackTo) {
  Start({"a.ogg"}, "a.ogg");
  ProgramSettings().soundsetBgmVolDown = 1;
  ProgramSettings().soundsetBgmVolume = 10;
  ASSERT_TRUE(SetVolume(30000));
  const KeysetCommand* hide = FindKeysetCommand("HIDDEN");
  PlayerRemote().Post({RemoteCommand::Keyset, 0.0, hide});
  Step();
  ASSERT_EQ(display_.hides, 1);
  const std::optional<int> remembered = Player().volumeBeforeTray;
  ASSERT_TRUE(remembered.has_value());
  PlayerRemote().Post({RemoteCommand::Keyset, 0.0, hide});
  Step();
  EXPECT_EQ(display_.hides, 1);
  EXPECT_EQ(Player().volumeBeforeTray, remembered);
}

TEST_F(MainLoopTest, RemoteRequestsWaitWhileInputIsBlocked) {
  Start({"a.ogg"}, "a.ogg");
  Player().inputBlockedUntil = g_now + 100;
  PlayerRemote().Post({RemoteCommand::PlayPause});
  Step();
  EXPECT_EQ(Media().togglePauses, 0);
  g_now += 100;
  Step();
  EXPECT_EQ(Media().togglePauses, 1);
}

TEST_F(MainLoopTest, RemotePlayOnAPictureStartsTheSlideshow) {
  Start({"a.img", "b.img"}, "a.img");
  ProgramSettings().imagesetShow = 0;
  PlayerRemote().Post({RemoteCommand::Play});
  Step();
  EXPECT_EQ(ProgramSettings().imagesetShow, 1);
  EXPECT_EQ(Player().slideshowRunning, 1);
  EXPECT_EQ(CurrentRemoteStatus().playback, RemoteStatus::Playback::Playing);
  PlayerRemote().Post({RemoteCommand::PlayPause});
  Step();
  EXPECT_EQ(Player().slideshowRunning, 0);
  EXPECT_EQ(CurrentRemoteStatus().playback, RemoteStatus::Playback::Paused);
}

TEST_F(MainLoopTest, RemoteStatusNamesTheFileWhenItHasNoTitle) {
  Start({"a.ogg", "b b.ogg"}, "b b.ogg");
  Media().state = MediaState{12.5, kPaused};
  const RemoteStatus status = CurrentRemoteStatus();
  EXPECT_EQ(status.playback, RemoteStatus::Playback::Paused);
  EXPECT_EQ(status.title, "b b.ogg");
  EXPECT_EQ(status.trackNumber, 2);
  EXPECT_EQ(status.path, (folder_ / "b b.ogg").string());
  EXPECT_EQ(status.length, 100.0);
  EXPECT_EQ(status.position, 12.5);
  EXPECT_TRUE(status.canSeek);
}

TEST(FileUrl, EscapesEveryByteOutsideTheUnreservedSet) {
  EXPECT_EQ(FileUrl("/music/a b/曲#1.ogg"), "file:///music/a%20b/%E6%9B%B2%231.ogg");
}

// --- when the next step is due ----------------------------------------------

class StepDelayTest : public MainLoopTest {
 protected:
  // Starts `names` and lets the load settle, with the window on screen and
  // the time line and seek bar off, so each case turns on what it tests.
  void StartSettled(std::initializer_list<const char*> names, const char* first) {
    Start(names, first);
    Settings& settings = ProgramSettings();
    settings.winmesRenew = 0;
    settings.winsetScroll = 0;
    g_now += 1000;
  }
  uint32_t Delay() { return loop_->NextStepDelay(); }
  // Plays for `ms` of the test clock at `speed`, stepping whenever the
  // controller says a step is due, as the message loop does when no event
  // comes. Returns the ticks at which the current file changed.
  std::vector<uint32_t> PlayFor(uint32_t ms, double speed = 1.0) {
    std::vector<uint32_t> changes;
    const uint32_t until = g_now + ms;
    std::string name = CurrentName();
    uint32_t played = 0;  // ms of the current file, so its position is exact
    while (g_now < until) {
      const uint32_t delay = std::min(Delay(), until - g_now);
      EXPECT_GE(delay, 1u);
      g_now += delay;
      if (Media().state.PlayState == kPlaying) {
        played += delay;
        Media().state.TimePos = played * speed / 1000.0;
      }
      Step();
      if (CurrentName() != name || Media().plays.size() > 0) {
        changes.push_back(g_now);
        name = CurrentName();
        Media().plays.clear();
        played = 0;
      }
    }
    return changes;
  }
};

TEST_F(StepDelayTest, EveryMillisecondWhileAFileSettlesOrAMouseButtonIsHeld) {
  Start({"a.ogg"}, "a.ogg");
  EXPECT_EQ(Delay(), 1u) << "just loaded";
  g_now += 249;
  EXPECT_EQ(Delay(), 1u);
  g_now += 1;
  Media().state.PlayState = kPaused;
  EXPECT_EQ(Delay(), MainLoop::kLongestStepDelayMs);

  for (const int button : {kVkLButton, kVkRButton}) {
    keys().Press(button);
    Step();
    EXPECT_EQ(Delay(), 1u) << "button " << button << " held (a seek, a window drag)";
    keys().Release(button);
    Step();
    EXPECT_EQ(Delay(), MainLoop::kLongestStepDelayMs) << "button " << button << " let go";
  }

  // A move to another file settles again.
  keys().Tap(ProgramSettings().keysetNext);
  Step();
  EXPECT_EQ(Delay(), 1u) << "the next file just loaded";
}

TEST_F(StepDelayTest, PlayingSoundWakesForItsEndAndWhatTheWindowShows) {
  StartSettled({"a.ogg"}, "a.ogg");
  ScriptedMedia& media = Media();
  media.state = MediaState{99.9, kPlaying};
  EXPECT_EQ(Delay(), 98u) << "the end of a 100 s file, its last 2 ms looked at every millisecond";
  media.soundEnd = 99.95;
  EXPECT_EQ(Delay(), 48u) << "the class knows its last sample";
  media.state.TimePos = 99.9499;
  EXPECT_EQ(Delay(), 1u) << "just short of the end: at least 1 ms";
  media.soundEnd = 0.0;

  media.state.TimePos = 10.2;
  EXPECT_EQ(Delay(), MainLoop::kLongestStepDelayMs) << "nothing shown changes, the end is far";
  Settings& settings = ProgramSettings();
  settings.winmesRenew = 1;
  EXPECT_EQ(Delay(), MainLoop::kLongestStepDelayMs) << "the next second is 800 ms away";
  media.state.TimePos = 10.9;
  EXPECT_EQ(Delay(), 100u) << "the time line turns to 11 s";
  media.state.TimePos = 10.995;
  EXPECT_EQ(Delay(), 16u) << "no sooner than the next frame";
  settings.winmesRenew = 11;
  media.state.TimePos = 10.2;
  EXPECT_EQ(Delay(), 16u) << "RENEW 11 redraws every frame";
  settings.winmesRenew = 4;
  EXPECT_EQ(Delay(), 50u) << "four times a second: next at 10.25 s";

  settings.winmesRenew = 0;
  settings.winsetScroll = 1;
  display_.secondsPerPixel = 0.125;
  EXPECT_EQ(Delay(), 50u) << "the thumb moves at 10.25 s";
  display_.secondsPerPixel = 0.0;
  EXPECT_EQ(Delay(), MainLoop::kLongestStepDelayMs) << "no seek bar on screen";

  // In the tray only the end matters.
  settings.winmesRenew = 11;
  display_.secondsPerPixel = 0.125;
  display_.onScreen = false;
  EXPECT_EQ(Delay(), MainLoop::kLongestStepDelayMs);
  media.state.TimePos = 99.97;
  EXPECT_EQ(Delay(), 28u);

  // Paused or stopped, nothing moves without an event.
  media.state.PlayState = kPaused;
  EXPECT_EQ(Delay(), MainLoop::kLongestStepDelayMs);
  media.state.PlayState = kStopped;
  EXPECT_EQ(Delay(), MainLoop::kLongestStepDelayMs);
}

TEST_F(StepDelayTest, SeriesMovesOnTheMillisecondItsFileEnds) {
  MediaPlan().length = 1.5;
  StartSettled({"a.ogg", "b.ogg", "c.ogg"}, "a.ogg");
  ProgramSettings().soundsetLoop = 2;
  ProgramSettings().winmesRenew = 1;
  ProgramSettings().winsetScroll = 1;
  display_.secondsPerPixel = 0.01;  // a wide seek bar: a step every frame
  const uint32_t began = g_now;
  EXPECT_EQ(PlayFor(3000), (std::vector<uint32_t>{began + 1500, began + 3000}));
}

TEST_F(StepDelayTest, FasterPlayingBringsTheEndForward) {
  MediaPlan().length = 4.0;
  StartSettled({"a.ogg", "b.ogg"}, "a.ogg");
  ProgramSettings().soundsetLoop = 2;
  display_.onScreen = false;
  const uint32_t began = g_now;
  // At twice real time the 4 s file ends after 2 s of the clock; the loop
  // learns the speed from the position and wakes at most a millisecond late.
  const std::vector<uint32_t> changes = PlayFor(2100, 2.0);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_GE(changes[0], began + 2000);
  EXPECT_LE(changes[0], began + 2001);
}

TEST_F(StepDelayTest, SlideshowAndInputBlocksFallDueOnTime) {
  StartSettled({"a.img", "b.img"}, "a.img");
  Settings& settings = ProgramSettings();
  settings.imagesetShow = 1;
  settings.imagesetShowSec = 2;
  Player().slideshowRunning = 1;
  // The picture changes once more than 2 s have passed since it came.
  g_now = loop_->LastChange() + 1900;
  EXPECT_EQ(Delay(), 101u);
  g_now += 101;
  Step();
  EXPECT_EQ(CurrentName(), "b.img");
  Player().slideshowRunning = 0;
  g_now += 1000;
  EXPECT_EQ(Delay(), MainLoop::kLongestStepDelayMs) << "a paused slideshow waits for the user";

  Player().inputBlockedUntil = g_now + 40;
  EXPECT_EQ(Delay(), 40u) << "keys are taken again when the block ends";
}

TEST_F(StepDelayTest, WithoutMediaOnlyTheBound) {
  Start({"a.ogg"}, "a.ogg");
  Player().media.reset();
  EXPECT_EQ(Delay(), MainLoop::kLongestStepDelayMs);
}

}  // namespace
}  // namespace qorve
