// Split files: the REZ control file, which names an output file and the parts
// that, appended in order, make it up, and the joiner that writes the output.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qorve {

// Names as stored (raw bytes, usually CP932).
struct RezControl {
  std::string outputName;
  std::vector<std::string> partNames;
};

enum class RezParse {
  kOk,
  kNotRez,     // does not start with "REZ" and a zero byte (letters in any case)
  kTruncated,  // a name or a part record runs past the end of the bytes
};

// Layout: "REZ\0", part count (1 byte), 5 bytes unused, output name length
// (1 byte), 1 byte unused, the output name; then per part 6 bytes unused, name
// length (1 byte), 1 byte unused, the part name.
RezParse ParseRezControl(std::string_view bytes, RezControl& out);

// What joining a split file would do, found by reading only.
struct RezPlan {
  bool controlRead = false;  // the control file was read and parsed whole
  RezControl control;
  std::filesystem::path output;
  std::filesystem::path backup;  // "<output>.BAK"
  std::vector<std::filesystem::path> parts;
  uint64_t joinedBytes = 0;  // the parts' sizes added up
};

// Every check of the join, with nothing written: 9 when the join can go
// ahead; else the code the join gives (see JoinSplitFile).
int PlanSplitFile(const std::string& controlPath, RezPlan& plan, std::string& missingPart);

// Joins the parts named by the control file at `controlPath` (names relative to
// its folder) into a temporary file beside the output; only when every part is
// in, an existing output moves to "<output>.BAK" (an older backup is deleted)
// and the joined file takes the output's name. A failed join thus leaves the
// output and its backup as they were. Returns 9 when joined, 3 when the
// control file cannot be read, 4 when it is no REZ control file, 11 when it is
// cut short, names a file outside its folder, names as output or backup one of
// its parts or itself, or a part is no regular file that can be opened (then
// `missingPart` holds that part's name in UTF-8), 1 when the output cannot be
// written or is a folder.
int JoinSplitFile(const std::string& controlPath, std::string& missingPart);

}  // namespace qorve
