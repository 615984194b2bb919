// Unpacks a downloaded archive's libraries into the system folder through the
// UNZIP32 or UNLHA32 archiver module of the program folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace qorve {

// The archiver module's command entry: window (unused), command line, output
// text buffer and its size; the result is the module's own.
using ArchiverCommandEntry = int (*)(void* window, const char* commandLine, char* output, uint32_t outputSize);

// The command line handed to the module for `archive` and `systemFolder`.
std::string ArchiverCommandLine(const std::filesystem::path& archive, const std::filesystem::path& systemFolder);

// A name ending in a lower-case "p" goes to UNZIP32.so ("UnZip"), any other to
// UNLHA32.so ("Unlha"). -1 when the module or its entry is missing; otherwise
// the entry is called with the command line (its result is not examined) and
// the result is 0.
int ExtractWithArchiver(const std::filesystem::path& archive, const std::filesystem::path& systemFolder);

}  // namespace qorve
