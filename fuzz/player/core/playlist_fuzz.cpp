// Any bytes as a playlist: every entry is non-empty UTF-8 without a line
// break or NUL, and there are never more entries than lines.
#include "platform/system/text.h"
#include "player/core/file_list.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto entries = qorve::ParsePlaylist(bytes);
  const auto lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
  if (entries.size() > lines) std::abort();
  for (const auto& entry : entries) {
    if (entry.empty() || !qorve::IsValidUtf8(entry)) std::abort();
    if (entry.find('\n') != std::string::npos || entry.find('\0') != std::string::npos) std::abort();
    if (entry.back() == '\r') std::abort();
  }
  return 0;
}
