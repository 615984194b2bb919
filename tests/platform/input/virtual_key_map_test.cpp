#include "platform/input/virtual_key_map.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace qorve {
namespace {

struct KeyCase {
  const char* name;
  KeycodeSymbols symbols;
  std::vector<int> virtualKeys;
};

std::vector<int> KeysOf(const VirtualKeysOfKeycode& slots) {
  std::vector<int> keys;
  for (uint8_t vk : slots) {
    if (vk != 0) keys.push_back(vk);
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

class VirtualKeyMapTest : public testing::TestWithParam<KeyCase> {};

TEST_P(VirtualKeyMapTest, KeyStandsForTheCodesWindowsGivesIt) {
  const KeyCase& c = GetParam();
  const KeycodeSymbols one[] = {c.symbols};
  const KeycodeTable table = MapKeycodes(38, one);
  std::vector<int> expected = c.virtualKeys;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(KeysOf(table[38]), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, VirtualKeyMapTest,
    testing::Values(
        KeyCase{"LetterA", {XK_a, XK_A}, {0x41}},
        KeyCase{"LetterZ", {XK_z, XK_Z}, {0x5A}},
        KeyCase{"DigitUnshifted", {XK_1, XK_exclam}, {0x31}},
        KeyCase{"DigitShiftedOnAzerty", {XK_eacute, XK_2}, {0x32}},
        KeyCase{"FunctionKeyF4", {XK_F4, 0}, {0x73}},
        KeyCase{"FunctionKeyF24", {XK_F24, 0}, {0x87}},
        KeyCase{"PadDigitWhateverNumLock", {XK_KP_End, XK_KP_1}, {0x61}},
        KeyCase{"PadAdd", {XK_KP_Add, XK_KP_Add}, {0x6B}},
        KeyCase{"PadSubtract", {XK_KP_Subtract, XK_KP_Subtract}, {0x6D}},
        KeyCase{"PadDecimal", {XK_KP_Delete, XK_KP_Decimal}, {0x6E}},
        KeyCase{"PadEnterIsEnterAndNumEnter", {XK_KP_Enter, 0}, {0x0D, 0x6C}},
        KeyCase{"Escape", {XK_Escape, 0}, {0x1B}},
        KeyCase{"Space", {XK_space, 0}, {0x20}},
        KeyCase{"ArrowLeft", {XK_Left, 0}, {0x25}},
        KeyCase{"ArrowRight", {XK_Right, 0}, {0x27}},
        KeyCase{"PageDown", {XK_Next, 0}, {0x22}},
        KeyCase{"PauseAndBreak", {XK_Pause, XK_Break}, {0x13}},
        KeyCase{"LeftShiftIsAlsoShift", {XK_Shift_L, 0}, {0xA0, 0x10}},
        KeyCase{"RightControlIsAlsoControl", {XK_Control_R, 0}, {0xA3, 0x11}},
        KeyCase{"LeftAltIsAlsoMenu", {XK_Alt_L, XK_Meta_L}, {0xA4, 0x12}},
        KeyCase{"AltGrIsRightAlt", {XK_ISO_Level3_Shift, 0}, {0xA5, 0x12}},
        KeyCase{"UsSemicolonColon", {XK_semicolon, XK_colon}, {0xBA}},
        KeyCase{"JapaneseSemicolonPlus", {XK_semicolon, XK_plus}, {0xBB}},
        KeyCase{"JapaneseColonAsterisk", {XK_colon, XK_asterisk}, {0xBA}},
        KeyCase{"UsEqualPlus", {XK_equal, XK_plus}, {0xBB}},
        KeyCase{"JapaneseAtGrave", {XK_at, XK_grave}, {0xC0}},
        KeyCase{"JapaneseCaretTilde", {XK_asciicircum, XK_asciitilde}, {0xDE}},
        KeyCase{"UsBackslashBar", {XK_backslash, XK_bar}, {0xDC}},
        KeyCase{"JapaneseBackslashUnderscore", {XK_backslash, XK_underscore}, {0xE2}},
        KeyCase{"IsoLessGreater", {XK_less, XK_greater}, {0xE2}},
        KeyCase{"JapaneseEisuKey", {XK_Eisu_toggle, XK_Caps_Lock}, {0xF0}},
        KeyCase{"JapaneseHenkan", {XK_Henkan_Mode, 0}, {0x1C}},
        KeyCase{"MediaPlay", {XF86XK_AudioPlay, XF86XK_AudioPause}, {0xB3}},
        KeyCase{"DeadKeyStandsForNothing", {XK_dead_circumflex, XK_dead_diaeresis}, {}},
        KeyCase{"NoSymbolStandsForNothing", {0, 0}, {}}),
    [](const testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

TEST(VirtualKeyMapTest, KeycodesCountFromTheFirstKeycodeAndStopAt255) {
  const KeycodeSymbols symbols[] = {{XK_Escape, 0}, {XK_1, XK_exclam}, {XK_2, XK_at}};
  KeycodeTable table = MapKeycodes(8, symbols);
  EXPECT_EQ(KeysOf(table[8]), std::vector<int>{0x1B});
  EXPECT_EQ(KeysOf(table[10]), std::vector<int>{0x32});
  EXPECT_TRUE(KeysOf(table[7]).empty());

  table = MapKeycodes(254, symbols);  // the third one would be keycode 256
  EXPECT_EQ(KeysOf(table[255]), std::vector<int>{0x31});
}

TEST(VirtualKeyMapTest, PointerButtonsFollowTheWindowsOrder) {
  EXPECT_EQ(VirtualKeyOfPointerButton(1), 0x01);
  EXPECT_EQ(VirtualKeyOfPointerButton(3), 0x02);  // right
  EXPECT_EQ(VirtualKeyOfPointerButton(2), 0x04);  // middle
  EXPECT_EQ(VirtualKeyOfPointerButton(8), 0x05);
  EXPECT_EQ(VirtualKeyOfPointerButton(9), 0x06);
  for (int wheel = 4; wheel <= 7; ++wheel) EXPECT_EQ(VirtualKeyOfPointerButton(wheel), 0) << wheel;
}

}  // namespace
}  // namespace qorve
