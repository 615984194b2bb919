// Standard MIDI Files into timed port messages.
#include "platform/midi/midi_file.h"

#include <gtest/gtest.h>

#include <string>

namespace qorve {
namespace {

std::string Be(uint32_t value, int bytes) {
  std::string out;
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>(value >> (8 * i));
  return out;
}

std::string Smf(int format, int division, const std::vector<std::string>& tracks) {
  std::string file = "MThd" + Be(6, 4) + Be(format, 2) + Be(static_cast<uint32_t>(tracks.size()), 2) + Be(division, 2);
  for (const std::string& track : tracks) file += "MTrk" + Be(static_cast<uint32_t>(track.size()), 4) + track;
  return file;
}

const std::string kEnd("\x00\xFF\x2F\x00", 4);

TEST(MidiFile, TempoChangesOfTheFirstTrackTimeEveryTrack) {
  // 480 ticks a quarter; 120 bpm for the first quarter, then 60 bpm.
  const std::string tempoTrack = std::string("\x00\xFF\x51\x03\x07\xA1\x20", 7) +
                                 std::string("\x83\x60\xFF\x51\x03\x0F\x42\x40", 8) + kEnd;
  const std::string notes = std::string("\x00\x90\x3C\x64", 4) + std::string("\x83\x60\x3C\x00", 4) +  // running status
                            std::string("\x83\x60\x80\x3C\x00", 5) + kEnd;
  const auto song = ParseMidiFile(Smf(1, 480, {tempoTrack, notes}));
  ASSERT_TRUE(song);
  ASSERT_EQ(song->events.size(), 3u);
  EXPECT_DOUBLE_EQ(song->events[0].milliseconds, 0);
  EXPECT_EQ(song->events[0].bytes, (std::vector<uint8_t>{0x90, 0x3C, 0x64}));
  EXPECT_DOUBLE_EQ(song->events[1].milliseconds, 500);
  EXPECT_EQ(song->events[1].bytes, (std::vector<uint8_t>{0x90, 0x3C, 0x00}));
  EXPECT_DOUBLE_EQ(song->events[2].milliseconds, 1500);
  EXPECT_DOUBLE_EQ(song->lengthMilliseconds, 1500);
}

TEST(MidiFile, SystemExclusiveProgramChangeAndEndOfTrackTime) {
  const std::string track = std::string("\x00\xF0\x05\x7E\x7F\x09\x01\xF7", 8) + std::string("\x00\xC1\x05", 3) +
                            std::string("\x81\x70\xFF\x2F\x00", 5);
  const auto song = ParseMidiFile(Smf(0, 240, {track}));
  ASSERT_TRUE(song);
  ASSERT_EQ(song->events.size(), 2u);
  EXPECT_EQ(song->events[0].bytes, (std::vector<uint8_t>{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
  EXPECT_EQ(song->events[1].bytes, (std::vector<uint8_t>{0xC1, 0x05}));
  EXPECT_DOUBLE_EQ(song->lengthMilliseconds, 500);  // 240 ticks at 120 bpm
}

TEST(MidiFile, Format2TracksPlayOneAfterTheOther) {
  const std::string one = std::string("\x00\x90\x3C\x64\x83\x60\x80\x3C\x00", 9) + kEnd;
  const auto song = ParseMidiFile(Smf(2, 480, {one, one}));
  ASSERT_TRUE(song);
  ASSERT_EQ(song->events.size(), 4u);
  EXPECT_DOUBLE_EQ(song->events[2].milliseconds, 500);
  EXPECT_DOUBLE_EQ(song->lengthMilliseconds, 1000);
}

TEST(MidiFile, RiffMidiIsUnwrapped) {
  const std::string smf = Smf(0, 96, {std::string("\x00\x90\x40\x40", 4) + kEnd});
  auto le = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  const std::string rmi = "RIFF" + le(static_cast<uint32_t>(smf.size() + 12)) + "RMID" + "data" +
                          le(static_cast<uint32_t>(smf.size())) + smf;
  const auto song = ParseMidiFile(rmi);
  ASSERT_TRUE(song);
  EXPECT_EQ(song->events.size(), 1u);
}

TEST(MidiFile, TrackCutShortKeepsWhatWasRead) {
  std::string file = Smf(0, 480, {std::string("\x00\x90\x3C\x64\x83\x60\x80\x3C\x00", 9) + kEnd});
  file.resize(file.size() - 6);
  const auto song = ParseMidiFile(file);
  ASSERT_TRUE(song);
  EXPECT_EQ(song->events.size(), 1u);
}

TEST(MidiFile, NotAMidiFile) {
  EXPECT_FALSE(ParseMidiFile(""));
  EXPECT_FALSE(ParseMidiFile("RIFF....WAVEfmt "));
  EXPECT_FALSE(ParseMidiFile(Smf(0, 0, {kEnd})));  // division 0
  EXPECT_FALSE(ParseMidiFile(Smf(0, 96, {})));
}

}  // namespace
}  // namespace qorve
