#include "libs/mio/mio_gamma_words.h"

#include <algorithm>

namespace qorve::mio {

bool DecodeGammaWords(MioBitReader& bits, int32_t* out, std::size_t count) {
  bool values = bits.Bit() != 0;  // the first run holds values, else zeros
  std::size_t at = 0;
  while (at < count) {
    const uint32_t run = bits.Gamma();
    if (run == 0) return false;
    const std::size_t take = std::min<std::size_t>(run, count - at);
    if (!values) {
      std::fill(out + at, out + at + take, 0);
    } else {
      for (std::size_t i = 0; i < take; ++i) {
        const bool negative = bits.Bit() != 0;
        const uint32_t magnitude = bits.Gamma();
        if (magnitude == 0) return false;
        out[at + i] = static_cast<int16_t>(negative ? -static_cast<int32_t>(magnitude) : static_cast<int32_t>(magnitude));
      }
    }
    at += take;
    values = !values;
  }
  return !bits.Overrun();
}

}  // namespace qorve::mio
