// The midiOut calls over a recording port system.
#include "platform/midi/midi_out.h"

#include "support/midi_port_fake.h"

#include <gtest/gtest.h>

namespace qorve {
namespace {

using Bytes = std::vector<std::vector<uint8_t>>;

class MidiOut : public testing::Test {
 protected:
  void SetUp() override { SetMidiPortSystemForTesting(ports_); }
  void TearDown() override { SetMidiPortSystemForTesting(nullptr); }
  std::shared_ptr<test::RecordingMidiPorts> ports_ =
      std::make_shared<test::RecordingMidiPorts>(std::vector<std::string>{"Synth A", "Synth B"});
};

TEST_F(MidiOut, MapperIsTheFirstPortAndUnknownPortsFail) {
  EXPECT_EQ(midiOutGetNumDevs(), 2u);
  MIDIOUTCAPS caps{};
  ASSERT_EQ(midiOutGetDevCaps(1, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_STREQ(caps.szPname, "Synth B");
  HMIDIOUT handle = nullptr;
  EXPECT_EQ(midiOutOpen(&handle, 2, CALLBACK_NULL, 0, 0), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(handle, nullptr);
  ASSERT_EQ(midiOutOpen(&handle, MIDI_MAPPER, CALLBACK_NULL, 0, 0), MMSYSERR_NOERROR);
  midiOutShortMsg(handle, 0x00403C90);
  EXPECT_EQ(ports_->BytesSentTo(0), (Bytes{{0x90, 0x3C, 0x40}}));
  EXPECT_EQ(midiOutClose(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutClose(handle), MMSYSERR_INVALHANDLE);
}

TEST_F(MidiOut, NoPortMeansNoDevice) {
  SetMidiPortSystemForTesting(std::make_shared<test::RecordingMidiPorts>(std::vector<std::string>{}));
  HMIDIOUT handle = nullptr;
  EXPECT_EQ(midiOutOpen(&handle, MIDI_MAPPER, CALLBACK_NULL, 0, 0), MIDIERR_NODEVICE);
  EXPECT_EQ(midiOutOpen(&handle, 0, CALLBACK_NULL, 0, 0), MMSYSERR_BADDEVICEID);
}

TEST_F(MidiOut, ShortMessagesOfEveryLengthAndRunningStatus) {
  HMIDIOUT handle = nullptr;
  ASSERT_EQ(midiOutOpen(&handle, 1, CALLBACK_NULL, 0, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutShortMsg(handle, 0x00003C), MMSYSERR_INVALPARAM);  // no status yet
  midiOutShortMsg(handle, 0x00007C0);   // program change: 2 bytes
  midiOutShortMsg(handle, 0x00644090);  // note on
  midiOutShortMsg(handle, 0x00006443);  // running status: another note on
  midiOutShortMsg(handle, 0x000000FE);  // active sensing: 1 byte
  EXPECT_EQ(ports_->BytesSentTo(1), (Bytes{{0xC0, 0x07}, {0x90, 0x40, 0x64}, {0x90, 0x43, 0x64}, {0xFE}}));
  midiOutClose(handle);
}

TEST_F(MidiOut, LongMessageNeedsAPreparedHeaderAndIsSentWhole) {
  HMIDIOUT handle = nullptr;
  ASSERT_EQ(midiOutOpen(&handle, 0, CALLBACK_NULL, 0, 0), MMSYSERR_NOERROR);
  char sysex[] = {'\xF0', '\x7E', '\x7F', '\x09', '\x01', '\xF7'};
  MIDIHDR header{};
  header.lpData = sysex;
  header.dwBufferLength = sizeof sysex;
  EXPECT_EQ(midiOutLongMsg(handle, &header, sizeof header), MIDIERR_UNPREPARED);
  ASSERT_EQ(midiOutPrepareHeader(handle, &header, sizeof header), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutLongMsg(handle, &header, sizeof header), MMSYSERR_NOERROR);
  EXPECT_TRUE(header.dwFlags & MHDR_DONE);
  EXPECT_EQ(midiOutUnprepareHeader(handle, &header, sizeof header), MMSYSERR_NOERROR);
  EXPECT_FALSE(header.dwFlags & MHDR_PREPARED);
  EXPECT_EQ(ports_->BytesSentTo(0), (Bytes{{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}}));
  midiOutClose(handle);
}

TEST_F(MidiOut, ResetEndsOnlyTheNotesAndPedalsThisHandleLeftOn) {
  HMIDIOUT handle = nullptr;
  ASSERT_EQ(midiOutOpen(&handle, 0, CALLBACK_NULL, 0, 0), MMSYSERR_NOERROR);
  midiOutShortMsg(handle, 0x00643C90);  // C4 on, channel 1
  midiOutShortMsg(handle, 0x00644091);  // E4 on, channel 2
  midiOutShortMsg(handle, 0x00003C90);  // C4 off by velocity 0
  midiOutShortMsg(handle, 0x007F40B1);  // sustain down, channel 2
  ports_->Clear();
  ASSERT_EQ(midiOutReset(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(ports_->BytesSentTo(0), (Bytes{{0x81, 0x40, 0x00}, {0xB1, 64, 0}}));
  ports_->Clear();
  midiOutReset(handle);
  EXPECT_TRUE(ports_->Messages().empty());
  midiOutClose(handle);
}

}  // namespace
}  // namespace qorve
