// Programs of the program folder run hidden: their exit code comes back, a
// missing one fails at once, and one that hangs is killed at the limit.
#include "downloader/run_hidden.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/system/clock.h"
#include "platform/system/folders.h"
#include "support/temp_home.h"

namespace qorve {
namespace {

class RunHiddenTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    SetProgramFolderForTesting(root());
    WriteScript("tool", "#!/bin/sh\necho noise\nexit $1\n");
    WriteScript("hang", "#!/bin/sh\nexec sleep 30\n");
  }
  void TearDown() override {
    SetProgramFolderForTesting({});
    TempHome::TearDown();
  }
  void WriteScript(const char* name, const char* text) {
    test::WriteFile(root() / name, text);
    chmod((root() / name).c_str(), 0755);
  }
};

TEST_F(RunHiddenTest, WaitsForTheProgramOrGivesUp) {
  EXPECT_EQ(RunHidden("tool.exe 3", 0), 3);
  EXPECT_EQ(RunHidden("Extrac32.exe -e CAB32.CAB CAB32.DLL", 0), -1);  // not in the program folder
  EXPECT_EQ(RunHidden("/bin/true", 0), -1);                             // only our own folder
  const uint32_t start = TimeGetTime();
  EXPECT_EQ(RunHidden("hang", 0, 200), -1);
  EXPECT_LT(TimeGetTime() - start, 5000u);
}

}  // namespace
}  // namespace qorve
