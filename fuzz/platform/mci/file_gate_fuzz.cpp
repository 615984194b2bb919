// Any bytes as the first bytes of a media file, shown to the gate that tells
// playlists and manifests apart: GStreamer's typefinders over the head as a
// source in pull mode hands it out, and libavformat's probe. Nothing may
// crash, hang or read out of bounds, and the answer is the same twice.
#include "platform/mci/file_gate.h"

extern "C" {
#include <libavutil/log.h>
}

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qorve;
  static const bool quiet = [] {
    av_log_set_level(AV_LOG_QUIET);
    return true;
  }();
  (void)quiet;
  const int fd = memfd_create("media", 0);
  if (fd < 0) return 0;
  if (write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  const std::string kind = ReferencingContent(path);
  if (ReferencingContent(path) != kind) std::abort();
  close(fd);
  return 0;
}
