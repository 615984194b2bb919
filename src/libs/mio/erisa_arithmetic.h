// The ERISA arithmetic coder of lossy MIO (architecture 0xFFFFFFF0): adaptive
// frequency models in the context of the previous value, with escapes for
// 16-bit words and zero runs. Its models carry over from chunk to chunk until
// a lead chunk resets them; its registers restart with every chunk.
#pragma once

#include "libs/mio/mio_bit_reader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace qorve::mio {

class ErisaDecoder {
 public:
  ErisaDecoder();
  // Every model back to equal counts (a lead chunk).
  void ResetModels();
  // Starts a chunk: the registers are loaded from the first 32 bits.
  void Start(MioBitReader& bits);
  // Decodes `count` signed 16-bit words. False when the stream is corrupt.
  bool Decode(MioBitReader& bits, int32_t* out, std::size_t count);

 private:
  static constexpr int kEntries = 257;
  static constexpr int16_t kEscape = -1;

  struct Model {
    uint32_t total = 0;
    std::array<uint16_t, kEntries> counts{};
    std::array<int16_t, kEntries> symbols{};
    void Reset();
    void Bump(int index);
  };

  // The index of the next symbol under `model`, or -1 when corrupt.
  int DecodeIndex(MioBitReader& bits, Model& model);
  // The next symbol under `model` (its count bumped); false when corrupt.
  bool Symbol(MioBitReader& bits, Model& model, int32_t& symbol);

  // 256 contexts, the escape context, and the run, phrase index and phrase
  // length models.
  std::unique_ptr<std::array<Model, 260>> models_;
  Model* current_ = nullptr;
  uint32_t code_ = 0;
  uint32_t augend_ = 0;
  uint32_t postBits_ = 0;
  uint32_t pending_ = 0;
};

}  // namespace qorve::mio
