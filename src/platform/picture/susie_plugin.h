// Image plug-ins (the stand-in for Susie "*.SPI" libraries): the search for a
// plug-in that accepts a file and the call that decodes it. Plug-ins are
// shared objects "*.spi" (any case) in one folder, loaded with dlopen for each
// call and unloaded after it. User-interface thread only.
#pragma once

#include "platform/picture/susie_plugin_abi.h"

#include <cstddef>
#include <string>

namespace qorve {

// The registry key and value that name the plug-in folder.
constexpr const char* kSusiePluginKey = "Software\\Morivane\\Susie\\Plug-in";
constexpr const char* kSusiePluginValue = "Path";

// The first plug-in of `folder` (in the order the folder lists them) whose
// IsSupported accepts `path`, or "" when none does, the file cannot be read or
// the folder cannot be listed.
std::string FindSusiePlugin(const std::string& folder, const std::string& path);

// A decoded picture: the plug-in's two blocks, freed with the object.
class SusiePicture {
 public:
  SusiePicture() = default;
  ~SusiePicture();
  SusiePicture(const SusiePicture&) = delete;
  SusiePicture& operator=(const SusiePicture&) = delete;

  const void* info() const { return info_; }
  const void* bits() const { return bits_; }
  // Readable bytes of each block (what the allocator holds for it).
  std::size_t infoSize() const { return infoSize_; }
  std::size_t bitsSize() const { return bitsSize_; }

 private:
  friend int GetSusiePicture(const std::string&, const std::string&, SusiePicture&);
  void* info_ = nullptr;
  void* bits_ = nullptr;
  std::size_t infoSize_ = 0;
  std::size_t bitsSize_ = 0;
};

// Loads `plugin`, calls its GetPicture for the file `path` (offset 0, input
// from the file, no progress callback) and unloads it. Returns the plug-in's
// code (SUSIE_SUCCESS with both blocks set), or SUSIE_NOT_IMPLEMENTED when the
// plug-in does not load or lacks IsSupported or GetPicture.
int GetSusiePicture(const std::string& plugin, const std::string& path, SusiePicture& out);

}  // namespace qorve
