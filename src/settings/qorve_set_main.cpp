// qorve-set: the settings program. Edits the settings file shared with the
// player through its dialogs and writes it once, when the main dialog closes.
#include "platform/qt/fonts.h"
#include "settings/program_icon.h"
#include "settings/settings_program.h"

#include <QApplication>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  qorve::InstallJapaneseFontSubstitutes();
  QApplication::setWindowIcon(qorve::ProgramIcon());
  return qorve::RunSettingsProgram();
}
