// MCISOUND end to end: files made by sox, lame and ffmpeg play through the
// GStreamer device, and MIDI files written here (plain and RIFF RMID) through
// the synthesizer device, into the capture file, for their length and not
// silent; pause, resume and stop in real time; the MIDI reset heard in what
// the synthesizer plays.
#include "player/formats/audio/mcisound.h"

#include "common/settings.h"
#include "platform/system/folders.h"
#include "player/core/media_factory.h"
#include "player/core/player_state.h"
#include "player/formats/media_polling.h"
#include "player/formats/media_tools.h"
#include "support/scoped_env.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace qorve {
namespace {

using namespace std::chrono_literals;

// A format-0 MIDI file of `notes` quarter notes at 120 bpm (0.5 s each).
std::string MidiSong(int notes) {
  std::string track("\x00\xFF\x03\x04Test\x00\xC0\x00", 11);
  for (int i = 0; i < notes; ++i) {
    const char note = static_cast<char>(60 + i);
    track += std::string("\x00\x90", 2) + note + '\x64';
    track += std::string("\x83\x60\x80", 3) + note + '\x00';
  }
  track += std::string("\x00\xFF\x2F\x00", 4);
  return "MThd" + test::Be32(6) + std::string("\0\0\0\1\x01\xE0", 6) + "MTrk" +
         test::Be32(static_cast<uint32_t>(track.size())) + track;
}

struct Captured {
  double seconds = 0;
  double rms = 0;  // of 16-bit samples, full scale 32768
};

// The sound in a capture file (44.1 kHz stereo 16-bit after its 44-byte header).
Captured ReadCapture(const std::filesystem::path& path) {
  const std::string bytes = test::Bytes(path);
  Captured result;
  if (bytes.size() <= 44) return result;
  const std::size_t samples = (bytes.size() - 44) / 2;
  double sum = 0;
  for (std::size_t i = 0; i < samples; ++i) {
    const auto low = static_cast<unsigned char>(bytes[44 + 2 * i]);
    const auto high = static_cast<signed char>(bytes[45 + 2 * i]);
    const double value = static_cast<double>(high * 256 + low);
    sum += value * value;
  }
  result.seconds = static_cast<double>(samples) / 2 / 44100;
  result.rms = samples ? std::sqrt(sum / static_cast<double>(samples)) : 0;
  return result;
}

using test::PollUntil;

class McisoundPlayback : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    if (!test::HaveTool("sox") || !test::HaveTool("lame") || !test::HaveTool("ffmpeg")) {
      GTEST_SKIP() << "sox, lame and ffmpeg make the files";
    }
    saved_ = ProgramSettings();
    ProgramSettings().kestravoxLog = 0;
    ProgramSettings().midisetDevice = -1;  // MIDI through the "MPEGVideo" device's synthesizer
    ProgramSettings().midisetReset = 3;
    tone_ = root() / "tone.wav";
    ASSERT_TRUE(test::RunQuietly("sox -n -r 44100 -c 2 -b 16 " + test::Quote(tone_) + " synth 1.5 sine 440 vol 0.5"));
  }
  void TearDown() override {
    if (!IsSkipped()) ProgramSettings() = saved_;
    TempHome::TearDown();
  }

  // Plays `file` to its end as the controller would (TimePos >= Length).
  void PlayToEnd(MediaFile& media) {
    MediaInfo info;
    media.GetInfo(info);
    media.Play(-1.0);
    const MediaState state = PollUntil(media, [&](const MediaState& now) { return now.TimePos >= info.Length; });
    EXPECT_GE(state.TimePos, info.Length);
  }

  Settings saved_;
  std::filesystem::path tone_;
};

struct FormatCase {
  const char* extension;
  const char* command;  // makes %OUT from %IN (the tone); empty: a MIDI file (RIFF RMID for "rmi")
};

class McisoundFormat : public McisoundPlayback, public testing::WithParamInterface<FormatCase> {};

TEST_P(McisoundFormat, PlaysForItsLengthIntoTheCaptureAndIsNotSilent) {
  const std::string extension = GetParam().extension;
  const auto file = root() / ("song." + extension);
  std::string command = GetParam().command;
  if (command.empty() && extension == "rmi") {
    const std::string smf = MidiSong(3);
    test::PutBytes(file, "RIFF" + test::Le32(static_cast<uint32_t>(smf.size() + 12)) + "RMIDdata" +
                             test::Le32(static_cast<uint32_t>(smf.size())) + smf);
  } else if (command.empty()) {
    test::PutBytes(file, MidiSong(3));
  } else {
    command.replace(command.find("%IN"), 3, test::Quote(tone_));
    command.replace(command.find("%OUT"), 4, test::Quote(file));
    ASSERT_TRUE(test::RunQuietly(command)) << command;
  }
  const auto capture = root() / "capture.wav";
  test::ScopedEnv env;
  env.Set("QORVE_AUDIO", ("wav-fast:" + capture.string()).c_str());

  std::string upper = extension;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  double length = 0;
  {
    MCISOUND sound;
    ASSERT_EQ(sound.Open(file.string(), upper, nullptr), kResultSuccess);
    MediaInfo info;
    sound.GetInfo(info);
    length = info.Length;
    EXPECT_NEAR(length, 1.5, 0.1);
    PlayToEnd(sound);
  }
  const Captured captured = ReadCapture(capture);
  EXPECT_NEAR(captured.seconds, length, 0.15);
  EXPECT_GT(captured.rms, 100.0);  // silence is 0; the synthesizer plays softly
}

INSTANTIATE_TEST_SUITE_P(
    Files, McisoundFormat,
    testing::Values(FormatCase{"wav", "cp %IN %OUT"}, FormatCase{"mp3", "lame --quiet -b 128 %IN %OUT"},
                    FormatCase{"wma", "ffmpeg -nostdin -y -i %IN -c:a wmav2 %OUT"}, FormatCase{"aif", "sox %IN %OUT"},
                    FormatCase{"au", "sox %IN %OUT"}, FormatCase{"mid", ""},
                    FormatCase{"rmi", ""}),
    [](const auto& info) { return std::string(info.param.extension); });

// ---- MIDI reset through the synthesizer ---------------------------------------

// The synthesizer's bank-select style is what the resets set: a GM reset
// ignores bank select and GS parameter messages, a GS reset (and a synthesizer
// that had none) takes the bank MSB as the bank and GS parameters, an XG reset
// makes a part with bank MSB 120 or above a drum part. Each song below plays
// key 100 on channel 1 with program 0: the piano sounds it, the drum kits have
// nothing there, so what the capture holds tells the part's kind.
enum class ResetSong { kBankMsb127, kGsRhythmPart };

// A format-0 file of 0.5 s (120 bpm, 480 ticks a quarter): `setup` at 0, then
// program 0 and key 100 for 0.25 s, and `late` (if any) at 0.42 s.
std::string KeyAfter(const std::string& setup, const std::string& late = {}) {
  std::string track = setup + std::string("\x00\xC0\x00\x00\x90\x64\x64\x81\x70\x80\x64\x00", 12);
  if (late.empty()) {
    track += std::string("\x81\x70\xFF\x2F\x00", 5);
  } else {
    track += std::string("\x81\x20", 2) + late + std::string("\x50\xFF\x2F\x00", 4);
  }
  return "MThd" + test::Be32(6) + std::string("\0\0\0\1\x01\xE0", 6) + "MTrk" +
         test::Be32(static_cast<uint32_t>(track.size())) + track;
}

std::string ResetSongFile(ResetSong song) {
  if (song == ResetSong::kBankMsb127) return KeyAfter(std::string("\x00\xB0\x00\x7F", 4));
  // GS "use for rhythm part" of part 1 (channel 1): drum map 1.
  return KeyAfter(std::string("\x00\xF0\x0A\x41\x10\x42\x12\x40\x11\x15\x02\x18\xF7", 13));
}

class MidiResetHeard : public McisoundPlayback {
 protected:
  void SetUp() override {
    McisoundPlayback::SetUp();
    if (IsSkipped()) return;
    capture_ = root() / "capture.wav";
    env_.Set("QORVE_AUDIO", ("wav-fast:" + capture_.string()).c_str());
  }
  // Plays the whole file from `from` until the device has stopped at its end.
  void PlayThrough(MediaFile& media, double from) {
    MediaInfo info;
    media.GetInfo(info);
    media.Play(from);
    const MediaState state = PollUntil(
        media, [&](const MediaState& now) { return now.PlayState == kStopped && now.TimePos >= info.Length; });
    ASSERT_EQ(state.PlayState, kStopped);
  }
  test::ScopedEnv env_;
  std::filesystem::path capture_;
};

struct HeardCase {
  const char* name;
  int reset;
  ResetSong song;
  bool sounds;  // key 100 on a melodic part
};

class MidiResetSong : public MidiResetHeard, public testing::WithParamInterface<HeardCase> {};

TEST_P(MidiResetSong, TheSynthesizerPlaysTheSongAsTheResetSetsItUp) {
  ProgramSettings().midisetReset = GetParam().reset;
  const auto file = root() / "song.mid";
  test::PutBytes(file, ResetSongFile(GetParam().song));
  {
    MCISOUND sound;
    ASSERT_EQ(sound.Open(file.string(), "MID", nullptr), kResultSuccess);
    PlayThrough(sound, -1.0);
  }
  const Captured captured = ReadCapture(capture_);
  EXPECT_NEAR(captured.seconds, 0.5, 0.01);
  if (GetParam().sounds) EXPECT_GT(captured.rms, 50.0);
  else EXPECT_LT(captured.rms, 5.0);  // a drum part without that key: only dither
}

INSTANTIATE_TEST_SUITE_P(
    Resets, MidiResetSong,
    testing::Values(HeardCase{"NoResetTakesBankMsbAsAMelodicBank", 3, ResetSong::kBankMsb127, true},
                    HeardCase{"GmResetIgnoresBankSelect", 0, ResetSong::kBankMsb127, true},
                    HeardCase{"GsResetTakesBankMsbAsAMelodicBank", 1, ResetSong::kBankMsb127, true},
                    HeardCase{"XgResetMakesBankMsb127ADrumPart", 2, ResetSong::kBankMsb127, false},
                    HeardCase{"NoResetTakesTheGsRhythmPart", 3, ResetSong::kGsRhythmPart, false},
                    HeardCase{"GmResetIgnoresTheGsRhythmPart", 0, ResetSong::kGsRhythmPart, true},
                    HeardCase{"GsResetTakesTheGsRhythmPart", 1, ResetSong::kGsRhythmPart, false},
                    HeardCase{"XgResetIgnoresTheGsRhythmPart", 2, ResetSong::kGsRhythmPart, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A song that switches the synthesizer to GM itself, late: played again from
// the start, the XG reset must come back before the song, or bank MSB 127
// stays ignored and the key sounds on the piano.
TEST_F(MidiResetHeard, TheResetIsSentAgainWhenPlayingStartsOver) {
  ProgramSettings().midisetReset = 2;
  const auto file = root() / "song.mid";
  test::PutBytes(file, KeyAfter(std::string("\x00\xB0\x00\x7F", 4), std::string("\xF0\x05\x7E\x7F\x09\x01\xF7", 7)));
  {
    MCISOUND sound;
    ASSERT_EQ(sound.Open(file.string(), "MID", nullptr), kResultSuccess);
    PlayThrough(sound, -1.0);
    PlayThrough(sound, 0.0);
  }
  const Captured captured = ReadCapture(capture_);
  EXPECT_NEAR(captured.seconds, 1.0, 0.01);
  EXPECT_LT(captured.rms, 5.0);
}

TEST_F(McisoundPlayback, PauseHoldsThePlacePlayResumesThereAndStopGoesToTheStart) {
  test::ScopedEnv env;
  env.Set("QORVE_AUDIO", ("wav:" + (root() / "capture.wav").string()).c_str());
  MCISOUND sound;
  ASSERT_EQ(sound.Open(tone_.string(), "WAV", nullptr), kResultSuccess);
  sound.Play(-1.0);
  std::this_thread::sleep_for(400ms);
  sound.Pause();
  MediaState paused{};
  sound.GetStatus(paused);
  EXPECT_EQ(paused.PlayState, kPaused);
  EXPECT_NEAR(paused.TimePos, 0.4, 0.15);
  std::this_thread::sleep_for(300ms);
  MediaState still{};
  sound.GetStatus(still);
  EXPECT_NEAR(still.TimePos, paused.TimePos, 0.02);

  sound.Play(-1.0);
  std::this_thread::sleep_for(300ms);
  MediaState resumed{};
  sound.GetStatus(resumed);
  EXPECT_EQ(resumed.PlayState, kPlaying);
  EXPECT_NEAR(resumed.TimePos, paused.TimePos + 0.3, 0.15);

  sound.Stop();
  MediaState stopped{};
  sound.GetStatus(stopped);
  EXPECT_EQ(stopped.PlayState, kPaused);
  EXPECT_NEAR(stopped.TimePos, 0.0, 0.02);
  sound.TogglePause();
  std::this_thread::sleep_for(200ms);
  MediaState again{};
  sound.GetStatus(again);
  EXPECT_NEAR(again.TimePos, 0.2, 0.12);
}

TEST_F(McisoundPlayback, OpenFailuresGiveMissingFileAndWrongExtension) {
  test::ScopedEnv env;
  env.Set("QORVE_AUDIO", ("wav-fast:" + (root() / "capture.wav").string()).c_str());
  MCISOUND missing;
  EXPECT_EQ(missing.Open((root() / "gone.wav").string(), "WAV", nullptr), kResultFileNotFound);
  test::PutBytes(root() / "text.mp3", std::string(3000, 'q'));
  MCISOUND garbage;
  EXPECT_EQ(garbage.Open((root() / "text.mp3").string(), "MP3", nullptr), kResultWrongExtension);
  test::PutBytes(root() / "text.mid", std::string(3000, 'q'));
  MCISOUND garbageMidi;
  EXPECT_EQ(garbageMidi.Open((root() / "text.mid").string(), "MID", nullptr), kResultWrongExtension);
}

TEST_F(McisoundPlayback, FactoryGivesMp3FilesToMcisound) {
  const auto mp3 = root() / "song.mp3";
  ASSERT_TRUE(test::RunQuietly("lame --quiet -b 128 --tt Title " + test::Quote(tone_) + " " + test::Quote(mp3)));
  test::ScopedEnv env;
  env.Set("QORVE_AUDIO", ("wav-fast:" + (root() / "capture.wav").string()).c_str());
  // A program folder without the VBMP3 module: the MP3 class gives way.
  SetProgramFolderForTesting(root());
  std::string path = mp3.string();
  const int result = LoadMedia(nullptr, path, 0);
  SetProgramFolderForTesting({});
  ASSERT_EQ(result, kResultSuccess);
  MediaInfo info;
  Player().media->GetInfo(info);
  EXPECT_STREQ(info.Title, "Title");
  EXPECT_STREQ(info.Format, "MP3");
  EXPECT_EQ(info.Bitrate, 128);
  Player().media.reset();
}

}  // namespace
}  // namespace qorve
