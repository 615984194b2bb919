// The bindable codes and the names the key lists show.
#include "settings/keys/key_names.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qorve {
namespace {

struct Named {
  int code;
  const char* name;
};

class KeyNames : public ::testing::TestWithParam<Named> {};

TEST_P(KeyNames, NameTheKeyAsTheListShowsIt) { EXPECT_EQ(KeyName(GetParam().code), GetParam().name); }

INSTANTIATE_TEST_SUITE_P(
    Codes, KeyNames,
    ::testing::Values(Named{37, "←"}, Named{1, "マウス左"}, Named{4, "マウス中央"}, Named{33, "PAGE UP"},
                      Named{108, "NUM ENTER"}, Named{229, "変換"}, Named{65, "A"}, Named{90, "Z"}, Named{48, "0"},
                      Named{57, "9"},
                      // The rest as the X keyboard names its key.
                      Named{97, "KP_1"}, Named{8, "BackSpace"}, Named{112, "F1"}, Named{107, "KP_Add"},
                      Named{186, "colon"}, Named{220, "yen"}, Named{160, "Shift_L"}, Named{3, ""}));

TEST(BindableKeys, AreTheCodesTheListsOfferInCodeOrder) {
  const auto keys = BindableKeys();
  ASSERT_EQ(keys.size(), 133u);
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  EXPECT_EQ(keys.front(), 1);
  EXPECT_EQ(keys.back(), 243);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    EXPECT_TRUE(IsBindableKey(keys[i]));
    EXPECT_EQ(BindableIndexOf(keys[i]), static_cast<int>(i));
  }
  for (int code : {0, 5, 10, 92, 128, 241, 255, 256, -1}) EXPECT_FALSE(IsBindableKey(code)) << code;
}

}  // namespace
}  // namespace qorve
