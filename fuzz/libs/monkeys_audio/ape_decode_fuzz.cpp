// Any bytes as a whole Monkey's Audio file in memory: opening, decoding in the
// player's buffer sizes, seeking into the middle, to the end and beyond. Each
// call hands out whole blocks, never more than asked nor past the buffer, and
// fewer only at the stated end of the file.
#include "ape_decompress.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

namespace {

// Enough for a few frames; a small file may state billions of silent blocks.
constexpr intptr_t kMostBlocksRead = 1 << 19;
constexpr char kUntouched = 0x5A;

// Reads up to kMostBlocksRead blocks `chunk` at a time from the current block.
void ReadOn(IAPEDecompress& decoder, int chunk, intptr_t align, intptr_t total) {
  std::vector<char> buffer(static_cast<std::size_t>(chunk * align + 16));
  intptr_t position = decoder.GetInfo(APE_DECOMPRESS_CURRENT_BLOCK);
  for (intptr_t read = 0; read < kMostBlocksRead;) {
    std::fill(buffer.begin(), buffer.end(), kUntouched);
    int retrieved = -1;
    decoder.GetData(buffer.data(), chunk, &retrieved);
    if (retrieved < 0 || retrieved > chunk) std::abort();
    for (std::size_t i = static_cast<std::size_t>(retrieved * align); i < buffer.size(); ++i) {
      if (buffer[i] != kUntouched) std::abort();  // written beyond what it handed out
    }
    position += retrieved;
    read += retrieved;
    if (decoder.GetInfo(APE_DECOMPRESS_CURRENT_BLOCK) != position || position > total) std::abort();
    if (retrieved < chunk) {
      if (position != total) std::abort();  // ended early
      return;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<IAPEDecompress> decoder(CreateIAPEDecompressFromMemory(bytes, nullptr));
  if (!decoder) return 0;
  const intptr_t total = decoder->GetInfo(APE_DECOMPRESS_TOTAL_BLOCKS);
  const intptr_t align = decoder->GetInfo(APE_INFO_BLOCK_ALIGN);
  if (total <= 0 || align <= 0 || align > 6 || decoder->GetInfo(APE_INFO_LENGTH_MS) < 0) std::abort();

  // The player's fill: a second of 44.1 kHz blocks at a time.
  ReadOn(*decoder, 44100, align, total);
  const intptr_t middle = total / 2;
  const intptr_t end = std::min<intptr_t>(total, INT32_MAX);
  for (const intptr_t block : {middle, end}) {
    if (decoder->Seek(static_cast<int>(std::min<intptr_t>(block, INT32_MAX))) != ERROR_SUCCESS) std::abort();
    ReadOn(*decoder, 4093, align, total);
  }
  if (total < INT32_MAX && decoder->Seek(static_cast<int>(total) + 1) != ERROR_BAD_PARAMETER) std::abort();
  (void)decoder->GetInfo(APE_INFO_AVERAGE_BITRATE);
  return 0;
}
