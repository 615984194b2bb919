// OPENMPT over a virtual sound card with real modules our own engine refuses
// (S3M, IT, 15-sample Soundtracker MODs, an Octalyser MOD): what Open reports
// against openmpt123, the PCM it plays against libopenmpt's own rendering,
// silence after the end, seeking, pausing, failures, and which class the
// factory gives a module.
#include "player/formats/audio/openmpt.h"

#include "player/audio/wave_out_stream_fixture.h"
#include "player/core/media_factory.h"
#include "player/core/player_state.h"
#include "player/formats/media_maker.h"
#include "player/module/mod.h"
#include "support/shared_media.h"

#include <libopenmpt/libopenmpt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qorve::test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kSecond = 44100 * 4;  // bytes of one second of output

fs::path Shared(const std::string& name) { return SharedMedia() / name; }

// What openmpt123 --info says of a file: the text after "<label>: ".
std::string Openmpt123Info(const fs::path& path, const std::string& label) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("openmpt123 --info '" + path.string() + "' 2>&1").c_str(), "r"),
                                             pclose);
  if (!pipe) return {};
  char line[512];
  while (std::fgets(line, sizeof line, pipe.get())) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.rfind(label + ".", 0) != 0) continue;
    const std::size_t colon = text.find(": ");
    if (colon != std::string::npos) return text.substr(colon + 2);
  }
  return {};
}

// "05:14.880" in seconds.
double Minutes(const std::string& text) {
  int minutes = 0;
  double seconds = 0.0;
  if (std::sscanf(text.c_str(), "%d:%lf", &minutes, &seconds) != 2) return -1.0;
  return minutes * 60 + seconds;
}

// libopenmpt's rendering of the file from its start at the player's rate,
// without dither, at most `maxBytes` of it.
std::vector<uint8_t> LibraryRendering(const fs::path& path, std::size_t maxBytes) {
  const std::string bytes = ReadFile(path);
  openmpt_module* module = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), &openmpt_log_func_silent,
                                                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (module == nullptr) return {};
  openmpt_module_ctl_set_integer(module, "dither", 0);
  std::vector<uint8_t> pcm;
  std::vector<int16_t> block(4096 * 2);
  while (pcm.size() < maxBytes) {
    const std::size_t frames = openmpt_module_read_interleaved_stereo(module, 44100, 4096, block.data());
    if (frames == 0) break;
    const auto* data = reinterpret_cast<const uint8_t*>(block.data());
    pcm.insert(pcm.end(), data, data + frames * 4);
  }
  openmpt_module_destroy(module);
  if (pcm.size() > maxBytes) pcm.resize(maxBytes);
  return pcm;
}

bool AllZero(const std::vector<uint8_t>& bytes, std::size_t from) {
  return std::all_of(bytes.begin() + static_cast<long>(std::min(from, bytes.size())), bytes.end(),
                     [](uint8_t b) { return b == 0; });
}

// Whether `played` begins with `expected`. After a seek libopenmpt fades the
// voices that sounded before it out over the first milliseconds; there the
// two may differ a little, from then on they must be equal.
bool StartsWith(const std::vector<uint8_t>& played, const std::vector<uint8_t>& expected) {
  constexpr std::size_t kFadeFrames = 441;  // 10 ms
  constexpr int kFadeLevel = 328;           // 1 % of full scale
  if (played.size() < expected.size()) return false;
  const auto* heard = reinterpret_cast<const int16_t*>(played.data());
  const auto* wanted = reinterpret_cast<const int16_t*>(expected.data());
  for (std::size_t i = 0; i < expected.size() / 2; ++i) {
    const int difference = std::abs(heard[i] - wanted[i]);
    if (difference > (i < kFadeFrames * 2 ? kFadeLevel : 0)) return false;
  }
  return true;
}

// A Digitrakker module of only its information block: a title, an artist
// (code page 437) and a song of no rows.
std::string TitledModule(const std::string& title, const std::string& artist) {
  auto padded = [](std::string text, std::size_t size) {
    text.resize(size, ' ');
    return text;
  };
  std::string info = padded(title, 32) + padded(artist, 20);
  info += std::string("\x01\x00\x00\x00", 4);  // one order, restart at 0
  info += std::string("\xFF\x06\x7D", 3);      // global volume, speed 6, tempo 125
  info += '\x40' + std::string(31, '\x80');     // one channel, centred; the rest off
  info += '\0';                                 // the order: pattern 0
  const auto size = static_cast<uint32_t>(info.size());
  std::string block = "IN";
  for (int shift = 0; shift < 32; shift += 8) block += static_cast<char>((size >> shift) & 0xFF);
  return "DMDL\x11" + block + info;
}

class OpenmptTest : public WaveOutStreamTest {
 protected:
  void TearDown() override {
    media.reset();
    Player().media.reset();
    WaveOutStreamTest::TearDown();
  }
  int OpenMedia(const fs::path& path, const std::string& extension) {
    media = std::make_unique<OPENMPT>();
    return media->Open(path.string(), extension, nullptr);
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    WriteFile(root() / name, bytes);
    return (root() / name).string();
  }
  MediaInfo Info() const { return InfoOf(*media); }
  MediaState Status() { return StatusOf(*media); }

  std::unique_ptr<OPENMPT> media;
};

struct RealModule {
  const char* name;
  const char* file;       // below the shared media folder
  const char* extension;  // as the factory hands it on
  const char* title;
};

class OpenmptRealModule : public OpenmptTest, public ::testing::WithParamInterface<RealModule> {};

TEST_P(OpenmptRealModule, OpensAsOpenmpt123ReadsItAndPlaysLibopenmptsRendering) {
  const RealModule& m = GetParam();
  QORVE_NEED_SHARED_MEDIA_AT(Shared(m.file));
  if (!HaveTools({"openmpt123"})) GTEST_SKIP() << "openmpt123 is not installed";
  ASSERT_EQ(OpenMedia(Shared(m.file), m.extension), kResultSuccess);
  const MediaInfo info = Info();
  EXPECT_EQ(info.Kind, kKindSound);
  EXPECT_STREQ(info.Format, m.extension);
  EXPECT_EQ(info.FileName, Shared(m.file).filename().string());
  EXPECT_STREQ(info.Title, m.title);
  EXPECT_EQ(std::string(info.Title), Openmpt123Info(Shared(m.file), "Title"));
  // "it (Impulse Tracker 2.14)": the tracker's name is the codec.
  const std::string type = Openmpt123Info(Shared(m.file), "Type");
  const std::size_t open = type.find('(');
  ASSERT_NE(open, std::string::npos) << type;
  EXPECT_EQ(std::string(info.Codec), type.substr(open + 1, type.size() - open - 2));
  // The started second counts whole; a song of no rows lasts one second.
  const double duration = Minutes(Openmpt123Info(Shared(m.file), "Duration"));
  ASSERT_GE(duration, 0.0);
  EXPECT_EQ(info.Length, std::max(1.0, std::ceil(duration)));
  EXPECT_EQ(Status().PlayState, kStopped);

  media->Play(-1.0);
  EXPECT_EQ(Status().PlayState, kPlaying);
  const std::vector<uint8_t> played = PlayOnePass(*card);
  const std::vector<uint8_t> reference = LibraryRendering(Shared(m.file), played.size());
  ASSERT_EQ(played.size(), 8u * kSecond);
  EXPECT_EQ(reference.size() < played.size(), duration < 8.0);
  EXPECT_TRUE(StartsWith(played, reference));
  EXPECT_TRUE(AllZero(played, reference.size()));  // silence after the end
}

INSTANTIATE_TEST_SUITE_P(
    Files, OpenmptRealModule,
    ::testing::Values(RealModule{"ImpulseTracker", "tracker-other/taglib_test.it", "IT", "test song name"},
                      RealModule{"ScreamTracker3", "tracker-other/taglib_test.s3m", "S3M", "test song name"},
                      RealModule{"Soundtracker15Samples", "mod/GAMEMUSIC_15inst_ST.mod", "MOD", "BAMBUZLE MUSIC"},
                      RealModule{"ShortSoundtracker15Samples", "mod/pennylane_15inst_ST.mod", "MOD", "pennylane"},
                      RealModule{"OctalyserCD61", "mod/pattern_loop_octalyser_CD61.mod", "MOD",
                                 "PATTERN LOOP (OCT)"}),
    [](const auto& info) { return std::string(info.param.name); });

// pennylane: 128 rows of 0.12 s each, 15.36 s.
const char* const kPennylane = "mod/pennylane_15inst_ST.mod";
constexpr double kRowSeconds = 0.12;

// Black-box: the song played from its start sounds, at `from`, most like what
// played after Play(from), and less so a little before or after (half a row,
// a row, the next whole second).
TEST_F(OpenmptTest, PlayFromATimeStartsThereAndShowsIt) {
  QORVE_NEED_SHARED_MEDIA_AT(Shared(kPennylane));
  ASSERT_EQ(OpenMedia(Shared(kPennylane), "MOD"), kResultSuccess);
  const std::vector<uint8_t> whole = LibraryRendering(Shared(kPennylane), 16u * kSecond);
  for (const double from : {7.26, 2.5, 0.75}) {  // inside rows 60, 20 and 6
    ASSERT_EQ(media->Play(from), 0);
    EXPECT_DOUBLE_EQ(Status().TimePos, from);
    const std::vector<uint8_t> played = PlayOnePass(*card);
    ASSERT_EQ(played.size(), 8u * kSecond);
    const std::size_t window = 44100 / 2;  // frames compared: half a second
    auto distance = [&](double at) {
      const auto* song = reinterpret_cast<const int16_t*>(whole.data()) + std::lround(at * 44100) * 2;
      const auto* heard = reinterpret_cast<const int16_t*>(played.data());
      double sum = 0.0;
      for (std::size_t i = 0; i < window * 2; ++i) sum += std::pow(double(song[i]) - double(heard[i]), 2);
      return sum;
    };
    const double there = distance(from);
    for (const double off : {-kRowSeconds, -kRowSeconds / 2, kRowSeconds / 2, kRowSeconds, std::ceil(from) - from}) {
      EXPECT_LT(there, distance(from + off) / 4) << "from " << from << ", off by " << off;
    }
  }
}

TEST_F(OpenmptTest, PlayPastTheEndIsSilence) {
  QORVE_NEED_SHARED_MEDIA_AT(Shared(kPennylane));
  ASSERT_EQ(OpenMedia(Shared(kPennylane), "MOD"), kResultSuccess);
  media->Play(1e6);
  const std::vector<uint8_t> played = PlayOnePass(*card);
  EXPECT_EQ(played.size(), 8u * kSecond);
  EXPECT_TRUE(AllZero(played, 0));
}

TEST_F(OpenmptTest, AfterTheEndTheSongDoesNotStartAgain) {
  QORVE_NEED_SHARED_MEDIA_AT(Shared(kPennylane));
  ASSERT_EQ(OpenMedia(Shared(kPennylane), "MOD"), kResultSuccess);
  EXPECT_EQ(Info().Length, 16.0);
  media->Play(14.0);
  const std::vector<uint8_t> played = PlayOnePass(*card);
  // The song ends at 15.36 s; libopenmpt then fades its voices out over a
  // tenth of a second.
  const auto frameAt = [](double seconds) { return static_cast<std::size_t>(std::lround(seconds * 44100)) * 4; };
  EXPECT_FALSE(AllZero(std::vector<uint8_t>(played.begin() + static_cast<long>(frameAt(1.2)),
                                            played.begin() + static_cast<long>(frameAt(1.36))),
                       0));
  EXPECT_TRUE(AllZero(played, frameAt(1.36 + 0.2)));
}

TEST_F(OpenmptTest, PauseThenToggleStartsTheSongAgain) {
  QORVE_NEED_SHARED_MEDIA_AT(Shared(kPennylane));
  ASSERT_EQ(OpenMedia(Shared(kPennylane), "MOD"), kResultSuccess);
  media->Play(5.0);
  card->Advance(kSecond);
  media->TogglePause();
  EXPECT_EQ(Status().PlayState, kPaused);
  media->TogglePause();
  EXPECT_EQ(Status().PlayState, kPlaying);
  EXPECT_DOUBLE_EQ(Status().TimePos, 0.0);
  const std::vector<uint8_t> played = PlayOnePass(*card);
  EXPECT_TRUE(StartsWith(played, LibraryRendering(Shared(kPennylane), played.size())));
}

TEST_F(OpenmptTest, TitleAndArtistArriveAsUtf8) {
  // 0x82 is "é" in code page 437.
  ASSERT_EQ(OpenMedia(Write("titled.mdl", TitledModule("Night Song", "Caf\x82 Band")), "MDL"), kResultSuccess);
  const MediaInfo info = Info();
  EXPECT_STREQ(info.Title, "Night Song");
  EXPECT_STREQ(info.Artist, "Café Band");
  EXPECT_STREQ(info.Codec, "Digitrakker");
  EXPECT_STREQ(info.Format, "MDL");
  EXPECT_EQ(info.Length, 1.0);
  EXPECT_EQ(info.SampleRate, 0);
  EXPECT_TRUE(Logged("OPENMPTコンストラクタ", 0));
}

struct OpenFailure {
  const char* name;
  std::string bytes;
  bool missing;
  int code;
};

class OpenmptOpenFails : public OpenmptTest, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenmptOpenFails, WithItsCodeAndNoCodecHint) {
  const fs::path path = root() / "file.s3m";
  if (!GetParam().missing) WriteFile(path, GetParam().bytes);
  ASSERT_EQ(OpenMedia(path, "S3M"), GetParam().code);
  // The factory shows a failed class's codec as what to install.
  EXPECT_STREQ(Info().Codec, "");
  EXPECT_EQ(Status().PlayState, kStopped);
  EXPECT_EQ(media->Play(1.0), 0);
  EXPECT_FALSE(card->IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenmptOpenFails,
                         ::testing::Values(OpenFailure{"Missing", "", true, kResultFileNotFound},
                                           OpenFailure{"Empty", "", false, kResultWrongExtension},
                                           OpenFailure{"NotAModule", std::string(4000, 'x'), false,
                                                       kResultWrongExtension},
                                           OpenFailure{"TruncatedInformationBlock",
                                                       TitledModule("t", "a").substr(0, 40), false,
                                                       kResultWrongExtension}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OpenmptTest, FileLargerThanTheLimitIsRefusedUnread) {
  // The module followed by zeros plays; past the limit the same file is refused.
  const std::string path = Write("huge.mdl", TitledModule("Huge", ""));
  fs::resize_file(path, 1 << 20);
  EXPECT_EQ(OpenMedia(path, "MDL"), kResultSuccess);
  fs::resize_file(path, OPENMPT::kMaxFileBytes + 1);  // sparse: nothing is written
  EXPECT_EQ(OpenMedia(path, "MDL"), kResultWrongExtension);
}

TEST_F(OpenmptTest, DeviceThatCannotOpenGivesSix) {
  card->FailOpens(MMSYSERR_ALLOCATED);
  EXPECT_EQ(OpenMedia(Write("titled.mdl", TitledModule("T", "A")), "MDL"), kResultDeviceInUse);
}

TEST_F(OpenmptTest, DestructorLogsAndClosesTheStream) {
  ASSERT_EQ(OpenMedia(Write("titled.mdl", TitledModule("T", "A")), "MDL"), kResultSuccess);
  media->Play(0);
  EXPECT_TRUE(card->IsOpen());
  media.reset();
  EXPECT_FALSE(card->IsOpen());
  EXPECT_TRUE(Logged("OPENMPTデストラクタ", 0));
}

struct FactoryCase {
  const char* name;
  const char* file;
  const char* className;  // the class that plays it
};

class OpenmptFactory : public OpenmptTest, public ::testing::WithParamInterface<FactoryCase> {};

// The factory asks the MOD class first for .mod and .xm files: only a module
// our engine refuses goes to libopenmpt.
TEST_P(OpenmptFactory, GivesTheModuleToTheClassThatPlaysIt) {
  const FactoryCase& c = GetParam();
  QORVE_NEED_SHARED_MEDIA_AT(Shared(c.file));
  std::string path = Shared(c.file).string();
  ASSERT_EQ(LoadMedia(nullptr, path, 0), kResultSuccess);
  ASSERT_NE(Player().media, nullptr);
  const bool isOpenmpt = dynamic_cast<OPENMPT*>(Player().media.get()) != nullptr;
  const bool isMod = dynamic_cast<MOD*>(Player().media.get()) != nullptr;
  EXPECT_EQ(isOpenmpt, std::string(c.className) == "OPENMPT");
  EXPECT_EQ(isMod, std::string(c.className) == "MOD");
  Player().media.reset();
  if (std::string(c.className) == "OPENMPT" && path.ends_with(".mod")) {
    MOD mod;
    EXPECT_EQ(mod.Open(path, "MOD", nullptr), kResultWrongExtension);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, OpenmptFactory,
    ::testing::Values(FactoryCase{"ModTheEngineLoads", "mod/taglib_test_8CHN.mod", "MOD"},
                      FactoryCase{"XmTheEngineLoads", "xm/taglib_test.xm", "MOD"},
                      FactoryCase{"FifteenSampleMod", "mod/GAMEMUSIC_15inst_ST.mod", "OPENMPT"},
                      FactoryCase{"OctalyserMod", "mod/pattern_loop_octalyser_CD61.mod", "OPENMPT"},
                      FactoryCase{"ScreamTracker3", "tracker-other/taglib_test.s3m", "OPENMPT"},
                      FactoryCase{"ImpulseTracker", "tracker-other/taglib_test.it", "OPENMPT"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorve::test
