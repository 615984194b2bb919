// The gamma run-length word coder of lossy MIO (architecture 0xFFFFFFFE):
// alternating runs of zeros and of signed gamma-coded values. It keeps no
// state between chunks.
#pragma once

#include "libs/mio/mio_bit_reader.h"

#include <cstddef>
#include <cstdint>

namespace qorve::mio {

// Decodes the `count` words of one chunk. False when the stream is corrupt.
bool DecodeGammaWords(MioBitReader& bits, int32_t* out, std::size_t count);

}  // namespace qorve::mio
