// The media factory: turns a path into the current media object.
#pragma once

#include "player/core/media_file.h"

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qorve {

using MediaCreator = std::unique_ptr<MediaFile> (*)();

// Which kind filters let a class group take part.
enum class GroupCondition {
  FilterOrMixPlay,  // MIXPLAY 1, or filter 0, or filter == kind
  FilterOnly,       // filter 0 or filter == kind (MIXPLAY does not apply)
};

struct ClassGroup {
  std::vector<std::string_view> extensions;  // upper case; empty = every extension
  const char* className;
  int kind;  // the kind the condition compares the filter with
  GroupCondition condition;
  MediaCreator create;  // null while the class is not part of the program
  MediaCreator createAlternative;  // video group: MCIVIDEO when VIDEOSET DSHOW is 0
  bool logsOutcome = false;  // logs "RETURN" on success and "ERR" on failure
};

// The groups in the order they are tried. A group whose creator is null does
// not take part. The video group (kind 2) creates with `create` when VIDEOSET
// DSHOW is 1, else with `createAlternative`. Mutable so that tests can put
// creators of their own in.
std::span<ClassGroup> ClassGroups();

// The extension of a path: the text after the last "." of its last component,
// "" when that component has none (a folder).
std::string PathExtension(std::string_view path);

// Looks at the first bytes of a file and returns the extension they reveal,
// or `extension` unchanged when they reveal none.
std::string SniffExtension(std::string_view firstBytes, const std::string& extension);

// Makes the current media object for `path` (rewritten in place with its
// absolute, lexically normalised form). Existing folders (whatever their name)
// and playlists (*.LST) fill the file list and load their start entry; an
// empty or unreadable one, or a missing playlist or extension-less name, leaves
// the list as it was and gives code 3, and lists nested deeper than a few
// levels (a playlist that lists itself) give code 4. A file without an
// extension goes through the class groups like any other file. kindFilter 0 tries any class, otherwise only
// classes that the filter and MIXPLAY let take part. When no class takes part
// the code is 4, or 3 when the path does not exist. When every class that
// takes part fails, the code and detail shown are the last class's, except
// that a class that could not open the sound device (6) keeps its code over
// every class after it. Afterwards
// Player().media is never null: on failure it is an ERRORFILE showing why.
// Returns the MediaResult. User-interface thread only.
int LoadMedia(WindowHandle owner, std::string& path, int kindFilter);

}  // namespace qorve
