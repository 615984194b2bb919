// The classes that play through MCI devices and the DirectShow graph, with a
// sound output that cannot be opened (an ALSA PCM that does not exist): a
// good file fails with 6 ("device in use"), not as a file nothing plays, and
// the log says which output and why. A file that is bad still fails as bad.
#include "common/log.h"
#include "common/settings.h"
#include "player/formats/audio/mcisound.h"
#include "player/formats/media_tools.h"
#include "player/formats/video/directshow.h"
#include "player/formats/video/mcivideo.h"
#include "support/scoped_env.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace qorve {
namespace {

namespace fs = std::filesystem;

constexpr const char* kMissingPcm = "qorve_no_such_pcm";

// A format-0 MIDI file of one note.
std::string OneNoteMidi() {
  const std::string track("\x00\x90\x3C\x64\x83\x60\x80\x3C\x00\x00\xFF\x2F\x00", 13);
  return "MThd" + test::Be32(6) + std::string("\0\0\0\1\x01\xE0", 6) + "MTrk" +
         test::Be32(static_cast<uint32_t>(track.size())) + track;
}

struct MciClassCase {
  const char* name;
  const char* extension;
  std::function<std::unique_ptr<MediaFile>()> create;
  bool midi;     // the file: a MIDI song, else a WAV tone made by sox
  bool broken;   // the file's bytes replaced by text after the first 4
  int expected;  // Open's result
  // What the log must name: the output and the reason, in one line with the
  // MCI error; null: nothing to check (a broken file says nothing of it).
  const char* logged;
};

class MciMediaOnUnopenableOutput : public test::TempHome, public testing::WithParamInterface<MciClassCase> {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    if (!test::HaveTool("sox")) GTEST_SKIP() << "sox makes the WAV file";
    saved_ = ProgramSettings();
    CloseLog();  // the log goes to this test's settings folder, whatever an earlier test left open
    ProgramSettings().kestravoxLog = 1;
    ProgramSettings().midisetDevice = -1;  // MIDI through the synthesizer
    ProgramSettings().midisetReset = 3;
    env_.Set("QORVE_AUDIO", nullptr);  // ALSA
    env_.Set("QORVE_AUDIO_DEVICE", kMissingPcm);
  }
  void TearDown() override {
    if (!IsSkipped()) ProgramSettings() = saved_;
    CloseLog();
    TempHome::TearDown();
  }

  Settings saved_;
  test::ScopedEnv env_;
};

TEST_P(MciMediaOnUnopenableOutput, GoodFileFailsAsTheDevicesFailureAndTheLogNamesTheOutput) {
  const MciClassCase& c = GetParam();
  const fs::path file = root() / (std::string("file.") + c.extension);
  if (c.midi) {
    test::PutBytes(file, OneNoteMidi());
  } else {
    ASSERT_TRUE(test::RunQuietly("sox -n -r 44100 -c 2 -b 16 " + test::Quote(file) + " synth 0.5 sine 440"));
  }
  if (c.broken) test::PutBytes(file, test::Bytes(file).substr(0, 4) + std::string(4000, 'q'));

  {
    std::unique_ptr<MediaFile> media = c.create();
    EXPECT_EQ(media->Open(file.string(), c.extension, nullptr), c.expected);
  }
  CloseLog();
  const std::string log = test::ReadFile(settingsFolder() / "LOG.TXT");
  if (c.logged == nullptr) {
    EXPECT_EQ(log.find(kMissingPcm), std::string::npos) << log;
    return;
  }
  const std::size_t line = log.find(std::string("\"") + c.logged);
  ASSERT_NE(line, std::string::npos) << log;
  const std::string text = log.substr(line, log.find("\r\n", line) - line);
  EXPECT_NE(text.find(kMissingPcm), std::string::npos) << text;
  EXPECT_NE(text.find("\" , \"276\" "), std::string::npos) << text;  // MCIERR_DEVICE_NOT_READY
}

std::unique_ptr<MediaFile> Mcisound() { return std::make_unique<MCISOUND>(); }
std::unique_ptr<MediaFile> Mcivideo() { return std::make_unique<MCIVIDEO>(); }
std::unique_ptr<MediaFile> DirectShow() { return std::make_unique<DIRECTSHOW>(); }

INSTANTIATE_TEST_SUITE_P(
    Classes, MciMediaOnUnopenableOutput,
    testing::Values(MciClassCase{"McisoundWav", "WAV", Mcisound, false, false, kResultDeviceInUse, "ALSA PCM"},
                    MciClassCase{"McivideoWav", "WAV", Mcivideo, false, false, kResultDeviceInUse, "ALSA PCM"},
                    MciClassCase{"DirectShowWav", "WAV", DirectShow, false, false, kResultDeviceInUse, "ALSA PCM"},
                    MciClassCase{"McisoundMidiThroughTheSynthesizer", "MID", Mcisound, true, false,
                                 kResultDeviceInUse, "ALSA"},
                    MciClassCase{"McisoundBrokenMidiStaysBroken", "MID", Mcisound, true, true,
                                 kResultWrongExtension, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorve
