// Any bytes as the bitstream of one chunk, fed to the entropy coders (ERINA
// Huffman, ERISA arithmetic, gamma words) and to the lossless and lossy chunk
// decoders with a sound format taken from the first four bytes. Nothing may
// crash, hang or read out of bounds.
#include "libs/mio/erina_huffman.h"
#include "libs/mio/erisa_arithmetic.h"
#include "libs/mio/mio_gamma_words.h"
#include "libs/mio/mio_lossless.h"
#include "libs/mio/mio_lossy.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qorve::mio;
  if (size < 4) return 0;
  const uint32_t channels = 1 + (data[0] & 1);
  const uint32_t frames = 1 + (static_cast<uint32_t>(data[1]) << 4 | (data[2] & 15));  // 1..4096
  static const uint32_t kArchitectures[4] = {kArchitectureGammaName, kArchitectureHuffman, kArchitectureArithmetic,
                                             kArchitectureGammaWords};
  const uint8_t* bits = data + 4;
  const std::size_t bytes = size - 4;

  static ErinaDecoder erina;
  erina.Reset();
  std::vector<uint8_t> out(2 * frames * channels);
  MioBitReader huffman(bits, bytes);
  erina.Decode(huffman, out.data(), out.size());

  static ErisaDecoder erisa;
  erisa.ResetModels();
  std::vector<int32_t> words(frames * channels);
  MioBitReader arithmetic(bits, bytes);
  erisa.Start(arithmetic);
  erisa.Decode(arithmetic, words.data(), words.size());

  MioBitReader gamma(bits, bytes);
  DecodeGammaWords(gamma, words.data(), words.size());

  MioLosslessDecoder lossless(channels, (data[0] & 2) != 0 ? 8 : 16);
  lossless.Decode(bits, bytes, frames, out.data());

  MioSoundInfo info;
  info.transformation = (data[0] & 4) != 0 ? kTransformLotMss : kTransformLot;
  info.architecture = kArchitectures[(data[0] >> 3) & 3];
  info.channels = channels;
  info.sampleRate = 22050;
  info.subbandDegree = 8 + (data[3] % 5);
  info.lappedDegree = 1;
  info.bitsPerSample = 16;
  MioLossyDecoder lossy(info);
  lossy.Reset();
  std::vector<int16_t> pcm(frames * channels);
  lossy.Decode(bits, bytes, frames, pcm.data());
  return 0;
}
