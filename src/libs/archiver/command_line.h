// The command line an archiver module's command entry receives, split into the
// command, the switches, the archive, the destination folder and the patterns.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qorve::archiver {

struct ArchiverCommand {
  // Lower-case command word without its "-": "x" extract with folders, "e"
  // extract; empty when the line has none.
  std::string command;
  std::vector<std::string> switches;  // as written, e.g. "-d", "-c1", "-jyc"
  std::string archive;
  // The destination folder without its trailing separator; empty = the
  // current folder. "/" stays "/".
  std::string destination;
  // Member patterns ("*.*", "*.DLL"); empty = every member.
  std::vector<std::string> patterns;

  bool HasSwitch(std::string_view name) const;  // case-insensitive, e.g. "-d"
};

// Splits at blanks outside double quotes; quotes group and are removed. The
// first word is the command ("x", "e", or "-x"/"-e" as the ZIP and CAB lines
// write it); later words starting with "-" are switches. The first other word
// is the archive; the second is the destination when it ends in "/" or "\"
// (the archivers' way of naming a folder), otherwise a pattern; the rest are
// patterns.
ArchiverCommand ParseArchiverCommand(std::string_view line);

// Whether a member's base name matches a pattern: "*" any run, "?" one
// character, ASCII compared without case; "*.*" and "*" match every name
// (also one without a dot, as the Windows archivers do).
bool MatchesPattern(std::string_view name, std::string_view pattern);

}  // namespace qorve::archiver
