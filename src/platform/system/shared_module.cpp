#include "platform/system/shared_module.h"

#include "platform/system/folders.h"

#include <dlfcn.h>

namespace qorve {

bool SharedModule::Load(const std::string& fileName) {
  Free();
  const std::string path = (ProgramFolder() / fileName).string();
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  return handle_ != nullptr;
}

void* SharedModule::Entry(const char* name) const {
  return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

void SharedModule::Free() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace qorve
