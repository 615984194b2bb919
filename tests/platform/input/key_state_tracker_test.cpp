#include "platform/input/key_state_tracker.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace qorve {
namespace {

constexpr int kEscKeycode = 9;
constexpr int kLeftShiftKeycode = 50;
constexpr int kRightShiftKeycode = 62;
constexpr int kUnmappedKeycode = 100;

KeycodeTable SmallTable() {
  KeycodeTable table{};
  table[kEscKeycode] = {0x1B};
  table[kLeftShiftKeycode] = {0xA0, 0x10};
  table[kRightShiftKeycode] = {0xA1, 0x10};
  return table;
}

enum class Op { kPressKey, kReleaseKey, kPressButton, kReleaseButton, kPoll };
struct Step {
  Op op;
  int arg;
  int expected = 0;  // for kPoll: the state as an unsigned 16-bit value
};

struct Script {
  const char* name;
  std::vector<Step> steps;
};

class KeyStateScriptTest : public testing::TestWithParam<Script> {};

TEST_P(KeyStateScriptTest, PollsReadWhatTheEventsDid) {
  KeyStateTracker tracker;
  tracker.SetKeycodeTable(SmallTable());
  int index = 0;
  for (const Step& step : GetParam().steps) {
    switch (step.op) {
      case Op::kPressKey: tracker.KeyPressed(step.arg); break;
      case Op::kReleaseKey: tracker.KeyReleased(step.arg); break;
      case Op::kPressButton: tracker.ButtonPressed(step.arg); break;
      case Op::kReleaseButton: tracker.ButtonReleased(step.arg); break;
      case Op::kPoll:
        EXPECT_EQ(static_cast<uint16_t>(tracker.Poll(step.arg)), step.expected)
            << "step " << index << ", key 0x" << std::hex << step.arg;
        break;
    }
    ++index;
  }
}

constexpr Op P = Op::kPressKey;
constexpr Op R = Op::kReleaseKey;
constexpr Op PB = Op::kPressButton;
constexpr Op RB = Op::kReleaseButton;
constexpr Op Q = Op::kPoll;

INSTANTIATE_TEST_SUITE_P(
    Events, KeyStateScriptTest,
    testing::Values(
        Script{"TapBetweenTwoPollsIsPressedButNotDown",
               {{P, kEscKeycode}, {R, kEscKeycode}, {Q, 0x1B, 0x0001}, {Q, 0x1B, 0x0000}}},
        Script{"HeldKeyIsPressedOnceAndDownUntilReleased",
               {{P, kEscKeycode}, {Q, 0x1B, 0x8001}, {Q, 0x1B, 0x8000}, {R, kEscKeycode}, {Q, 0x1B, 0x0000}}},
        Script{"EachKeyKeepsItsOwnPressedBit",
               {{P, kEscKeycode},
                {P, kLeftShiftKeycode},
                {Q, 0x1B, 0x8001},
                {Q, 0xA0, 0x8001},
                {Q, 0x10, 0x8001},
                {Q, 0x1B, 0x8000},
                {Q, 0xA0, 0x8000}}},
        Script{"GenericShiftIsDownWhileEitherShiftIs",
               {{P, kLeftShiftKeycode},
                {P, kRightShiftKeycode},
                {R, kLeftShiftKeycode},
                {Q, 0x10, 0x8001},
                {Q, 0xA0, 0x0001},
                {Q, 0xA1, 0x8001},
                {R, kRightShiftKeycode},
                {Q, 0x10, 0x0000}}},
        Script{"AutoRepeatIsAnotherPress",
               {{P, kEscKeycode}, {Q, 0x1B, 0x8001}, {P, kEscKeycode}, {Q, 0x1B, 0x8001}, {Q, 0x1B, 0x8000}}},
        Script{"RepeatedReleaseDoesNotUnbalanceTheGenericKey",
               {{P, kLeftShiftKeycode},
                {R, kLeftShiftKeycode},
                {R, kLeftShiftKeycode},
                {P, kRightShiftKeycode},
                {Q, 0x10, 0x8001},
                {R, kRightShiftKeycode},
                {Q, 0x10, 0x0000}}},
        Script{"PressAgainAfterAPollIsANewPress",
               {{P, kEscKeycode}, {R, kEscKeycode}, {Q, 0x1B, 0x0001}, {P, kEscKeycode}, {R, kEscKeycode},
                {Q, 0x1B, 0x0001}}},
        Script{"PointerButtonsAreTheMouseKeys",
               {{PB, 1},
                {PB, 3},
                {PB, 2},
                {RB, 2},
                {PB, 8},
                {RB, 8},
                {PB, 9},
                {Q, 0x01, 0x8001},
                {Q, 0x02, 0x8001},
                {Q, 0x04, 0x0001},
                {Q, 0x05, 0x0001},
                {Q, 0x06, 0x8001}}},
        Script{"WheelAndUnmappedKeysTouchNothing",
               {{PB, 4}, {PB, 5}, {P, kUnmappedKeycode}, {Q, 0x01, 0}, {Q, 0x04, 0}, {Q, 0x1B, 0}}},
        Script{"OutOfRangeInputIsIgnored",
               {{P, -1}, {P, 256}, {PB, 0}, {PB, 99}, {Q, 0, 0}, {Q, 256, 0}, {Q, -5, 0}}}),
    [](const testing::TestParamInfo<Script>& info) { return std::string(info.param.name); });

std::array<uint8_t, 32> KeysDown(std::initializer_list<int> keycodes) {
  std::array<uint8_t, 32> bits{};
  for (int keycode : keycodes) bits[keycode / 8] |= static_cast<uint8_t>(1u << (keycode % 8));
  return bits;
}

TEST(KeyStateTrackerTest, StartingSnapshotMarksHeldKeysWithoutPressing) {
  KeyStateTracker tracker;
  tracker.SetKeycodeTable(SmallTable());
  tracker.SyncKeycodes(KeysDown({kEscKeycode}), false);
  tracker.SyncButton(1, true, false);
  EXPECT_EQ(static_cast<uint16_t>(tracker.Poll(0x1B)), 0x8000);
  EXPECT_EQ(static_cast<uint16_t>(tracker.Poll(0x01)), 0x8000);
}

TEST(KeyStateTrackerTest, LaterSnapshotCountsKeysNewlyDownAsPressedOnce) {
  KeyStateTracker tracker;
  tracker.SetKeycodeTable(SmallTable());
  tracker.KeyPressed(kLeftShiftKeycode);
  EXPECT_EQ(static_cast<uint16_t>(tracker.Poll(0xA0)), 0x8001);

  // Esc went down unseen; the shift key, already known down, is no new press.
  tracker.SyncKeycodes(KeysDown({kEscKeycode, kLeftShiftKeycode}), true);
  tracker.SyncButton(3, true, true);
  EXPECT_EQ(static_cast<uint16_t>(tracker.Poll(0x1B)), 0x8001);
  EXPECT_EQ(static_cast<uint16_t>(tracker.Poll(0xA0)), 0x8000);
  EXPECT_EQ(static_cast<uint16_t>(tracker.Poll(0x02)), 0x8001);

  // The same snapshot again changes nothing; an empty one releases everything.
  tracker.SyncKeycodes(KeysDown({kEscKeycode, kLeftShiftKeycode}), true);
  EXPECT_EQ(static_cast<uint16_t>(tracker.Poll(0x1B)), 0x8000);
  tracker.SyncKeycodes(KeysDown({}), true);
  tracker.SyncButton(3, false, true);
  EXPECT_EQ(tracker.Poll(0x1B), 0);
  EXPECT_EQ(tracker.Poll(0xA0), 0);
  EXPECT_EQ(tracker.Poll(0x02), 0);
}

TEST(KeyStateTrackerTest, MappingChangeKeepsHeldKeysUnderTheirNewCodes) {
  KeyStateTracker tracker;
  tracker.SetKeycodeTable(SmallTable());
  tracker.KeyPressed(kEscKeycode);

  KeycodeTable remapped = SmallTable();
  remapped[kEscKeycode] = {0x41};
  tracker.SetKeycodeTable(remapped);
  EXPECT_EQ(static_cast<uint16_t>(tracker.Poll(0x41)), 0x8000);  // held, but pressed as Esc
  EXPECT_EQ(static_cast<uint16_t>(tracker.Poll(0x1B)), 0x0001);  // the press happened as Esc

  tracker.KeyReleased(kEscKeycode);
  EXPECT_EQ(tracker.Poll(0x41), 0);
}

}  // namespace
}  // namespace qorve
