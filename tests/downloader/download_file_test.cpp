// Downloads from a loopback server: the counters, and failures that leave no
// file behind.
#include "downloader/download_file.h"

#include <gtest/gtest.h>

#include "loopback_http_server_fake.h"
#include "support/temp_home.h"

namespace qorve {
namespace {

class DownloadFileTest : public test::TempHome {};

TEST_F(DownloadFileTest, WritesTheFileAndCountsItsBytes) {
  const std::string body(300000, 'x');
  test::WriteFile(root() / "site" / "a b.lzh", body);
  test::LoopbackHttpServer server(root() / "site");
  const auto internet = OpenInternet();
  std::atomic<uint64_t> total{7}, received{7};
  const std::string url = "http://" + server.Host() + "/archiver/lib/" + EscapeUrlPathPart("a b.lzh");
  ASSERT_EQ(DownloadFile(internet.get(), url, root() / "got", &total, &received), kDownloadDone);
  EXPECT_EQ(test::ReadFile(root() / "got"), body);
  EXPECT_EQ(total.load(), body.size());
  EXPECT_EQ(received.load(), body.size());
}

TEST_F(DownloadFileTest, FailuresLeaveNoFile) {
  test::LoopbackHttpServer server(root() / "site");
  const auto internet = OpenInternet();
  const std::string missing = "http://" + server.Host() + "/archiver/lib/missing.lzh";
  EXPECT_EQ(DownloadFile(nullptr, missing, root() / "got"), kDownloadNoHandle);
  EXPECT_EQ(DownloadFile(internet.get(), missing, root() / "got"), kDownloadFailed);  // 404 is no download
  EXPECT_EQ(DownloadFile(internet.get(), "http://127.0.0.1:1/archiver/lib/a.lzh", root() / "got"), kDownloadFailed);
  EXPECT_FALSE(std::filesystem::exists(root() / "got"));
}

}  // namespace
}  // namespace qorve
