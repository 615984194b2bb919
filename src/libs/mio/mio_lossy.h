// Lossy MIO chunks: side information (division codes, weights, rotation
// codes), entropy-coded coefficients and the lapped orthogonal transform
// (plain, or with the stereo rotation of the MSS variant), giving 16-bit
// interleaved PCM.
#pragma once

#include "libs/mio/erina_huffman.h"
#include "libs/mio/erisa_arithmetic.h"
#include "libs/mio/mio_container.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qorve::mio {

class MioLossyDecoder {
 public:
  explicit MioLossyDecoder(const MioSoundInfo& info);
  // Restarts the entropy coder (a lead chunk).
  void Reset();
  // False when the chunk's side information divides a subband into blocks
  // too short to dequantise (subbands of 256 values split in eight). A chunk
  // whose side information cannot be read passes: it is corrupt, not of an
  // undecodable kind, and plays as silence.
  bool BlockSizesDecodable(const uint8_t* data, std::size_t size, uint32_t frames);
  // Decodes one chunk of `frames` frames into `out` (frames × channels
  // samples). False when the chunk is corrupt.
  bool Decode(const uint8_t* data, std::size_t size, uint32_t frames, int16_t* out);

 private:
  struct BlockParameters {
    uint32_t rotation = 0;  // revolve code (MSS only)
    uint32_t weight = 0;
    uint32_t coefficient = 0;
  };
  enum class BlockKind { Lead, Internal, Post };

  bool ReadSideInformation(MioBitReader& bits, uint32_t subbands);
  bool ReadCoefficients(MioBitReader& bits, std::size_t count, uint32_t subbands);
  // The next block's dequantised values of one channel into `v` (N values;
  // only the odd positions for lead and post blocks).
  bool Dequantize(const BlockParameters& parameters, int degree, bool oddOnly, float* v);
  // The transform steps after dequantisation for one channel; writes the
  // output of internal and post blocks at the channel's cursor.
  void Finish(BlockKind kind, uint32_t channel, int degree, float* v, int16_t* out, uint32_t& remaining,
              uint32_t cursor);
  bool RunPlain(uint32_t subbands, uint32_t frames, int16_t* out);
  bool RunMss(uint32_t subbands, uint32_t frames, int16_t* out);

  MioSoundInfo info_;
  bool mss_;
  int blockDegree_;  // W = 2^degree
  ErinaDecoder erina_;
  ErisaDecoder erisa_;
  bool erisaFresh_ = true;

  std::vector<uint8_t> divisions_;  // per subband (and channel, plain path)
  std::vector<BlockParameters> parameters_;
  std::size_t nextParameter_ = 0;
  std::vector<int32_t> q_;  // coefficients in processing order
  std::size_t nextQ_ = 0;
  std::vector<uint8_t> bytes_;
  std::vector<int32_t> frequencyMajor_;
  std::vector<float> lastDct_[2];
  std::vector<float> vectors_[2];
  std::vector<float> mixed_;
  std::vector<float> idctOut_;
  std::vector<float> scratch_;
  std::vector<int32_t> quantised_;
};

}  // namespace qorve::mio
