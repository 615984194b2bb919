// LHA reading over arbitrary bytes: the header search and checks, the walk
// that LhaExtractFrom makes for the installer's member, and every decoder on
// every member the walk finds. Output is counted, capped and discarded.
#include <cstddef>
#include <cstdint>
#include <span>

#include "downloader/lha_decoder.h"
#include "downloader/lha_extract.h"
#include "downloader/lha_header.h"

namespace {

class CappedSink final : public qorve::ByteSink {
 public:
  bool Write(const uint8_t*, std::size_t size) override {
    written_ += size;
    return written_ < (1u << 20);
  }

 private:
  std::size_t written_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  qorve::MemorySource archive(std::span(data, size));
  qorve::LhaExtractFrom(archive, "UNLHA32.DLL", [](const std::filesystem::path&) {
    return std::make_unique<CappedSink>();
  });
  // Decode every member found, whatever its name.
  int64_t at = qorve::LhaFindStart(archive);
  qorve::LhaHeader header;
  while (at >= 0 && archive.Seek(static_cast<uint64_t>(at)) && qorve::LhaReadHeader(archive, header)) {
    CappedSink sink;
    if (archive.Seek(header.dataOffset)) {
      qorve::LhaDecode(header.method, archive, header.compressedSize, sink, header.uncompressedSize);
    }
    at = static_cast<int64_t>(header.dataOffset + header.compressedSize);
  }
  return 0;
}
