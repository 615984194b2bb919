// qorve-set: the settings program. Edits the settings file shared with the
// player through its dialogs and writes it once, when the main dialog closes.
#include "platform/qt/fonts.h"
#include "platform/qt/window_system_choice.h"
#include "settings/settings_program.h"
#include "settings/widgets/program_icon.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char** argv) {
  qorve::ChooseWindowSystem();
  QApplication application(argc, argv);
  qorve::InstallJapaneseFontSubstitutes();
  // Qt's own dialogs (colours, fonts, message-box buttons) in Japanese like
  // the rest of the program; without the translation they stay English.
  QTranslator qtTexts;
  if (qtTexts.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTexts);
  }
  QApplication::setWindowIcon(qorve::ProgramIcon());
  return qorve::RunSettingsProgram();
}
