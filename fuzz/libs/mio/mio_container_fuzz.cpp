// Any bytes as an MIO file: the container, the chunk index and the decoder
// through every coding the header may name: the first block, a block from
// the middle (a jump back to a lead chunk) and the next one. Nothing may crash,
// hang, read out of bounds or allocate without bound.
#include "libs/mio/mio_decoder.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qorve::mio;
  MioFile file;
  file.OpenBytes(std::vector<uint8_t>(data, data + size));
  MioDecoder decoder;
  if (!decoder.Open(file)) return 0;
  const uint32_t total = decoder.TotalFrames();
  for (uint32_t frame : {0u, total / 2, total - 1}) {
    auto block = decoder.DecodeAt(frame);
    if (!block || block->pcm.size() != std::size_t{MioDecoder::kBlockFrames} * decoder.BlockAlign()) std::abort();
    decoder.Release(std::move(block));
  }
  decoder.Release(decoder.NextBlock());
  return 0;
}
