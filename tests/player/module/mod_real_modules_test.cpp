// Modules made by other people (the shared media and the songs of Debian's
// game packages): each one loads or is rejected by a named check, plays
// without a fault, and its measured length agrees with openmpt123's within a
// second, except where the engine's own rules explain the difference.
#include "player/module/mod_player.h"
#include "support/shared_media.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace qorve {
namespace {

namespace fs = std::filesystem;

struct PlayerDeleter {
  void operator()(ModPlayer* p) const { ModDestroy(p); }
};

// Files no loader takes, and why.
const std::map<std::string, std::string> kRejected = {
    {"GAMEMUSIC_15inst_ST.mod", "15-sample Soundtracker layout: no signature at byte 1080"},
    {"pennylane_15inst_ST.mod", "15-sample Soundtracker layout: no signature at byte 1080"},
    {"pattern_loop_octalyser_CD61.mod", "signature CD61 is not in the signature table"},
    {"taglib_test.it", "Impulse Tracker layout"},
    {"taglib_test.s3m", "Scream Tracker 3 layout"},
};

// Songs whose length differs from openmpt123's by the engine's rules, with
// the length the engine measures. openmpt123 reports all sub-songs together.
struct Explained {
  int seconds;
  const char* why;
};
const std::map<std::string, Explained> kExplained = {
    {"area1-game.mod", {173, "backward jumps ignored; ends at the jump to its own order position"}},
    {"area1-game2.mod", {182, "backward jumps ignored; a jump past the song's length ends it"}},
    {"area1-game2_is_really_XM.mod", {182, "backward jumps ignored; a jump past the song's length ends it"}},
    {"area2-game.mod", {96, "a jump past the song's length (BFE) ends the first of several songs"}},
    {"area3-game.mod", {112, "a jump past the song's length ends the first of several songs"}},
    {"area4-game.mod", {84, "a jump past the song's length ends the first of several songs"}},
    {"area5-game.mod", {202, "a jump past the song's length ends the first of several songs"}},
    {"in-game-music-1_reg.mod", {502, "the backward jump in row 47 of the last pattern is ignored"}},
};

// Test fixtures whose samples hold no sound (openmpt123 renders silence too).
const std::set<std::string> kSilent = {"zob-the-zob_FLT4.mod", "taglib_test.xm", "taglib_test_8CHN.mod",
                                       "filetype_fixture_hdr21.xm"};

std::vector<fs::path> RealModules() {
  std::vector<fs::path> files;
  const fs::path shared = test::SharedMedia();
  for (const char* folder : {"xm", "mod", "tracker-other"}) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(shared / folder, ec)) files.push_back(entry.path());
  }
  // Without the shared folder, one case that says so.
  if (files.empty()) files.push_back(shared / "xm");
  for (const char* folder : {"/usr/share/games/tecnoballz/musics", "/usr/share/games/freedroid/sound"}) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      if (entry.path().extension() == ".mod") files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// openmpt123's duration in seconds, or a negative value when it cannot tell.
double OpenMptDuration(const fs::path& file) {
  const std::string command = "openmpt123 --info '" + file.string() + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string output;
  std::array<char, 512> line{};
  while (fgets(line.data(), line.size(), pipe) != nullptr) output += line.data();
  pclose(pipe);
  const std::size_t at = output.find("Duration...: ");
  if (at == std::string::npos) return -1;
  int minutes = 0;
  double seconds = 0;
  if (std::sscanf(output.c_str() + at + 13, "%d:%lf", &minutes, &seconds) != 2) return -1;
  return minutes * 60 + seconds;
}

bool HaveOpenMpt() { return std::system("command -v openmpt123 >/dev/null 2>&1") == 0; }

class RealModule : public testing::TestWithParam<fs::path> {};

TEST_P(RealModule, LoadsOrIsRejectedPlaysAndMeasuresLikeOpenMpt) {
  const fs::path file = GetParam();
  QORVE_NEED_SHARED_MEDIA_AT(file);
  std::ifstream in(file, std::ios::binary);
  const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
  std::unique_ptr<ModPlayer, PlayerDeleter> p(ModCreate());
  const std::string name = file.filename().string();
  const int loaded = ModLoad(p.get(), image.data(), static_cast<int64_t>(image.size()));
  if (kRejected.count(name)) {
    EXPECT_EQ(loaded, 0) << kRejected.at(name);
    return;
  }
  ASSERT_EQ(loaded, 1) << name;

  ModSetLoop(p.get(), 0);
  const int seconds = ModMeasureSeconds(p.get(), 1800);
  // Twenty seconds of sound (and the song's end for shorter ones) without a fault.
  std::vector<int16_t> pcm(44100 * 2);
  bool sound = false;
  for (int s = 0; s < 20 && !p->ended; ++s) {
    ModRender(p.get(), pcm.data(), 44100);
    for (int16_t v : pcm) sound = sound || v != 0;
    for (int16_t v : pcm) ASSERT_NE(v, -32768);
  }
  EXPECT_EQ(sound, kSilent.count(name) == 0) << name;

  if (kExplained.count(name)) {
    EXPECT_EQ(seconds, kExplained.at(name).seconds) << kExplained.at(name).why;
    return;
  }
  if (!HaveOpenMpt()) GTEST_SKIP() << "openmpt123 is not installed";
  const double reference = OpenMptDuration(file);
  ASSERT_GT(reference, 0) << name;
  EXPECT_NEAR(seconds, reference, 1.0) << name;
}

INSTANTIATE_TEST_SUITE_P(Files, RealModule, testing::ValuesIn(RealModules()), [](const auto& info) {
  std::string name;
  const std::string label = info.param.parent_path().filename().string() + "_" + info.param.filename().string();
  for (char c : label) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
});

}  // namespace
}  // namespace qorve
