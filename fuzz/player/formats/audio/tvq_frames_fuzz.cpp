// Any bytes as the frames of a TwinVQ file whose header is sound: the first
// byte chooses one of the TwinVQ modes (rate, bit rate, channels), the rest is
// the bitstream after "DATA". Every frame is read and decoded and converted to
// PCM as the VQF class does, with skips back and forward between them as its
// seeking makes. Nothing may crash, hang or read out of bounds.
#include "libs/tvqdec/tvqdec.h"
#include "player/formats/audio/tvq_bitstream.h"
#include "player/formats/audio/vqf.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Mode {
  int32_t khz;
  int32_t kbpsPerChannel;
};

// Every rate and bit rate the decoder takes, each mono and stereo.
constexpr Mode kModes[] = {{8, 8},   {11, 8},  {11, 10}, {16, 16}, {22, 20},
                           {22, 24}, {22, 32}, {44, 40}, {44, 48}};
constexpr int kMostFrames = 48;

std::string BigEndian32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qorve;
  if (size < 1) return 0;
  const Mode mode = kModes[(data[0] >> 1) % std::size(kModes)];
  const int32_t channelMode = data[0] & 1;
  const std::string comm = "COMM" + BigEndian32(16) + BigEndian32(static_cast<uint32_t>(channelMode)) +
                           BigEndian32(static_cast<uint32_t>(mode.kbpsPerChannel * (channelMode + 1))) +
                           BigEndian32(static_cast<uint32_t>(mode.khz)) + BigEndian32(0);
  std::string file = "TWIN97012000" + BigEndian32(static_cast<uint32_t>(comm.size())) + comm + "DATA";
  file.append(reinterpret_cast<const char*>(data) + 1, size - 1);

  auto reader = TvqBitstream::FromBytes(std::move(file));
  if (!reader->ReadHeader() || !reader->BuildChunkIndex()) std::abort();
  const auto fields = reader->CommChunk();
  if (!fields) std::abort();
  TvqHeaderInfo header{};
  std::memcpy(header.ID, reader->VersionId().data(), std::min<std::size_t>(reader->VersionId().size(), 15));
  header.channelMode = (*fields)[0];
  header.bitRate = (*fields)[1];
  header.samplingRate = (*fields)[2];
  static TvqIndex index;
  if (TvqInitialize(&header, &index, 0) != 0) std::abort();  // every mode above is one
  if (reader->InitializeFrameReading() != 0) std::abort();
  const int channels = TvqGetNumChannels();
  const int frameSize = TvqGetFrameSize();
  std::vector<float> floats(static_cast<std::size_t>(channels * frameSize));
  std::vector<int16_t> pcm(floats.size());
  for (int i = 0; i < kMostFrames; ++i) {
    const int64_t before = reader->FrameCounter();
    if (reader->ReadFrame(index)) {
      TvqDecodeFrame(&index, floats.data());
      TvqFloatToPcm(floats.data(), pcm.data(), frameSize, channels);
    } else if (reader->FrameCounter() == before) {
      break;  // the end of the data
    }
    if (i == 8) reader->SkipFrames(-5);
    if (i == 16) reader->SkipFrames(3);
  }
  TvqTerminate(&index);
  return 0;
}
