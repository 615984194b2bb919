// Plays a generated tone through WaveOutStream into a WAV file with the capture
// backend, chosen the way a user would (QORVE_AUDIO=wav:OUT.wav), and checks
// that the file holds exactly that tone and that playing took its length in
// real time. The fast capture renders the same tone well ahead of real time.
#include "platform/audio/wave_out.h"
#include "player/audio/wave_out_stream.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <thread>
#include <vector>

namespace qorve {
namespace {

constexpr uint32_t kRate = 44100;
constexpr size_t kFrameBytes = 4;  // 16-bit stereo

// 440 Hz on the left, 660 Hz on the right, for `seconds`; silence after that.
class ToneDecoder {
 public:
  explicit ToneDecoder(double seconds) : frames_(static_cast<uint64_t>(seconds * kRate)) {}

  static int16_t Sample(uint64_t frame, int channel) {
    const double hertz = channel == 0 ? 440.0 : 660.0;
    return static_cast<int16_t>(std::lround(12000.0 * std::sin(2 * std::numbers::pi * hertz * frame / kRate)));
  }

  // Writes whole frames; every buffer the engine asks for holds whole frames.
  void Fill(uint8_t* buffer, uint32_t bytes) {
    for (uint32_t at = 0; at + kFrameBytes <= bytes; at += kFrameBytes, ++next_) {
      for (int channel = 0; channel < 2; ++channel) {
        const int16_t value = next_ < frames_ ? Sample(next_, channel) : 0;
        std::memcpy(buffer + at + 2 * channel, &value, 2);
      }
    }
  }

  // The decoder's seek: the next fill starts at `frame`.
  void SeekTo(uint64_t frame) { next_ = frame; }

  uint64_t frames() const { return frames_; }

 private:
  const uint64_t frames_;
  uint64_t next_ = 0;
};

struct Played {
  double wallSeconds;
  std::vector<int16_t> samples;  // interleaved, as the file holds them
};

class ToneCaptureDemo : public test::TempHome {
 protected:
  void TearDown() override {
    unsetenv("QORVE_AUDIO");
    TempHome::TearDown();
  }

  // Plays the tone from the start until the stream says `seconds` have been
  // heard, then stops and closes, as a media class does at the end of a file.
  Played PlayTone(const std::string& audio, ToneDecoder& tone, double seconds, int bufferBytes) {
    setenv("QORVE_AUDIO", audio.c_str(), 1);
    SetWaveOutFactory(nullptr);
    WaveOutStream stream;
    stream.SetBuffers(8, bufferBytes);
    const WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, kRate, kRate * kFrameBytes, kFrameBytes, 16, 0};
    EXPECT_EQ(stream.Open(format, [&tone](uint8_t* buffer, uint32_t bytes) { tone.Fill(buffer, bytes); }), 0);
    // What a media class's Play(0) does: pause, position the decoder, seek.
    const auto start = std::chrono::steady_clock::now();
    stream.Pause();
    tone.SeekTo(0);
    stream.Seek(0);
    while (stream.GetPos() < seconds &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(static_cast<int>(seconds) * 4 + 5)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    stream.Stop();
    stream.Close();
    return {wall, ReadSamples()};
  }

  std::filesystem::path out() const { return root() / "OUT.wav"; }

  std::vector<int16_t> ReadSamples() const {
    const std::string file = test::ReadFile(out());
    EXPECT_GT(file.size(), 44u);
    if (file.size() <= 44) return {};
    EXPECT_EQ(file.compare(0, 4, "RIFF"), 0);
    EXPECT_EQ(file.compare(8, 8, "WAVEfmt "), 0);
    EXPECT_EQ(file.compare(36, 4, "data"), 0);
    uint32_t dataBytes = 0;
    std::memcpy(&dataBytes, file.data() + 40, 4);
    EXPECT_EQ(dataBytes + 44u, file.size());
    std::vector<int16_t> samples(dataBytes / 2);
    std::memcpy(samples.data(), file.data() + 44, samples.size() * 2);
    return samples;
  }

  // The file starts with exactly the tone and holds only silence after it.
  static void ExpectExactlyTheTone(const std::vector<int16_t>& samples, const ToneDecoder& tone) {
    ASSERT_GE(samples.size(), tone.frames() * 2) << "less than the tone was captured";
    size_t mismatches = 0;
    for (uint64_t frame = 0; frame < tone.frames(); ++frame) {
      for (int channel = 0; channel < 2; ++channel) {
        if (samples[frame * 2 + channel] != ToneDecoder::Sample(frame, channel) && mismatches++ < 5) {
          ADD_FAILURE() << "frame " << frame << " channel " << channel;
        }
      }
    }
    EXPECT_EQ(mismatches, 0u);
    for (size_t i = tone.frames() * 2; i < samples.size(); ++i) ASSERT_EQ(samples[i], 0) << "sample " << i;
  }

  std::string Soxi(const char* option) const {
    std::string text;
    const std::string command = std::string("soxi ") + option + " '" + out().string() + "' 2>/dev/null";
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
      char line[64];
      while (std::fgets(line, sizeof line, pipe)) text += line;
      pclose(pipe);
    }
    return text;
  }
};

TEST_F(ToneCaptureDemo, RealTimeCaptureHoldsExactlyTheToneAndTakesItsLength) {
  constexpr double kSeconds = 2.5;
  ToneDecoder tone(kSeconds);
  // Quarter-second buffers: the ring wraps during the tone.
  const Played played = PlayTone("wav:" + out().string(), tone, kSeconds, kRate * kFrameBytes / 4);
  std::printf("real-time capture: %.1f s of tone took %.3f s of wall time (%.0f %% of real time)\n", kSeconds,
              played.wallSeconds, 100 * played.wallSeconds / kSeconds);
  ExpectExactlyTheTone(played.samples, tone);
  EXPECT_LT(played.samples.size(), static_cast<size_t>((kSeconds + 0.5) * kRate * 2)) << "far more than was played";
  EXPECT_GE(played.wallSeconds, 0.8 * kSeconds) << "the capture ran faster than real time";
  EXPECT_EQ(Soxi("-c"), "2\n");
  EXPECT_EQ(Soxi("-r"), "44100\n");
  EXPECT_EQ(Soxi("-s"), std::to_string(played.samples.size() / 2) + "\n");
}

TEST_F(ToneCaptureDemo, FastCaptureRendersTheSameToneAheadOfRealTime) {
  constexpr double kSeconds = 8;
  ToneDecoder tone(kSeconds);
  const Played played = PlayTone("wav-fast:" + out().string(), tone, kSeconds, 0);
  std::printf("fast capture: %.0f s of tone rendered in %.3f s\n", kSeconds, played.wallSeconds);
  ExpectExactlyTheTone(played.samples, tone);
  EXPECT_LT(played.wallSeconds, kSeconds / 2);
}

}  // namespace
}  // namespace qorve
