// The main dialog's actions, the program's write at close, and the about box.
#include "common/settings.h"
#include "platform/system/folders.h"
#include "platform/system/profile.h"
#include "settings/dialogs/about_dialog.h"
#include "settings/dialogs/main_dialog.h"
#include "settings/settings_program.h"
#include "settings/widgets/link_label.h"
#include "support/qt_application.h"
#include "support/settings_home.h"

#include <QEnterEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <sys/stat.h>

#include <chrono>
#include <thread>

namespace qorve {
namespace {

class MainDialogTest : public test::SettingsHome {
 protected:
  void SetUp() override {
    SettingsHome::SetUp();
    test::TestApplication();
  }
  void TearDown() override {
    SetProgramFolderForTesting({});
    SettingsHome::TearDown();
  }

  MainDialog::Questions Answering(bool yes) {
    return MainDialog::Questions{[this, yes](QWidget*, const QString& text, const QString& caption) {
                                   asked.push_back(caption + ":" + text);
                                   return yes;
                                 },
                                 [this](QWidget*, const QString& text, const QString& caption) {
                                   told.push_back(caption + ":" + text);
                                 }};
  }

  QStringList asked;
  QStringList told;
};

TEST_F(MainDialogTest, ResetAsksThenDeletesTheFileLoadsTheDefaultsAndSaysSo) {
  test::WriteFile(SettingsFilePath(), "[KESTRAVOX]\r\nLOG=0\r\n");
  LoadSettings();
  ASSERT_EQ(ProgramSettings().kestravoxLog, 0);
  {
    MainDialog declined(Answering(false));
    declined.findChild<QPushButton*>("1083")->click();
    EXPECT_TRUE(std::filesystem::exists(SettingsFilePath()));
    EXPECT_EQ(ProgramSettings().kestravoxLog, 0);
    EXPECT_TRUE(told.isEmpty());
  }
  MainDialog accepted(Answering(true));
  accepted.findChild<QPushButton*>("1083")->click();
  EXPECT_FALSE(std::filesystem::exists(SettingsFilePath()));
  EXPECT_EQ(ProgramSettings().kestravoxLog, 1);
  EXPECT_EQ(asked, QStringList({"確認:設定を初期化します。よろしいですか？", "確認:設定を初期化します。よろしいですか？"}));
  EXPECT_EQ(told, QStringList({"完了:設定を初期化しました。"}));
}

struct SignalCase {
  const char* name;
  int button;
  void (MainDialog::*signal)();
};

class HandedOnButtonTest : public MainDialogTest, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(HandedOnButtonTest, ButtonAsksThroughItsSignal) {
  MainDialog dialog(Answering(false));
  int emitted = 0;
  QObject::connect(&dialog, GetParam().signal, [&emitted] { ++emitted; });
  dialog.findChild<QPushButton*>(QString::number(GetParam().button))->click();
  EXPECT_EQ(emitted, 1);
}

INSTANTIATE_TEST_SUITE_P(Buttons, HandedOnButtonTest,
                         ::testing::Values(SignalCase{"keyBinding", 1024, &MainDialog::keyBindingRequested},
                                           SignalCase{"fileTypes", 1000, &MainDialog::fileTypesRequested},
                                           SignalCase{"playTest", 1088, &MainDialog::playTestRequested}),
                         [](const auto& info) { return std::string(info.param.name); });

struct LaunchCase {
  const char* name;
  int button;
  const char* program;
  const char* arguments;
};

class LaunchButtonTest : public MainDialogTest, public ::testing::WithParamInterface<LaunchCase> {};

TEST_P(LaunchButtonTest, StartsTheSiblingProgramAndIgnoresAMissingOne) {
  const std::filesystem::path folder = root() / "bin";
  const std::filesystem::path record = root() / "started";
  MainDialog dialog(Answering(false));
  SetProgramFolderForTesting(folder);
  dialog.findChild<QPushButton*>(QString::number(GetParam().button))->click();  // missing: nothing happens
  EXPECT_FALSE(std::filesystem::exists(record));

  const std::filesystem::path program = folder / GetParam().program;
  test::WriteFile(program, "#!/bin/sh\necho \"$#:$*\" > '" + record.string() + ".part' && mv '" + record.string() +
                               ".part' '" + record.string() + "'\n");
  chmod(program.c_str(), 0755);
  dialog.findChild<QPushButton*>(QString::number(GetParam().button))->click();
  for (int i = 0; i < 2000 && !std::filesystem::exists(record); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(test::ReadFile(record), std::string(GetParam().arguments) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Programs, LaunchButtonTest,
                         ::testing::Values(LaunchCase{"downloader", 1106, "pakgrab", "0:"},
                                           LaunchCase{"realMedia", 1022, "regsvr32", "1:RealMediaSplitter.ax"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Every key but the window rectangle is in the file; the rectangle stays as
// the player wrote it, or absent when it never did.
void ExpectEveryKeyButTheRectangle(const std::filesystem::path& file, bool rectangleWritten) {
  for (const SettingKey& key : SettingsTable()) {
    const bool present = GetPrivateProfileInt(key.section, key.key, -12345, file) != -12345 ||
                         GetPrivateProfileString(key.section, key.key, "?", 64, file) != "?";
    EXPECT_EQ(present, !key.windowRectangle || rectangleWritten) << key.section << " " << key.key;
  }
}

TEST_F(MainDialogTest, ClosingWritesEveryKeyAndKeepsTheRectangleThePlayerWrote) {
  test::WriteFile(SettingsFilePath(), "[WINSET]\r\nX=111\r\nY=222\r\nWIDTH=333\r\nHEIGHT=44\r\n[SPCSET]\r\nSURND=4\r\n");
  EXPECT_EQ(RunSettingsProgram([](MainDialog& dialog) {
              QTimer::singleShot(0, &dialog, [&dialog] {
                ProgramSettings().winsetX = 1;  // the player's value must win
                ProgramSettings().kestravoxLog = 0;
                dialog.findChild<QPushButton*>("1104")->click();
              });
            }),
            0);
  const std::filesystem::path file = SettingsFilePath();
  ExpectEveryKeyButTheRectangle(file, true);
  EXPECT_EQ(GetPrivateProfileInt("WINSET", "X", 0, file), 111);
  EXPECT_EQ(GetPrivateProfileInt("KESTRAVOX", "LOG", 1, file), 0);
  EXPECT_EQ(GetPrivateProfileInt("SPCSET", "SURND", 0, file), 4);
}

TEST_F(MainDialogTest, ResetThenCloseLeavesTheDefaultsWithoutTheRectangle) {
  test::WriteFile(SettingsFilePath(), "[WINSET]\r\nX=111\r\n[KESTRAVOX]\r\nLOG=0\r\n");
  RunSettingsProgram([](MainDialog& dialog) {
    QTimer::singleShot(0, &dialog, [&dialog] {
      ResetSettings();
      dialog.reject();  // the close box
    });
  });
  ExpectEveryKeyButTheRectangle(SettingsFilePath(), false);
  EXPECT_EQ(GetPrivateProfileInt("KESTRAVOX", "LOG", 0, SettingsFilePath()), 1);
}

TEST_F(MainDialogTest, AboutBoxGrowsWithTheReportAndShrinksBack) {
  AboutDialog about(nullptr, AboutLinks{});
  EXPECT_EQ(about.findChild<QWidget*>("1246"), nullptr);  // no addresses, no links
  const int collapsed = about.height();
  EXPECT_GE(about.width(), AboutDialog::kWidth);
  EXPECT_GE(collapsed, AboutDialog::kCollapsedHeight);
  auto* more = about.findChild<QPushButton*>("1250");
  ASSERT_TRUE(more->isCheckable());
  more->click();
  EXPECT_GE(about.height(), AboutDialog::kExpandedHeight);
  EXPECT_TRUE(about.findChild<QPlainTextEdit*>("1076")->toPlainText().startsWith("OS情報\nバージョン: "));
  more->click();
  EXPECT_EQ(about.height(), collapsed);
}

TEST_F(MainDialogTest, LinkTurnsRedUnderTheCursorAndBlueWhenItLeaves) {
  AboutDialog about(nullptr, AboutLinks{"https://example.org/", "mailto:someone@example.org", ""});
  about.show();
  auto* web = about.findChild<LinkLabel*>("1246");
  ASSERT_NE(web, nullptr);
  EXPECT_EQ(about.findChild<LinkLabel*>("1248")->Address(), "mailto:someone@example.org");
  EXPECT_EQ(LinkLabel::LinkColour(), QColor(0, 0, 255));
  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), web->mapToGlobal(QPointF(1, 1)));
  QCoreApplication::sendEvent(web, &enter);
  EXPECT_EQ(LinkLabel::LinkColour(), QColor(255, 0, 0));
  web->CheckCursor(web->mapToGlobal(QPoint(1, 1)));
  EXPECT_EQ(LinkLabel::LinkColour(), QColor(255, 0, 0));
  web->CheckCursor(web->mapToGlobal(QPoint(-20, -20)));
  EXPECT_EQ(LinkLabel::LinkColour(), QColor(0, 0, 255));
  EXPECT_EQ(web->cursor().shape(), Qt::PointingHandCursor);
}

}  // namespace
}  // namespace qorve
