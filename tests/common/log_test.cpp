#include "common/log.h"

#include "common/settings.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

namespace qorve {
namespace {

using test::ReadFile;

class LogTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    ProgramSettings().kestravoxLog = 1;
  }
  void TearDown() override {
    ResetLogRunForTesting();
    TempHome::TearDown();
  }
  std::filesystem::path logPath() const { return settingsFolder() / "LOG.TXT"; }
};

TEST_F(LogTest, WritesQuotedTextAndNumberWithCrLf) {
  EXPECT_EQ(Log("LoadMedia", 0), 1);
  EXPECT_EQ(Log("ウィンドウ作成", -12), 1);
  EXPECT_EQ(ReadFile(logPath()), "\"LoadMedia\" , \"0\" \r\n\"ウィンドウ作成\" , \"-12\" \r\n");
}

TEST_F(LogTest, FirstLineOfARunEmptiesTheOldLog) {
  test::WriteFile(logPath(), "previous run\r\n");
  Log("first run", 1);
  EXPECT_EQ(ReadFile(logPath()), "\"first run\" , \"1\" \r\n");
  ResetLogRunForTesting();
  Log("second run", 2);
  EXPECT_EQ(ReadFile(logPath()), "\"second run\" , \"2\" \r\n");
}

TEST_F(LogTest, LinesAfterClosingAreAppendedNotLost) {
  Log("メッセージループ終了", 0);
  CloseLog();
  Log("MainLoop デストラクタ", 0);
  EXPECT_EQ(ReadFile(logPath()), "\"メッセージループ終了\" , \"0\" \r\n\"MainLoop デストラクタ\" , \"0\" \r\n");
}

TEST_F(LogTest, LoggingOffCreatesAndEmptiesNothing) {
  test::WriteFile(logPath(), "old log\r\n");
  ProgramSettings().kestravoxLog = 0;
  EXPECT_EQ(Log("ignored", 0), 0);
  EXPECT_EQ(ReadFile(logPath()), "old log\r\n");
  std::filesystem::remove_all(settingsFolder());
  EXPECT_EQ(Log("ignored", 0), 0);
  EXPECT_FALSE(std::filesystem::exists(settingsFolder()));
  ProgramSettings().kestravoxLog = 2;  // only 1 turns the log on
  EXPECT_EQ(Log("ignored", 0), 0);
  EXPECT_FALSE(std::filesystem::exists(settingsFolder()));
}

TEST_F(LogTest, LongLinesAreWrittenWhole) {
  const std::string path = "/music/" + std::string(5000, 'x') + ".ogg";
  Log(path, 3);
  EXPECT_EQ(ReadFile(logPath()), "\"" + path + "\" , \"3\" \r\n");
}

TEST_F(LogTest, AFolderThatCannotBeMadeNeverStopsTheProgram) {
  test::WriteFile(root() / "blocker", "a file where the folder should be");
  setenv("QORVE_HOME", (root() / "blocker" / "settings").c_str(), 1);
  EXPECT_EQ(Log("lost", 0), 1);
  EXPECT_EQ(Log("lost too", 0), 1);
}

TEST_F(LogTest, LinesFromTwoThreadsNeverMix) {
  constexpr int kLines = 2000;
  Log("start", 0);  // the user-interface thread opens the log first
  auto writer = [](const std::string& text) {
    for (int i = 0; i < kLines; ++i) Log(text, i);
  };
  std::thread worker(writer, "StreamThread " + std::string(200, 'w'));
  writer("MainLoop " + std::string(300, 'u'));
  worker.join();

  std::istringstream lines(ReadFile(logPath()));
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    ASSERT_EQ(line.back(), '\r');
    const bool fromWorker = line.rfind("\"StreamThread " + std::string(200, 'w') + "\" , \"", 0) == 0;
    const bool fromUi = line.rfind("\"MainLoop " + std::string(300, 'u') + "\" , \"", 0) == 0;
    ASSERT_TRUE(fromWorker || fromUi || line == "\"start\" , \"0\" \r") << line;
  }
  EXPECT_EQ(count, 2 * kLines + 1);
}

}  // namespace
}  // namespace qorve
