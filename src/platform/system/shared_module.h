// A shared module loaded by base name from the program folder (the stand-in
// for LoadLibraryA / GetProcAddress / FreeLibrary of an outside library).
#pragma once

#include <string>

namespace qorve {

class SharedModule {
 public:
  SharedModule() = default;
  ~SharedModule() { Free(); }
  SharedModule(const SharedModule&) = delete;
  SharedModule& operator=(const SharedModule&) = delete;

  // Loads ProgramFolder()/`fileName` with every symbol bound at once; false
  // (nothing loaded) when it is missing or does not load.
  bool Load(const std::string& fileName);
  bool IsLoaded() const { return handle_ != nullptr; }
  // The entry's address, null when it is missing (or nothing is loaded).
  void* Entry(const char* name) const;
  // Unloads; a second call does nothing.
  void Free();

  // The entry as a function pointer of type F.
  template <typename F>
  F EntryAs(const char* name) const {
    return reinterpret_cast<F>(Entry(name));
  }

 private:
  void* handle_ = nullptr;
};

}  // namespace qorve
