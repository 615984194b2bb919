// The player's commands as the desktop's global shortcuts, against a
// stand-in portal on a private session bus: what is registered, what an
// activation does to the polled keys, a new registration when the settings
// file binds other keys, and a desktop without the portal.
#include "player/core/desktop/global_keys.h"

#include "common/log.h"
#include "common/settings.h"
#include "platform/input/session_input.h"
#include "player/core/desktop/keyset_shortcuts.h"
#include "support/qt_application.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>

#include <functional>

namespace qorve {
namespace {

using test::ReadFile;

// Runs the event loop until `done` holds, for at most `limit` ms.
bool Until(const std::function<bool()>& done, int limit = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < limit) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

class GlobalKeysTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    test::TestApplication();
    ResetSettings();
    ProgramSettings().kestravoxLog = 1;
    bus_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                QStringLiteral("--print-address=1")});
    if (!bus_.waitForStarted(5000)) GTEST_SKIP() << "dbus-daemon is not installed";
    ASSERT_TRUE(Until([&] { return bus_.canReadLine(); }));
    address_ = QString::fromUtf8(bus_.readLine()).trimmed();
  }

  void TearDown() override {
    CloseLog();
    QDBusConnection::disconnectFromBus(QStringLiteral("global-keys-test"));
    for (QProcess* process : {&portal_, &bus_}) {
      process->kill();
      process->waitForFinished(5000);
    }
    TempHome::TearDown();
  }

  void StartPortal(const QStringList& options = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    portal_.setProcessEnvironment(environment);
    portal_.start(QStringLiteral(QORVE_FAKE_PORTAL), options);
    ASSERT_TRUE(Until([&] { return Said("ready"); })) << "the stand-in portal did not start";
  }

  QDBusConnection Bus() { return QDBusConnection::connectToBus(address_, QStringLiteral("global-keys-test")); }

  // Whether the stand-in portal has printed a line containing `text`.
  bool Said(const QString& text) {
    portalOutput_ += QString::fromUtf8(portal_.readAllStandardOutput());
    return portalOutput_.contains(text);
  }

  std::string Log() { return ReadFile(settingsFolder() / "LOG.TXT"); }

  QProcess bus_;
  QProcess portal_;
  QString address_;
  QString portalOutput_;
  SessionInput input_{nullptr};
};

TEST_F(GlobalKeysTest, RegistersEveryKeyboardCommandWithItsKeyAndPressesItsKeyWhileActive) {
  StartPortal();
  ProgramSettings().keysetZoom = 1;  // a mouse button: the mouse stays its trigger
  GlobalKeys keys(input_, Bus());
  keys.Start();
  ASSERT_TRUE(Until([&] { return Log().find("グローバルショートカット 終了=Escape") != std::string::npos; })) << Log();
  for (const char* line : {" close Escape 終了", " pause p 一時停止", " next Right 次のファイル",
                           " volumeup KP_Add 音量ＵＰ", " hidden space 隠す"}) {
    EXPECT_TRUE(Said(QString::fromUtf8(line))) << line << "\n" << portalOutput_.toStdString();
  }
  EXPECT_FALSE(Said(QStringLiteral(" zoom ")));
  EXPECT_NE(Log().find("\" , \"12\""), std::string::npos) << Log();

  // The shortcut holds the command's key down until the desktop lets it go;
  // a press and release between two polls still counts once.
  portal_.write("press next\n");
  ASSERT_TRUE(Until([&] { return input_.GetAsyncKeyState(kVkRight) & 0x8000; }));
  EXPECT_EQ(input_.GetAsyncKeyState(kVkRight), static_cast<int16_t>(0x8000));
  portal_.write("release next\n");
  ASSERT_TRUE(Until([&] { return input_.GetAsyncKeyState(kVkRight) == 0; }));
  portal_.write("hold pause 1\n");
  Until([] { return false; }, 300);  // pressed and let go, not yet polled
  EXPECT_EQ(input_.GetAsyncKeyState('P'), 1);
  EXPECT_EQ(input_.GetAsyncKeyState('P'), 0);
}

TEST_F(GlobalKeysTest, ActivationPressesTheKeyTheControllerPollsEvenAfterTheFileBindsAnother) {
  StartPortal();
  GlobalKeys keys(input_, Bus());
  keys.Start();
  ASSERT_TRUE(Until([&] { return Said(" next Right "); }));
  const QString firstSession = portalOutput_.section(QLatin1Char(' '), 1, 1);

  // The settings program binds N to the next command and writes the file.
  Settings changed = ProgramSettings();
  ProgramSettings().keysetNext = 'N';
  ASSERT_TRUE(SaveSettings(0));
  ProgramSettings() = changed;
  ASSERT_TRUE(Until([&] { return Said(" next n "); })) << portalOutput_.toStdString();
  EXPECT_TRUE(Said(QStringLiteral("closed ") + firstSession));

  // This run still polls Right for the command.
  portal_.write("press next\n");
  ASSERT_TRUE(Until([&] { return input_.GetAsyncKeyState(kVkRight) & 0x8000; }));
  EXPECT_EQ(input_.GetAsyncKeyState('N'), 0);
}

TEST_F(GlobalKeysTest, WithoutThePortalTheLogSaysOnceWhichKeysNeedTheWindow) {
  StartPortal({QStringLiteral("--without-portal")});
  GlobalKeys keys(input_, Bus());
  keys.Start();
  const std::string said = "グローバルショートカットなし (";
  ASSERT_TRUE(Until([&] { return Log().find(said) != std::string::npos; }));
  EXPECT_NE(Log().find("終了=Escape 一時停止=p"), std::string::npos) << Log();
  ProgramSettings().keysetNext = 'N';
  ASSERT_TRUE(SaveSettings(0));
  Until([] { return false; }, 500);  // the new registration fails as well
  const std::string log = Log();
  EXPECT_EQ(log.find(said), log.rfind(said)) << log;
}

TEST_F(GlobalKeysTest, ADeclinedRegistrationIsLogged) {
  StartPortal({QStringLiteral("--decline")});
  GlobalKeys keys(input_, Bus());
  keys.Start();
  ASSERT_TRUE(Until([&] { return Log().find("グローバルショートカットなし (登録が断られた)") !=
                                 std::string::npos; }))
      << Log();
}

TEST(KeysetShortcutsTest, TriggersNameTheKeysAShortcutServiceKnows) {
  EXPECT_EQ(ShortcutTrigger(0x1B), "Escape");
  EXPECT_EQ(ShortcutTrigger('P'), "p");
  EXPECT_EQ(ShortcutTrigger('7'), "7");
  EXPECT_EQ(ShortcutTrigger(0x73), "F4");
  EXPECT_EQ(ShortcutTrigger(0x6D), "KP_Subtract");
  for (const int none : {0, 1, 2, 4, 0x10, 0xA0, 0x5B, 0x300}) EXPECT_EQ(ShortcutTrigger(none), "") << none;

  Settings settings{};  // every command unbound
  settings.keysetPause = 0x10;  // Shift alone: registered, the desktop gives it a trigger
  settings.keysetLoop = 'L';
  settings.keysetShow = kVkLButton;  // the mouse: not registered
  const std::vector<KeysetShortcut> shortcuts = KeysetShortcuts(settings);
  ASSERT_EQ(shortcuts.size(), 2u);
  EXPECT_EQ(shortcuts.front().id, "pause");
  EXPECT_EQ(DescribeShortcuts(shortcuts), "一時停止=- ループ=l");
}

}  // namespace
}  // namespace qorve
