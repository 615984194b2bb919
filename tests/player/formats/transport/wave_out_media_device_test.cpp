// The classes that decode into the wave-out ring, on a sound device that
// cannot be opened: a good file fails with 6 ("device in use"), whatever the
// device's reason, and the log says which device and why; a format the device
// refuses is the file's failure (4), not the device's.
#include "player/audio/wave_out_stream_fixture.h"
#include "player/formats/audio/flac.h"
#include "player/formats/audio/ogg.h"
#include "player/formats/audio/openmpt.h"
#include "player/formats/media_maker.h"
#include "player/module/mod.h"
#include "player/module/module_images.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>

namespace qorve {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDeviceName = "ALSA PCM \"qorve_test\"";

// A device that refuses to open with `code` and says why, as a real backend
// does after a failed open.
class UnopenableDevice final : public WaveOutDevice {
 public:
  explicit UnopenableDevice(MMRESULT code) : code_(code) {}
  MMRESULT Open(const WAVEFORMATEX&) override { return code_; }
  MMRESULT Write(const uint8_t*, uint32_t) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT Pause() override { return MMSYSERR_INVALHANDLE; }
  MMRESULT Restart() override { return MMSYSERR_INVALHANDLE; }
  MMRESULT Reset() override { return MMSYSERR_INVALHANDLE; }
  MMRESULT GetPosition(uint32_t&) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT Close() override { return MMSYSERR_INVALHANDLE; }
  std::string OpenFailure() const override { return std::string(kDeviceName) + ": " + Reason(code_); }

  static std::string Reason(MMRESULT code) { return "refused with " + std::to_string(code); }

 private:
  MMRESULT code_;
};

// A class and a good file of its format, made in `folder`; an empty path
// when the tools that make it are missing.
struct SoundClass {
  const char* name;
  const char* extension;
  std::function<std::unique_ptr<MediaFile>()> create;
  std::function<std::string(const fs::path& folder)> make;
};

std::string MakeXm(const fs::path& folder) {
  test::XmSong song;
  song.channels = 1;
  song.speed = 5;
  song.instruments.push_back(test::SquareInstrument());
  song.patterns[0].rows = 16;
  for (int row = 0; row < 16; ++row) {
    song.patterns[0].cells.push_back(test::Cell{static_cast<uint8_t>(49 + row), 1, 0, 0, 0});
  }
  const std::vector<uint8_t> image = test::BuildXm(song);
  const fs::path path = folder / "song.xm";
  test::WriteFile(path, std::string(image.begin(), image.end()));
  return path.string();
}

const SoundClass kClasses[] = {
    {"OGG", "OGG", [] { return std::unique_ptr<MediaFile>(std::make_unique<OGG>()); },
     [](const fs::path& folder) -> std::string {
       if (!test::HaveTools({"sox", "oggenc"})) return {};
       const fs::path wav = folder / "tone.wav";
       const fs::path ogg = folder / "tone.ogg";
       const bool made = test::RunCommand("sox -n -r 44100 -c 2 -b 16 '" + wav.string() + "' synth 1 sine 440") &&
                         test::RunCommand("oggenc -Q '" + wav.string() + "' -o '" + ogg.string() + "'");
       return made ? ogg.string() : std::string();
     }},
    {"FLAC", "FLAC", [] { return std::unique_ptr<MediaFile>(std::make_unique<FLAC>()); },
     [](const fs::path& folder) -> std::string {
       test::FlacPlan plan;
       plan.samples = test::ChordSamples(4410, 2, 16);
       const fs::path path = folder / "chord.flac";
       return test::EncodeFlac(plan, path) ? path.string() : std::string();
     }},
    {"MOD", "XM", [] { return std::unique_ptr<MediaFile>(std::make_unique<MOD>()); }, MakeXm},
    {"OPENMPT", "XM", [] { return std::unique_ptr<MediaFile>(std::make_unique<OPENMPT>()); }, MakeXm},
};

struct DeviceRefusal {
  const char* name;
  MMRESULT code;
  int result;  // what the class's Open gives
};

const DeviceRefusal kRefusals[] = {
    {"NoDriver", MMSYSERR_NODRIVER, kResultDeviceInUse},
    {"HeldByAnotherProgram", MMSYSERR_ALLOCATED, kResultDeviceInUse},
    {"DeviceError", MMSYSERR_ERROR, kResultDeviceInUse},
    {"FormatRefused", WAVERR_BADFORMAT, kResultUnsupported},
};

class WaveOutMediaOnUnopenableDevice
    : public test::WaveOutStreamTest,
      public ::testing::WithParamInterface<std::tuple<SoundClass, DeviceRefusal>> {};

TEST_P(WaveOutMediaOnUnopenableDevice, GoodFileFailsAsTheDevicesFailureAndTheLogNamesTheDevice) {
  const auto& [sound, refusal] = GetParam();
  const std::string path = sound.make(root());
  if (path.empty()) GTEST_SKIP() << "the tools that make the " << sound.name << " file are missing";
  const MMRESULT code = refusal.code;
  SetWaveOutFactory([code] { return std::make_unique<UnopenableDevice>(code); });

  std::unique_ptr<MediaFile> media = sound.create();
  EXPECT_EQ(media->Open(path, sound.extension, nullptr), refusal.result);
  media.reset();

  // The engine's line, then the device's own account of which device and why.
  const std::string expected = LogLine("waveOutOpen Error", code) +
                               LogLine(std::string(kDeviceName) + ": " + UnopenableDevice::Reason(code), code);
  EXPECT_NE(LogText().find(expected), std::string::npos) << LogText();
}

INSTANTIATE_TEST_SUITE_P(Classes, WaveOutMediaOnUnopenableDevice,
                         ::testing::Combine(::testing::ValuesIn(kClasses), ::testing::ValuesIn(kRefusals)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

}  // namespace
}  // namespace qorve
