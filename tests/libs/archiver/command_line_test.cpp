#include "libs/archiver/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qorve::archiver {
namespace {

struct ParseCase {
  const char* line;
  const char* command;
  std::vector<std::string> switches;
  const char* archive;
  const char* destination;
  std::vector<std::string> patterns;
};

class ParseArchiverCommandTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseArchiverCommandTest, SplitsCommandSwitchesArchiveDestinationAndPatterns) {
  const ParseCase& c = GetParam();
  const ArchiverCommand command = ParseArchiverCommand(c.line);
  EXPECT_EQ(command.command, c.command);
  EXPECT_EQ(command.switches, c.switches);
  EXPECT_EQ(command.archive, c.archive);
  EXPECT_EQ(command.destination, c.destination);
  EXPECT_EQ(command.patterns, c.patterns);
}

INSTANTIATE_TEST_SUITE_P(
    PlayerAndDownloaderLines, ParseArchiverCommandTest,
    ::testing::Values(
        ParseCase{R"(e "/m/a b.lzh" -d -c1 -jyc "/home/u/Desktop/a b/" *.*)", "e", {"-d", "-c1", "-jyc"},
                  "/m/a b.lzh", "/home/u/Desktop/a b", {"*.*"}},
        ParseCase{R"(-x "/m/c.cab" "/d/c/" )", "x", {}, "/m/c.cab", "/d/c", {}},
        ParseCase{R"(x "/m/r.rar" "/d/r\")", "x", {}, "/m/r.rar", "/d/r", {}},
        ParseCase{R"(e -n -m1 -c0 -gm0 -ga1 "/dl/unzip.zip" "/sys\" *.DLL)", "e",
                  {"-n", "-m1", "-c0", "-gm0", "-ga1"}, "/dl/unzip.zip", "/sys", {"*.DLL"}},
        // A quoted word is a name even when it starts with "-".
        ParseCase{R"(x "-d.tar" "-j/" a?.txt)", "x", {}, "-d.tar", "-j", {"a?.txt"}},
        // Without a separator at its end the second word is a pattern.
        ParseCase{R"(x arc.tar notes.txt)", "x", {}, "arc.tar", "", {"notes.txt"}},
        ParseCase{R"(X "/a.tar" "/")", "x", {}, "/a.tar", "/", {}},
        ParseCase{R"(  "/only.zip"  )", "", {}, "/only.zip", "", {}},
        ParseCase{R"(x "/unterminated.zip)", "x", {}, "/unterminated.zip", "", {}},
        ParseCase{"", "", {}, "", "", {}}));

struct PatternCase {
  const char* name;
  const char* pattern;
  bool matches;
};

class MatchesPatternTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(MatchesPatternTest, MatchesLikeTheWindowsArchivers) {
  EXPECT_EQ(MatchesPattern(GetParam().name, GetParam().pattern), GetParam().matches)
      << GetParam().name << " ~ " << GetParam().pattern;
}

INSTANTIATE_TEST_SUITE_P(Globs, MatchesPatternTest,
                         ::testing::Values(PatternCase{"README", "*.*", true}, PatternCase{"unzip32.dll", "*.DLL", true},
                                           PatternCase{"UNZIP32.DLL.txt", "*.DLL", false},
                                           PatternCase{"a1.txt", "a?.txt", true}, PatternCase{"a.txt", "a?.txt", false},
                                           PatternCase{"abcabd", "*ab?", true}, PatternCase{"x", "", false}));

}  // namespace
}  // namespace qorve::archiver
