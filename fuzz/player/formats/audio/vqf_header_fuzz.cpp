// Any bytes as a TwinVQ file: the bitstream reader's header, chunk index and
// chunk queries, then (when the "COMM" chunk names a TwinVQ mode) frame reading,
// skipping and decoding. Nothing may crash, hang or read out of bounds.
#include "libs/tvqdec/tvqdec.h"
#include "player/formats/audio/tvq_bitstream.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qorve;
  auto reader = TvqBitstream::FromBytes(std::string(reinterpret_cast<const char*>(data), size));
  if (!reader->ReadHeader() || !reader->BuildChunkIndex()) return 0;
  for (const char* id : {"NAME", "AUTH", "COMT", "(c) ", "FILE"}) (void)reader->TextChunk(id);
  (void)reader->IntegerChunk("DSIZ");
  const auto comm = reader->CommChunk();
  if (!comm) return 0;
  TvqHeaderInfo header{};
  std::memcpy(header.ID, reader->VersionId().data(), std::min<std::size_t>(reader->VersionId().size(), 15));
  header.channelMode = (*comm)[0];
  header.bitRate = (*comm)[1];
  header.samplingRate = (*comm)[2];
  static TvqIndex index;
  if (TvqInitialize(&header, &index, 0) != 0) return 0;
  if (reader->InitializeFrameReading() == 0) {
    std::vector<float> out(static_cast<std::size_t>(TvqGetNumChannels() * TvqGetFrameSize()));
    for (int i = 0; i < 6; ++i) {
      if (reader->ReadFrame(index)) TvqDecodeFrame(&index, out.data());
      if (i == 3) reader->SkipFrames(-2);
    }
  }
  TvqTerminate(&index);
  return 0;
}
