#include "settings/settings_program.h"

#include "common/settings.h"
#include "settings/desktop/file_association.h"
#include "settings/desktop/play_test.h"
#include "settings/dialogs/file_type_dialog.h"
#include "settings/dialogs/key_binding_dialog.h"
#include "settings/dialogs/main_dialog.h"

namespace qorve {

int RunSettingsProgram(const std::function<void(MainDialog&)>& prepare) {
  LoadSettings();
  // A hidden qorve.desktop that an earlier version left in the user's
  // applications folder hides the installed entry from the menus: its
  // associations move to their own entry as soon as the program starts.
  MigrateAssociations();
  {
    MainDialog dialog;
    // The windows of the system group open over the main dialog.
    QObject::connect(&dialog, &MainDialog::fileTypesRequested, &dialog, [&dialog] { ShowFileTypeDialog(&dialog); });
    QObject::connect(&dialog, &MainDialog::keyBindingRequested, &dialog,
                     [&dialog] { ShowKeyBindingDialog(&dialog); });
    QObject::connect(&dialog, &MainDialog::playTestRequested, &dialog, [&dialog] { RunPlayTest(&dialog); });
    if (prepare) prepare(dialog);
    // The close box, Escape and "環境設定を終了する" all end here.
    dialog.exec();
  }
  SaveSettings(0);
  return 0;
}

}  // namespace qorve
