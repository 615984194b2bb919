// The MCI layer: the command table, the GStreamer device into the capture
// file, the MIDI synthesizer device into the capture file and on a virtual
// sound card, the sequencer device on a recording port system, the CD device
// without a disc, and GStreamer's errors as MCI errors.
#include "platform/mci/mci.h"

#include "platform/audio/wave_out_virtual.h"
#include "platform/mci/mci_gstreamer.h"
#include "platform/mci/video_surface.h"
#include "platform/midi/midi_file.h"
#include "platform/midi/midi_out.h"
#include "support/midi_port_fake.h"
#include "support/scoped_env.h"
#include "support/shared_media.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
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
  // A null type opens by the element's extension.
  MCIERROR OpenTyped(const char* type, const std::string& element, MCIDEVICEID& id) {
    MCI_OPEN_PARMS open{};
    open.lpstrDeviceType = type;
    open.lpstrElementName = element.c_str();
    const MCIERROR error =
        mciSendCommand(0, MCI_OPEN, (type ? MCI_OPEN_TYPE : 0) | MCI_OPEN_ELEMENT | MCI_WAIT, &open);
    id = open.wDeviceID;
    return error;
  }
  void Close(MCIDEVICEID id) {
    MCI_GENERIC_PARMS generic{};
    EXPECT_EQ(mciSendCommand(id, MCI_CLOSE, 0, &generic), MCIERR_NO_ERROR);
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

// A surface that records where the picture is put; its native window is the
// one given (a window that does not exist makes the sink fail).
class RecordingSurface final : public VideoSurface {
 public:
  explicit RecordingSurface(uintptr_t window) : window_(window) {}
  uintptr_t NativeWindow() override { return window_; }
  void PlacePicture(int x, int y, int width, int height) override { placed = MCI_RECT{x, y, width, height}; }
  MCI_RECT placed{-1, -1, -1, -1};

 private:
  uintptr_t window_;
};

TEST_F(MciDevices, VideoWindowKeepsThePlaceAndTheDestinationReachesTheSurface) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg makes the file";
  // An MPEG program stream, whose own clock starts half a second in.
  const auto video = root() / "clip.mpg";
  ASSERT_EQ(std::system(("ffmpeg -loglevel error -nostdin -y -f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i "
                         "sine=frequency=440 -t 2 -c:v mpeg1video -c:a mp2 -f mpeg '" + video.string() + "'").c_str()),
            0);
  test::ScopedEnv audio;
  audio.Set("QORVE_AUDIO", ("wav:" + (root() / "capture.wav").string()).c_str());
  MCIDEVICEID id = 0;
  ASSERT_EQ(OpenTyped("MPEGVideo", video.string(), id), MCIERR_NO_ERROR);
  EXPECT_LT(Status(id, MCI_STATUS_POSITION), 20u);  // counted from the media's start
  MCI_PLAY_PARMS play{};
  play.dwFrom = 500;
  ASSERT_EQ(mciSendCommand(id, MCI_PLAY, MCI_FROM, &play), MCIERR_NO_ERROR);
  std::this_thread::sleep_for(300ms);
  // A window whose sink cannot draw: the device goes on without a picture,
  // where it was and playing.
  RecordingSurface surface(0x7FFFFFF0);
  MCI_DGV_WINDOW_PARMS window{};
  window.hWnd = reinterpret_cast<uintptr_t>(&surface);
  EXPECT_EQ(mciSendCommand(id, MCI_WINDOW, MCI_DGV_WINDOW_HWND | MCI_WAIT, &window), MCIERR_NO_ERROR);
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_PLAY);
  const uint32_t position = Status(id, MCI_STATUS_POSITION);
  EXPECT_GT(position, 700u);
  EXPECT_LT(position, 1500u);
  MCI_DGV_RECT_PARMS put{};
  put.rc = MCI_RECT{3, 4, 50, 40};
  EXPECT_EQ(mciSendCommand(id, MCI_PUT, MCI_DGV_RECT | MCI_DGV_PUT_DESTINATION | MCI_WAIT, &put), MCIERR_NO_ERROR);
  EXPECT_EQ(surface.placed.left, 3);
  EXPECT_EQ(surface.placed.top, 4);
  EXPECT_EQ(surface.placed.right, 50);
  EXPECT_EQ(surface.placed.bottom, 40);
  // Played to its end, the position is the length, not the stream's clock.
  EXPECT_TRUE(WaitForMode(id, MCI_MODE_STOP, 3s));
  EXPECT_NEAR(Status(id, MCI_STATUS_POSITION), Status(id, MCI_STATUS_LENGTH), 30.0);
  Close(id);
}

// ---- MIDI synthesizer ------------------------------------------------------

std::string Be32(uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string Le32(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

std::string Smf(const std::string& track) {
  return "MThd" + Be32(6) + std::string("\0\0\0\1\x01\xE0", 6) + "MTrk" + Be32(static_cast<uint32_t>(track.size())) +
         track + std::string("\x00\xFF\x2F\x00", 4);
}

// 480 ticks a quarter: a rest of one quarter at 120 bpm (500 ms), then the
// tempo halves and a chord sounds for one quarter (1000 ms): 1.5 s in all.
std::string RestThenChord() {
  return Smf(std::string("\x00\xC0\x00\x83\x60\xFF\x51\x03\x0F\x42\x40", 11) +
             std::string("\x00\x90\x3C\x64\x00\x90\x40\x64\x00\x90\x43\x64", 12) +
             std::string("\x83\x60\x80\x3C\x00\x00\x80\x40\x00\x00\x80\x43\x00", 13));
}

// Channel volume `volume` at 0, a short note at 0 and a note from 1000 to
// 1500 ms (120 bpm).
std::string VolumeThenNotes(int volume) {
  return Smf(std::string("\x00\xB0\x07", 3) + static_cast<char>(volume) +
             std::string("\x00\x90\x3C\x64\x60\x80\x3C\x00", 8) +  // 0 to 100 ms
             std::string("\x86\x60\x90\x40\x64\x83\x60\x80\x40\x00", 10));  // 1000 to 1500 ms
}

// `seconds` of quarter notes at 120 bpm.
std::string Notes(int seconds) {
  std::string track;
  for (int i = 0; i < seconds * 2; ++i) {
    const char note = static_cast<char>(60 + i % 12);
    track += std::string("\x00\x90", 2) + note + '\x64' + std::string("\x83\x60\x80", 3) + note + '\0';
  }
  return Smf(track);
}

std::string RiffMidi(const std::string& smf) {
  return "RIFF" + Le32(static_cast<uint32_t>(smf.size() + 12)) + "RMID" + "data" +
         Le32(static_cast<uint32_t>(smf.size())) + smf;
}

// The root mean square of the 16-bit samples of a capture file between two
// times (seconds), and its length.
struct CaptureSound {
  std::string bytes;
  explicit CaptureSound(const std::filesystem::path& path) : bytes(test::ReadFile(path)) {}
  double Seconds() const { return bytes.size() > 44 ? (bytes.size() - 44) / 4.0 / 44100 : 0; }
  double Rms(double from, double to) const {
    const std::size_t first = 44 + static_cast<std::size_t>(from * 44100) * 4;
    const std::size_t last = std::min(bytes.size(), 44 + static_cast<std::size_t>(to * 44100) * 4);
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t at = first; at + 1 < last; at += 2, ++count) {
      const double sample = static_cast<int16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
      sum += sample * sample;
    }
    return count ? std::sqrt(sum / static_cast<double>(count)) : 0;
  }
};

class SynthesizerDevice : public MciDevices {
 protected:
  void SetUp() override {
    MciDevices::SetUp();
    capture_ = root() / "capture.wav";
    env_.Set("QORVE_AUDIO", ("wav-fast:" + capture_.string()).c_str());
  }
  // Plays from `from` to the end into the capture file and closes the device.
  void PlayToEnd(MCIDEVICEID id, uint32_t from = 0) {
    MCI_PLAY_PARMS play{};
    play.dwFrom = from;
    ASSERT_EQ(mciSendCommand(id, MCI_PLAY, MCI_FROM, &play), MCIERR_NO_ERROR);
    ASSERT_TRUE(WaitForMode(id, MCI_MODE_STOP, 60s));
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), Status(id, MCI_STATUS_LENGTH));
    Close(id);
  }
  test::ScopedEnv env_;
  std::filesystem::path capture_;
};

// Debian's python3-mido reads MIDI files on its own; its length of a song is
// the reference for ours. Negative when it is not installed.
double MidoSeconds(const std::filesystem::path& file) {
  const std::string command =
      "/usr/bin/python3 -c 'import sys, mido; print(mido.MidiFile(sys.argv[1]).length)' '" + file.string() + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  double seconds = -1;
  if (std::fscanf(pipe, "%lf", &seconds) != 1) seconds = -1;
  return pclose(pipe) == 0 ? seconds : -1;
}

TEST_F(SynthesizerDevice, RealSongsOpenWithTheLengthOfTheirTempoMapAndSound) {
  for (const char* name : {"atl_yoru-uta_format0.mid", "atl_TRANSIT1.MID"}) {
    const std::filesystem::path file = test::SharedMedia() / "mid" / name;
    QORVE_NEED_SHARED_MEDIA_AT(file);
    const auto song = ParseMidiFile(test::ReadFile(file));
    ASSERT_TRUE(song) << name;
    for (const char* type : {"MPEGVideo", static_cast<const char*>(nullptr)}) {
      MCIDEVICEID id = 0;
      ASSERT_EQ(OpenTyped(type, file.string(), id), MCIERR_NO_ERROR) << name;
      EXPECT_EQ(Status(id, MCI_STATUS_LENGTH), static_cast<uint32_t>(song->lengthMilliseconds)) << name;
      if (const double reference = MidoSeconds(file); reference >= 0) {
        EXPECT_NEAR(Status(id, MCI_STATUS_LENGTH), reference * 1000, 1.0) << name;
      }
      Close(id);
    }
  }
  // Six seconds from the middle of the first song, into the capture.
  MCIDEVICEID id = 0;
  ASSERT_EQ(OpenTyped("MPEGVideo", (test::SharedMedia() / "mid/atl_yoru-uta_format0.mid").string(), id),
            MCIERR_NO_ERROR);
  MCI_PLAY_PARMS play{};
  play.dwFrom = 60000;
  ASSERT_EQ(mciSendCommand(id, MCI_PLAY, MCI_FROM, &play), MCIERR_NO_ERROR);
  const auto until = std::chrono::steady_clock::now() + 60s;
  while (Status(id, MCI_STATUS_POSITION) < 66000 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(2ms);
  Close(id);
  const CaptureSound sound(capture_);
  EXPECT_GE(sound.Seconds(), 6.0);
  EXPECT_GT(sound.Rms(0, 6), 300.0);
}

struct SongCase {
  const char* name;
  const char* fileName;
  bool riff;         // wrapped in RIFF RMID
  const char* type;  // null: opened by extension
};

class SynthesizerSong : public SynthesizerDevice, public testing::WithParamInterface<SongCase> {};

TEST_P(SynthesizerSong, PlaysForItsLengthWithTheNotesAtTheirTimes) {
  const auto file = root() / GetParam().fileName;
  test::WriteFile(file, GetParam().riff ? RiffMidi(RestThenChord()) : RestThenChord());
  MCIDEVICEID id = 0;
  ASSERT_EQ(OpenTyped(GetParam().type, file.string(), id), MCIERR_NO_ERROR);
  EXPECT_EQ(Status(id, MCI_STATUS_LENGTH), 1500u);
  PlayToEnd(id);

  const CaptureSound sound(capture_);
  EXPECT_NEAR(sound.Seconds(), 1.5, 0.001);
  EXPECT_LT(sound.Rms(0, 0.495), 2.0);  // the rest: nothing but dither
  EXPECT_GT(sound.Rms(0.505, 1.5), 300.0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SynthesizerSong,
    testing::Values(SongCase{"StandardMidiFile", "song.mid", false, "MPEGVideo"},
                    SongCase{"RiffMidiByExtension", "song.RMI", true, nullptr},
                    SongCase{"MidiBytesUnderAnotherName", "song.dat", false, "MPEGVideo"},
                    SongCase{"MidiExtensionByExtension", "song.midi", false, nullptr}),
    [](const auto& info) { return info.param.name; });

class SynthesizerChase : public SynthesizerDevice, public testing::WithParamInterface<int> {};

TEST_P(SynthesizerChase, PlayingFromTheMiddleSoundsWithTheChannelStateBeforeIt) {
  const int volume = GetParam();
  test::WriteFile(root() / "song.mid", VolumeThenNotes(volume));
  MCIDEVICEID id = 0;
  ASSERT_EQ(OpenTyped("MPEGVideo", (root() / "song.mid").string(), id), MCIERR_NO_ERROR);
  PlayToEnd(id, 800);
  const CaptureSound sound(capture_);
  EXPECT_NEAR(sound.Seconds(), 0.7, 0.001);
  if (volume == 0) EXPECT_LT(sound.Rms(0, 0.7), 2.0);  // silenced before 800 ms
  else EXPECT_GT(sound.Rms(0.2, 0.7), 300.0);
}

INSTANTIATE_TEST_SUITE_P(Volumes, SynthesizerChase, testing::Values(0, 127));

TEST_F(SynthesizerDevice, TakesAResetMessageOnlyFramedAsSystemExclusive) {
  test::WriteFile(root() / "song.mid", Notes(1));
  MCIDEVICEID id = 0;
  ASSERT_EQ(OpenTyped("MPEGVideo", (root() / "song.mid").string(), id), MCIERR_NO_ERROR);
  const auto set = [id](std::vector<uint8_t> bytes) {
    MCI_MIDI_SET_RESET_PARMS reset{};
    reset.lpMessage = bytes.empty() ? nullptr : bytes.data();
    reset.dwLength = static_cast<uint32_t>(bytes.size());
    return mciSendCommand(id, MCI_SET, MCI_WAIT | MCI_MIDI_SET_RESET, &reset);
  };
  EXPECT_EQ(set({}), MCIERR_NO_ERROR);  // none
  EXPECT_EQ(set({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}), MCIERR_NO_ERROR);
  EXPECT_EQ(set({0x7E, 0x7F, 0x09, 0x01, 0xF7}), MCIERR_OUTOFRANGE);
  EXPECT_EQ(set({0xF0, 0x7E, 0x7F, 0x09, 0x01}), MCIERR_OUTOFRANGE);
  EXPECT_EQ(set({0xF0}), MCIERR_OUTOFRANGE);
  std::vector<uint8_t> tooLong(kMaxMidiResetBytes + 1, 0x00);
  tooLong.front() = 0xF0;
  tooLong.back() = 0xF7;
  EXPECT_EQ(set(tooLong), MCIERR_OUTOFRANGE);
  PlayToEnd(id);
  EXPECT_GT(CaptureSound(capture_).Rms(0, 0.5), 300.0);  // the song after its GM reset
}

struct OpenFailure {
  const char* name;
  const char* content;  // null: no file
  const char* variable;
  const char* value;
  const char* type;
  MCIERROR expected;
};

class SynthesizerOpen : public SynthesizerDevice, public testing::WithParamInterface<OpenFailure> {};

TEST_P(SynthesizerOpen, FailsWithTheErrorOfItsCause) {
  const auto file = root() / "song.mid";
  if (GetParam().content) test::WriteFile(file, *GetParam().content ? GetParam().content : Notes(1));
  if (GetParam().variable) env_.Set(GetParam().variable, GetParam().value);
  MCIDEVICEID id = 0;
  EXPECT_EQ(OpenTyped(GetParam().type, file.string(), id), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, SynthesizerOpen,
    testing::Values(OpenFailure{"Missing", nullptr, nullptr, nullptr, nullptr, MCIERR_FILE_NOT_FOUND},
                    OpenFailure{"GarbageByExtension", "MThx garbage", nullptr, nullptr, nullptr, MCIERR_INVALID_FILE},
                    OpenFailure{"GarbageAsMpegVideo", "MThd garbage", nullptr, nullptr, "MPEGVideo", MCIERR_INVALID_FILE},
                    OpenFailure{"NoSoundOutput", "", "QORVE_AUDIO", "nowhere", nullptr, MCIERR_DEVICE_NOT_READY},
                    OpenFailure{"NoSoundFont", "", "QORVE_SOUNDFONT", "/nonexistent/font.sf2", "MPEGVideo",
                                MCIERR_DEVICE_NOT_READY}),
    [](const auto& info) { return info.param.name; });

// On a virtual sound card the test decides what has been heard, so positions
// are exact.
class SynthesizerClock : public SynthesizerDevice {
 protected:
  void SetUp() override {
    SynthesizerDevice::SetUp();
    SetWaveOutFactory([card = card_] { return card->NewDevice(); });
    test::WriteFile(root() / "song.mid", Notes(3));
    ASSERT_EQ(OpenTyped("MPEGVideo", (root() / "song.mid").string(), id_), MCIERR_NO_ERROR);
  }
  void TearDown() override {
    Close(id_);
    SetWaveOutFactory(nullptr);
    SynthesizerDevice::TearDown();
  }
  // Lets the card play `ms` of sound, as the worker queues it.
  void Hear(int ms) {
    uint64_t left = static_cast<uint64_t>(ms) * 44100 / 1000 * 4;
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (left > 0 && std::chrono::steady_clock::now() < until) {
      const uint64_t queued = card_->QueuedBytes();
      if (queued == 0) {
        std::this_thread::sleep_for(1ms);
        continue;
      }
      left -= card_->Advance(std::min(left, queued));
    }
    ASSERT_EQ(left, 0u);
  }
  void Send(uint32_t message, uint32_t flags = 0, void* params = nullptr) {
    MCI_GENERIC_PARMS generic{};
    ASSERT_EQ(mciSendCommand(id_, message, flags, params ? params : &generic), MCIERR_NO_ERROR);
  }
  std::shared_ptr<VirtualSoundCard> card_ = std::make_shared<VirtualSoundCard>(false);
  MCIDEVICEID id_ = 0;
};

TEST_F(SynthesizerClock, PositionFollowsWhatIsHeardThroughPauseSeekSpeedAndTheEnd) {
  EXPECT_EQ(Status(id_, MCI_STATUS_LENGTH), 3000u);
  EXPECT_EQ(Status(id_, MCI_STATUS_MODE), MCI_MODE_STOP);
  Send(MCI_PLAY);
  Hear(300);
  EXPECT_NEAR(Status(id_, MCI_STATUS_POSITION), 300.0, 1.0);
  EXPECT_EQ(Status(id_, MCI_STATUS_MODE), MCI_MODE_PLAY);

  Send(MCI_PAUSE);
  EXPECT_EQ(Status(id_, MCI_STATUS_MODE), MCI_MODE_PAUSE);
  EXPECT_EQ(card_->Advance(44100), 0u);  // the card holds too
  EXPECT_NEAR(Status(id_, MCI_STATUS_POSITION), 300.0, 1.0);
  Send(MCI_RESUME);
  Hear(200);
  EXPECT_NEAR(Status(id_, MCI_STATUS_POSITION), 500.0, 1.0);

  MCI_SEEK_PARMS seek{};
  seek.dwTo = 1000;
  Send(MCI_SEEK, MCI_TO, &seek);
  EXPECT_EQ(Status(id_, MCI_STATUS_MODE), MCI_MODE_STOP);
  EXPECT_EQ(Status(id_, MCI_STATUS_POSITION), 1000u);
  MCI_PLAY_PARMS play{};
  play.dwFrom = 1200;
  Send(MCI_PLAY, MCI_FROM, &play);
  Hear(100);
  EXPECT_NEAR(Status(id_, MCI_STATUS_POSITION), 1300.0, 1.0);

  // Twice the speed from the next rendered frame: what is queued (a quarter
  // of a second, and at most a block more) still runs at the old.
  const auto filled = std::chrono::steady_clock::now() + 5s;
  while (card_->QueuedBytes() < 44100 && std::chrono::steady_clock::now() < filled) std::this_thread::sleep_for(1ms);
  MCI_DGV_SET_PARMS speed{};
  speed.dwSpeed = 2000;
  Send(MCI_SET, MCI_DGV_SET_SPEED, &speed);
  Hear(500);
  const double sped = Status(id_, MCI_STATUS_POSITION) - 1300.0;
  EXPECT_GE(sped, 1000 - 250 - 24);
  EXPECT_LE(sped, 1000 - 250 + 1);

  const auto until = std::chrono::steady_clock::now() + 10s;
  while (Status(id_, MCI_STATUS_MODE) == MCI_MODE_PLAY && std::chrono::steady_clock::now() < until) {
    card_->Advance(card_->QueuedBytes());
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(Status(id_, MCI_STATUS_MODE), MCI_MODE_STOP);
  EXPECT_EQ(Status(id_, MCI_STATUS_POSITION), 3000u);
  Send(MCI_PLAY);  // at the end: nothing left to play
  EXPECT_EQ(Status(id_, MCI_STATUS_MODE), MCI_MODE_STOP);
  MCI_SEEK_PARMS start{};
  Send(MCI_SEEK, MCI_SEEK_TO_START, &start);
  EXPECT_EQ(Status(id_, MCI_STATUS_POSITION), 0u);
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

TEST_F(SequencerDevice, EverySeekAndPortChangeStartsFromTheResetMessage) {
  MCIDEVICEID id = 0;
  ASSERT_EQ(OpenTyped("sequencer", (root() / "song.mid").string(), id), MCIERR_NO_ERROR);
  const std::vector<uint8_t> gs = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
  MCI_MIDI_SET_RESET_PARMS reset{};
  reset.lpMessage = gs.data();
  reset.dwLength = static_cast<uint32_t>(gs.size());
  ASSERT_EQ(mciSendCommand(id, MCI_SET, MCI_WAIT | MCI_MIDI_SET_RESET, &reset), MCIERR_NO_ERROR);

  // The first play from the start sends only the song: the port had the
  // reset when the file was opened.
  MCI_PLAY_PARMS play{};
  mciSendCommand(id, MCI_PLAY, 0, &play);
  ASSERT_TRUE(WaitForMode(id, MCI_MODE_STOP, 3s));
  EXPECT_EQ(ports_->BytesSentTo(0).front(), (std::vector<uint8_t>{0xC0, 0x05}));

  for (const uint32_t from : {150u, 0u}) {
    ports_->Clear();
    play.dwFrom = from;
    mciSendCommand(id, MCI_PLAY, MCI_FROM, &play);
    ASSERT_TRUE(WaitForMode(id, MCI_MODE_STOP, 3s));
    const auto sent = ports_->BytesSentTo(0);
    ASSERT_GE(sent.size(), 2u) << "from " << from;
    EXPECT_EQ(sent[0], gs) << "from " << from;
    EXPECT_EQ(sent[1], (std::vector<uint8_t>{0xC0, 0x05})) << "from " << from;
  }

  // A new port, taken during a pause, hears the reset before anything else.
  play.dwFrom = 0;
  mciSendCommand(id, MCI_PLAY, MCI_FROM, &play);
  std::this_thread::sleep_for(50ms);
  MCI_GENERIC_PARMS generic{};
  mciSendCommand(id, MCI_PAUSE, MCI_WAIT, &generic);
  MCI_SEQ_SET_PARMS set{};
  set.dwPort = 1;
  ASSERT_EQ(mciSendCommand(id, MCI_SET, MCI_WAIT | MCI_SEQ_SET_PORT, &set), MCIERR_NO_ERROR);
  play = MCI_PLAY_PARMS{};
  mciSendCommand(id, MCI_PLAY, 0, &play);
  ASSERT_TRUE(WaitForMode(id, MCI_MODE_STOP, 3s));
  const auto sent = ports_->BytesSentTo(1);
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0], gs);
  EXPECT_EQ(sent[1], (std::vector<uint8_t>{0xC0, 0x05}));
  mciSendCommand(id, MCI_CLOSE, 0, &generic);
}

TEST_F(SequencerDevice, NoMidiPortAtAllFailsTheOpen) {
  SetMidiPortSystemForTesting(std::make_shared<test::RecordingMidiPorts>(std::vector<std::string>{}));
  MCIDEVICEID id = 0;
  EXPECT_EQ(OpenTyped("sequencer", (root() / "song.mid").string(), id), MCIERR_SEQ_NOMIDIPRESENT);
}

}  // namespace
}  // namespace qorve
