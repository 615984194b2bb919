// Any bytes as a settings file: reading must not fail, a set must read back,
// and a set must keep every other entry that could be found before.
#include "platform/system/profile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using qorve::ProfileDocument;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  ProfileDocument document = ProfileDocument::Parse(bytes);
  const auto before = document.Find("WINSET", "MODE");
  const auto other = document.Find("KESTRAVOX", "LOG");
  (void)qorve::ParseProfileInt(bytes);

  if (!document.Set("WINSET", "X", "123")) std::abort();
  const ProfileDocument reread = ProfileDocument::Parse(document.Serialize());
  if (reread.Find("winset", "x") != std::optional<std::string>("123")) std::abort();
  if (reread.Find("WINSET", "MODE") != before) std::abort();
  if (reread.Find("KESTRAVOX", "LOG") != other) std::abort();
  return 0;
}
