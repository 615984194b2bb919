// Any bytes as a file's first bytes and as a path: the header look returns the
// extension it was given or one of its own, and a path's extension never
// holds a "/" and is always the tail of the path.
#include "player/core/media_factory.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string kept = "KEEP";
  const std::string sniffed = qorve::SniffExtension(bytes, kept);
  if (sniffed != kept && sniffed.size() > 3) std::abort();

  const std::string extension = qorve::PathExtension(bytes);
  if (extension.find('/') != std::string::npos) std::abort();
  if (!bytes.ends_with(extension)) std::abort();
  if (!extension.empty() && bytes[bytes.size() - extension.size() - 1] != '.') std::abort();
  return 0;
}
