// Unpacks a downloaded archive's libraries into the system folder through the
// UNZIP32 or UNLHA32 archiver module of the program folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace qorve {

// The archiver module's command entry: window (unused), command line, output
// text buffer and its size; the result is the module's own.
using ArchiverCommandEntry = int (*)(void* window, const char* commandLine, char* output, uint32_t outputSize);

// The command line handed to the module for `archive` and `systemFolder`:
// "e -n -m1 -c0 -gm0 -ga1 "<archive>" "<systemFolder>\" *.DLL". None when the
// line would not say exactly that: a path holding a double quote (which would
// end its word and turn the rest into further words) or a NUL, an empty
// archive, or a system folder that is not an absolute path (the module would
// otherwise pick a folder of its own).
std::optional<std::string> ArchiverCommandLine(const std::filesystem::path& archive,
                                               const std::filesystem::path& systemFolder);

// A name ending in a lower-case "p" goes to UNZIP32.so ("UnZip"), any other to
// UNLHA32.so ("Unlha"). -1 when there is no command line for the two paths or
// the module or its entry is missing; otherwise the entry is called with the
// command line (its result is not examined) and the result is 0.
int ExtractWithArchiver(const std::filesystem::path& archive, const std::filesystem::path& systemFolder);

}  // namespace qorve
