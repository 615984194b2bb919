// The LHA reader against archives made by jlha and the real archives in the
// shared media, with lhasa's output as the reference, and against archives
// built byte by byte for the cases no tool writes, bombs among them.
#include "downloader/lha/lha_extract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "downloader/lha/lha_decoder.h"
#include "downloader/lha/lha_header.h"
#include "downloader/lha_member_fake.h"
#include "platform/system/text.h"
#include "support/file_size_limit.h"
#include "support/shared_media.h"
#include "support/temp_home.h"

namespace qorve {
namespace {

namespace fs = std::filesystem;
using test::Level0Member;
using test::Lh5SpacesMember;
using test::ReadFile;
using test::WriteFile;

bool HaveTools() { return std::system("command -v jlha >/dev/null && command -v lhasa >/dev/null") == 0; }

int RunQuiet(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

// Text with repeats (long and short matches) mixed with noise (literals), longer
// than the largest window so that copies reach across the window's wrap.
std::string MixedData(std::size_t size) {
  std::mt19937 random(7);
  std::string out;
  while (out.size() < size) {
    if (random() % 3 == 0) {
      for (int i = 0; i < 40; ++i) out += static_cast<char>(random());
    } else {
      out += "line " + std::to_string(random() % 500) + " of the archive library installer\n";
    }
  }
  out.resize(size);
  return out;
}

class LhaExtractTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    work_ = root() / "work";
    out_ = root() / "out";
    fs::create_directories(work_);
    fs::create_directories(out_);
  }
  // lhasa's bytes for one member ("" when it has none). lhasa writes the
  // names of MS-DOS archives in lower case, so names compare without case.
  std::string LhasaMember(const fs::path& archive, const std::string& member) {
    const fs::path target = root() / "lhasa";
    fs::remove_all(target);
    fs::create_directories(target);
    RunQuiet("cd '" + target.string() + "' && lhasa xq '" + archive.string() + "'");
    for (const auto& entry : fs::recursive_directory_iterator(target)) {
      if (EqualsIgnoreCase(fs::relative(entry.path(), target).string(), member)) return ReadFile(entry.path());
    }
    return "";
  }
  fs::path work_;
  fs::path out_;
};

struct JlhaCase {
  const char* switches;  // jlha command and options
  const char* method;
  int level;
};

class JlhaArchiveTest : public LhaExtractTest, public ::testing::WithParamInterface<JlhaCase> {};

TEST_P(JlhaArchiveTest, ExtractedBytesEqualLhasas) {
  if (!HaveTools()) GTEST_SKIP() << "jlha or lhasa missing";
  const JlhaCase& c = GetParam();
  const std::string data = MixedData(150000);
  WriteFile(work_ / "DATA.BIN", data);
  WriteFile(work_ / "OTHER.TXT", "another member before the wanted one");
  const fs::path archive = work_ / "a.lzh";
  ASSERT_EQ(RunQuiet("cd '" + work_.string() + "' && jlha " + c.switches + " a.lzh OTHER.TXT DATA.BIN"), 0);
  const std::string bytes = ReadFile(archive);
  ASSERT_GT(bytes.size(), 21u);
  ASSERT_EQ(bytes[20], c.level);
  FileSource source(archive);
  LhaHeader header;
  ASSERT_TRUE(LhaReadHeader(source, header));  // the short text member
  ASSERT_TRUE(source.Seek(header.dataOffset + header.compressedSize) && LhaReadHeader(source, header));
  ASSERT_EQ(header.name, "DATA.BIN");
  ASSERT_STREQ(header.method, c.method);

  ASSERT_EQ(LhaExtract(archive, "data.bin", out_), 1);
  const std::string ours = ReadFile(out_ / "data.bin");
  EXPECT_EQ(ours.size(), data.size());
  EXPECT_TRUE(ours == data);
  EXPECT_TRUE(ours == LhasaMember(archive, "DATA.BIN"));
  EXPECT_FALSE(fs::exists(out_ / "OTHER.TXT"));
}

INSTANTIATE_TEST_SUITE_P(MethodsAndLevels, JlhaArchiveTest,
                         ::testing::Values(JlhaCase{"c0z", "-lh0-", 0}, JlhaCase{"c1z", "-lh0-", 1},
                                           JlhaCase{"c2z", "-lh0-", 2}, JlhaCase{"c0o5", "-lh5-", 0},
                                           JlhaCase{"c1o5", "-lh5-", 1}, JlhaCase{"c2o5", "-lh5-", 2},
                                           JlhaCase{"c0o6", "-lh6-", 0}, JlhaCase{"c1o6", "-lh6-", 1},
                                           JlhaCase{"c2o6", "-lh6-", 2}, JlhaCase{"c0o7", "-lh7-", 0},
                                           JlhaCase{"c1o7", "-lh7-", 1}, JlhaCase{"c2o7", "-lh7-", 2}));

// An archive cut short (its header still claims the whole member): the
// member's bytes come out as far as its data reach, and nothing is made up
// from the missing rest.
TEST_F(LhaExtractTest, MemberCutShortEndsWhereItsDataEnd) {
  if (!HaveTools()) GTEST_SKIP() << "jlha missing";
  const std::string data = MixedData(150000);
  WriteFile(work_ / "DATA.BIN", data);
  for (const char* method : {"5", "6", "7"}) {
    SCOPED_TRACE(std::string("-lh") + method + "-");
    fs::remove(work_ / "a.lzh");
    ASSERT_EQ(RunQuiet("cd '" + work_.string() + "' && jlha c2o" + method + " a.lzh DATA.BIN"), 0);
    const std::string archive = ReadFile(work_ / "a.lzh");
    WriteFile(work_ / "cut.lzh", archive.substr(0, archive.size() * 3 / 5));
    EXPECT_EQ(LhaExtract(work_ / "cut.lzh", "DATA.BIN", out_), kLhaWalked);
    const std::string ours = ReadFile(out_ / "DATA.BIN");
    EXPECT_GT(ours.size(), data.size() / 3);
    EXPECT_LT(ours.size(), data.size());
    EXPECT_TRUE(data.starts_with(ours));
  }
}

// Every member of every real archive that uses one of the four methods comes out
// as lhasa writes it; members of other methods give empty files, and archives
// of a header level above 2 give nothing.
TEST_F(LhaExtractTest, RealArchivesMatchLhasa) {
  if (!HaveTools()) GTEST_SKIP() << "lhasa missing";
  const fs::path folder = test::SharedMedia() / "lzh";
  QORVE_NEED_SHARED_MEDIA_AT(folder);
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const fs::path archive = entry.path();
    // LHark writes its own variant of the format under the name "-lh7-"; this
    // reader decodes the LHA format only.
    if (archive.filename().string().find("LHarkVariant") != std::string::npos) continue;
    SCOPED_TRACE(archive.filename().string());
    FileSource source(archive);
    int64_t at = LhaFindStart(source);
    LhaHeader header;
    while (at >= 0 && source.Seek(static_cast<uint64_t>(at)) && LhaReadHeader(source, header)) {
      at = static_cast<int64_t>(header.dataOffset + header.compressedSize);
      if (header.name.empty() || header.name.back() == '\\' || header.method == std::string("-lhd-")) continue;
      std::string relative = header.name;
      for (char& ch : relative) ch = ch == '\\' ? '/' : ch;
      fs::remove_all(out_);
      fs::create_directories((out_ / relative).parent_path());
      LhaExtract(archive, header.name, out_);
      const std::string ours = ReadFile(out_ / relative);
      if (!LhaMethodDecodable(header.method)) {
        EXPECT_TRUE(ours.empty()) << header.method;
        continue;
      }
      // Names in CP932 are written under their UTF-8 spelling; lhasa keeps bytes.
      if (std::any_of(relative.begin(), relative.end(), [](char ch) { return ch & 0x80; })) continue;
      EXPECT_TRUE(ours == LhasaMember(archive, relative)) << relative << " " << header.method;
      ++compared;
    }
  }
  EXPECT_GE(compared, 8);
}

// A level-2 member stored with "-lh0-" whose extended headers carry the name,
// a header CRC and as much padding as makes the header `headerSize` bytes.
std::string Level2Member(const std::string& name, const std::string& data, std::size_t headerSize) {
  std::string h(26, '\0');
  h.replace(2, 5, "-lh0-");
  for (int i = 0; i < 4; ++i) {
    h[7 + i] = static_cast<char>(data.size() >> (8 * i));
    h[11 + i] = static_cast<char>(data.size() >> (8 * i));
  }
  h[19] = 0x20;
  h[20] = 2;
  auto extended = [&](uint8_t type, const std::string& body) {
    const std::size_t size = body.size() + 3;
    h[h.size() - 2] = static_cast<char>(size & 0xFF);
    h[h.size() - 1] = static_cast<char>(size >> 8);
    h += static_cast<char>(type);
    h += body;
    h += std::string(2, '\0');
  };
  extended(0x00, std::string(2, '\0'));
  const std::size_t crcAt = h.size() - 4;
  extended(0x01, name);
  h += std::string(headerSize - h.size(), '\0');
  h[0] = static_cast<char>(headerSize & 0xFF);
  h[1] = static_cast<char>(headerSize >> 8);
  const uint16_t crc = LhaCrc16(0, std::span(reinterpret_cast<const uint8_t*>(h.data()), h.size()));
  h[crcAt] = static_cast<char>(crc & 0xFF);
  h[crcAt + 1] = static_cast<char>(crc >> 8);
  return h + data;
}

struct BuiltCase {
  const char* what;
  std::string archive;
  const char* wanted;
  const char* outputName;  // "" when nothing may be written
  std::string expected;
};

class BuiltArchiveTest : public LhaExtractTest, public ::testing::WithParamInterface<BuiltCase> {};

TEST_P(BuiltArchiveTest, WritesOnlyWhatItMay) {
  const BuiltCase& c = GetParam();
  fs::create_directories(out_ / "inner");
  WriteFile(work_ / "a.lzh", c.archive);
  LhaExtract(work_ / "a.lzh", c.wanted, out_ / "inner");
  std::vector<std::string> written;
  for (const auto& entry : fs::recursive_directory_iterator(root())) {
    if (entry.is_regular_file() && entry.path().parent_path() != work_) {
      written.push_back(fs::relative(entry.path(), out_ / "inner").string());
    }
  }
  if (std::string(c.outputName).empty()) {
    EXPECT_TRUE(written.empty()) << written.front();
  } else {
    ASSERT_EQ(written, std::vector<std::string>{c.outputName});
    EXPECT_EQ(ReadFile(out_ / "inner" / c.outputName), c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BuiltArchiveTest,
    ::testing::Values(
        BuiltCase{"lowerCaseMemberMatched", Level0Member("unlha32.dll", "-lh0-", "MZ"), "UNLHA32.DLL", "UNLHA32.DLL",
                  "MZ"},
        BuiltCase{"unknownMethodGivesEmptyFile", Level0Member("UNLHA32.DLL", "-lh4-", "abcd"), "UNLHA32.DLL",
                  "UNLHA32.DLL", ""},
        BuiltCase{"secondMemberAfterFirst",
                  Level0Member("README", "-lh0-", "skip me") + Level0Member("X.DLL", "-lh0-", "x") + std::string(1, '\0'),
                  "x.dll", "x.dll", "x"},
        BuiltCase{"level2HeaderOf256Bytes", Level2Member("X.DLL", "payload", 256), "X.DLL", "X.DLL", "payload"},
        BuiltCase{"level2WithPaddingByte", Level2Member("X.DLL", "payload", 40), "X.DLL", "X.DLL", "payload"},
        BuiltCase{"damagedLevel2CrcStopsTheWalk",
                  [] {
                    std::string a = Level2Member("X.DLL", "payload", 40);
                    a[15] ^= 1;  // the time stamp: only the header CRC notices
                    return a;
                  }(),
                  "X.DLL", "", ""},
        BuiltCase{"parentFolderRefused", Level0Member("..\\EVIL.DLL", "-lh0-", "no"), "..\\evil.dll", "", ""},
        BuiltCase{"absoluteNameRefused", Level0Member("\\EVIL.DLL", "-lh0-", "no"), "\\EVIL.DLL", "", ""},
        BuiltCase{"specialFirstCharacterSkipped", Level0Member("!X.DLL", "-lh0-", "no"), "!X.DLL", "", ""},
        BuiltCase{"missingFolderWritesNothing", Level0Member("sub\\X.DLL", "-lh0-", "no"), "SUB\\X.DLL", "", ""},
        BuiltCase{"climbingFolderRefused",
                  Level0Member("README", "-lh0-", "r") + Level0Member("..\\inner\\X.DLL", "-lh0-", "no") +
                      Level0Member("sub\\..\\X.DLL", "-lh0-", "no"),
                  "sub\\..\\x.dll", "", ""},
        BuiltCase{"selfExtractorWithin64K", std::string(10240, 'M') + Level0Member("X.DLL", "-lh0-", "sfx"), "X.DLL",
                  "X.DLL", "sfx"},
        BuiltCase{"selfExtractorBeyond64KIgnored", std::string(71680, 'M') + Level0Member("X.DLL", "-lh0-", "sfx"),
                  "X.DLL", "", ""}),
    [](const ::testing::TestParamInfo<BuiltCase>& info) { return info.param.what; });

// An archive made by jlha behind a program's bytes, with its member under a
// folder: found when it starts within the first 64 KB, ignored beyond.
class SelfExtractorTest : public LhaExtractTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(SelfExtractorTest, MemberUnderFolderFoundOnlyWithin64K) {
  if (!HaveTools()) GTEST_SKIP() << "jlha missing";
  fs::create_directories(work_ / "sub");
  const std::string data = MixedData(40000);
  WriteFile(work_ / "sub" / "IN.DLL", data);
  ASSERT_EQ(RunQuiet("cd '" + work_.string() + "' && jlha c2o7 a.lzh sub/IN.DLL"), 0);
  const std::size_t stub = GetParam();
  WriteFile(work_ / "sfx.exe", MixedData(stub) + ReadFile(work_ / "a.lzh"));
  fs::create_directories(out_ / "sub");
  const bool within = stub + 21 <= kLhaSearchBytes;
  EXPECT_EQ(LhaExtract(work_ / "sfx.exe", "SUB\\in.dll", out_), within ? 1 : 0);
  EXPECT_EQ(ReadFile(out_ / "sub" / "in.dll") == data, within);
}

INSTANTIATE_TEST_SUITE_P(StubSizes, SelfExtractorTest, ::testing::Values(10240, 71680));

// Archives a download of a few kilobytes can carry that would fill the disk or
// take an hour to walk: refused whole before a byte is written.
TEST_F(LhaExtractTest, BombsAreRefusedBeforeAnythingIsWritten) {
  const test::FileSizeLimit safetyNet(8 << 20);
  struct Bomb {
    const char* what;
    std::string archive;
  };
  std::string manyMembers;
  for (int i = 0; i <= 100000; ++i) manyMembers += Level0Member("A", "-lh0-", "");
  manyMembers += Level0Member("UNLHA32.DLL", "-lh0-", "MZ");
  const Bomb bombs[] = {
      {"two members of 4 GiB each under the wanted name",
       Lh5SpacesMember("UNLHA32.DLL", UINT32_MAX) + Lh5SpacesMember("unlha32.dll", UINT32_MAX)},
      {"more than 100000 members", manyMembers},
  };
  for (const Bomb& bomb : bombs) {
    SCOPED_TRACE(bomb.what);
    WriteFile(work_ / "bomb.lzh", bomb.archive);
    EXPECT_EQ(LhaExtract(work_ / "bomb.lzh", "UNLHA32.DLL", out_), kLhaRefused);
    EXPECT_TRUE(fs::is_empty(out_));
  }
}

// The bounds at their edges: every member under the wanted name counts toward
// the bytes, every header toward the members, and the free space less the
// margin bounds the bytes as well as the cap does.
TEST_F(LhaExtractTest, BoundsHoldAtTheirEdges) {
  constexpr uint32_t kMember = 300000;
  const std::string one = Lh5SpacesMember("UNLHA32.DLL", kMember);
  const std::string twoHalves =
      Lh5SpacesMember("UNLHA32.DLL", kMember / 2) + Lh5SpacesMember("unlha32.dll", kMember / 2);
  const std::string threeMembers = Level0Member("README", "-lh0-", "r") + Level0Member("OTHER", "-lh0-", "o") + one;
  struct Case {
    const char* what;
    const std::string& archive;
    archiver::ArchiveLimits limits;
    bool written;
  };
  const Case cases[] = {
      {"exactly the cap", one, {kMember, 10, 0}, true},
      {"a byte past the cap", one, {kMember - 1, 10, 0}, false},
      {"two members summed past the cap", twoHalves, {kMember - 1, 10, 0}, false},
      {"exactly the members allowed", threeMembers, {kMember, 3, 0}, true},
      {"a member too many", threeMembers, {kMember, 2, 0}, false},
      {"no free space beyond the margin", one, {kMember, 10, UINT64_MAX}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(out_);
    fs::create_directories(out_);
    WriteFile(work_ / "a.lzh", c.archive);
    EXPECT_EQ(LhaExtract(work_ / "a.lzh", "UNLHA32.DLL", out_, c.limits), c.written ? kLhaWalked : kLhaRefused);
    if (c.written) {
      EXPECT_EQ(ReadFile(out_ / "UNLHA32.DLL"), std::string(kMember, ' '));
    } else {
      EXPECT_TRUE(fs::is_empty(out_));
    }
  }
}

// A member the disk does not take whole (here the file-size limit) is a
// failure, and its truncated file is removed rather than installed later.
TEST_F(LhaExtractTest, AMemberNotWrittenWholeLeavesNoFile) {
  const std::string archives[] = {Level0Member("UNLHA32.DLL", "-lh0-", MixedData(300000)),
                                  Lh5SpacesMember("UNLHA32.DLL", 1 << 20)};
  for (const std::string& archive : archives) {
    SCOPED_TRACE(archive.substr(2, 5));
    WriteFile(work_ / "a.lzh", archive);
    const test::FileSizeLimit limit(64 << 10);
    EXPECT_EQ(LhaExtract(work_ / "a.lzh", "UNLHA32.DLL", out_), kLhaRefused);
    EXPECT_TRUE(fs::is_empty(out_));
  }
}

}  // namespace
}  // namespace qorve
