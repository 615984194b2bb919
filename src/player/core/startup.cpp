#include "player/core/startup.h"

#include "common/log.h"
#include "common/settings.h"
#include "platform/input/input.h"
#include "platform/qt/display_connection.h"
#include "platform/qt/fonts.h"
#include "platform/qt/loop_wake.h"
#include "platform/qt/screen_scales.h"
#include "platform/qt/window_event_input.h"
#include "platform/qt/window_system_choice.h"
#include "platform/system/clock.h"
#include "platform/system/folders.h"
#include "platform/system/launch.h"
#include "player/core/command_line.h"
#include "player/core/desktop/command_service.h"
#include "player/core/desktop/global_keys.h"
#include "player/core/desktop/mpris_service.h"
#include "player/core/main_loop.h"
#include "player/core/main_window.h"
#include "player/core/media_factory.h"
#include "player/core/player_state.h"
#include "player/core/string_table.h"
#include "player/core/tray_mode.h"
#include "player/visual/video_window.h"
#include "player/visual/wnd_set.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDBusConnection>
#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qorve {
namespace {

void SaveWindowRectangle(const MainWindow& window) {
  Settings& settings = ProgramSettings();
  // The window's own rectangle, as it is placed: a frame or shadow a window
  // manager draws round it is not the window's and would grow it each run.
  const QRect frame = window.geometry();
  settings.winsetX = frame.x();
  settings.winsetY = frame.y();
  settings.winsetWidth = frame.width();
  settings.winsetHeight = frame.height();
  SaveSettings(1);
}

// Set by SIGINT, SIGTERM and SIGHUP: the program ends as if asked by the user,
// so the volume is restored and a placed window's rectangle saved. Lock-free,
// so the handler may set it on whichever thread takes the signal.
std::atomic<bool> endRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// Turns readable when an end signal has come, so that a message loop waiting
// for events wakes for it. -1 when it could not be made: the loop then never
// waits longer than its longest step delay.
int endSignalEvent = -1;

void RequestEnd(int) {
  endRequested.store(true);
  if (endSignalEvent >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(endSignalEvent, &one, sizeof one);  // async-signal-safe
  }
}

void CatchEndSignals() {
  endSignalEvent = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  struct sigaction action {};
  action.sa_handler = RequestEnd;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

// How far the player has got, for an end that it does not lead itself.
enum class Stage : int {
  kOutside,  // not yet running, or the player has returned: exit() is the usual end
  kRunning,  // the volume to restore is known; the message loop runs or the exit sequence
  kEnded,    // the exit sequence has run
};
std::atomic<Stage> stage{Stage::kOutside};
std::thread::id userInterfaceThread;
MainWindow* runningWindow = nullptr;  // user-interface thread only

// The end of the process when the player cannot lead it: a connection that a
// library opened to the X server broke (Xlib ends the process right after),
// or exit() was called while the player runs (Qt calls it when its own
// connection breaks under an event pass). The usual exit handlers would run
// while the wave-out worker and the libraries' threads go on using what they
// destroy, so the process ends here, after what the exit sequence does that
// needs no window system.
std::atomic_flag ending;
std::atomic<std::thread::id> endingThread;

// Claims the end of the process for this thread; another thread that comes
// to end it waits for the end, the same thread again (a library's break
// noticed during the end) ends at once.
void ClaimTheEnd() {
  if (!ending.test_and_set()) {
    endingThread.store(std::this_thread::get_id());
    return;
  }
  if (endingThread.load() == std::this_thread::get_id()) _exit(1);
  for (;;) pause();
}

[[noreturn]] void EndAtOnce() {
  ClaimTheEnd();
  if (stage.load() == Stage::kRunning) {
    if (std::this_thread::get_id() == userInterfaceThread && runningWindow != nullptr &&
        ProgramSettings().winsetMode == 1) {
      SaveWindowRectangle(*runningWindow);  // the rectangle Qt last knew
    }
    RestoreVolumeAtExit();
    Log("ディスプレイ接続切断", 1);
  }
  _exit(1);
}

// Qt found its connection broken inside an event pass and is about to end
// the process: the player ends as its message loop would have on seeing the
// break first, the media stopped and closed, and the process ends here.
[[noreturn]] void EndInEventPass() {
  if (stage.load() != Stage::kRunning || std::this_thread::get_id() != userInterfaceThread ||
      runningWindow == nullptr) {
    EndAtOnce();
  }
  ClaimTheEnd();
  Log("ディスプレイ接続切断", 0);
  std::fputs("qorve: the connection to the X server was lost\n", stderr);
  if (ProgramSettings().winsetMode == 1) SaveWindowRectangle(*runningWindow);
  Log("メッセージループ終了", 0);
  Player().media.reset();
  RestoreVolumeAtExit();
  stage.store(Stage::kEnded);
  CloseLog();
  _exit(1);
}

void EndAtExit() {
  if (stage.load() != Stage::kOutside) EndAtOnce();
}

// The player's span from start-up to its return, during which exit() is not
// its own end (see EndAtOnce). Made before the QApplication, so that it also
// covers the application's destruction.
class EndGuard {
 public:
  EndGuard() { userInterfaceThread = std::this_thread::get_id(); }
  ~EndGuard() { stage.store(Stage::kOutside); }
  EndGuard(const EndGuard&) = delete;
  EndGuard& operator=(const EndGuard&) = delete;

  // Once the volume to restore is known, right before the message loop. The
  // exit handler registered last runs first: this one runs before those that
  // Qt, D-Bus and the libraries registered while the player started.
  void Running(MainWindow& window) {
    runningWindow = &window;
    stage.store(Stage::kRunning);
    std::atexit(EndAtExit);
  }
  void Ended() {
    stage.store(Stage::kEnded);
    runningWindow = nullptr;
  }
};

// While the controller steps every millisecond (a button held, a file just
// loaded), how often the window system's events are looked at between steps:
// a stream of events (a window drag) never starves the step, as each pass
// handles only what is there.
constexpr uint32_t kEventPassMs = 16;

// A document's browser view lives on long chains of its own events (layout,
// the PDF viewer's scripts, each posting the next); one pass a frame would
// draw a PDF in tens of seconds, so while a document shows every step passes.
uint32_t EventPassInterval() {
  if (!Player().media) return kEventPassMs;
  MediaInfo info;
  Player().media->GetInfo(info);
  return info.Kind == kKindDocument ? 0 : kEventPassMs;
}

// Runs the controller's step whenever something it looks at can have
// changed. Between steps the loop waits for the window system's events,
// input (read by the input backend when its descriptor turns readable), the
// desktop's requests over D-Bus, an end signal, or the moment the controller
// names (NextStepDelay), whichever comes first, and steps after each. While
// the controller asks for a step every millisecond, it steps and sleeps 1 ms,
// with a pass over the events every few steps.
// `afterStep` runs after every step. Returns true when it ended because the
// connection to the X server broke.
bool RunMessageLoop(MainWindow& window, MainLoop& mainLoop, InputPoller& input,
                    const std::function<void()>& afterStep) {
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  std::unique_ptr<QSocketNotifier> inputNotifier;
  if (const int descriptor = input.EventDescriptor(); descriptor >= 0) {
    inputNotifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    QObject::connect(inputNotifier.get(), &QSocketNotifier::activated, [&input] { input.InputArrived(); });
    input.WatchEventDescriptor();
  }
  std::unique_ptr<QSocketNotifier> signalNotifier;
  if (endSignalEvent >= 0) {
    signalNotifier = std::make_unique<QSocketNotifier>(endSignalEvent, QSocketNotifier::Read);
    QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, [] {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t read = ::read(endSignalEvent, &count, sizeof count);
    });
  }
  // Only wakes the wait; the step that follows looks at what is due.
  LoopWake stepDue;

  uint32_t lastPass = TimeGetTime() - kEventPassMs;
  bool displayLost = false;
  while (!window.QuitPosted()) {
    // Once its connection to the X server has broken, Qt ends the process at
    // the next event pass; the player ends its own way before that, without
    // another pass or step.
    displayLost = DisplayConnectionLost();
    const uint32_t delay = mainLoop.NextStepDelay();
    const bool everyMillisecond = delay <= 1;
    if (!displayLost) {
      const uint32_t now = TimeGetTime();
      if (!everyMillisecond) {
        stepDue.Start(static_cast<int>(delay));
        dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        stepDue.Stop();
        lastPass = TimeGetTime();
      } else if (now - lastPass >= EventPassInterval()) {
        lastPass = now;
        dispatcher->processEvents(QEventLoop::AllEvents);
      }
      // deleteLater() requests made from the step run only when asked for here.
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      if (window.QuitPosted()) break;
      displayLost = DisplayConnectionLost();
    }
    if (displayLost || mainLoop.Step(&window) == -1 || endRequested.load()) {
      if (displayLost) {
        Log("ディスプレイ接続切断", 0);
        std::fputs("qorve: the connection to the X server was lost\n", stderr);
      }
      if (ProgramSettings().winsetMode == 1) SaveWindowRectangle(window);
      window.DestroyWindow();
      continue;
    }
    afterStep();
    // The step has drawn what it changed itself (the seek bar's thumb and the
    // status line are repainted at once), so the wait that follows blocks;
    // whatever it left to be drawn later ends that wait at once.
    if (everyMillisecond) SleepMs(1);
  }
  return displayLost;
}

}  // namespace

int RunPlayer(int argc, char** argv) {
  const std::vector<std::string> arguments(argv, argv + argc);
  // A command for the running player: nothing of a player of its own is made.
  if (const std::optional<CommandCall> call = FindCommandCall(arguments)) return SendCommandToPlayer(*call, argc, argv);
  if (argc < 2) {
    LaunchProgram("SET.EXE");
    return 0;
  }
  Player().fileList.firstArgument = arguments[1];

  // The controller exists before the settings are read, as it scans the start
  // folder first; its constructor's log line therefore never reaches the log.
  DisplayWindowPort display;
  InputPoller& input = SystemInput();
  // The message loop decides when the next step runs; the step does not sleep.
  MainLoop mainLoop(display, input, ControllerClock{&TimeGetTime, nullptr});

  CatchEndSignals();
  SeedRandom(static_cast<unsigned>(std::time(nullptr)));
  LoadSettings();
  ApplySwitches(arguments, ProgramSettings());

  EndGuard endGuard;
  ChooseWindowSystem();
  // On X11 the display window's small updates (the status line, a pixel of
  // the seek bar) go to the server in the request itself: through shared
  // memory each would wait for the server to finish with the last one, a
  // round trip and a wake-up of the X reader thread per update. Larger
  // pictures are drawn seldom.
  setenv("QT_XCB_NO_MITSHM", "1", 0);
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  InstallJapaneseFontSubstitutes();
  WatchDisplayConnection(&EndAtOnce, &EndInEventPass);
  KeepVideoOnTheWindowSystem();
  // Where the X server cannot see the player's windows, their own events
  // stand in for the polled pointer and keys.
  std::unique_ptr<WindowEventInput> windowInput;
  // On X the pointer is polled from the server in device pixels; the
  // screens' ratios bring it into the windows' logical pixels.
  std::unique_ptr<ScreenScaleWatch> screenScales;
  if (QGuiApplication::platformName() != QLatin1String("xcb")) {
    windowInput = std::make_unique<WindowEventInput>(input);
  } else {
    screenScales = std::make_unique<ScreenScaleWatch>(input);
  }
  std::unique_ptr<GlobalKeys> globalKeys;
  if (InWaylandSession()) {
    // A connection of its own: the portal learns who the program is from the
    // connection's first call, which must be the registration.
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    globalKeys = std::make_unique<GlobalKeys>(
        input, QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("qorve-shortcuts")),
        GlobalKeysDesktop{.name = desktop ? desktop : "",
                          .noticeFile = SettingsFolder() / "global-keys-notice",
                          .english = CurrentUiLanguage() == UiLanguage::English});
    globalKeys->Start();
  }

  bool displayLost = false;
  {
    MainWindow window;
    display.SetWindow(&window);
    Log("ウィンドウ作成", 0);

    std::string path = arguments[1];
    if (LoadMedia(&window, path, 0) == kResultNothingToPlay) {
      Player().media.reset();
      display.SetWindow(nullptr);
      return 0;
    }
    DisplayWindowSet().Attach(&window);
    Player().media->Play(-1.0);
    Log("ファイルオープン完了", 0);

    RememberVolumeAtStart();
    if (ProgramSettings().winsetTask == 1) EnterTray(display);

    // Desktop media keys and panels: Raise brings the window back from the
    // tray as a click on the icon does, or to the front.
    MprisService mpris([&window] {
      if (ProgramSettings().winsetTask == 1) {
        window.RestoreFromTray();
      } else {
        window.raise();
        window.activateWindow();
      }
    });

    // The KEYSET commands for keys the desktop binds (`qorve --command`).
    CommandService commands;

    endGuard.Running(window);
    displayLost = RunMessageLoop(window, mainLoop, input, [&mpris] { mpris.AnnounceChangesWhenDue(); });

    Log("メッセージループ終了", 0);
    Player().media.reset();
    RestoreVolumeAtExit();
    endGuard.Ended();
    DestroyVideoWindow();
    display.SetWindow(nullptr);
  }
  CloseLog();
  return displayLost ? 1 : 0;
}

}  // namespace qorve
