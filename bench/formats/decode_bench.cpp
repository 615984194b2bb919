// Decoding cost of the OGG and FLAC fill paths beside the bare libraries on the
// same file, as process CPU time (getrusage). The media class plays through
// WaveOutStream into a device that counts a byte as played when it is written,
// so the stream renders as fast as its worker refills; what is compared is the
// CPU time from Play to the end of the file (the worker's 1 ms polling
// included; this thread looks at the position every 20 ms) with a plain ov_read or FLAC__stream_decoder loop into one buffer.
// Open, which fills the ring once by design, is timed apart.
//
// Usage: formats_decode_bench [seconds of music, default 60] [rounds, default 3]
// Makes its files with sox, oggenc and flac in a temporary folder.
#include "common/settings.h"
#include "platform/audio/wave_out.h"
#include "platform/system/clock.h"
#include "player/formats/audio/flac.h"
#include "player/formats/audio/ogg.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <FLAC/stream_decoder.h>
#include <sys/resource.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qorve {
namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Plays a byte as soon as it is written, unless paused; keeps nothing.
class CountingDevice final : public WaveOutDevice {
 public:
  MMRESULT Open(const WAVEFORMATEX&) override { return MMSYSERR_NOERROR; }
  MMRESULT Write(const uint8_t*, uint32_t bytes) override {
    std::lock_guard lock(mutex_);
    if (!paused_) position_ += bytes;
    else pending_ += bytes;
    return MMSYSERR_NOERROR;
  }
  MMRESULT Pause() override {
    std::lock_guard lock(mutex_);
    paused_ = true;
    return MMSYSERR_NOERROR;
  }
  MMRESULT Restart() override {
    std::lock_guard lock(mutex_);
    paused_ = false;
    position_ += pending_;
    pending_ = 0;
    return MMSYSERR_NOERROR;
  }
  MMRESULT Reset() override {
    std::lock_guard lock(mutex_);
    position_ = 0;
    pending_ = 0;
    return MMSYSERR_NOERROR;
  }
  MMRESULT GetPosition(uint32_t& bytes) override {
    std::lock_guard lock(mutex_);
    bytes = position_;
    return MMSYSERR_NOERROR;
  }
  MMRESULT Close() override { return MMSYSERR_NOERROR; }

 private:
  std::mutex mutex_;
  bool paused_ = false;
  uint32_t position_ = 0;
  uint32_t pending_ = 0;
};

struct Timing {
  double openCpu = 0;
  double cpu = 0;
  double wall = 0;
};

template <typename Media>
Timing PlayThrough(const std::string& path, const char* extension) {
  Timing timing;
  double start = CpuSeconds();
  Media media;
  if (media.Open(path, extension, nullptr) != 0) {
    std::fprintf(stderr, "cannot open %s\n", path.c_str());
    std::exit(1);
  }
  timing.openCpu = CpuSeconds() - start;
  MediaInfo info;
  media.GetInfo(info);
  start = CpuSeconds();
  const auto wallStart = std::chrono::steady_clock::now();
  media.Play(0.0);
  for (;;) {
    MediaState state{};
    media.GetStatus(state);
    if (state.TimePos >= info.Length) break;
    SleepMs(20);  // the waiting thread should cost next to nothing
  }
  timing.cpu = CpuSeconds() - start;
  timing.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  return timing;
}

double BareVorbis(const std::string& path) {
  const double start = CpuSeconds();
  OggVorbis_File file;
  if (ov_fopen(path.c_str(), &file) != 0) std::exit(1);
  std::vector<char> buffer(176400);
  int link = 0;
  for (;;) {
    std::size_t done = 0;
    long read = 1;
    while (done < buffer.size() && (read = ov_read(&file, buffer.data() + done, static_cast<int>(buffer.size() - done),
                                                   0, 2, 1, &link)) > 0) {
      done += static_cast<std::size_t>(read);
    }
    if (read <= 0) break;
  }
  ov_clear(&file);
  return CpuSeconds() - start;
}

struct BareFlacSink {
  std::vector<int16_t> out = std::vector<int16_t>(1 << 20);
};

FLAC__StreamDecoderWriteStatus BareWrite(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                         const FLAC__int32* const buffer[], void* client) {
  auto& sink = *static_cast<BareFlacSink*>(client);
  const uint32_t channels = frame->header.channels;
  for (uint32_t i = 0; i < frame->header.blocksize; ++i) {
    for (uint32_t c = 0; c < channels; ++c) sink.out[(i * channels + c) & ((1 << 20) - 1)] = static_cast<int16_t>(buffer[c][i]);
  }
  return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}
void BareMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata*, void*) {}
void BareError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

double BareFlac(const std::string& path) {
  const double start = CpuSeconds();
  BareFlacSink sink;
  FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
  FLAC__stream_decoder_set_md5_checking(decoder, false);
  FLAC__stream_decoder_init_file(decoder, path.c_str(), BareWrite, BareMetadata, BareError, &sink);
  FLAC__stream_decoder_process_until_end_of_stream(decoder);
  FLAC__stream_decoder_finish(decoder);
  FLAC__stream_decoder_delete(decoder);
  return CpuSeconds() - start;
}

void Report(const char* name, double seconds, std::vector<double> bare, std::vector<Timing> ours) {
  std::sort(bare.begin(), bare.end());
  std::sort(ours.begin(), ours.end(), [](const Timing& a, const Timing& b) { return a.cpu < b.cpu; });
  const double b = bare[bare.size() / 2];
  const Timing& o = ours[ours.size() / 2];
  std::printf("%-6s %5.0f s of music: bare library %.3f s CPU (%.0fx real time); fill path %.3f s CPU "
              "(%.0fx), wall %.3f s; overhead %+.1f %%; Open %.3f s CPU\n",
              name, seconds, b, seconds / b, o.cpu, seconds / o.cpu, o.wall, (o.cpu / b - 1) * 100, o.openCpu);
}

}  // namespace
}  // namespace qorve

int main(int argc, char** argv) {
  using namespace qorve;
  const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 60;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  ProgramSettings().kestravoxLog = 0;
  char pattern[] = "/tmp/qorve-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::filesystem::path work = pattern;
  const std::string wav = (work / "m.wav").string(), ogg = (work / "m.ogg").string(),
                    flac = (work / "m.flac").string();
  const std::string make = "sox -n -r 44100 -c 2 -b 16 '" + wav + "' synth " + std::to_string(seconds) +
                           " pluck 220 pluck 330 sine 110 tremolo 3 60 && oggenc -Q '" + wav + "' -o '" + ogg +
                           "' && flac -s '" + wav + "' -o '" + flac + "'";
  if (std::system(make.c_str()) != 0) {
    std::fprintf(stderr, "needs sox, oggenc and flac\n");
    return 1;
  }
  SetWaveOutFactory([] { return std::make_unique<CountingDevice>(); });
  std::vector<double> bareOgg, bareFlac;
  std::vector<Timing> ourOgg, ourFlac;
  for (int round = 0; round < rounds; ++round) {
    bareOgg.push_back(BareVorbis(ogg));
    ourOgg.push_back(PlayThrough<OGG>(ogg, "OGG"));
    bareFlac.push_back(BareFlac(flac));
    ourFlac.push_back(PlayThrough<FLAC>(flac, "FLAC"));
  }
  Report("OGG", seconds, bareOgg, ourOgg);
  Report("FLAC", seconds, bareFlac, ourFlac);
  std::filesystem::remove_all(work);
  return 0;
}
