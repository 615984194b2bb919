// The file list the controller walks: a folder's files or a playlist's lines,
// as whole paths of any length.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qorve {

enum ListSource : int { kListNone = 0, kListPlaylist = 1, kListFolder = 2 };

struct FileList {
  std::vector<std::string> entries;  // whole paths
  int index = 0;                     // current entry
  int source = kListNone;
  std::string firstArgument;  // the file, folder or playlist the program was started on
};

// The entries of a playlist file's bytes: one path per line (CR LF or LF),
// trailing CR, LF and NUL removed, empty lines skipped, no other trimming.
// A NUL inside a line ends it (no path holds one). Lines that are not valid
// UTF-8 are decoded as CP932. A line of any length is one entry.
std::vector<std::string> ParsePlaylist(std::string_view bytes);

// Reads a playlist into the list (entries only; source and index are the
// caller's). False, with the list untouched, when the path is not a regular
// file or cannot be read. Relative entries stay as written; they are resolved
// against the current directory when loaded.
bool LoadPlaylist(FileList& list, const std::string& path);

// Lists the regular files (and links to them; not folders, hidden files
// included) of the start folder, sorted by name ignoring ASCII case (ties in
// byte order), since directory order on Linux is arbitrary. The start folder
// is the first argument itself when the source is a folder (its parent when it
// names no folder), else the folder the first argument lies in. Does nothing
// for a playlist or an empty first argument. An unreadable folder gives an
// empty list. With findStart the index moves to the entry whose file name
// equals the first argument's (exactly, else ignoring ASCII case), when there
// is one; otherwise the index is left as it was, even past the new end.
void ScanFolder(FileList& list, bool findStart);

}  // namespace qorve
