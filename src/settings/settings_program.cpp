#include "settings/settings_program.h"

#include "common/settings.h"
#include "settings/main_dialog.h"

namespace qorve {

int RunSettingsProgram(const std::function<void(MainDialog&)>& prepare) {
  LoadSettings();
  {
    MainDialog dialog;
    if (prepare) prepare(dialog);
    // The close box, Escape and "環境設定を終了する" all end here.
    dialog.exec();
  }
  SaveSettings(0);
  return 0;
}

}  // namespace qorve
