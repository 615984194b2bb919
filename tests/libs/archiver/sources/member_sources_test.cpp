// The LHA, cabinet and RAR 4 readers under the rules every archive is held to:
// archives written byte by byte here with names that climb out or are
// absolute, links that lead out, sizes past the limits or past their header,
// and cabinet sets whose next part is named outside the folder.
#include "libs/archiver/archive_reader.h"
#include "libs/archiver/sources/cabinet_source.h"

#include "../archiver_fixture.h"
#include "support/shared_media.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

namespace qorve::test {
namespace {

namespace fs = std::filesystem;

uint16_t Crc16(const std::string& bytes) {
  uint16_t crc = 0;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

struct LhaMember {
  // "" or components each ending in 0xFF, as level-2 headers store them. A
  // link (method "-lhd-") is stored as "folder/name|target" split at its
  // last "/": "up|..\xFF" and "outside" for "up" -> "../outside".
  std::string folder;
  std::string name;
  std::string data;
  std::string method = "-lh0-";
  // The unpacked size the header claims; the data's own size when negative.
  int64_t claimedSize = -1;
};

// A level-2 header with its extended headers: file name, folder name, Unix
// permissions; the data follow stored.
std::string LhaArchive(const std::vector<LhaMember>& members) {
  std::string archive;
  for (const LhaMember& m : members) {
    std::string extended;
    const auto add = [&extended](char type, const std::string& body) {
      extended += Le16(static_cast<uint32_t>(body.size() + 3)) + type + body;
    };
    add('\x01', m.name);
    if (!m.folder.empty()) add('\x02', m.folder);
    // Unix permissions with the kind of file: liblhasa takes a "-lhd-" entry
    // as a link only when they say so.
    const bool folderOrLink = m.method == "-lhd-";
    const bool link = folderOrLink && (m.folder + m.name).find('|') != std::string::npos;
    add('\x50', Le16(link ? 0120777 : folderOrLink ? 040755 : 0100644));
    const uint32_t size = m.claimedSize < 0 ? static_cast<uint32_t>(m.data.size()) : static_cast<uint32_t>(m.claimedSize);
    std::string header = m.method + Le32(static_cast<uint32_t>(m.data.size())) + Le32(size) + Le32(1300000000) +
                         '\x20' + '\x02' + Le16(Crc16(m.data)) + 'U' + extended + Le16(0);
    // A length whose low byte is 0 would read as the end of the archive.
    if (((header.size() + 2) & 0xFF) == 0) header += '\0';
    archive += Le16(static_cast<uint32_t>(header.size() + 2)) + header + m.data;
  }
  return archive + '\0';
}

struct CabMember {
  std::string name;  // as stored: "\" between folders, CP932 or UTF-8 bytes
  std::string data;
};

// A cabinet of one stored folder (no checksums, which readers then skip).
std::string StoredCabinet(const std::vector<CabMember>& members) {
  std::string files;
  std::string data;
  const uint16_t date = ((2011 - 1980) << 9) | (3 << 5) | 18;
  for (const CabMember& m : members) {
    files += Le32(static_cast<uint32_t>(m.data.size())) + Le32(static_cast<uint32_t>(data.size())) + Le16(0) +
             Le16(date) + Le16(0) + Le16(0x20) + m.name + '\0';
    data += m.data;
  }
  const uint32_t filesAt = 36 + 8;
  const uint32_t dataAt = filesAt + static_cast<uint32_t>(files.size());
  const std::string block = Le32(0) + Le16(static_cast<uint32_t>(data.size())) +
                            Le16(static_cast<uint32_t>(data.size())) + data;
  const uint32_t total = dataAt + static_cast<uint32_t>(block.size());
  const std::string header = std::string("MSCF") + Le32(0) + Le32(total) + Le32(0) + Le32(filesAt) + Le32(0) +
                             '\x03' + '\x01' + Le16(1) + Le16(static_cast<uint32_t>(members.size())) + Le16(0) +
                             Le16(0x1234) + Le16(0);
  return header + Le32(dataAt) + Le16(1) + Le16(0) + files + block;
}

// The outside's path as an LHA folder name: every component ends in 0xFF.
std::string LhaFolder(const fs::path& path) {
  std::string folder;
  for (const fs::path& part : path.relative_path()) folder += part.string() + '\xFF';
  return '\xFF' + folder;
}

class MemberSourcesTest : public OutsideGuardTest {
 protected:
  void ExpectNothingOutside() {
    ExpectOutsideUntouched();
    EXPECT_FALSE(fs::exists(root() / "desktop" / "evil.txt"));
    EXPECT_FALSE(fs::exists(root() / "evil.txt"));
  }
  fs::path Put(const std::string& name, const std::string& bytes) {
    const fs::path path = root() / name;
    PutBytes(path, bytes);
    return path;
  }
};

TEST_F(MemberSourcesTest, LhaNamesAndLinksLeavingTheFolderAreRefused) {
  const fs::path archive = Put("hostile.lzh", LhaArchive({
                                                  {"..\xFF", "evil.txt", "x"},
                                                  {"", "..\\evil.txt", "x"},
                                                  {"sub\xFF..\xFF..\xFF", "evil.txt", "x"},
                                                  {LhaFolder(outside()), "abs.txt", "made safe"},
                                                  {"up|..\xFF..\xFF", "outside", "", "-lhd-"},
                                                  {"up\xFF", "secret", "overwritten"},
                                                  {"abs|" + LhaFolder(outside().parent_path()), "outside", "",
                                                   "-lhd-"},
                                                  {"", "ok.txt", "fine"},
                                                  {"dir\xFFinner|..\xFF", "ok.txt", "", "-lhd-"},
                                                  {"", "\x95\x5c.txt", "jp"},
                                              }));
  LoadedArchiver unlha("UNLHA32.so", "Unlha");
  ASSERT_EQ(unlha.Check(archive), 1);
  EXPECT_EQ(unlha.Extract(archive, destination()), archiver::kCommandSomeRefused) << unlha.lastOutput;
  ExpectNothingOutside();
  EXPECT_EQ(ReadFile(destination() / outside().relative_path() / "abs.txt"), "made safe");
  EXPECT_FALSE(fs::is_symlink(destination() / "up"));
  EXPECT_FALSE(fs::is_symlink(destination() / "abs"));
  EXPECT_EQ(ReadFile(destination() / "dir" / "inner"), "fine");  // a link that stays inside is kept
  EXPECT_EQ(ReadFile(destination() / "表.txt"), "jp");
}

TEST_F(MemberSourcesTest, CabinetNamesLeavingTheFolderAreRefused) {
  const fs::path archive = Put("hostile.cab", StoredCabinet({
                                                  {"..\\evil.txt", "x"},
                                                  {"../evil.txt", "x"},
                                                  {"sub\\..\\..\\evil.txt", "x"},
                                                  {outside().string() + "/abs.txt", "made safe"},
                                                  {"C:\\drive.txt", "no drive"},
                                                  {"ok.txt", "fine"},
                                                  {"\x95\x5c\\\x8a\xbf.txt", "jp"},
                                              }));
  LoadedArchiver cab("CAB32.so", "Cab");
  ASSERT_EQ(cab.Check(archive), 1);
  EXPECT_EQ(cab.Extract(archive, destination()), archiver::kCommandSomeRefused) << cab.lastOutput;
  ExpectNothingOutside();
  EXPECT_EQ(ReadFile(destination() / outside().relative_path() / "abs.txt"), "made safe");
  EXPECT_EQ(ReadFile(destination() / "drive.txt"), "no drive");
  EXPECT_EQ(ReadFile(destination() / "ok.txt"), "fine");
  EXPECT_EQ(ReadFile(destination() / "表" / "漢.txt"), "jp");
}

// Sizes are held to the limits from the headers before anything is written,
// and to the header while decoding: a member that decodes to more than its
// header says is broken and leaves nothing behind.
TEST_F(MemberSourcesTest, SizesPastTheLimitsOrTheirHeaderWriteNothing) {
  const std::string big(5000, 'z');
  archiver::ExtractRequest request;
  request.destination = destination().string();
  request.limits = archiver::ArchiveLimits{1000, archiver::kMaxMembers, 0};
  for (const auto& [family, archive] :
       {std::pair{archiver::ArchiveFamily::Lha, Put("big.lzh", LhaArchive({{"", "small", "a"}, {"", "big", big}}))},
        std::pair{archiver::ArchiveFamily::Cab, Put("big.cab", StoredCabinet({{"small", "a"}, {"big", big}}))}}) {
    request.archive = archive.string();
    const archiver::ExtractReport report = archiver::ExtractArchive(family, request);
    EXPECT_TRUE(report.overLimit) << archive;
    EXPECT_NE(report.firstProblem.find("more than 1000 bytes"), std::string::npos) << report.firstProblem;
    EXPECT_FALSE(fs::exists(destination())) << archive;
  }

  const fs::path lying = Put("lying.lzh", LhaArchive({{"", "first", "fine"}, {"", "lying", big, "-lh0-", 10}}));
  LoadedArchiver unlha("UNLHA32.so", "Unlha");
  EXPECT_EQ(unlha.Extract(lying, destination()), archiver::kCommandCannotRead) << unlha.lastOutput;
  EXPECT_EQ(ReadFile(destination() / "first"), "fine");
  EXPECT_FALSE(fs::exists(destination() / "lying"));
  EXPECT_EQ(std::distance(fs::directory_iterator(destination()), fs::directory_iterator()), 1);
}

TEST(CabinetPartBesideTest, TakesPlainNamesInTheSameFolderOnly) {
  const fs::path folder = fs::temp_directory_path() / ("qorve-parts-" + std::to_string(getpid()));
  fs::create_directories(folder / "sub");
  WriteFile(folder / "Part2.CAB", "x");
  WriteFile(folder / "sub" / "part3.cab", "x");
  fs::create_symlink("/etc/hostname", folder / "linked.cab");
  EXPECT_EQ(archiver::CabinetPartBeside(folder.string(), "part2.cab"), (folder / "Part2.CAB").string());
  for (const char* name : {"../part2.cab", "sub/part3.cab", "sub\\part3.cab", "/etc/hostname", "C:part2.cab", "..",
                           ".", "", "linked.cab", "missing.cab", "sub"}) {
    EXPECT_FALSE(archiver::CabinetPartBeside(folder.string(), name)) << name;
  }
  fs::remove_all(folder);
}

// A set whose first part names its successor outside its folder: that part
// is not read, even though a matching one lies there, so the members it holds
// cannot be decoded and nothing is written.
TEST_F(MemberSourcesTest, CabinetSetPartNamedOutsideTheFolderIsNotRead) {
  const fs::path shared = SharedMedia() / "cab";
  QORVE_NEED_SHARED_MEDIA_AT(shared / "cabd_multi_basic_pt1.cab");
  const fs::path in = root() / "in";
  fs::create_directories(in);
  for (int part = 3; part <= 5; ++part) {
    const std::string name = "cabd_multi_basic_pt" + std::to_string(part) + ".cab";
    PutBytes(in / name, Bytes(shared / name));
  }
  // The same length as the name it replaces, so no offset moves.
  const std::string outsideName = "../abd_multi_basic_2.cab";
  PutBytes(root() / outsideName.substr(3), Bytes(shared / "cabd_multi_basic_pt2.cab"));
  std::string first = Bytes(shared / "cabd_multi_basic_pt1.cab");
  const std::size_t at = first.find("cabd_multi_basic_pt2.cab");
  ASSERT_NE(at, std::string::npos);
  first.replace(at, outsideName.size(), outsideName);
  PutBytes(in / "first.cab", first);

  LoadedArchiver cab("CAB32.so", "Cab");
  ASSERT_EQ(cab.Check(in / "first.cab"), 1);
  EXPECT_EQ(cab.Extract(in / "first.cab", destination()), archiver::kCommandCannotRead) << cab.lastOutput;
  EXPECT_NE(cab.lastOutput.find("missing"), std::string::npos) << cab.lastOutput;
  EXPECT_FALSE(fs::exists(destination() / "test1.txt"));

  // With the part where it belongs, the set unpacks.
  PutBytes(in / "first.cab", Bytes(shared / "cabd_multi_basic_pt1.cab"));
  PutBytes(in / "cabd_multi_basic_pt2.cab", Bytes(shared / "cabd_multi_basic_pt2.cab"));
  EXPECT_EQ(cab.Extract(in / "first.cab", destination()), archiver::kCommandOk) << cab.lastOutput;
  EXPECT_TRUE(fs::exists(destination() / "test3.txt"));
}

// A RAR 4 archive whose one member spans several LZSS blocks, 20 MB from
// 20 KB. libarchive 3.6 decodes it wrong from the start (bsdtar too), so no
// tool here serves as the reference: the member must come out whole, with
// the CRC-32 its header gives.
TEST_F(MemberSourcesTest, Rar4WithSeveralLzssBlocksUnpacksWhole) {
  const fs::path archive = SharedMedia() / "rar" / "la_rar4_multi_lzss_blocks.rar";
  QORVE_NEED_SHARED_MEDIA_AT(archive);
  LoadedArchiver unrar("UNRAR32.so", "Unrar");
  ASSERT_EQ(unrar.Check(archive), 1);
  EXPECT_EQ(unrar.Extract(archive, destination()), archiver::kCommandOk) << unrar.lastOutput;
  const std::string data = ReadFile(destination() / "multi_lzss_blocks_test.txt");
  EXPECT_EQ(data.size(), 20131111u);
  EXPECT_TRUE(data.starts_with("<!DOCTYPE HTML")) << data.substr(0, 40);
  // Marker (7 bytes) and main header (13) come first; the file header's CRC
  // field lies 16 bytes into it.
  const std::string header = Bytes(archive).substr(20, 32);
  ASSERT_EQ(header[2], '\x74');
  uint32_t crc = 0xFFFFFFFF;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
  }
  const auto at = [&header](int i) { return static_cast<uint32_t>(static_cast<unsigned char>(header[i])); };
  EXPECT_EQ(~crc, at(16) | (at(17) << 8) | (at(18) << 16) | (at(19) << 24));
}

// liblhasa also finds the archive after a self-extractor's program.
TEST_F(MemberSourcesTest, SelfExtractingLhaUnpacks) {
  const fs::path archive =
      Put("setup.exe", "MZ" + std::string(3000, '\x90') + LhaArchive({{"docs\xFF", "readme.txt", "hello"}}));
  LoadedArchiver unlha("UNLHA32.so", "Unlha");
  ASSERT_EQ(unlha.Check(archive), 1);
  EXPECT_EQ(unlha.Extract(archive, destination()), archiver::kCommandOk) << unlha.lastOutput;
  EXPECT_EQ(ReadFile(destination() / "docs" / "readme.txt"), "hello");
}

}  // namespace
}  // namespace qorve::test
