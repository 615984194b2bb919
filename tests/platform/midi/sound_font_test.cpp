// Finding the General MIDI sound font among the system's sound font folders.
#include "platform/midi/sound_font.h"

#include "support/scoped_env.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace qorve {
namespace {

const std::string kFontHead = std::string("RIFF\x10\0\0\0sfbk", 12) + "LIST";

struct FontCase {
  const char* name;
  std::vector<std::string> fonts;      // "folder/file" made with a sound font's first bytes
  std::vector<std::string> notFonts;   // made with other bytes
  std::vector<std::string> dangling;   // symbolic links to nothing
  const char* expected;                // "" for none
};

class SoundFontSearch : public test::TempHome, public testing::WithParamInterface<FontCase> {};

TEST_P(SoundFontSearch, TakesTheDefaultFontElseAnyReadableFontInFolderOrder) {
  for (const std::string& font : GetParam().fonts) test::WriteFile(root() / font, kFontHead);
  for (const std::string& file : GetParam().notFonts) test::WriteFile(root() / file, "RIFF\x10\0\0\0WAVE");
  for (const std::string& link : GetParam().dangling) {
    std::filesystem::create_directories((root() / link).parent_path());
    std::filesystem::create_symlink(root() / "nowhere.sf2", root() / link);
  }
  const std::filesystem::path found = FindSoundFontIn({root() / "sf2", root() / "sf3", root() / "missing"});
  const std::string expected = GetParam().expected;
  EXPECT_EQ(found, expected.empty() ? std::filesystem::path() : root() / expected);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, SoundFontSearch,
    testing::Values(FontCase{"DefaultBeforeOthers", {"sf2/A.sf2", "sf3/default-GM.sf3"}, {}, {}, "sf3/default-GM.sf3"},
                    FontCase{"DanglingDefaultPassedOver", {"sf3/b.SF2", "sf3/a.sf3"}, {}, {"sf2/default-GM.sf2"},
                             "sf3/a.sf3"},
                    FontCase{"OtherBytesAreNoFont", {"sf3/z.sf2"}, {"sf2/a.sf2", "sf2/default-GM.sf2"}, {}, "sf3/z.sf2"},
                    FontCase{"None", {"sf2/font.txt"}, {"sf2/a.sf2"}, {"sf3/default-GM.sf3"}, ""}),
    [](const auto& info) { return info.param.name; });

TEST_F(SoundFontSearch, ChosenFontIsTakenOnlyWhenItIsOne) {
  test::ScopedEnv env;
  test::WriteFile(root() / "mine.sf2", kFontHead);
  env.Set("QORVE_SOUNDFONT", (root() / "mine.sf2").c_str());
  EXPECT_EQ(FindSoundFont(), root() / "mine.sf2");
  env.Set("QORVE_SOUNDFONT", (root() / "gone.sf2").c_str());
  EXPECT_EQ(FindSoundFont(), std::filesystem::path());
}

}  // namespace
}  // namespace qorve
