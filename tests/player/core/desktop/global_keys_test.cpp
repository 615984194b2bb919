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
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

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
    // A bus that starts no service by itself: the machine's own portal or
    // KGlobalAccel would otherwise answer where a test wants none.
    const std::filesystem::path config = root() / "bus.conf";
    test::WriteFile(config, "<busconfig><type>session</type><listen>unix:tmpdir=" + root().string() +
                                "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" "
                                "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
    bus_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + QString::fromStdString(config.string()),
                                                QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!bus_.waitForStarted(5000)) GTEST_SKIP() << "dbus-daemon is not installed";
    ASSERT_TRUE(Until([&] { return bus_.canReadLine(); }));
    address_ = QString::fromUtf8(bus_.readLine()).trimmed();
  }

  void TearDown() override {
    CloseLog();
    QDBusConnection::disconnectFromBus(QStringLiteral("global-keys-test"));
    for (QProcess* process : {&portal_, &kglobalaccel_, &bus_}) {
      process->kill();
      process->waitForFinished(5000);
    }
    TempHome::TearDown();
  }

  QProcessEnvironment OnTheBus() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    return environment;
  }

  void StartPortal(const QStringList& options = {}) {
    portal_.setProcessEnvironment(OnTheBus());
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

  // KDE's own shortcut service, as the desktop runs it.
  bool StartKGlobalAccel() {
    QProcessEnvironment environment = OnTheBus();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    kglobalaccel_.setProcessEnvironment(environment);
    kglobalaccel_.start(QStringLiteral("kglobalaccel5"), {});
    if (!kglobalaccel_.waitForStarted(5000)) return false;
    return Until([&] { return Bus().interface()->isServiceRegistered(QStringLiteral("org.kde.kglobalaccel")).value(); });
  }

  // The keys KGlobalAccel holds for one of the player's actions.
  QList<int> KdeKeys(const QString& action) {
    QDBusMessage ask = QDBusMessage::createMethodCall(QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/kglobalaccel"),
                                                      QStringLiteral("org.kde.KGlobalAccel"), QStringLiteral("shortcut"));
    ask << QStringList{QStringLiteral("qorve"), action, QStringLiteral("QORVE"), QString()};
    const QDBusReply<QList<int>> reply = Bus().call(ask);
    return reply.isValid() ? reply.value() : QList<int>{};
  }

  int Count(const std::string& text) {
    const std::string log = Log();
    int count = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
    return count;
  }

  QProcess bus_;
  QProcess portal_;
  QProcess kglobalaccel_;
  QString address_;
  QString portalOutput_;
  SessionInput input_{nullptr};
};

TEST_F(GlobalKeysTest, RegistersEveryKeyboardCommandWithItsKeyAndPressesItsKeyWhileActive) {
  StartPortal();
  ProgramSettings().keysetZoom = 1;  // a mouse button: the mouse stays its trigger
  GlobalKeys keys(input_, Bus());
  keys.Start();
  ASSERT_TRUE(Until([&] { return Log().find("グローバルショートカット ポータル 終了=Escape") != std::string::npos; })) << Log();
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

TEST_F(GlobalKeysTest, CommandsTheDesktopLeavesWithoutAKeyAreLoggedAsWindowKeys) {
  StartPortal({QStringLiteral("--bind-only"), QStringLiteral("close,pause")});
  GlobalKeys keys(input_, Bus());
  keys.Start();
  ASSERT_TRUE(Until([&] { return Count("グローバルショートカット未割り当て") == 1; })) << Log();
  EXPECT_NE(Log().find("グローバルショートカット ポータル 終了=Escape 一時停止=p\" , \"2\""), std::string::npos) << Log();
  EXPECT_NE(Log().find("効くキー: ループ=l 連続再生=c "), std::string::npos) << Log();
  EXPECT_NE(Log().find("\" , \"11\""), std::string::npos) << Log();
  EXPECT_EQ(Count("グローバルショートカットなし"), 0) << Log();
}

// A desktop without a shortcut service, or one that binds nothing, is told
// once per desktop by a notification that shows the remote command.
TEST_F(GlobalKeysTest, WithoutSystemWideKeysTheUserIsToldOncePerDesktop) {
  StartPortal({QStringLiteral("--bind-only"), QStringLiteral("none"), QStringLiteral("--notifications")});
  const std::filesystem::path told = root() / "told";
  std::vector<std::unique_ptr<GlobalKeys>> runs;  // each lives on, as a player does
  const auto run = [&](const char* desktop, int count) {
    GlobalKeys& keys = *runs.emplace_back(
        std::make_unique<GlobalKeys>(input_, Bus(), GlobalKeysDesktop{.name = desktop, .noticeFile = told, .english = false}));
    keys.Start();
    ASSERT_TRUE(Until([&] { return Count("グローバルショートカットなし (ポータルがキーを割り当てなかった)") == count; }))
        << Log();
  };
  run("GNOME", 1);
  ASSERT_TRUE(Until([&] { return Said(QStringLiteral("notify ")); }));
  EXPECT_TRUE(Said(QStringLiteral("qorve --command NEXT"))) << portalOutput_.toStdString();
  run("GNOME", 2);
  run("sway", 3);
  // Notifications of one connection arrive in order: the second one is the
  // new desktop's, so the second GNOME run sent none.
  ASSERT_TRUE(Until([&] {
    Said(QString());
    return portalOutput_.count(QStringLiteral("notify ")) == 2;
  }));
  ASSERT_TRUE(Until([&] { return Count("グローバルショートカットの案内 通知") == 2; })) << Log();
  EXPECT_EQ(test::ReadFile(told), "GNOME\nsway\n");
}

// KDE Plasma: the player is a component of the desktop's own KGlobalAccel,
// with its keys; the desktop's activation presses the command's key; a new
// binding in the settings file follows; where the service is missing, the
// portal serves.
TEST_F(GlobalKeysTest, OnKdeTheCommandsAreActionsOfKGlobalAccel) {
  if (!StartKGlobalAccel()) {
    if (std::getenv("CI")) FAIL() << "kglobalaccel5 did not start";
    GTEST_SKIP() << "kglobalaccel5 is not installed";
  }
  GlobalKeys keys(input_, Bus(), {.name = "KDE", .noticeFile = {}, .english = false});
  keys.Start();
  ASSERT_TRUE(Until([&] { return Count("グローバルショートカット KGlobalAccel 終了=Esc ") == 1; })) << Log();
  EXPECT_NE(Log().find("次のファイル=Right"), std::string::npos) << Log();
  EXPECT_NE(Log().find("\" , \"13\""), std::string::npos) << Log();
  EXPECT_EQ(KdeKeys(QStringLiteral("next")), QList<int>{Qt::Key_Right});
  EXPECT_EQ(KdeKeys(QStringLiteral("volumeup")), QList<int>{int(Qt::KeypadModifier) | Qt::Key_Plus});

  QDBusMessage invoke = QDBusMessage::createMethodCall(QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/component/qorve"),
                                                       QStringLiteral("org.kde.kglobalaccel.Component"),
                                                       QStringLiteral("invokeShortcut"));
  invoke << QStringLiteral("next");
  Bus().call(invoke);
  // A tap: pressed since the last poll, not held.
  bool tapped = false;
  ASSERT_TRUE(Until([&] { return tapped = tapped || input_.GetAsyncKeyState(kVkRight) == 1; }));

  ProgramSettings().keysetNext = 'N';
  ASSERT_TRUE(SaveSettings(0));
  ASSERT_TRUE(Until([&] { return KdeKeys(QStringLiteral("next")) == QList<int>{Qt::Key_N}; }));
  ASSERT_TRUE(Until([&] { return Count("グローバルショートカット KGlobalAccel ") == 2; })) << Log();
}

TEST_F(GlobalKeysTest, OnKdeWithoutKGlobalAccelThePortalServes) {
  StartPortal();
  GlobalKeys keys(input_, Bus(), {.name = "KDE", .noticeFile = {}, .english = false});
  keys.Start();
  ASSERT_TRUE(Until([&] { return Count("グローバルショートカット ポータル 終了=Escape") == 1; })) << Log();
  EXPECT_EQ(Count("グローバルショートカット KGlobalAccelなし ("), 1) << Log();
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
