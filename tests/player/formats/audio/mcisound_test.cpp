// MCISOUND against a recording MCI driver (what it sends, how it reads the
// answers and errors) and the MIDI reset against a recording port system.
#include "player/formats/audio/mcisound.h"

#include "common/settings.h"
#include "player/formats/audio/midi_reset.h"
#include "support/midi_port_fake.h"
#include "support/temp_home.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace qorve {
namespace {

struct Sent {
  uint32_t message;
  uintptr_t flags;
  std::string type;
  std::string element;
  uint32_t value = 0;  // dwFrom, dwPort/dwSpeed, dwTimeFormat or the status item
  std::vector<uint8_t> bytes;  // the MIDI reset message
};

class RecordingDriver {
 public:
  std::deque<MCIERROR> openResults;  // one per MCI_OPEN; empty: success
  bool throwOnOpen = false;
  uint32_t mode = MCI_MODE_STOP;
  std::vector<Sent> sent;

  MCIERROR operator()(MCIDEVICEID, uint32_t message, uintptr_t flags, void* params) {
    Sent record{message, flags, "", "", 0, {}};
    switch (message) {
      case MCI_OPEN: {
        if (throwOnOpen) throw std::runtime_error("driver fault");
        auto* open = static_cast<MCI_OPEN_PARMS*>(params);
        if (flags & MCI_OPEN_TYPE) record.type = open->lpstrDeviceType;
        if (flags & MCI_OPEN_ELEMENT) record.element = open->lpstrElementName;
        sent.push_back(record);
        const MCIERROR result = openResults.empty() ? MCIERR_NO_ERROR : openResults.front();
        if (!openResults.empty()) openResults.pop_front();
        if (result == MCIERR_NO_ERROR) open->wDeviceID = 42;
        return result;
      }
      case MCI_PLAY:
        record.value = static_cast<MCI_PLAY_PARMS*>(params)->dwFrom;
        break;
      case MCI_SET:
        if (flags & MCI_MIDI_SET_RESET) {
          const auto* reset = static_cast<MCI_MIDI_SET_RESET_PARMS*>(params);
          record.bytes.assign(reset->lpMessage, reset->lpMessage + reset->dwLength);
          break;
        }
        record.value = (flags & MCI_SET_TIME_FORMAT) ? static_cast<MCI_SET_PARMS*>(params)->dwTimeFormat
                                                     : static_cast<MCI_SEQ_SET_PARMS*>(params)->dwPort;
        break;
      case MCI_STATUS: {
        auto* status = static_cast<MCI_STATUS_PARMS*>(params);
        record.value = status->dwItem;
        status->dwReturn = status->dwItem == MCI_STATUS_LENGTH ? 2500 : status->dwItem == MCI_STATUS_POSITION ? 1234 : mode;
        break;
      }
      default:
        break;
    }
    sent.push_back(record);
    return MCIERR_NO_ERROR;
  }
};

class McisoundObject : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    saved_ = ProgramSettings();
    ProgramSettings().kestravoxLog = 0;
    ProgramSettings().midisetDevice = -1;
    ProgramSettings().midisetReset = 3;
    SetMciDriverForTesting([this](MCIDEVICEID id, uint32_t m, uintptr_t f, void* p) { return driver_(id, m, f, p); });
    file_ = (root() / "song.mid").string();
    test::WriteFile(file_, "MThd");
  }
  void TearDown() override {
    SetMciDriverForTesting(nullptr);
    ProgramSettings() = saved_;
    TempHome::TearDown();
  }
  std::vector<Sent> Opens() const {
    std::vector<Sent> opens;
    for (const Sent& s : driver_.sent) {
      if (s.message == MCI_OPEN) opens.push_back(s);
    }
    return opens;
  }
  const Sent* Find(uint32_t message) const {
    for (const Sent& s : driver_.sent) {
      if (s.message == message) return &s;
    }
    return nullptr;
  }

  RecordingDriver driver_;
  Settings saved_;
  std::string file_;
};

TEST_F(McisoundObject, MidiWithTheMapperOpensAsMpegVideoAndReadsLengthInMilliseconds) {
  MCISOUND sound;
  ASSERT_EQ(sound.Open(file_, "MID", nullptr), kResultSuccess);
  const auto opens = Opens();
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].type, "MPEGVideo");
  EXPECT_EQ(opens[0].element, file_);
  EXPECT_EQ(opens[0].flags, 0x2202u);
  const Sent* set = Find(MCI_SET);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->flags, MCI_SET_TIME_FORMAT | MCI_WAIT);
  EXPECT_EQ(set->value, MCI_FORMAT_MILLISECONDS);
  MediaInfo info;
  sound.GetInfo(info);
  EXPECT_DOUBLE_EQ(info.Length, 2.5);
  EXPECT_STREQ(info.FileName, "song.mid");
  EXPECT_STREQ(info.Format, "MID");
  EXPECT_EQ(info.Kind, kKindSound);
}

TEST_F(McisoundObject, MidiWithAPortOpensTheSequencerOnThatPort) {
  ProgramSettings().midisetDevice = 2;
  MCISOUND sound;
  ASSERT_EQ(sound.Open(file_, "MIDI", nullptr), kResultSuccess);
  EXPECT_EQ(Opens()[0].type, "sequencer");
  const Sent* set = Find(MCI_SET);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->flags, 0x20002u);
  EXPECT_EQ(set->value, 2u);
}

TEST_F(McisoundObject, CdTrackOpensTheCdDeviceAndShowsItsName) {
  MCISOUND sound;
  ASSERT_EQ(sound.Open((root() / "Track01.cda").string(), "CDA", nullptr), kResultSuccess);
  EXPECT_EQ(Opens()[0].type, "CDAudio");
  EXPECT_EQ(Opens()[0].flags, 0x2002u);
  MediaInfo info;
  sound.GetInfo(info);
  EXPECT_STREQ(info.FileName, "音楽ＣＤ");
  EXPECT_STREQ(info.Format, "CDA");
}

TEST_F(McisoundObject, FailedTypedOpenIsRetriedByExtensionWithoutThePortSetting) {
  ProgramSettings().midisetDevice = 1;
  driver_.openResults = {MCIERR_SEQ_NOMIDIPRESENT};
  MCISOUND sound;
  ASSERT_EQ(sound.Open(file_, "MID", nullptr), kResultSuccess);
  const auto opens = Opens();
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_EQ(opens[1].flags, 0x202u);
  EXPECT_EQ(opens[1].type, "");
  EXPECT_EQ(opens[1].element, file_);
  for (const Sent& s : driver_.sent) EXPECT_FALSE(s.message == MCI_SET && (s.flags & MCI_SEQ_SET_PORT));
}

struct ErrorCase {
  MCIERROR error;
  int result;
};

class McisoundOpenError : public McisoundObject, public testing::WithParamInterface<ErrorCase> {};

TEST_P(McisoundOpenError, SecondFailureGivesTheResultCodeAndNoDevice) {
  driver_.openResults = {GetParam().error, GetParam().error};
  {
    MCISOUND sound;
    EXPECT_EQ(sound.Open(file_, "WAV", nullptr), GetParam().result);
  }
  EXPECT_EQ(Find(MCI_CLOSE), nullptr);  // nothing was open, so nothing is closed
}

INSTANTIATE_TEST_SUITE_P(Codes, McisoundOpenError,
                         testing::Values(ErrorCase{MCIERR_OUT_OF_MEMORY, 8}, ErrorCase{MCIERR_FILE_NOT_FOUND, 3},
                                         ErrorCase{MCIERR_FILENAME_REQUIRED, 3}, ErrorCase{MCIERR_FILE_READ, 3},
                                         ErrorCase{MCIERR_DEVICE_NOT_READY, 6},
                                         ErrorCase{MCIERR_MUST_USE_SHAREABLE, 6},
                                         ErrorCase{MCIERR_EXTENSION_NOT_FOUND, 5}, ErrorCase{MCIERR_INVALID_FILE, 5},
                                         ErrorCase{MCIERR_DRIVER, 1}, ErrorCase{MCIERR_SEQ_NOMIDIPRESENT, 1}));

TEST_F(McisoundObject, DriverFaultDuringOpenGivesTheFatalCode) {
  driver_.throwOnOpen = true;
  MCISOUND sound;
  EXPECT_EQ(sound.Open(file_, "WAV", nullptr), kResultFatalError);
}

TEST_F(McisoundObject, OperationsSendTheirCommands) {
  MCISOUND sound;
  ASSERT_EQ(sound.Open(file_, "WAV", nullptr), kResultSuccess);
  driver_.sent.clear();
  sound.Play(-1.0);
  sound.Play(2.3456);
  sound.Stop();
  sound.SetSpeed(150);
  ASSERT_EQ(driver_.sent.size(), 5u);
  EXPECT_EQ(driver_.sent[0].flags, 0u);
  EXPECT_EQ(driver_.sent[1].flags, MCI_FROM);
  EXPECT_EQ(driver_.sent[1].value, 2345u);
  EXPECT_EQ(driver_.sent[2].message, MCI_PAUSE);
  EXPECT_EQ(driver_.sent[2].flags, MCI_WAIT);
  EXPECT_EQ(driver_.sent[3].message, MCI_SEEK);
  EXPECT_EQ(driver_.sent[3].flags, MCI_SEEK_TO_START | MCI_WAIT);
  EXPECT_EQ(driver_.sent[4].flags, 0x20002u);
  EXPECT_EQ(driver_.sent[4].value, 1500u);

  driver_.sent.clear();
  sound.Close();
  ASSERT_EQ(driver_.sent.size(), 2u);
  EXPECT_EQ(driver_.sent[0].message, MCI_STOP);
  EXPECT_EQ(driver_.sent[0].flags, MCI_WAIT);
  EXPECT_EQ(driver_.sent[1].message, MCI_CLOSE);
  EXPECT_EQ(driver_.sent[1].flags, 0u);
}

// Arguments that no device value can hold: numbers that are not finite and
// negative speeds are refused, huge ones held to the largest value.
TEST_F(McisoundObject, OperationsRefuseArgumentsTheDeviceCannotTake) {
  MCISOUND sound;
  ASSERT_EQ(sound.Open(file_, "WAV", nullptr), kResultSuccess);
  driver_.sent.clear();
  sound.Play(std::nan(""));
  sound.Play(HUGE_VAL);
  sound.SetSpeed(-5);
  EXPECT_TRUE(driver_.sent.empty());

  sound.Play(1e12);
  sound.SetSpeed(std::numeric_limits<int>::max());
  ASSERT_EQ(driver_.sent.size(), 2u);
  EXPECT_EQ(driver_.sent[0].flags, MCI_FROM);
  EXPECT_EQ(driver_.sent[0].value, std::numeric_limits<uint32_t>::max());
  EXPECT_EQ(driver_.sent[1].flags, 0x20002u);
  EXPECT_EQ(driver_.sent[1].value, std::numeric_limits<uint32_t>::max() / 10 * 10);
}

struct ModeCase {
  uint32_t mode;
  int playState;
  uint32_t toggleSends;
};

class McisoundStatus : public McisoundObject, public testing::WithParamInterface<ModeCase> {};

TEST_P(McisoundStatus, ModeGivesThePlayStateAndTheToggle) {
  MCISOUND sound;
  ASSERT_EQ(sound.Open(file_, "WAV", nullptr), kResultSuccess);
  driver_.mode = GetParam().mode;
  MediaState state{};
  sound.GetStatus(state);
  EXPECT_DOUBLE_EQ(state.TimePos, 1.234);
  EXPECT_EQ(state.PlayState, GetParam().playState);
  driver_.sent.clear();
  sound.TogglePause();
  EXPECT_EQ(driver_.sent.back().message, GetParam().toggleSends);
}

INSTANTIATE_TEST_SUITE_P(Modes, McisoundStatus,
                         testing::Values(ModeCase{MCI_MODE_PLAY, kPlaying, MCI_PAUSE},
                                         ModeCase{MCI_MODE_PAUSE, kPaused, MCI_PLAY},
                                         ModeCase{MCI_MODE_STOP, kStopped, MCI_PLAY},
                                         ModeCase{MCI_MODE_SEEK, kStopped, MCI_PLAY}));

// ---- MIDI reset ------------------------------------------------------------

class MidiResetPort : public McisoundObject {
 protected:
  void SetUp() override {
    McisoundObject::SetUp();
    SetMidiPortSystemForTesting(ports_);
  }
  void TearDown() override {
    SetMidiPortSystemForTesting(nullptr);
    McisoundObject::TearDown();
  }
  std::shared_ptr<test::RecordingMidiPorts> ports_ =
      std::make_shared<test::RecordingMidiPorts>(std::vector<std::string>{"A", "B", "C"});
};

struct ResetCase {
  int reset;
  std::vector<uint8_t> message;
};

class MidiResetSent : public MidiResetPort, public testing::WithParamInterface<ResetCase> {};

TEST_P(MidiResetSent, OpeningAMidiFileSendsExactlyThatMessageToThePort) {
  ProgramSettings().midisetReset = GetParam().reset;
  ProgramSettings().midisetDevice = 2;
  MCISOUND sound;
  ASSERT_EQ(sound.Open(file_, "MID", nullptr), kResultSuccess);
  const auto messages = ports_->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].port, 2u);
  EXPECT_EQ(messages[0].bytes, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Resets, MidiResetSent,
    testing::Values(ResetCase{0, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
                    ResetCase{1, {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}},
                    ResetCase{2, {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}},
                    ResetCase{7, {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}}));

// With the mapper the file plays through the synthesizer device, so the reset
// goes there (after the open, which it needs) and to no port.
TEST_P(MidiResetSent, WithTheMapperTheDeviceThatPlaysTakesThatMessage) {
  ProgramSettings().midisetReset = GetParam().reset;
  MCISOUND sound;
  ASSERT_EQ(sound.Open(file_, "MID", nullptr), kResultSuccess);
  EXPECT_TRUE(ports_->Messages().empty());
  EXPECT_EQ(ports_->Connections(), 0);
  std::vector<std::vector<uint8_t>> resets;
  for (const Sent& s : driver_.sent) {
    if (s.message == MCI_SET && (s.flags & MCI_MIDI_SET_RESET)) resets.push_back(s.bytes);
  }
  ASSERT_EQ(resets.size(), 1u);
  EXPECT_EQ(resets[0], GetParam().message);
}

TEST_F(MidiResetPort, APortThatCannotPlayLeavesTheResetToTheDeviceThatDoes) {
  ProgramSettings().midisetReset = 1;
  ProgramSettings().midisetDevice = 1;
  const auto resetsToTheDevice = [this] {
    int count = 0;
    for (const Sent& s : driver_.sent) count += s.message == MCI_SET && (s.flags & MCI_MIDI_SET_RESET) ? 1 : 0;
    return count;
  };
  {
    MCISOUND sequenced;
    ASSERT_EQ(sequenced.Open(file_, "MID", nullptr), kResultSuccess);
  }
  // The port has the reset from the open; the sequencer keeps it for its
  // seeks, given after its port so that the open does not send it twice.
  EXPECT_EQ(ports_->Messages().size(), 1u);
  ASSERT_EQ(resetsToTheDevice(), 1);
  const auto setPort = std::find_if(driver_.sent.begin(), driver_.sent.end(),
                                    [](const Sent& s) { return s.message == MCI_SET && (s.flags & MCI_SEQ_SET_PORT); });
  const auto setReset = std::find_if(driver_.sent.begin(), driver_.sent.end(), [](const Sent& s) {
    return s.message == MCI_SET && (s.flags & MCI_MIDI_SET_RESET);
  });
  EXPECT_LT(setPort, setReset);
  driver_.openResults = {MCIERR_SEQ_NOMIDIPRESENT};
  {
    MCISOUND synthesized;
    ASSERT_EQ(synthesized.Open(file_, "MID", nullptr), kResultSuccess);
  }
  EXPECT_EQ(resetsToTheDevice(), 2);
}

TEST_F(MidiResetPort, ResetThreeSendsNothingAndOtherFilesNoReset) {
  ProgramSettings().midisetReset = 3;
  {
    MCISOUND sound;
    sound.Open(file_, "MID", nullptr);
  }
  ProgramSettings().midisetReset = 0;
  {
    MCISOUND sound;
    sound.Open((root() / "a.wav").string(), "WAV", nullptr);
  }
  EXPECT_EQ(ports_->Connections(), 0);
  EXPECT_TRUE(ports_->Messages().empty());
  for (const Sent& s : driver_.sent) EXPECT_FALSE(s.message == MCI_SET && (s.flags & MCI_MIDI_SET_RESET));
}

TEST_F(MidiResetPort, MapperMeansTheFirstPortAndAMissingPortIsSkipped) {
  SendMidiReset(-1, 0);
  SendMidiReset(9, 0);
  const auto messages = ports_->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].port, 0u);
}

}  // namespace
}  // namespace qorve
