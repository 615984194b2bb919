// The per-user registry: a profile file "registry.ini" in the settings folder
// whose sections are key paths and whose entries are value names.
#pragma once

#include <cstddef>
#include <string_view>

namespace qorve {

enum class RegistryRoot { CurrentUser, LocalMachine, ClassesRoot };

// Returns 1 when the key exists, 0 otherwise. The value, when present, is copied
// into `buffer` (at most size - 1 bytes, cut at a character boundary, NUL
// terminated); a missing value leaves the buffer untouched. Only the current
// user's keys are kept; the other roots have no keys.
int ReadRegistryString(RegistryRoot root, std::string_view subkey, std::string_view valueName, char* buffer,
                       std::size_t size);

// Creates the key when needed and stores the value; 1 on success, else 0.
int WriteRegistryString(RegistryRoot root, std::string_view subkey, std::string_view valueName,
                        std::string_view value);

}  // namespace qorve
