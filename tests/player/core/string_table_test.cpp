#include "player/core/string_table.h"

#include "support/scoped_env.h"

#include <gtest/gtest.h>

#include <string>

namespace qorve {
namespace {

struct LocaleCase {
  const char* name;
  const char* lcAll;
  const char* lcMessages;
  const char* lang;
  UiLanguage expected;
};

class UiLanguageFromLocale : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(UiLanguageFromLocale, FirstSetVariableDecides) {
  test::ScopedEnv env;
  env.SetLocale(GetParam().lcAll, GetParam().lcMessages, GetParam().lang);
  EXPECT_EQ(CurrentUiLanguage(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, UiLanguageFromLocale,
    ::testing::Values(LocaleCase{"AllEnglishWins", "en_US.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8", UiLanguage::English},
                      LocaleCase{"AllJapaneseWins", "ja_JP.UTF-8", "en_US.UTF-8", "en_GB", UiLanguage::Japanese},
                      LocaleCase{"EmptyAllIsNotSet", "", "en_GB.UTF-8", "ja_JP", UiLanguage::English},
                      LocaleCase{"LangAlone", nullptr, nullptr, "en", UiLanguage::English},
                      LocaleCase{"CLocaleIsJapanese", "C", nullptr, "en_US", UiLanguage::Japanese},
                      LocaleCase{"NothingSetIsJapanese", nullptr, nullptr, nullptr, UiLanguage::Japanese},
                      LocaleCase{"GermanIsJapanese", nullptr, nullptr, "de_DE.UTF-8", UiLanguage::Japanese}),
    [](const auto& info) { return std::string(info.param.name); });

bool IsDisplayItem(int id) { return id >= 3 && id <= 28 && id != 10 && id != 18; }

TEST(StringTable, EveryIdHasBothLanguagesExceptDirectShowInEnglish) {
  for (int id = 1; id <= 1017; ++id) {
    const bool exists = (id >= 1 && id <= 28) || (id >= 1001 && id <= 1017 && id != 1009);
    SCOPED_TRACE(id);
    EXPECT_EQ(!LoadString(id, UiLanguage::Japanese).empty(), exists);
    EXPECT_EQ(!LoadString(id, UiLanguage::English).empty(), exists && id != 1015);
  }
  EXPECT_EQ(LoadString(1015, UiLanguage::Japanese), "DirectShowが利用できません。");
}

TEST(StringTable, DisplayItemsEndInIdeographicOrOrdinarySpace) {
  for (int id = 1; id <= 28; ++id) {
    if (!IsDisplayItem(id)) continue;
    SCOPED_TRACE(id);
    EXPECT_TRUE(LoadString(id, UiLanguage::Japanese).ends_with("\u3000"));
    EXPECT_TRUE(LoadString(id, UiLanguage::English).ends_with(" "));
    EXPECT_FALSE(LoadString(id, UiLanguage::English).ends_with("  "));
  }
}

struct TextCase {
  int id;
  UiLanguage language;
  const char* text;
};

class StringTableText : public ::testing::TestWithParam<TextCase> {};

TEST_P(StringTableText, IsExact) {
  EXPECT_EQ(LoadString(GetParam().id, GetParam().language), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StringTableText,
    ::testing::Values(TextCase{1, UiLanguage::Japanese, "%s のインストールで再生できるかもしれません。"},
                      TextCase{1, UiLanguage::English, "Install %s"},
                      TextCase{28, UiLanguage::Japanese, "音量：%3d％\u3000"},
                      TextCase{1011, UiLanguage::English, "File breaks. \n"},
                      TextCase{1013, UiLanguage::English,
                               "Fatal error occurrence. The possibility of the file damage. \n"},
                      TextCase{1016, UiLanguage::Japanese, "フォルダ再生モード\u3000"},
                      TextCase{1017, UiLanguage::English, "Playlist play"}));

TEST(StringTable, LoadStringFollowsTheCurrentLanguage) {
  test::ScopedEnv env;
  env.SetLocale(nullptr, nullptr, "en_US.UTF-8");
  EXPECT_EQ(LoadString(2), "[Info] ");
  env.Set("LANG", "ja_JP.UTF-8");
  EXPECT_EQ(LoadString(2), "[情報] ");
}

}  // namespace
}  // namespace qorve
