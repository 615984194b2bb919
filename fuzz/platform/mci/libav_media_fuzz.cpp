// Any bytes as a video or sound file read through libavformat and decoded by
// libavcodec: the look at an AIFF file's samples, the length measure, every
// output from the start, a seek into the middle and a few outputs from there. The demultiplexers and decoders
// are libavformat's and libavcodec's; what is ours is the choice of streams,
// the bounds on pictures and sound, the conversion into I420 pictures and
// 16-bit sound, the times and the seek. Nothing may crash, hang or read out
// of bounds.
#include "platform/mci/libav_media.h"
#include "support/memory_file.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qorve;
  static const bool quiet = [] {
    av_log_set_level(AV_LOG_QUIET);
    return true;
  }();
  (void)quiet;
  const fuzz::MemoryFile file(data, size);
  if (!file.IsOpen()) return 0;
  const std::string path = file.Path();
  IsWideAiffSound(path);
  MediaLengthFromStreams(path);
  if (auto media = LibavMedia::Open(path)) {
    // A file yields at most a few thousand outputs at the fuzzer's sizes.
    for (int i = 0; i < 4000 && media->Next().kind != LibavMedia::Kind::End; ++i) {
    }
    media->SeekTo(100'000'000);
    for (int i = 0; i < 20 && media->Next().kind != LibavMedia::Kind::End; ++i) {
    }
  }
  return 0;
}
