// A TempHome whose program-wide settings start from the defaults and are put
// back as they were afterwards, so that tests never leak settings into each
// other; the log is closed so that the next test logs into its own folder.
#pragma once

#include "common/log.h"
#include "common/settings.h"
#include "support/temp_home.h"

namespace qorve::test {

class SettingsHome : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    saved_ = ProgramSettings();
    LoadSettings();
  }
  void TearDown() override {
    CloseLog();
    ProgramSettings() = saved_;
    TempHome::TearDown();
  }

 private:
  Settings saved_{};
};

}  // namespace qorve::test
