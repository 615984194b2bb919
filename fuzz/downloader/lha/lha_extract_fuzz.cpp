// LHA reading over arbitrary bytes: the header search and checks, the walk
// that LhaExtractFrom makes for the installer's member, and every decoder on
// every member the walk finds. Output is counted, capped and discarded; what
// was written is checked against the bounds and the sizes the headers give.
#include <cstddef>
#include <cstdint>
#include <span>

#include "downloader/lha/lha_decoder.h"
#include "downloader/lha/lha_extract.h"
#include "downloader/lha/lha_header.h"

namespace {

constexpr std::size_t kOutputCap = 1u << 20;

// Counts what it is given into `total`, shared by the outputs of one walk;
// refuses past the cap.
class CountingSink final : public qorve::ByteSink {
 public:
  explicit CountingSink(std::size_t& total) : total_(total) {}
  bool Write(const uint8_t*, std::size_t size) override {
    total_ += size;
    return total_ < kOutputCap;
  }

 private:
  std::size_t& total_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  qorve::MemorySource archive(std::span(data, size));
  // The walk checks its bounds from the headers before writing; what it then
  // writes must stay within them.
  const qorve::LhaBounds bounds{kOutputCap / 2, 1000};
  std::size_t extracted = 0;
  qorve::LhaExtractFrom(
      archive, "UNLHA32.DLL", [&](const std::filesystem::path&) { return std::make_unique<CountingSink>(extracted); },
      bounds);
  if (extracted > bounds.maxBytes) __builtin_trap();
  // Decode every member found, whatever its name.
  int64_t at = qorve::LhaFindStart(archive);
  qorve::LhaHeader header;
  while (at >= 0 && archive.Seek(static_cast<uint64_t>(at)) && qorve::LhaReadHeader(archive, header)) {
    std::size_t decoded = 0;
    CountingSink sink(decoded);
    if (archive.Seek(header.dataOffset) &&
        qorve::LhaDecode(header.method, archive, header.compressedSize, sink, header.uncompressedSize) &&
        decoded > qorve::LhaDecodedBytes(header.method, header.compressedSize, header.uncompressedSize)) {
      __builtin_trap();  // the walk's bounds rest on this figure
    }
    at = static_cast<int64_t>(header.dataOffset + header.compressedSize);
  }
  return 0;
}
