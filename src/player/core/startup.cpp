#include "player/core/startup.h"

#include "common/log.h"
#include "common/settings.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "platform/launch.h"
#include "platform/qt/fonts.h"
#include "player/core/command_line.h"
#include "player/core/main_loop.h"
#include "player/core/main_window.h"
#include "player/core/media_factory.h"
#include "player/core/mpris_service.h"
#include "player/core/player_state.h"
#include "player/core/tray_mode.h"
#include "player/visual/video_window.h"
#include "player/visual/wnd_set.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace qorve {
namespace {

void SaveWindowRectangle(const MainWindow& window) {
  Settings& settings = ProgramSettings();
  const QRect frame = window.frameGeometry();
  settings.winsetX = frame.x();
  settings.winsetY = frame.y();
  settings.winsetWidth = frame.width();
  settings.winsetHeight = frame.height();
  SaveSettings(1);
}

// Set by SIGINT, SIGTERM and SIGHUP: the program ends as if asked by the user,
// so the volume is restored and a placed window's rectangle saved.
volatile std::sig_atomic_t endRequested = 0;

void RequestEnd(int) {
  endRequested = 1;
}

void CatchEndSignals() {
  struct sigaction action {};
  action.sa_handler = RequestEnd;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

// How often the window system's events are looked at between steps. Window
// events wait at most this long; the controller's own polling stays at 1 ms.
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

// Runs the controller's step (which sleeps 1 ms) and, every few steps, one
// pass over the window system's events without waiting. An idle step thus
// costs little more than its sleep: looking at the event sources is a system
// call of its own, made a sixteenth as often. A stream of events (a window drag)
// never starves the step, as each pass handles only what is there. Input
// events are read by the input backend when its descriptor turns readable.
void RunMessageLoop(MainWindow& window, MainLoop& mainLoop, InputPoller& input) {
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  std::unique_ptr<QSocketNotifier> inputNotifier;
  if (const int descriptor = input.EventDescriptor(); descriptor >= 0) {
    inputNotifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    QObject::connect(inputNotifier.get(), &QSocketNotifier::activated, [&input] { input.InputArrived(); });
    input.WatchEventDescriptor();
  }
  uint32_t lastPass = TimeGetTime() - kEventPassMs;
  while (!window.QuitPosted()) {
    const uint32_t now = TimeGetTime();
    if (now - lastPass >= EventPassInterval()) {
      lastPass = now;
      dispatcher->processEvents(QEventLoop::AllEvents);
      // deleteLater() requests made from the step run only when asked for here.
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      if (window.QuitPosted()) break;
    }
    if (mainLoop.Step(&window) == -1 || endRequested) {
      if (ProgramSettings().winsetMode == 1) SaveWindowRectangle(window);
      window.DestroyWindow();
    }
  }
}

}  // namespace

int RunPlayer(int argc, char** argv) {
  if (argc < 2) {
    LaunchProgram("SET.EXE");
    return 0;
  }
  const std::vector<std::string> arguments(argv, argv + argc);
  Player().fileList.firstArgument = arguments[1];

  // The controller exists before the settings are read, as it scans the start
  // folder first; its constructor's log line therefore never reaches the log.
  DisplayWindowPort display;
  InputPoller& input = SystemInput();
  MainLoop mainLoop(display, input);

  CatchEndSignals();
  SeedRandom(static_cast<unsigned>(std::time(nullptr)));
  LoadSettings();
  ApplySwitches(arguments, ProgramSettings());

  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  InstallJapaneseFontSubstitutes();

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

    RunMessageLoop(window, mainLoop, input);

    Log("メッセージループ終了", 0);
    Player().media.reset();
    RestoreVolumeAtExit();
    DestroyVideoWindow();
    display.SetWindow(nullptr);
  }
  CloseLog();
  return 0;
}

}  // namespace qorve
