#include "platform/system/registry.h"

#include "platform/system/folders.h"
#include "platform/system/profile.h"
#include "platform/system/text.h"

namespace qorve {
namespace {

std::filesystem::path RegistryFile() {
  return SettingsFolder() / "registry.ini";
}

}  // namespace

int ReadRegistryString(RegistryRoot root, std::string_view subkey, std::string_view valueName, char* buffer,
                       std::size_t size) {
  if (root != RegistryRoot::CurrentUser) return 0;
  const ProfileDocument registry = ReadProfileFile(RegistryFile());
  if (!registry.HasSection(subkey)) return 0;
  if (const auto value = registry.Find(subkey, valueName); value && buffer) {
    CopyToBuffer(TextToUtf8(*value), buffer, size);
  }
  return 1;
}

int WriteRegistryString(RegistryRoot root, std::string_view subkey, std::string_view valueName,
                        std::string_view value) {
  if (root != RegistryRoot::CurrentUser) return 0;
  return WritePrivateProfileString(subkey, valueName, value, RegistryFile()) ? 1 : 0;
}

}  // namespace qorve
