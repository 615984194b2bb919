// The MCI layer: the command table, the GStreamer device into the capture
// file, the sequencer device on a recording port system, the CD device
// without a disc, and GStreamer's errors as MCI errors.
#include "platform/mci.h"

#include "platform/mci_gstreamer.h"
#include "platform/midi_out.h"
#include "support/midi_port_fake.h"
#include "support/scoped_env.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace qorve {
namespace {

using namespace std::chrono_literals;

// ---- GStreamer errors ----------------------------------------------------

struct GstCase {
  const char* name;
  GQuark (*domain)();
  int code;
  MCIERROR mci;
};

class GstErrorMapping : public testing::TestWithParam<GstCase> {};

TEST_P(GstErrorMapping, GivesTheMciErrorWhoseResultMeansTheSame) {
  GError* error = g_error_new_literal(GetParam().domain(), GetParam().code, "x");
  EXPECT_EQ(MciErrorFromGstError(error), GetParam().mci);
  g_error_free(error);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, GstErrorMapping,
    testing::Values(GstCase{"MissingFile", gst_resource_error_quark, GST_RESOURCE_ERROR_NOT_FOUND, MCIERR_FILE_NOT_FOUND},
                    GstCase{"Unreadable", gst_resource_error_quark, GST_RESOURCE_ERROR_OPEN_READ, MCIERR_FILE_READ},
                    GstCase{"SinkWillNotOpen", gst_resource_error_quark, GST_RESOURCE_ERROR_OPEN_WRITE,
                            MCIERR_DEVICE_NOT_READY},
                    GstCase{"SinkBusy", gst_resource_error_quark, GST_RESOURCE_ERROR_BUSY, MCIERR_MUST_USE_SHAREABLE},
                    GstCase{"UnknownType", gst_stream_error_quark, GST_STREAM_ERROR_TYPE_NOT_FOUND, MCIERR_INVALID_FILE},
                    GstCase{"NoDecoder", gst_stream_error_quark, GST_STREAM_ERROR_CODEC_NOT_FOUND, MCIERR_INVALID_FILE},
                    GstCase{"BrokenStream", gst_stream_error_quark, GST_STREAM_ERROR_DECODE, MCIERR_INVALID_FILE},
                    GstCase{"MissingPlugin", gst_core_error_quark, GST_CORE_ERROR_MISSING_PLUGIN, MCIERR_INVALID_FILE},
                    GstCase{"Other", gst_core_error_quark, GST_CORE_ERROR_CLOCK, MCIERR_DRIVER}),
    [](const auto& info) { return info.param.name; });

// ---- Command layer and the GStreamer device ---------------------------------

class MciDevices : public test::TempHome {
 protected:
  MCIERROR OpenTyped(const char* type, const std::string& element, MCIDEVICEID& id) {
    MCI_OPEN_PARMS open{};
    open.lpstrDeviceType = type;
    open.lpstrElementName = element.c_str();
    const MCIERROR error = mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT, &open);
    id = open.wDeviceID;
    return error;
  }
  uint32_t Status(MCIDEVICEID id, uint32_t item) {
    MCI_STATUS_PARMS status{};
    status.dwItem = item;
    EXPECT_EQ(mciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &status), MCIERR_NO_ERROR);
    return static_cast<uint32_t>(status.dwReturn);
  }
  bool WaitForMode(MCIDEVICEID id, uint32_t mode, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
      if (Status(id, MCI_STATUS_MODE) == mode) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }
};

TEST_F(MciDevices, CommandsNeedAnOpenDeviceAndAnOpenNeedsANameOrType) {
  MCI_GENERIC_PARMS generic{};
  EXPECT_EQ(mciSendCommand(77, MCI_PLAY, 0, &generic), MCIERR_INVALID_DEVICE_ID);
  MCI_OPEN_PARMS open{};
  EXPECT_EQ(mciSendCommand(0, MCI_OPEN, MCI_WAIT, &open), MCIERR_INVALID_DEVICE_NAME);
  open.lpstrElementName = "";
  EXPECT_EQ(mciSendCommand(0, MCI_OPEN, MCI_OPEN_ELEMENT, &open), MCIERR_FILENAME_REQUIRED);
  MCIDEVICEID id = 0;
  EXPECT_EQ(OpenTyped("NoSuchDevice", "x", id), MCIERR_INVALID_DEVICE_NAME);
}

TEST_F(MciDevices, MissingAndUndecodableFilesFailAsTheirErrors) {
  test::ScopedEnv audio;
  audio.Set("QORVE_AUDIO", std::string("wav-fast:" + (root() / "capture.wav").string()).c_str());
  MCIDEVICEID id = 0;
  EXPECT_EQ(OpenTyped("MPEGVideo", (root() / "missing.wav").string(), id), MCIERR_FILE_NOT_FOUND);
  test::WriteFile(root() / "noise.wav", std::string(5000, '\x17'));
  EXPECT_EQ(OpenTyped("MPEGVideo", (root() / "noise.wav").string(), id), MCIERR_INVALID_FILE);
  EXPECT_EQ(OpenTyped("sequencer", (root() / "noise.wav").string(), id), MCIERR_INVALID_FILE);
}

TEST_F(MciDevices, UnknownAudioSettingIsADeviceNotReady) {
  if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox makes the file";
  const auto wav = root() / "tone.wav";
  ASSERT_EQ(std::system(("sox -n -r 44100 -c 2 -b 16 '" + wav.string() + "' synth 0.3 sine 440").c_str()), 0);
  test::ScopedEnv audio;
  audio.Set("QORVE_AUDIO", std::string("nowhere").c_str());
  MCIDEVICEID id = 0;
  EXPECT_EQ(OpenTyped("MPEGVideo", wav.string(), id), MCIERR_DEVICE_NOT_READY);
}

TEST_F(MciDevices, WaveFilePlaysIntoTheCaptureAndStopsAtItsEnd) {
  if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox makes the file";
  const auto wav = root() / "tone.wav";
  ASSERT_EQ(std::system(("sox -n -r 22050 -c 1 -b 16 '" + wav.string() + "' synth 0.5 sine 440").c_str()), 0);
  const auto capture = root() / "capture.wav";
  test::ScopedEnv audio;
  audio.Set("QORVE_AUDIO", std::string("wav-fast:" + capture.string()).c_str());
  MCIDEVICEID id = 0;
  ASSERT_EQ(OpenTyped("MPEGVideo", wav.string(), id), MCIERR_NO_ERROR);
  EXPECT_EQ(Status(id, MCI_STATUS_LENGTH), 500u);
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
  MCI_PLAY_PARMS play{};
  ASSERT_EQ(mciSendCommand(id, MCI_PLAY, 0, &play), MCIERR_NO_ERROR);
  ASSERT_TRUE(WaitForMode(id, MCI_MODE_STOP, 10s));
  EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 500u);
  play.dwFrom = 900;
  EXPECT_EQ(mciSendCommand(id, MCI_PLAY, MCI_FROM, &play), MCIERR_OUTOFRANGE);
  MCI_GENERIC_PARMS generic{};
  ASSERT_EQ(mciSendCommand(id, MCI_CLOSE, 0, &generic), MCIERR_NO_ERROR);
  EXPECT_EQ(mciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, &generic), MCIERR_INVALID_DEVICE_ID);

  // Resampled to the capture's 44.1 kHz stereo 16-bit: 0.5 s is 88200 bytes.
  const std::string captured = test::ReadFile(capture);
  ASSERT_GT(captured.size(), 44u);
  EXPECT_NEAR(static_cast<double>(captured.size() - 44), 88200.0, 4410.0);
}

TEST_F(MciDevices, WhereGivesThePictureSizeOfAVideoAndNoneForSound) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg makes the file";
  const auto video = root() / "clip.avi";
  ASSERT_EQ(std::system(("ffmpeg -loglevel error -nostdin -y -f lavfi -i testsrc=size=64x48:rate=10 -f lavfi -i "
                         "sine=frequency=440 -t 0.5 -c:v mpeg4 -c:a pcm_s16le '" + video.string() + "'").c_str()),
            0);
  test::ScopedEnv audio;
  audio.Set("QORVE_AUDIO", ("wav-fast:" + (root() / "capture.wav").string()).c_str());
  MCIDEVICEID id = 0;
  ASSERT_EQ(OpenTyped("MPEGVideo", video.string(), id), MCIERR_NO_ERROR);
  MCI_DGV_RECT_PARMS where{};
  ASSERT_EQ(mciSendCommand(id, MCI_WHERE, MCI_DGV_WHERE_SOURCE | MCI_WAIT, &where), MCIERR_NO_ERROR);
  EXPECT_EQ(where.rc.right - where.rc.left, 64);
  EXPECT_EQ(where.rc.bottom - where.rc.top, 48);
  EXPECT_NEAR(Status(id, MCI_STATUS_LENGTH), 500.0, 10.0);
  MCI_GENERIC_PARMS generic{};
  mciSendCommand(id, MCI_CLOSE, 0, &generic);
}

// ---- CD ------------------------------------------------------------------

TEST_F(MciDevices, CdWithoutADriveOrDiscIsNotReady) {
  for (const std::string& drive : {(root() / "no-drive").string(), (root() / "plain-file").string()}) {
    test::WriteFile(root() / "plain-file", "not a drive");
    test::ScopedEnv cd;
  cd.Set("QORVE_CD_DEVICE", std::string(drive).c_str());
    MCI_OPEN_PARMS open{};
    open.lpstrDeviceType = "CDAudio";
    EXPECT_EQ(mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_WAIT, &open), MCIERR_DEVICE_NOT_READY) << drive;
    open = MCI_OPEN_PARMS{};
    open.lpstrElementName = "Track01.cda";
    EXPECT_EQ(mciSendCommand(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT, &open), MCIERR_DEVICE_NOT_READY) << drive;
  }
}

// ---- Sequencer -------------------------------------------------------------

// Format 0, 480 ticks a quarter at 120 bpm: a program change, a note at 0
// ending at 100 ms, a note at 200 ms ending at 300 ms.
std::string ShortSong() {
  const std::string track = std::string("\x00\xC0\x05", 3) + std::string("\x00\x90\x3C\x64", 4) +
                            std::string("\x60\x80\x3C\x00", 4) + std::string("\x60\x90\x40\x64", 4) +
                            std::string("\x60\x80\x40\x00", 4) + std::string("\x00\xFF\x2F\x00", 4);
  auto be = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
  return "MThd" + be(6) + std::string("\0\0\0\1\x01\xE0", 6) + "MTrk" + be(static_cast<uint32_t>(track.size())) + track;
}

class SequencerDevice : public MciDevices {
 protected:
  void SetUp() override {
    MciDevices::SetUp();
    SetMidiPortSystemForTesting(ports_);
    test::WriteFile(root() / "song.mid", ShortSong());
  }
  void TearDown() override {
    SetMidiPortSystemForTesting(nullptr);
    MciDevices::TearDown();
  }
  std::shared_ptr<test::RecordingMidiPorts> ports_ =
      std::make_shared<test::RecordingMidiPorts>(std::vector<std::string>{"Mapper", "Chosen"});
};

TEST_F(SequencerDevice, SendsEveryMessageInTimeToTheChosenPort) {
  MCIDEVICEID id = 0;
  ASSERT_EQ(OpenTyped("sequencer", (root() / "song.mid").string(), id), MCIERR_NO_ERROR);
  MCI_SEQ_SET_PARMS set{};
  set.dwPort = 1;
  ASSERT_EQ(mciSendCommand(id, MCI_SET, MCI_WAIT | MCI_SEQ_SET_PORT, &set), MCIERR_NO_ERROR);
  set.dwPort = 9;
  EXPECT_EQ(mciSendCommand(id, MCI_SET, MCI_WAIT | MCI_SEQ_SET_PORT, &set), MCIERR_SEQ_PORT_NONEXISTENT);
  EXPECT_EQ(Status(id, MCI_STATUS_LENGTH), 300u);

  const auto start = std::chrono::steady_clock::now();
  MCI_PLAY_PARMS play{};
  ASSERT_EQ(mciSendCommand(id, MCI_PLAY, 0, &play), MCIERR_NO_ERROR);
  ASSERT_TRUE(WaitForMode(id, MCI_MODE_STOP, 3s));
  EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 300u);
  MCI_GENERIC_PARMS generic{};
  mciSendCommand(id, MCI_CLOSE, 0, &generic);

  const auto messages = ports_->Messages();
  ASSERT_EQ(messages.size(), 5u);
  const std::vector<std::vector<uint8_t>> expected = {
      {0xC0, 0x05}, {0x90, 0x3C, 0x64}, {0x80, 0x3C, 0x00}, {0x90, 0x40, 0x64}, {0x80, 0x40, 0x00}};
  const int due[] = {0, 0, 100, 200, 300};
  for (std::size_t i = 0; i < messages.size(); ++i) {
    EXPECT_EQ(messages[i].port, 1u);
    EXPECT_EQ(messages[i].bytes, expected[i]);
    const auto at = std::chrono::duration_cast<std::chrono::milliseconds>(messages[i].at - start).count();
    EXPECT_NEAR(static_cast<double>(at), due[i], 40.0) << "message " << i;
  }
}

TEST_F(SequencerDevice, PauseSilencesAndKeepsThePlaceAndSeekChasesTheProgram) {
  MCIDEVICEID id = 0;
  ASSERT_EQ(OpenTyped("sequencer", (root() / "song.mid").string(), id), MCIERR_NO_ERROR);
  MCI_PLAY_PARMS play{};
  mciSendCommand(id, MCI_PLAY, 0, &play);
  std::this_thread::sleep_for(50ms);
  MCI_GENERIC_PARMS generic{};
  mciSendCommand(id, MCI_PAUSE, MCI_WAIT, &generic);
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_PAUSE);
  const uint32_t held = Status(id, MCI_STATUS_POSITION);
  EXPECT_NEAR(held, 50.0, 30.0);
  // The note that was sounding is ended by the pause.
  EXPECT_EQ(ports_->BytesSentTo(0).back(), (std::vector<uint8_t>{0x80, 0x3C, 0x00}));
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(Status(id, MCI_STATUS_POSITION), held);

  ports_->Clear();
  play.dwFrom = 150;
  mciSendCommand(id, MCI_PLAY, MCI_FROM, &play);
  ASSERT_TRUE(WaitForMode(id, MCI_MODE_STOP, 3s));
  const auto sent = ports_->BytesSentTo(0);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0], (std::vector<uint8_t>{0xC0, 0x05}));  // the program from before 150 ms
  EXPECT_EQ(sent[1], (std::vector<uint8_t>{0x90, 0x40, 0x64}));
  mciSendCommand(id, MCI_CLOSE, 0, &generic);
}

TEST_F(SequencerDevice, NoMidiPortAtAllFailsTheOpen) {
  SetMidiPortSystemForTesting(std::make_shared<test::RecordingMidiPorts>(std::vector<std::string>{}));
  MCIDEVICEID id = 0;
  EXPECT_EQ(OpenTyped("sequencer", (root() / "song.mid").string(), id), MCIERR_SEQ_NOMIDIPRESENT);
}

}  // namespace
}  // namespace qorve
