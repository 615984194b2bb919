// The archiver modules as the programs use them: loaded by name from the
// program folder, checked, and run with the player's and the downloader's
// command lines.
#include "support/shared_media.h"
#include "archiver_fixture.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <iterator>
#include <string>

namespace qorve::test {
namespace {

namespace fs = std::filesystem;

struct Module {
  const char* file;
  const char* entry;
};
constexpr Module kUnlha{"UNLHA32.so", "Unlha"};
constexpr Module kUnzip{"UNZIP32.so", "UnZip"};
constexpr Module kUnrar{"UNRAR32.so", "Unrar"};
constexpr Module kCab{"CAB32.so", "Cab"};
constexpr Module kTar{"TAR32.so", "Tar"};

std::string TestName(std::string text) {
  for (char& ch : text) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return text;
}

// Real archives from elsewhere, against what the reference tool unpacks.
struct RealArchive {
  const char* file;  // below the shared media folder
  Module module;
  // Shell command unpacking $A into $D; null when no reader here decodes the
  // archive whole (a method the library lacks, data it decodes wrong, a
  // cut-off file): the module must then refuse it at its check, or stop the
  // unpacking and say so.
  const char* reference;
};

class RealArchiveTest : public TempHome, public ::testing::WithParamInterface<RealArchive> {};

TEST_P(RealArchiveTest, UnpacksWhatTheReferenceToolUnpacksOrRefusesAtTheCheck) {
  const RealArchive& c = GetParam();
  const fs::path archive = test::SharedMedia() / c.file;
  QORVE_NEED_SHARED_MEDIA_AT(archive);
  LoadedArchiver module(c.module.file, c.module.entry);
  ASSERT_TRUE(module.Loaded());
  if (c.reference == nullptr) {
    // Headers that do not read are refused by the check; data that cannot be
    // decoded stops the unpacking, which says so.
    if (module.Check(archive) != 0) {
      EXPECT_EQ(module.Extract(archive, root() / "ours" / "title"), archiver::kCommandCannotRead) << module.lastOutput;
    }
    return;
  }
  const std::string tool = std::string(c.reference).substr(0, std::string(c.reference).find(' '));
  if (!HaveTool(tool)) {
    if (SharedMediaRequired()) FAIL() << tool << " missing";
    GTEST_SKIP() << tool << " missing";
  }
  const fs::path expected = root() / "expected";
  fs::create_directories(expected);
  ASSERT_TRUE(RunQuietly("A=" + Quote(archive) + " D=" + Quote(expected) + "; (" + c.reference + ")")) << c.reference;
  ASSERT_EQ(module.Check(archive), 1);
  const fs::path ours = root() / "ours" / "title";
  EXPECT_EQ(module.Extract(archive, ours), archiver::kCommandOk) << module.lastOutput;
  EXPECT_EQ(TreeOf(ours), TreeOf(expected));
}

constexpr const char* kLhasa = "lhasa xqw=\"$D\" \"$A\"";
// No tool here splits CP932 cabinet names at "\" correctly (see the names test below).
constexpr const char* kBsdtar = "bsdtar -xf \"$A\" -C \"$D\"";
// cabextract also reads the other parts of a cabinet set from beside the first.
constexpr const char* kCabextract = "cabextract -q -d \"$D\" \"$A\"";

INSTANTIATE_TEST_SUITE_P(
    SharedMedia, RealArchiveTest,
    ::testing::Values(RealArchive{"lzh/filetype_fixture_lh5_jpg.lzh", kUnlha, kLhasa},
                      RealArchive{"lzh/la_lha_filename_cp932.lzh", kUnlha, kLhasa},
                      RealArchive{"lzh/la_lha_header3.lzh", kUnlha, kLhasa},
                      RealArchive{"lzh/la_lha_lh6.lzh", kUnlha, kLhasa},
                      RealArchive{"lzh/lhasa_explzh_723_h2_lh7.lzh", kUnlha, kLhasa},
                      RealArchive{"lzh/lhasa_lha213_lh5.lzh", kUnlha, kLhasa},
                      RealArchive{"lzh/lhasa_lha_unix114i_h0_lh5.lzh", kUnlha, kLhasa},
                      RealArchive{"lzh/lhasa_lha_unix114i_h1_lh6.lzh", kUnlha, kLhasa},
                      RealArchive{"lzh/lhasa_lha_unix114i_h1_subdir.lzh", kUnlha, kLhasa},
                      RealArchive{"lzh/lhasa_lha_unix114i_h2_lh0.lzh", kUnlha, kLhasa},
                      RealArchive{"lzh/lhasa_lha_unix114i_h2_lh7.lzh", kUnlha, kLhasa},
                      RealArchive{"lzh/lhasa_lha_unix114i_lh7_long.lzh", kUnlha, kLhasa},
                      RealArchive{"lzh/lhasa_lha_amiga_122_lh4.lzh", kUnlha, kLhasa},
                      RealArchive{"lzh/lhasa_lharc113_lh1.lzh", kUnlha, kLhasa},
                      // -lh2- is a method liblhasa 0.3 lacks, and LHark's variant
                      // of -lh7- decodes to data whose CRC does not match.
                      RealArchive{"lzh/lhasa_unlha32_lh2_experimental.lzh", kUnlha, nullptr},
                      RealArchive{"lzh/lhasa_lhark04d_LHarkVariant_lh7.lzh", kUnlha, nullptr},
                      RealArchive{"rar/filetype_fixture_rar4.rar", kUnrar, kBsdtar},
                      RealArchive{"rar/la_rar4_compress_normal.rar", kUnrar, kBsdtar},
                      RealArchive{"rar/la_rar4_unicode.rar", kUnrar, kBsdtar},
                      RealArchive{"rar/la_rar5_compressed.rar", kUnrar, kBsdtar},
                      RealArchive{"rar/la_rar5_multiple_files.rar", kUnrar, kBsdtar},
                      RealArchive{"rar/la_rar5_solid.rar", kUnrar, kBsdtar},
                      RealArchive{"rar/la_rar5_stored.rar", kUnrar, kBsdtar},
                      RealArchive{"rar/la_rar5_unicode.rar", kUnrar, kBsdtar},
                      RealArchive{"cab/la_cab_lzx_e8.cab", kCab, kCabextract},
                      RealArchive{"cab/mspack_case-utf8.cab", kCab, kCabextract},
                      RealArchive{"cab/mspack_encoding-sjis.cab", kCab, kBsdtar},
                      RealArchive{"cab/mspack_lzx.cab", kCab, kCabextract},
                      RealArchive{"cab/cabd_multi_basic_pt1.cab", kCab, kCabextract},
                      RealArchive{"cab/cabd_multi_basic_pt3.cab", kCab, kCabextract},
                      RealArchive{"cab/mspack_mixed_mszip_lzx_quantum.cab", kCab, kCabextract},
                      RealArchive{"gz/filetype_fixture.tar.gz", kTar, kBsdtar},
                      RealArchive{"bz2/filetype_fixture.bz2", kTar, "bunzip2 -c \"$A\" > \"$D/filetype_fixture\""},
                      RealArchive{"tar/filetype_pax_TRUNCATED.tar", kTar, nullptr}),
    [](const auto& info) { return TestName(info.param.file); });

TEST(RealArchiveNamesTest, JapaneseNamesArriveAsUtf8) {
  struct Expected {
    const char* file;
    Module module;
    const char* name;
  };
  for (const Expected& c : {Expected{"lzh/la_lha_filename_cp932.lzh", kUnlha, "表.txt"},
                            Expected{"cab/la_cab_filename_cp932.cab", kCab, "表だよ/漢字.txt"},
                            Expected{"cab/la_cab_filename_cp932.cab", kCab, "表だよ/一覧表.txt"},
                            Expected{"cab/mspack_encoding-sjis.cab", kCab, "猿も木から落ちる"}}) {
    const fs::path archive = test::SharedMedia() / c.file;
    QORVE_NEED_SHARED_MEDIA_AT(archive);
    const fs::path out = fs::temp_directory_path() / ("qorve-names-" + std::to_string(getpid()));
    LoadedArchiver module(c.module.file, c.module.entry);
    module.Extract(archive, out);
    EXPECT_TRUE(fs::exists(out / c.name)) << c.file;
    fs::remove_all(out);
  }
}

// Archives made here by the Debian tools from one small tree.
struct MadeArchive {
  const char* name;
  Module module;
  const char* make;  // shell command run in the source folder, writing $A
};

class MadeArchiveTest : public TempHome, public ::testing::WithParamInterface<MadeArchive> {
 protected:
  void MakeSource() {
    std::string text;
    for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i % 37) + " of the notes\n";
    WriteFile(source() / "notes.txt", text);
    WriteFile(source() / "sub" / "deeper" / "data.bin", std::string(5000, '\x5a') + "tail");
  }
  fs::path source() const { return root() / "source"; }
};

TEST_P(MadeArchiveTest, UnpacksTheSourceTree) {
  const MadeArchive& c = GetParam();
  const std::string tool = std::string(c.make).substr(0, std::string(c.make).find(' '));
  if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
  MakeSource();
  const fs::path archive = root() / c.name;
  ASSERT_TRUE(RunQuietly("cd " + Quote(source()) + " && A=" + Quote(archive) + "; (" + c.make + ")")) << c.make;
  LoadedArchiver module(c.module.file, c.module.entry);
  ASSERT_EQ(module.Check(archive), 1);
  const fs::path out = root() / "out";
  EXPECT_EQ(module.Extract(archive, out), archiver::kCommandOk) << module.lastOutput;
  EXPECT_EQ(TreeOf(out), TreeOf(source()));
}

INSTANTIATE_TEST_SUITE_P(
    DebianTools, MadeArchiveTest,
    ::testing::Values(MadeArchive{"lh5.lzh", kUnlha, "jlha co5q \"$A\" notes.txt sub/deeper/data.bin"},
                      MadeArchive{"lh6.lzh", kUnlha, "jlha co6q \"$A\" notes.txt sub/deeper/data.bin"},
                      MadeArchive{"lh7.lzh", kUnlha, "jlha co7q \"$A\" notes.txt sub/deeper/data.bin"},
                      MadeArchive{"made.zip", kUnzip, "zip -qr \"$A\" notes.txt sub"},
                      MadeArchive{"made.tar", kTar, "tar cf \"$A\" notes.txt sub"},
                      MadeArchive{"made.tar.gz", kTar, "tar czf \"$A\" notes.txt sub"},
                      MadeArchive{"made.tar.bz2", kTar, "tar cjf \"$A\" notes.txt sub"},
                      MadeArchive{"made.cab", kCab, "gcab -cz \"$A\" notes.txt sub/deeper/data.bin"}),
    [](const auto& info) { return TestName(info.param.name); });

class HostileArchiveTest : public OutsideGuardTest {
 protected:
  // Writes an archive with Python's zipfile or tarfile; `body` adds members.
  fs::path MakeWithPython(const std::string& name, const std::string& body) {
    const fs::path archive = root() / name;
    const fs::path script = root() / "make.py";
    // add(t, name, kind, target, data) puts one tar member of any kind in.
    WriteFile(script,
              "import io, sys, tarfile, zipfile\nOUT = sys.argv[1]\nOUTSIDE = sys.argv[2]\n"
              "def add(t, name, kind, target='', data=b''):\n"
              "    info = tarfile.TarInfo(name)\n    info.type = kind\n    info.linkname = target\n"
              "    info.size = len(data)\n    t.addfile(info, io.BytesIO(data) if data else None)\n" +
                  body);
    EXPECT_TRUE(RunQuietly("python3 " + Quote(script) + " " + Quote(archive) + " " + Quote(outside())));
    return archive;
  }
};

TEST_F(HostileArchiveTest, ZipNamesClimbingOutOrAbsoluteStayInside) {
  const fs::path archive = MakeWithPython("hostile.zip", R"(
with zipfile.ZipFile(OUT, 'w') as z:
    z.writestr('../evil.txt', 'x')
    z.writestr('sub/../../evil2.txt', 'x')
    z.writestr('..\\evil3.txt', 'x')
    z.writestr(OUTSIDE + '/abs.txt', 'made safe')
    z.writestr('ok.txt', 'fine')
    z.writestr('QQQQQ.txt', 'jp')
# A Windows archiver's CP932 name "表\漢.txt", raw bytes without the UTF-8 flag.
data = open(OUT, 'rb').read().replace(b'QQQQQ', b'\x95\x5c\\\x8a\xbf')
open(OUT, 'wb').write(data)
)");
  LoadedArchiver unzip(kUnzip.file, kUnzip.entry);
  EXPECT_EQ(unzip.Extract(archive, destination()), archiver::kCommandSomeRefused) << unzip.lastOutput;
  EXPECT_EQ(ReadFile(destination() / "表" / "漢.txt"), "jp");
  ExpectOutsideUntouched();
  EXPECT_FALSE(fs::exists(root() / "desktop" / "evil.txt"));
  EXPECT_FALSE(fs::exists(root() / "evil2.txt"));
  EXPECT_EQ(ReadFile(destination() / "ok.txt"), "fine");
  EXPECT_EQ(ReadFile(destination() / outside().relative_path() / "abs.txt"), "made safe");
}

TEST_F(HostileArchiveTest, TarLinksPointingOutAreRefusedAndNeverFollowed) {
  const fs::path archive = MakeWithPython("hostile.tar", R"(
with tarfile.open(OUT, 'w') as t:
    add(t, 'up', tarfile.SYMTYPE, '../../outside')
    add(t, 'up/secret', tarfile.REGTYPE, data=b'overwritten')
    add(t, 'abs', tarfile.SYMTYPE, OUTSIDE)
    add(t, 'abs/new.txt', tarfile.REGTYPE, data=b'x')
    add(t, 'hard', tarfile.LNKTYPE, '../../outside/secret')
    add(t, 'fifo', tarfile.FIFOTYPE)
    add(t, 'ok.txt', tarfile.REGTYPE, data=b'fine')
    add(t, 'dir/inner', tarfile.SYMTYPE, '../ok.txt')
    add(t, 'same', tarfile.LNKTYPE, 'ok.txt')
)");
  LoadedArchiver tar(kTar.file, kTar.entry);
  EXPECT_NE(tar.Extract(archive, destination()), archiver::kCommandOk) << tar.lastOutput;
  ExpectOutsideUntouched();
  EXPECT_FALSE(fs::is_symlink(destination() / "up"));
  EXPECT_FALSE(fs::is_symlink(destination() / "abs"));
  EXPECT_FALSE(fs::exists(destination() / "fifo"));
  EXPECT_EQ(ReadFile(destination() / "dir" / "inner"), "fine");  // a link that stays inside is kept
  EXPECT_EQ(ReadFile(destination() / "same"), "fine");
}

// No free tool makes RAR files; this writes RAR 4 with stored members and
// CP932 names, as Windows archivers did.
TEST_F(HostileArchiveTest, RarNamesInShiftJisArriveWhileClimbingNamesAreRefused) {
  const fs::path archive = MakeWithPython("made.rar", R"(
import struct, zlib
def block(kind, flags, body, data=b''):
    head = struct.pack('<BHH', kind, flags, 7 + len(body)) + body
    return struct.pack('<H', zlib.crc32(head) & 0xFFFF) + head + data
def member(name, data):
    body = struct.pack('<IIBIIBBHI', len(data), len(data), 2, zlib.crc32(data), 0x5A000000, 20, 0x30, len(name), 0x20)
    return block(0x74, 0x8000, body + name, data)
with open(OUT, 'wb') as f:
    f.write(b'Rar!\x1a\x07\x00' + block(0x73, 0, bytes(6)))
    f.write(member(b'..\\evil.txt', b'x') + member(b'\x95\x5c\\ok.txt', b'fine') + member(b'docs\\a.txt', b'aaa'))
    f.write(block(0x7B, 0x4000, b''))
)");
  LoadedArchiver unrar(kUnrar.file, kUnrar.entry);
  ASSERT_EQ(unrar.Check(archive), 1);
  EXPECT_EQ(unrar.Extract(archive, destination()), archiver::kCommandSomeRefused) << unrar.lastOutput;
  EXPECT_EQ(ReadFile(destination() / "表" / "ok.txt"), "fine");
  EXPECT_EQ(ReadFile(destination() / "docs" / "a.txt"), "aaa");
  EXPECT_FALSE(fs::exists(destination().parent_path() / "evil.txt"));
}

TEST_F(HostileArchiveTest, LinkAlreadyInTheDestinationIsNotWrittenThrough) {
  fs::create_directories(destination());
  fs::create_directory_symlink(outside(), destination() / "pre");
  fs::create_symlink(outside() / "secret", destination() / "file");
  const fs::path archive = MakeWithPython("through.zip", R"(
with zipfile.ZipFile(OUT, 'w') as z:
    z.writestr('pre/secret', 'overwritten')
    z.writestr('file', 'replaces the link')
)");
  LoadedArchiver unzip(kUnzip.file, kUnzip.entry);
  unzip.Extract(archive, destination());
  ExpectOutsideUntouched();
  EXPECT_FALSE(fs::is_symlink(destination() / "file"));
  EXPECT_EQ(ReadFile(destination() / "file"), "replaces the link");
}

// Links that each look harmless by their text but lead out when followed one
// after another: "d/up" is the destination itself, so "d/up/../.." is the
// folder above it.
TEST_F(HostileArchiveTest, LinkChainsNeverLeadOutOfTheDestination) {
  WriteFile(root() / "desktop" / ".bashrc", "the user's own");
  WriteFile(root() / ".bashrc", "the user's own");
  const fs::path archive = MakeWithPython("chain.tar", R"(
with tarfile.open(OUT, 'w') as t:
    add(t, 'd', tarfile.DIRTYPE)
    add(t, 'd/up', tarfile.SYMTYPE, '..')
    add(t, 'esc', tarfile.SYMTYPE, 'd/up/../../.bashrc')
    add(t, 'twice', tarfile.SYMTYPE, 'd/up/d/up/../../.bashrc')
    add(t, 'above', tarfile.SYMTYPE, 'd/up/..')
    add(t, 'above/planted.txt', tarfile.REGTYPE, data=b'x')
    add(t, 'tolink', tarfile.SYMTYPE, 'd/up')
    add(t, 'vialink', tarfile.SYMTYPE, 'tolink/../.bashrc')
    # A link whose middle is made a link only afterwards.
    add(t, 'd/early', tarfile.SYMTYPE, 'x/../../.bashrc')
    add(t, 'd/x', tarfile.SYMTYPE, '..')
    # Ordinary links: to a file whose folder comes later, and up to a sibling.
    add(t, 'lib.so', tarfile.SYMTYPE, 'real/lib.so.1')
    add(t, 'real/lib.so.1', tarfile.REGTYPE, data=b'library')
    add(t, 'real/sibling', tarfile.SYMTYPE, '../lib.so')
)");
  LoadedArchiver tar(kTar.file, kTar.entry);
  EXPECT_EQ(tar.Extract(archive, destination()), archiver::kCommandSomeRefused) << tar.lastOutput;
  for (const char* escape : {"esc", "twice", "above", "vialink", "d/early"}) {
    const fs::path link = destination() / escape;
    EXPECT_FALSE(fs::is_symlink(link)) << escape;
    std::error_code ec;
    for (const fs::path& own : {root() / ".bashrc", root() / "desktop" / ".bashrc", root() / "desktop"}) {
      EXPECT_FALSE(fs::equivalent(link, own, ec)) << escape << " leads to " << own;
    }
  }
  EXPECT_FALSE(fs::exists(root() / "desktop" / "planted.txt"));
  EXPECT_FALSE(fs::exists(destination() / "planted.txt"));
  EXPECT_EQ(std::distance(fs::directory_iterator(root() / "desktop"), fs::directory_iterator()), 2);
  ExpectOutsideUntouched();
  // Links that stay inside, also a link to a link, are kept.
  EXPECT_TRUE(fs::is_symlink(destination() / "d" / "up"));
  EXPECT_TRUE(fs::is_symlink(destination() / "tolink"));
  EXPECT_EQ(ReadFile(destination() / "lib.so"), "library");
  EXPECT_EQ(ReadFile(destination() / "real" / "sibling"), "library");
}

// Archives that unpack to far more than they occupy: refused before a byte is
// written, so nothing (not even the folder) appears.
TEST_F(HostileArchiveTest, BombsAreRefusedBeforeAnythingIsWritten) {
  if (!HaveTool("tar") || !HaveTool("truncate")) GTEST_SKIP() << "GNU tar or truncate missing";
  // 5 GiB of holes in a 10 KiB sparse tar, plain and compressed.
  const fs::path big = root() / "sparse" / "big";
  fs::create_directories(big.parent_path());
  ASSERT_TRUE(RunQuietly("truncate -s 5G " + Quote(big)));
  const fs::path sparse = root() / "sparse.tar";
  ASSERT_TRUE(RunQuietly("tar -C " + Quote(big.parent_path()) + " --sparse -cf " + Quote(sparse) + " big"));
  ASSERT_TRUE(RunQuietly("(gzip -c " + Quote(sparse) + " > " + Quote(root() / "sparse.tar.gz") + ")"));
  fs::remove(big);
  // More members than any archive a person unpacks holds.
  const fs::path many = MakeWithPython("many.zip", R"(
with zipfile.ZipFile(OUT, 'w') as z:
    for i in range(100001):
        z.writestr('f%d' % i, b'')
)");
  for (const auto& [archive, module] : {std::pair{sparse, kTar}, std::pair{root() / "sparse.tar.gz", kTar},
                                        std::pair{many, kUnzip}}) {
    LoadedArchiver loaded(module.file, module.entry);
    EXPECT_EQ(loaded.Extract(archive, destination()), archiver::kCommandLimitExceeded) << archive << ": "
                                                                                       << loaded.lastOutput;
    EXPECT_FALSE(fs::exists(destination())) << archive;
    fs::remove_all(destination());
  }
}

// The check reads headers only; a member whose data turns out broken while
// unpacking is not left behind, neither cut short nor as garbage.
TEST_F(HostileArchiveTest, BrokenDataIsFoundWhileUnpackingAndLeavesNoPartialFile) {
  const fs::path archive = MakeWithPython("bad.zip", R"(
with zipfile.ZipFile(OUT, 'w') as z:
    z.writestr('good.txt', 'fine')
    z.writestr('bad.txt', 'abcdefgh' * 4000, compress_type=zipfile.ZIP_DEFLATED)
data = bytearray(open(OUT, 'rb').read())
info = zipfile.ZipFile(OUT).getinfo('bad.txt')
start = info.header_offset + 30 + len(info.filename) + len(info.extra)
for i in range(start + 20, start + info.compress_size - 20):
    data[i] ^= 0x5A
open(OUT, 'wb').write(bytes(data))
)");
  LoadedArchiver unzip(kUnzip.file, kUnzip.entry);
  EXPECT_EQ(unzip.Check(archive), 1);
  EXPECT_EQ(unzip.Extract(archive, destination()), archiver::kCommandCannotRead) << unzip.lastOutput;
  EXPECT_EQ(ReadFile(destination() / "good.txt"), "fine");
  EXPECT_FALSE(fs::exists(destination() / "bad.txt"));
  // A file of that name from before is kept rather than replaced by the broken one.
  WriteFile(destination() / "bad.txt", "from before");
  EXPECT_EQ(unzip.Extract(archive, destination()), archiver::kCommandCannotRead);
  EXPECT_EQ(ReadFile(destination() / "bad.txt"), "from before");
  EXPECT_EQ(std::distance(fs::directory_iterator(destination()), fs::directory_iterator()), 2);
}

TEST_F(HostileArchiveTest, DownloaderLineFlattensAndFiltersByPattern) {
  const fs::path archive = MakeWithPython("libs.zip", R"(
with zipfile.ZipFile(OUT, 'w') as z:
    z.writestr('dir/A.DLL', 'a')
    z.writestr('dir/readme.txt', 'r')
    z.writestr('c.dll', 'c')
)");
  LoadedArchiver unzip(kUnzip.file, kUnzip.entry);
  const fs::path system = root() / "system";
  EXPECT_EQ(unzip.Run("e -n -m1 -c0 -gm0 -ga1 \"" + archive.string() + "\" \"" + system.string() + "/\" *.DLL"),
            archiver::kCommandOk);
  EXPECT_EQ(ReadFile(system / "A.DLL"), "a");
  EXPECT_EQ(ReadFile(system / "c.dll"), "c");
  EXPECT_EQ(std::distance(fs::directory_iterator(system), fs::directory_iterator()), 2);
}

TEST_F(HostileArchiveTest, BrokenOrForeignBytesAreRefusedAndNothingIsCreated) {
  WriteFile(root() / "noise.zip", std::string("PK\x03\x04") + std::string(300, '\x7f'));
  WriteFile(root() / "plain.gz", "just text, not compressed\n");
  for (const auto& [file, module] : {std::pair{"noise.zip", kUnzip}, std::pair{"plain.gz", kTar},
                                     std::pair{"noise.zip", kUnlha}, std::pair{"noise.zip", kCab},
                                     std::pair{"noise.zip", kUnrar}}) {
    LoadedArchiver loaded(module.file, module.entry);
    EXPECT_EQ(loaded.Check(root() / file), 0) << file << " " << module.file;
    EXPECT_EQ(loaded.Extract(root() / file, destination()), archiver::kCommandCannotRead);
    EXPECT_FALSE(fs::exists(destination()));
  }
  LoadedArchiver zip(kUnzip.file, kUnzip.entry);
  EXPECT_EQ(zip.Run("a \"" + (root() / "noise.zip").string() + "\""), archiver::kCommandBadCommandLine);
}

}  // namespace
}  // namespace qorve::test
