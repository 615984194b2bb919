// The file-type dialog on a private desktop: boxes that show and change the
// associations, the Send To box with its failures, the help box, and the play test.
#include "settings/dialogs/file_type_dialog.h"

#include "platform/system/launch.h"
#include "settings/association_home.h"
#include "settings/desktop/file_association.h"
#include "settings/desktop/play_test.h"
#include "settings/desktop/send_to_shortcut.h"
#include "settings/dialog_driver.h"
#include "settings/dialogs/main_dialog.h"
#include "settings/settings_program.h"
#include "support/qt_application.h"

#include <QCheckBox>
#include <QCursor>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace qorve {
namespace {

class FileTypeDialogTest : public test::AssociationHome {
 protected:
  void SetUp() override {
    test::AssociationHome::SetUp();
    test::TestApplication();
  }

  static QCheckBox* Box(const FileTypeDialog& dialog, int control) {
    return dialog.findChild<QCheckBox*>(FileTypeDialog::ControlName(control));
  }

  std::filesystem::path sendToFile() const { return dataHome() / "Thunar" / "sendto" / "QORVE2.desktop"; }

  // Clicks the box and returns the text of the message box it raises ("" when none).
  static QString ClickAndReadMessage(QCheckBox* box) {
    QString text;
    test::ModalAnswer answer([&text](QWidget* modal) {
      if (auto* message = qobject_cast<QMessageBox*>(modal)) {
        text = message->text();
        message->accept();
      }
    });
    box->click();
    test::WaitFor([&] { return !text.isEmpty(); }, 300);
    return text;
  }
};

TEST_F(FileTypeDialogTest, BoxesShowTheAssociationsAndChangeThemAtOnce) {
  InstallOtherPlayer("audio/x-wav");
  ASSERT_TRUE(RegisterType("MP3"));
  FileTypeDialog dialog;
  EXPECT_FALSE(Box(dialog, 1004)->isChecked());  // WAV: the other program's
  EXPECT_TRUE(Box(dialog, 1016)->isChecked());   // MP3
  EXPECT_EQ(dialog.findChildren<QCheckBox*>().size(), 47 + 1);

  Box(dialog, 1004)->click();
  EXPECT_EQ(QueryAssociation("WAV"), PlayerPath().string());
  // JPG and JPEG are one type on this desktop: both boxes follow.
  Box(dialog, 1078)->click();
  EXPECT_TRUE(Box(dialog, 1094)->isChecked());

  Box(dialog, 1004)->click();
  EXPECT_FALSE(Box(dialog, 1004)->isChecked());
  EXPECT_EQ(QueryAssociation("WAV"), "/opt/other/play");
}

TEST_F(FileTypeDialogTest, TrackerModuleBoxesAssociateTheirTypes) {
  FileTypeDialog dialog;
  Box(dialog, 1260)->click();  // S3M
  EXPECT_EQ(QueryAssociation("S3M"), PlayerPath().string());
  EXPECT_FALSE(Box(dialog, 1262)->isChecked());  // IT is a type of its own
  // MTM and 669 files are Amiga modules to the desktop, as MOD files are.
  Box(dialog, 1264)->click();
  EXPECT_TRUE(Box(dialog, 1266)->isChecked());
  EXPECT_TRUE(Box(dialog, 1042)->isChecked());
  EXPECT_FALSE(QueryAssociation("IT").has_value());
}

TEST_F(FileTypeDialogTest, TypeOpenedThroughALinkToThePlayerIsChecked) {
  // The installed entry names the link in bin, not the program folder.
  std::filesystem::create_directories(root() / "usr-bin");
  std::filesystem::create_symlink(PlayerPath(), root() / "usr-bin" / "qorve");
  InstallPackagedEntry(root() / "usr-bin" / "qorve", "audio/x-wav;");
  test::WriteFile(configHome() / "mimeapps.list", "[Default Applications]\naudio/x-wav=qorve.desktop;\n");
  FileTypeDialog dialog;
  EXPECT_TRUE(Box(dialog, 1004)->isChecked());
}

TEST_F(FileTypeDialogTest, OpeningMovesAnOldHiddenEntrySoTheInstalledOneShowsAgain) {
  InstallPackagedEntry(PlayerPath(), "audio/ogg;");
  WriteOldHiddenEntry("audio/x-wav");
  FileTypeDialog dialog;
  EXPECT_FALSE(std::filesystem::exists(dataHome() / "applications" / kInstalledDesktopId));
  EXPECT_TRUE(Box(dialog, 1004)->isChecked());
}

TEST_F(FileTypeDialogTest, StartingTheSettingsProgramMovesAnOldHiddenEntry) {
  InstallPackagedEntry(PlayerPath(), "audio/ogg;");
  WriteOldHiddenEntry("audio/x-wav");
  RunSettingsProgram([](MainDialog& dialog) { QTimer::singleShot(0, &dialog, [&dialog] { dialog.reject(); }); });
  EXPECT_FALSE(std::filesystem::exists(dataHome() / "applications" / kInstalledDesktopId));
  EXPECT_TRUE(AssociatedWithPlayer("WAV"));
}

TEST_F(FileTypeDialogTest, ListThatCannotBeReadIsReportedAndNothingChanges) {
  std::filesystem::create_directories(configHome());
  std::filesystem::create_symlink("mimeapps.list", configHome() / "mimeapps.list");
  FileTypeDialog dialog;
  const QString message = ClickAndReadMessage(Box(dialog, 1004));
  EXPECT_TRUE(message.startsWith("関連付けを変更できませんでした。\n")) << message.toStdString();
  EXPECT_TRUE(message.contains("mimeapps.list")) << message.toStdString();
  EXPECT_FALSE(Box(dialog, 1004)->isChecked());
  EXPECT_TRUE(std::filesystem::is_symlink(configHome() / "mimeapps.list"));
}

TEST_F(FileTypeDialogTest, SendToBoxCreatesAndDeletesTheShortcut) {
  FileTypeDialog dialog;
  QCheckBox* sendTo = Box(dialog, 1252);
  EXPECT_FALSE(sendTo->isChecked());
  EXPECT_EQ(ClickAndReadMessage(sendTo), "");
  ASSERT_TRUE(std::filesystem::exists(sendToFile()));
  const std::string entry = test::ReadFile(sendToFile());
  EXPECT_NE(entry.find("Exec=" + ExecLineFor(PlayerPath()) + " %f"), std::string::npos) << entry;
  EXPECT_TRUE(FileTypeDialog().findChild<QCheckBox*>(FileTypeDialog::ControlName(1252))->isChecked());

  EXPECT_EQ(ClickAndReadMessage(sendTo), "");
  EXPECT_FALSE(std::filesystem::exists(sendToFile()));
  EXPECT_FALSE(sendTo->isChecked());
}

TEST_F(FileTypeDialogTest, SendToFolderThatCannotBeMadeIsReportedAndTheBoxPutBack) {
  test::WriteFile(dataHome() / "Thunar", "a file where the folder should be");
  FileTypeDialog dialog;
  QCheckBox* sendTo = Box(dialog, 1252);
  EXPECT_EQ(ClickAndReadMessage(sendTo), "SendToフォルダの場所を取得できません。");
  EXPECT_FALSE(sendTo->isChecked());
}

TEST_F(FileTypeDialogTest, ShortcutThatCannotBeWrittenOrDeletedIsReportedAndTheBoxPutBack) {
  std::filesystem::create_directories(sendToFile() / "in the way");
  FileTypeDialog dialog;
  QCheckBox* sendTo = Box(dialog, 1252);
  EXPECT_EQ(ClickAndReadMessage(sendTo), "ショートカットの作成に失敗しました。");
  EXPECT_FALSE(sendTo->isChecked());
  sendTo->setChecked(true);
  EXPECT_EQ(ClickAndReadMessage(sendTo), "ショートカットの削除に失敗しました。");
  EXPECT_TRUE(sendTo->isChecked());
}

TEST_F(FileTypeDialogTest, HelpBoxExplainsTheControlUnderTheCursor) {
  FileTypeDialog dialog;
  dialog.show();
  auto* help = dialog.findChild<QPlainTextEdit*>(FileTypeDialog::ControlName(1116));
  QCheckBox* sendTo = Box(dialog, 1252);
  QCursor::setPos(sendTo->mapToGlobal(sendTo->rect().center()));
  EXPECT_TRUE(test::WaitFor([&] { return help->toPlainText().startsWith("エクスプローラで"); }));
  QCursor::setPos(dialog.mapToGlobal(QPoint(-50, -50)));
  EXPECT_TRUE(test::WaitFor([&] { return help->toPlainText().isEmpty(); }));
}

TEST_F(FileTypeDialogTest, PlayTestStartsThePlayerOnTheChosenFile) {
  // A stand-in player that writes down its arguments.
  const std::filesystem::path bin = root() / "bin";
  const std::filesystem::path record = root() / "arguments";
  test::WriteFile(bin / "qorve", "#!/bin/sh\nprintf '%s|' \"$@\" > '" + record.string() + ".part'\nmv '" +
                                     record.string() + ".part' '" + record.string() + "'\n");
  chmod((bin / "qorve").c_str(), 0755);
  const std::filesystem::path song = root() / "My Song's (live).ogg";
  test::WriteFile(song, "OggS");

  auto chooseSong = std::make_unique<test::ModalAnswer>([&song](QWidget* modal) {
    auto* chooser = qobject_cast<QFileDialog*>(modal);
    if (!chooser) return;
    // Typed into the name field: selectFile() depends on the chooser having
    // read the folder, which happens on its own thread.
    chooser->setDirectory(QString::fromStdString(song.parent_path().string()));
    if (auto* name = chooser->findChild<QLineEdit*>("fileNameEdit")) {
      name->setText(QString::fromStdString(song.filename().string()));
    }
    static_cast<QDialog*>(chooser)->accept();
  });
  RunPlayTest(nullptr);
  chooseSong.reset();
  ASSERT_TRUE(test::WaitFor([&] { return std::filesystem::exists(record); }));
  EXPECT_EQ(test::ReadFile(record), song.string() + "|");

  std::filesystem::remove(record);
  test::ModalAnswer cancel([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
  RunPlayTest(nullptr);
  test::WaitFor([] { return false; }, 200);
  EXPECT_FALSE(std::filesystem::exists(record));
}

TEST(PlayTestCommand, AnyFileNameReachesThePlayerAsOneArgument) {
  const std::string name = "/music/a \"quoted\" name.ogg";
  EXPECT_EQ(SplitCommandLine(PlayTestCommandLine(name)), (std::vector<std::string>{"QORVE.EXE", name}));
}

}  // namespace
}  // namespace qorve
