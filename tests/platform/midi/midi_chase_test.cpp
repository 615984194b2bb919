// The channel state sent again before playing from the middle of a song.
#include "platform/midi/midi_chase.h"

#include <gtest/gtest.h>

namespace qorve {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(MidiChase, KeepsTheLastOfEachValueButEveryMessageALaterOneReadsInFileOrder) {
  const std::vector<Bytes> messages = {
      {0xB0, 0x07, 10},               // volume, set again below: dropped
      {0xB0, 0x00, 1},                // bank 1, read by the first program change
      {0xC0, 1},                      // program, changed again below: dropped
      {0x90, 60, 100},                // notes are never chased
      {0xB0, 0x00, 8},                // bank 8 for the program that follows
      {0xC0, 2},                      //
      {0xB0, 0x65, 0}, {0xB0, 0x64, 0}, {0xB0, 0x06, 12},  // bend range 12 through RPN 0
      {0xB0, 0x65, 127}, {0xB0, 0x64, 127},                // RPN deselected
      {0xE0, 0x00, 0x20},             // bend, set again below: dropped
      {0xA0, 60, 30},                 // key pressure: left out
      {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7},
      {0xB1, 0x07, 50},               // another channel's volume is its own
      {0xB0, 0x07, 90},
      {0xE0, 0x00, 0x40},
      {0xD0, 20},
      {0x80, 60, 0},
      {0xB0, 0x07, 127},              // at or after the place: not chased
  };
  MidiSong song;
  for (std::size_t i = 0; i < messages.size(); ++i) song.events.push_back({static_cast<double>(i), messages[i]});

  std::vector<Bytes> chased;
  for (const MidiFileEvent* event : ChaseEvents(song, messages.size() - 1)) chased.push_back(event->bytes);
  const std::vector<Bytes> expected = {
      {0xB0, 0x00, 1}, {0xB0, 0x00, 8}, {0xC0, 2},
      {0xB0, 0x65, 0}, {0xB0, 0x64, 0}, {0xB0, 0x06, 12}, {0xB0, 0x65, 127}, {0xB0, 0x64, 127},
      {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, {0xB1, 0x07, 50}, {0xB0, 0x07, 90}, {0xE0, 0x00, 0x40}, {0xD0, 20}};
  EXPECT_EQ(chased, expected);
  EXPECT_TRUE(ChaseEvents(song, 0).empty());
  EXPECT_EQ(ChaseEvents(song, 1000).size(), expected.size());  // past the end: every event counts
}

}  // namespace
}  // namespace qorve
