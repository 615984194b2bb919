// The "File:" rule of the library pages and its limits, and the page fetched
// from a loopback server.
#include "downloader/find_latest_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "loopback_http_server_fake.h"
#include "support/temp_home.h"

namespace qorve {
namespace {

struct PageCase {
  const char* what;
  std::string page;
  std::optional<std::string> name;
};

class LatestFileNameTest : public ::testing::TestWithParam<PageCase> {};

TEST_P(LatestFileNameTest, TakesTheNameAfterFileUpToTheBracket) {
  EXPECT_EQ(ParseLatestFileName(GetParam().page), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, LatestFileNameTest,
    ::testing::Values(
        PageCase{"plain", "<p>[File:lha255e.exe] 2003</p>", "lha255e.exe"},
        PageCase{"blanksAroundDropped", "File: unzip32.zip ]", "unzip32.zip"},
        PageCase{"firstEntryWins", "File:a.lzh] File:b.lzh]", "a.lzh"},
        PageCase{"noEntry", "<p>no files here</p>", std::nullopt},
        PageCase{"noBracket", "File:a.lzh and the rest", std::nullopt},
        PageCase{"bracketBeyondSearchedBytes", "File:" + std::string(5200, 'a') + "]", std::nullopt},
        PageCase{"entryBeyondSearchedBytes", std::string(5118, ' ') + "File:a.lzh]", std::nullopt},
        PageCase{"name255Kept", "File:" + std::string(251, 'a') + ".lzh]", std::string(251, 'a') + ".lzh"},
        PageCase{"name256Refused", "File:" + std::string(252, 'a') + ".lzh]", std::nullopt},
        PageCase{"emptyName", "File:]", std::nullopt},
        PageCase{"parentFolderRefused", "File:../evil.lzh]", std::nullopt},
        PageCase{"folderRefused", "File:sub/a.lzh]", std::nullopt},
        PageCase{"backslashRefused", "File:..\\a.lzh]", std::nullopt},
        PageCase{"dotDotRefused", "File:..]", std::nullopt},
        PageCase{"controlCharacterRefused", "File:a\nb.lzh]", std::nullopt},
        PageCase{"workingFileRefused", "File:cab32.cab]", std::nullopt},
        // Only letters, digits, ".", "_" and "-", starting with a letter or
        // digit: the name becomes a file, a URL and a quoted archiver word.
        PageCase{"usualNamesKept", "File:cab32_102-b.EXE]", "cab32_102-b.EXE"},
        PageCase{"quoteRefused", "File:UNLHA32.DLL\" \".bashrc]", std::nullopt},
        PageCase{"blankInsideRefused", "File:a b.lzh]", std::nullopt},
        PageCase{"hiddenFileRefused", "File:.bashrc]", std::nullopt},
        PageCase{"leadingDashRefused", "File:-rf.lzh]", std::nullopt},
        PageCase{"shellCharactersRefused", "File:a;b$(c).lzh]", std::nullopt},
        PageCase{"wildcardRefused", "File:*.lzh]", std::nullopt},
        PageCase{"percentRefused", "File:a%22.lzh]", std::nullopt},
        PageCase{"nonAsciiRefused", "File:\x83\x65\x83\x58\x83\x67.lzh]", std::nullopt}),
    [](const ::testing::TestParamInfo<PageCase>& info) { return info.param.what; });

class FindLatestFileTest : public test::TempHome {};

TEST_F(FindLatestFileTest, ReadsThePageAndDeletesIt) {
  test::WriteFile(root() / "site" / "unzip32.html", "<p>[File:unz600.zip]</p>");
  test::LoopbackHttpServer server(root() / "site");
  const auto internet = OpenInternet();
  std::string name;
  const std::string base = "http://" + server.Host() + "/archiver/lib/";
  EXPECT_EQ(FindLatestFile(internet.get(), base + "unzip32.html", root(), name), 0);
  EXPECT_EQ(name, "unz600.zip");
  EXPECT_FALSE(std::filesystem::exists(root() / "ARC.HTML"));
  EXPECT_EQ(FindLatestFile(internet.get(), base + "missing.html", root(), name), -1);
  EXPECT_FALSE(std::filesystem::exists(root() / "ARC.HTML"));
}

}  // namespace
}  // namespace qorve
