// midiOut on the real ALSA sequencer: the test makes a sequencer client with
// a writable port, finds it among the output ports and reads back what is
// sent to it. Skipped where the machine has no sequencer (/dev/snd/seq).
#include "platform/midi/midi_out.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <poll.h>

namespace qorve {
namespace {

class AlsaSequencerPort : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists("/dev/snd/seq") || snd_seq_open(&seq_, "default", SND_SEQ_OPEN_INPUT, 0) < 0) {
      GTEST_SKIP() << "no ALSA sequencer on this machine";
    }
    SetMidiPortSystemForTesting(nullptr);
    snd_seq_set_client_name(seq_, "qorve-test-synth");
    port_ = snd_seq_create_simple_port(seq_, "qorve test input", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                       SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    ASSERT_GE(port_, 0);
  }
  void TearDown() override {
    if (seq_) snd_seq_close(seq_);
  }

  // Our port's index among the output ports, or -1.
  int OurIndex() {
    const uint32_t count = midiOutGetNumDevs();
    for (uint32_t i = 0; i < count; ++i) {
      MIDIOUTCAPS caps{};
      if (midiOutGetDevCaps(i, &caps, sizeof caps) == MMSYSERR_NOERROR && std::string(caps.szPname) == "qorve test input") {
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  // The next event that arrives within a second, or null.
  snd_seq_event_t* Receive() {
    pollfd fd{};
    snd_seq_poll_descriptors(seq_, &fd, 1, POLLIN);
    if (snd_seq_event_input_pending(seq_, 1) == 0 && poll(&fd, 1, 1000) <= 0) return nullptr;
    snd_seq_event_t* event = nullptr;
    return snd_seq_event_input(seq_, &event) >= 0 ? event : nullptr;
  }

  snd_seq_t* seq_ = nullptr;
  int port_ = -1;
};

TEST_F(AlsaSequencerPort, LongAndShortMessagesArriveWhole) {
  const int index = OurIndex();
  ASSERT_GE(index, 0);
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, static_cast<uint32_t>(index), CALLBACK_NULL, 0, 0), MMSYSERR_NOERROR);
  // The connection is announced to our client first.
  char gs[] = {'\xF0', '\x41', '\x10', '\x42', '\x12', '\x40', '\x00', '\x7F', '\x00', '\x41', '\xF7'};
  MIDIHDR header{};
  header.lpData = gs;
  header.dwBufferLength = sizeof gs;
  midiOutPrepareHeader(out, &header, sizeof header);
  ASSERT_EQ(midiOutLongMsg(out, &header, sizeof header), MMSYSERR_NOERROR);
  midiOutShortMsg(out, 0x00643C90);
  midiOutReset(out);
  midiOutUnprepareHeader(out, &header, sizeof header);
  midiOutClose(out);

  std::vector<snd_seq_event_type_t> types;
  bool sysexSeen = false;
  while (snd_seq_event_t* event = Receive()) {
    types.push_back(event->type);
    if (event->type == SND_SEQ_EVENT_SYSEX) {
      const std::string bytes(static_cast<const char*>(event->data.ext.ptr), event->data.ext.len);
      EXPECT_EQ(bytes, std::string(gs, sizeof gs));
      sysexSeen = true;
    }
    if (event->type == SND_SEQ_EVENT_NOTEON) {
      EXPECT_EQ(event->data.note.note, 0x3C);
      EXPECT_EQ(event->data.note.velocity, 0x64);
    }
    if (event->type == SND_SEQ_EVENT_NOTEOFF) break;  // the reset's note-off comes last
  }
  EXPECT_TRUE(sysexSeen);
  ASSERT_FALSE(types.empty());
  EXPECT_EQ(types.back(), SND_SEQ_EVENT_NOTEOFF);
}

}  // namespace
}  // namespace qorve
