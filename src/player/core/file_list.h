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
// Lines that are not valid UTF-8 are decoded as CP932.
std::vector<std::string> ParsePlaylist(std::string_view bytes);

// Reads a playlist into the list (entries only; source and index are the
// caller's). False when the file cannot be read.
bool LoadPlaylist(FileList& list, const std::string& path);

// Lists the files (not folders) of the start folder, in the order the file
// system returns them: the first argument itself when the source is a folder,
// else the folder the first argument lies in. Does nothing for a playlist or
// an empty first argument. With findStart the index moves to the entry whose
// file name equals the first argument's (ignoring case), when there is one.
void ScanFolder(FileList& list, bool findStart);

}  // namespace qorve
