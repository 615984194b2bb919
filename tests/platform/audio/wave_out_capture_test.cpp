#include "platform/audio/wave_out.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace qorve {
namespace {

using Bytes = std::vector<uint8_t>;

WAVEFORMATEX Pcm(uint32_t rate, uint16_t channels, uint16_t bits) {
  return {WAVE_FORMAT_PCM, channels, rate, rate * channels * (bits / 8u), static_cast<uint16_t>(channels * (bits / 8)),
          bits, 0};
}

uint32_t Read32(const std::string& file, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(file[at + i]);
  return value;
}
uint16_t Read16(const std::string& file, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(file[at]) | static_cast<uint8_t>(file[at + 1]) << 8);
}

// Checks the canonical PCM header against `format` and returns the sound bytes.
Bytes WavData(const std::filesystem::path& path, const WAVEFORMATEX& format) {
  const std::string file = test::ReadFile(path);
  EXPECT_GE(file.size(), 44u);
  if (file.size() < 44) return {};
  EXPECT_EQ(file.substr(0, 4), "RIFF");
  EXPECT_EQ(Read32(file, 4), file.size() - 8);
  EXPECT_EQ(file.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(Read32(file, 16), 16u);
  EXPECT_EQ(Read16(file, 20), WAVE_FORMAT_PCM);
  EXPECT_EQ(Read16(file, 22), format.nChannels);
  EXPECT_EQ(Read32(file, 24), format.nSamplesPerSec);
  EXPECT_EQ(Read32(file, 28), format.nSamplesPerSec * format.nBlockAlign);
  EXPECT_EQ(Read16(file, 32), format.nBlockAlign);
  EXPECT_EQ(Read16(file, 34), format.wBitsPerSample);
  EXPECT_EQ(file.substr(36, 4), "data");
  const uint32_t size = Read32(file, 40);
  EXPECT_EQ(file.size(), 44 + size + (size & 1)) << "data chunk padded to an even size";
  return Bytes(file.begin() + 44, file.begin() + 44 + std::min<size_t>(size, file.size() - 44));
}

Bytes Ramp(size_t bytes, uint8_t start = 0) {
  Bytes data(bytes);
  for (size_t i = 0; i < bytes; ++i) data[i] = static_cast<uint8_t>(start + i * 7);
  return data;
}

// What sox makes of the file: "<channels> <rate> <samples>".
std::string SoxView(const std::filesystem::path& path) {
  const std::string command = "soxi -c '" + path.string() + "' && soxi -r '" + path.string() + "' && soxi -s '" +
                              path.string() + "' 2>/dev/null";
  std::string out;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char line[128];
    while (std::fgets(line, sizeof line, pipe)) {
      out += line;
      if (!out.empty() && out.back() == '\n') out.back() = ' ';
    }
    pclose(pipe);
  }
  return out;
}

class CaptureTest : public test::TempHome {
 protected:
  std::unique_ptr<WaveOutDevice> Device(CapturePace pace, double maxSeconds = 0) {
    return CreateCaptureWaveOut({path(), pace, maxSeconds});
  }
  std::filesystem::path path() const { return root() / "capture.wav"; }
};

TEST_F(CaptureTest, FastCaptureWritesEveryPlayedByteIntoAValidWav) {
  const WAVEFORMATEX format = Pcm(22050, 2, 16);
  auto device = Device(CapturePace::Fast);
  ASSERT_EQ(device->Open(format), MMSYSERR_NOERROR);
  const Bytes first = Ramp(4000), second = Ramp(2000, 3);
  device->Write(first.data(), 4000);
  device->Write(second.data(), 2000);
  uint32_t position = 0;
  device->GetPosition(position);
  EXPECT_EQ(position, 6000u);
  ASSERT_EQ(device->Close(), MMSYSERR_NOERROR);

  Bytes expected = first;
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(WavData(path(), format), expected);
  EXPECT_EQ(SoxView(path()), "2 22050 1500 ");
}

TEST_F(CaptureTest, PausedDeviceQueuesAndResetDropsWhatWasNotPlayed) {
  const WAVEFORMATEX format = Pcm(8000, 1, 16);
  auto device = Device(CapturePace::Fast);
  ASSERT_EQ(device->Open(format), MMSYSERR_NOERROR);
  const Bytes heard = Ramp(100), dropped = Ramp(60, 9), resumed = Ramp(40, 20);
  device->Write(heard.data(), 100);
  device->Pause();
  device->Write(dropped.data(), 60);
  uint32_t position = 0;
  device->GetPosition(position);
  EXPECT_EQ(position, 100u) << "frozen while paused";
  device->Reset();
  device->GetPosition(position);
  EXPECT_EQ(position, 0u);
  device->Write(resumed.data(), 40);
  device->GetPosition(position);
  EXPECT_EQ(position, 0u) << "still paused after the reset";
  device->Restart();
  device->GetPosition(position);
  EXPECT_EQ(position, 40u);
  ASSERT_EQ(device->Close(), MMSYSERR_NOERROR);

  Bytes expected = heard;
  expected.insert(expected.end(), resumed.begin(), resumed.end());
  EXPECT_EQ(WavData(path(), format), expected);
}

TEST_F(CaptureTest, LaterOpensAppendWithTheSameFormatOnly) {
  const WAVEFORMATEX format = Pcm(8000, 1, 8);
  const Bytes first = Ramp(101), second = Ramp(50, 1);  // odd sizes need the pad byte
  {
    auto device = Device(CapturePace::Fast);
    ASSERT_EQ(device->Open(format), MMSYSERR_NOERROR);
    EXPECT_EQ(Device(CapturePace::Fast)->Open(format), MMSYSERR_ALLOCATED) << "one device at a time per file";
    device->Write(first.data(), 101);
    ASSERT_EQ(device->Close(), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(WavData(path(), format), first);
  EXPECT_EQ(Device(CapturePace::Fast)->Open(Pcm(16000, 1, 8)), WAVERR_BADFORMAT);
  {
    auto device = Device(CapturePace::RealTime);
    ASSERT_EQ(device->Open(format), MMSYSERR_NOERROR);
    device->Write(second.data(), 50);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // 50 bytes last 6.25 ms
    ASSERT_EQ(device->Close(), MMSYSERR_NOERROR);
  }
  Bytes expected = first;
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(WavData(path(), format), expected);
  EXPECT_EQ(SoxView(path()), "1 8000 151 ");
}

TEST_F(CaptureTest, LimitKeepsTheFileToThatManySeconds) {
  const WAVEFORMATEX format = Pcm(1000, 1, 16);
  auto device = Device(CapturePace::Fast, 0.25);
  ASSERT_EQ(device->Open(format), MMSYSERR_NOERROR);
  const Bytes data = Ramp(2000);
  device->Write(data.data(), 2000);
  uint32_t position = 0;
  device->GetPosition(position);
  EXPECT_EQ(position, 2000u) << "beyond the limit sound still plays";
  ASSERT_EQ(device->Close(), MMSYSERR_NOERROR);
  EXPECT_EQ(WavData(path(), format), Bytes(data.begin(), data.begin() + 500));
}

TEST_F(CaptureTest, RealTimeCaptureKeepsPaceWithTheClock) {
  const WAVEFORMATEX format = Pcm(8000, 1, 16);  // 16000 bytes a second
  auto device = Device(CapturePace::RealTime);
  ASSERT_EQ(device->Open(format), MMSYSERR_NOERROR);
  const Bytes data = Ramp(4800);  // 0.3 s
  const auto start = std::chrono::steady_clock::now();
  device->Write(data.data(), 4800);
  uint32_t position = 0;
  for (;;) {
    device->GetPosition(position);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_LE(position, elapsed * 16000 + 2) << "never ahead of the clock";
    ASSERT_EQ(position % 2, 0u) << "whole frames only";
    if (position == 4800 || elapsed > 5) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(position, 4800u);
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(elapsed, 0.3);
  device->Pause();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  device->Restart();
  uint32_t after = 0;
  device->GetPosition(after);
  EXPECT_EQ(after, 4800u) << "an empty queue plays nothing";
  ASSERT_EQ(device->Close(), MMSYSERR_NOERROR);
  EXPECT_EQ(WavData(path(), format), data);
}

TEST_F(CaptureTest, UnwritableFileFailsTheOpen) {
  auto device = CreateCaptureWaveOut({root() / "missing-folder" / "x.wav", CapturePace::Fast, 0});
  EXPECT_EQ(device->Open(Pcm(8000, 1, 16)), MMSYSERR_ERROR);
  EXPECT_EQ(device->Close(), MMSYSERR_INVALHANDLE);
}

}  // namespace
}  // namespace qorve
