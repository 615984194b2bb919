// MIO decoding speed, as times real time: the decoder's blocks in order over
// the two lossy sample files (mono LOT and stereo LOT with rotation) and over a
// lossless stereo file made here, each decoded whole `rounds` times; CPU time
// of this thread only.
//
// Usage: mio_decode_bench [rounds, default 20]
#include "libs/mio/mio_decoder.h"
#include "libs/mio/mio_maker.h"

#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace qorve;

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

// Decodes every block of the file `rounds` times; returns times real time.
double Measure(const std::vector<uint8_t>& bytes, int rounds) {
  mio::MioFile file;
  file.OpenBytes(bytes);
  mio::MioDecoder decoder;
  if (!decoder.Open(file)) return 0.0;
  const double start = ThreadCpuSeconds();
  for (int round = 0; round < rounds; ++round) {
    decoder.Release(decoder.DecodeAt(0));
    for (uint32_t frame = mio::MioDecoder::kBlockFrames; frame < decoder.TotalFrames();
         frame += mio::MioDecoder::kBlockFrames) {
      decoder.Release(decoder.NextBlock());
    }
  }
  const double cpu = ThreadCpuSeconds() - start;
  const double played = static_cast<double>(decoder.TotalFrames()) * rounds / decoder.SampleRate();
  return cpu > 0 ? played / cpu : 0.0;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  mio::InitializeLibrary();
  const std::string media = std::string(QORVE_SHARED_DIR) + "/media/mio/";
  std::vector<int16_t> samples;
  for (int i = 0; i < 10 * 44100; ++i) {
    samples.push_back(static_cast<int16_t>(std::lround(20000 * std::sin(i * 0.03) * std::sin(i * 0.0001))));
    samples.push_back(static_cast<int16_t>(std::lround(9000 * std::sin(i * 0.11))));
  }
  const std::string lossless = test::MakeLosslessMio(samples, 2, 44100, 32768, 4);
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } files[] = {
      {"SE_017.mio (lossy mono, 22050 Hz)", ReadBytes(media + "SE_017.mio")},
      {"explosion.mio (lossy stereo rotation, 22050 Hz)", ReadBytes(media + "explosion.mio")},
      {"lossless stereo 16-bit, 44100 Hz, 10 s", std::vector<uint8_t>(lossless.begin(), lossless.end())},
  };
  for (const auto& file : files) {
    const double speed = Measure(file.bytes, rounds);
    if (speed == 0.0) {
      std::printf("%-50s not decodable (missing?)\n", file.name);
      continue;
    }
    std::printf("%-50s %8.1f x real time\n", file.name, speed);
  }
  return 0;
}
