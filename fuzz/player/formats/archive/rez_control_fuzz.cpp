// Any bytes as a REZ control file: the reader either refuses them or returns
// names that lie within the bytes it was given.
#include "player/formats/archive/rez_joiner.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qorve::RezControl rez;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (qorve::ParseRezControl(bytes, rez) != qorve::RezParse::kOk) return 0;
  std::size_t total = 12 + rez.outputName.size();
  for (const auto& name : rez.partNames) total += 8 + name.size();
  if (total > size || rez.outputName.size() > 255 || rez.partNames.size() > 255) std::abort();
  return 0;
}
