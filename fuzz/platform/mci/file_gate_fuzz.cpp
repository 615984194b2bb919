// Any bytes as the first bytes of a media file, shown to the gate that tells
// playlists and manifests apart: GStreamer's typefinders over the head as a
// source in pull mode hands it out, and libavformat's probe. Nothing may
// crash, hang or read out of bounds, and the answer is the same twice.
#include "platform/mci/file_gate.h"
#include "support/memory_file.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qorve;
  const fuzz::MemoryFile file(data, size);
  if (!file.IsOpen()) return 0;
  const std::string kind = ReferencingContent(file.Path());
  if (ReferencingContent(file.Path()) != kind) std::abort();
  return 0;
}
