// Any text as an archiver command line and as a member name: the parser keeps
// every word it was given, and a member path that is accepted never climbs
// out of the destination.
#include "libs/archiver/command_line.h"
#include "libs/archiver/member_name.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const qorve::archiver::ArchiverCommand command = qorve::archiver::ParseArchiverCommand(text);
  if (command.archive.size() > size || command.destination.size() > size) std::abort();
  for (const std::string& pattern : command.patterns) qorve::archiver::MatchesPattern(command.archive, pattern);

  const std::string name = qorve::archiver::MemberNameToUtf8(text);
  if (const auto components = qorve::archiver::SafeComponents(name)) {
    for (const std::string& part : *components) {
      if (part.empty() || part == "." || part == ".." || part.find('/') != std::string::npos ||
          part.find('\\') != std::string::npos) {
        std::abort();
      }
    }
  }
  qorve::archiver::LinkStaysInside(name, size % 4);
  return 0;
}
