#include "player/core/startup.h"

#include "common/log.h"
#include "common/settings.h"
#include "common/volume.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "platform/launch.h"
#include "platform/qt/fonts.h"
#include "player/core/command_line.h"
#include "player/core/main_loop.h"
#include "player/core/main_window.h"
#include "player/core/media_factory.h"
#include "player/core/player_state.h"
#include "player/visual/video_window.h"
#include "player/visual/wnd_set.h"

#include <QAbstractEventDispatcher>
#include <QApplication>

#include <ctime>
#include <string>
#include <vector>

namespace qorve {
namespace {

// Hides the window in the tray at start-up (WINSET TASK or -B): the music
// must not end by itself while hidden, and the tray volume applies.
void StartInTray(MainWindow& window) {
  Settings& settings = ProgramSettings();
  window.HideToTray();
  if (settings.soundsetLoop == 0) settings.soundsetLoop = 1;
  if (settings.soundsetBgmVolDown == 1) {
    uint16_t volume = 0;
    GetVolume(volume);
    Player().volumeBeforeTray = VolumeToPercent(volume);
    SetVolume(PercentToVolume(settings.soundsetBgmVolume));
  }
}

void SaveWindowRectangle(const MainWindow& window) {
  Settings& settings = ProgramSettings();
  const QRect frame = window.frameGeometry();
  settings.winsetX = frame.x();
  settings.winsetY = frame.y();
  settings.winsetWidth = frame.width();
  settings.winsetHeight = frame.height();
  SaveSettings(1);
}

// Gives every moment the window system leaves idle to the controller. The
// step itself sleeps 1 ms; it also runs when events keep coming, so a stream
// of events (a window drag) never starves it.
void RunMessageLoop(MainWindow& window, MainLoop& mainLoop) {
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  uint32_t lastStep = TimeGetTime();
  while (!window.QuitPosted()) {
    const bool processed = dispatcher->processEvents(QEventLoop::AllEvents);
    const uint32_t now = TimeGetTime();
    if (processed && now - lastStep < 2) continue;
    // deleteLater() requests made from the step run only when asked for here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    lastStep = now;
    if (mainLoop.Step(&window) == -1) {
      if (ProgramSettings().winsetMode == 1) SaveWindowRectangle(window);
      window.DestroyWindow();
    }
  }
}

void RestoreVolumeAtExit() {
  const Settings& settings = ProgramSettings();
  if (settings.kestravoxResetVolume == 1) {
    SetVolume(Player().volumeAtStart);
  } else if (settings.winsetTask == 1 && settings.soundsetBgmVolDown == 1) {
    SetVolume(PercentToVolume(Player().volumeBeforeTray));
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
  MainLoop mainLoop(display, SystemInput());

  SeedRandom(static_cast<unsigned>(std::time(nullptr)));
  LoadSettings();
  ApplySwitches(arguments, ProgramSettings());

  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  InstallJapaneseFontSubstitutes();

  int exitCode = 0;
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

    Settings& settings = ProgramSettings();
    if (settings.kestravoxResetVolume == 1) GetVolume(Player().volumeAtStart);
    if (settings.winsetTask == 1) StartInTray(window);

    RunMessageLoop(window, mainLoop);

    Log("メッセージループ終了", 0);
    Player().media.reset();
    RestoreVolumeAtExit();
    DestroyVideoWindow();
    display.SetWindow(nullptr);
  }
  CloseLog();
  return exitCode;
}

}  // namespace qorve
