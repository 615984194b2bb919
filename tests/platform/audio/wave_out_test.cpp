#include "platform/audio/wave_out.h"
#include "platform/audio/wave_out_virtual.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace qorve {
namespace {

WAVEFORMATEX Pcm(uint32_t rate, uint16_t channels, uint16_t bits) {
  return {WAVE_FORMAT_PCM, channels, rate, rate * channels * (bits / 8u), static_cast<uint16_t>(channels * (bits / 8)),
          bits, 0};
}

struct FormatCase {
  const char* name;
  WAVEFORMATEX format;
  MMRESULT expected;
  friend void PrintTo(const FormatCase& format, std::ostream* out) { *out << format.name; }
};

class PcmFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(PcmFormatTest, OnlyIntegerPcmWithAConsistentFrameIsPlayable) {
  EXPECT_EQ(CheckPcmFormat(GetParam().format), GetParam().expected);
}

WAVEFORMATEX With(WAVEFORMATEX format, void (*change)(WAVEFORMATEX&)) {
  change(format);
  return format;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PcmFormatTest,
    ::testing::Values(
        FormatCase{"cd", Pcm(44100, 2, 16), MMSYSERR_NOERROR}, FormatCase{"mono8", Pcm(8000, 1, 8), MMSYSERR_NOERROR},
        FormatCase{"surround24", Pcm(48000, 6, 24), MMSYSERR_NOERROR},
        FormatCase{"hires32", Pcm(192000, 8, 32), MMSYSERR_NOERROR},
        FormatCase{"float", With(Pcm(44100, 2, 32), [](WAVEFORMATEX& f) { f.wFormatTag = 3; }), WAVERR_BADFORMAT},
        FormatCase{"bits12", With(Pcm(44100, 2, 16), [](WAVEFORMATEX& f) { f.wBitsPerSample = 12; }), WAVERR_BADFORMAT},
        FormatCase{"noChannels", With(Pcm(44100, 2, 16), [](WAVEFORMATEX& f) { f.nChannels = 0; }), WAVERR_BADFORMAT},
        FormatCase{"nineChannels", Pcm(44100, 9, 16), WAVERR_BADFORMAT},
        FormatCase{"rateZero", Pcm(0, 2, 16), WAVERR_BADFORMAT},
        FormatCase{"wrongBlockAlign", With(Pcm(44100, 2, 16), [](WAVEFORMATEX& f) { f.nBlockAlign = 2; }),
                   WAVERR_BADFORMAT}),
    [](const auto& info) { return std::string(info.param.name); });

class WaveOutFactoryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetWaveOutFactory(nullptr);
    unsetenv("QORVE_AUDIO");
    unsetenv("QORVE_AUDIO_DEVICE");
  }
};

TEST_F(WaveOutFactoryTest, InjectedFactoryWinsOverTheEnvironment) {
  VirtualSoundCard card;
  setenv("QORVE_AUDIO", "wav:/nonexistent/folder/out.wav", 1);
  SetWaveOutFactory([&card] { return card.NewDevice(); });
  auto device = CreateWaveOutDevice();
  ASSERT_EQ(device->Open(Pcm(44100, 2, 16)), MMSYSERR_NOERROR);
  EXPECT_TRUE(card.IsOpen());
}

TEST_F(WaveOutFactoryTest, CaptureSettingsOpenAWavFile) {
  const auto folder = std::filesystem::temp_directory_path() / ("qorve-factory-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  for (const char* prefix : {"wav:", "wav-fast:"}) {
    const auto path = folder / (std::string(prefix[3] == '-' ? "fast" : "real") + ".wav");
    setenv("QORVE_AUDIO", (prefix + path.string()).c_str(), 1);
    auto device = CreateWaveOutDevice();
    ASSERT_NE(device, nullptr) << prefix;
    ASSERT_EQ(device->Open(Pcm(8000, 1, 16)), MMSYSERR_NOERROR);
    EXPECT_EQ(device->Close(), MMSYSERR_NOERROR);
    EXPECT_EQ(std::filesystem::file_size(path), 44u) << prefix;
  }
  std::filesystem::remove_all(folder);
}

TEST_F(WaveOutFactoryTest, UnknownBackendGivesNoDevice) {
  for (const char* setting : {"pulse", "wav:", "wav-fast:"}) {
    setenv("QORVE_AUDIO", setting, 1);
    EXPECT_EQ(CreateWaveOutDevice(), nullptr) << setting;
  }
}

TEST_F(WaveOutFactoryTest, AlsaWithoutThatDeviceFailsCleanly) {
  setenv("QORVE_AUDIO_DEVICE", "hw:CARD=NoSuchQorveCard", 1);
  auto device = CreateWaveOutDevice();  // QORVE_AUDIO unset: ALSA
  ASSERT_NE(device, nullptr);
  const MMRESULT result = device->Open(Pcm(44100, 2, 16));
  EXPECT_TRUE(result == MMSYSERR_BADDEVICEID || result == MMSYSERR_NODRIVER || result == MMSYSERR_ERROR) << result;
  EXPECT_THAT(device->OpenFailure(), testing::StartsWith("ALSA PCM \"hw:CARD=NoSuchQorveCard\": "));
  uint32_t position = 77;
  EXPECT_EQ(device->GetPosition(position), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(position, 77u);
  const uint8_t bytes[4] = {};
  EXPECT_EQ(device->Write(bytes, 4), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(device->Reset(), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(device->Close(), MMSYSERR_INVALHANDLE);
}

TEST_F(WaveOutFactoryTest, AlsaRefusesTheUnpacedNullDevice) {
  auto device = CreateAlsaWaveOut("null");
  EXPECT_EQ(device->Open(Pcm(44100, 2, 16)), MMSYSERR_NODRIVER);
  EXPECT_EQ(device->Close(), MMSYSERR_INVALHANDLE);
}

TEST(VirtualSoundCardTest, PlaysSpansInOrderOnlyWhenRunningAndAdvanced) {
  VirtualSoundCard card;
  auto device = card.NewDevice();
  ASSERT_EQ(device->Open(Pcm(8000, 1, 8)), MMSYSERR_NOERROR);
  EXPECT_EQ(card.NewDevice()->Open(Pcm(8000, 1, 8)), MMSYSERR_ALLOCATED);
  const uint8_t first[3] = {1, 2, 3};
  const uint8_t second[2] = {4, 5};
  device->Write(first, 3);
  device->Write(second, 2);
  EXPECT_EQ(card.Advance(2), 2u);
  device->Pause();
  EXPECT_EQ(card.Advance(2), 0u);
  device->Restart();
  EXPECT_EQ(card.Advance(10), 3u);  // the queue runs dry
  EXPECT_EQ(card.TakePlayed(), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
  uint32_t position = 0;
  device->GetPosition(position);
  EXPECT_EQ(position, 5u);
  device->Write(first, 3);
  device->Reset();
  device->GetPosition(position);
  EXPECT_EQ(position, 0u);
  EXPECT_EQ(card.QueuedBytes(), 0u);
  device.reset();  // the destructor closes
  EXPECT_FALSE(card.IsOpen());
}

}  // namespace
}  // namespace qorve
