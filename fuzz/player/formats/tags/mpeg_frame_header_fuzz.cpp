// Any bytes as the start of an MPEG stream: a stored rate is always one of the
// MPEG-1 rates, and nothing is stored without a whole frame.
#include "player/formats/tags/tag_readers.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qorve::MediaInfo info;
  std::memset(&info, 0, sizeof info);
  const bool stored = qorve::ReadMpegFrameHeader(std::string_view(reinterpret_cast<const char*>(data), size), info);
  if (!stored && (info.SampleRate != 0 || info.Bitrate != 0)) std::abort();
  if (stored && info.SampleRate != 44100 && info.SampleRate != 48000 && info.SampleRate != 32000) std::abort();
  if (stored && (info.Bitrate < 32 || info.Bitrate > 320)) std::abort();
  return 0;
}
