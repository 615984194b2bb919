// Private-profile (INI) files with the semantics of the Windows profile calls:
// sections and keys compare ignoring ASCII case, integers are read from the
// leading digits with a default for a missing or empty value, and a write
// changes one line in place and keeps every other line, comment and byte.
//
// Text that is not valid: lines are byte strings and only the ASCII marks
// "[", "]", "=" and ";" give them meaning, so stray bytes, NULs or a missing
// final line break never stop the reader; a line that means nothing is kept
// untouched by writes. A file starting with a UTF-16LE byte-order mark is read
// as UTF-16 and written back as UTF-16; a UTF-8 mark is kept.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qorve {

// A profile file held in memory. Parsing and editing never touch the disk.
class ProfileDocument {
 public:
  static ProfileDocument Parse(std::string_view bytes);

  bool HasSection(std::string_view section) const;
  // The value of the first matching key of the first matching section, with
  // surrounding blanks and one pair of enclosing quotes removed, as raw bytes.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;

  // Sets a value, adding the key or the section when missing. Refuses (false)
  // names that could not be read back as the same entry: empty keys, line
  // breaks anywhere, "=" in a key, "]" in a section.
  bool Set(std::string_view section, std::string_view key, std::string_view value);

  std::string Serialize() const;

 private:
  struct Line {
    std::string text;  // without its line break
    std::string lineBreak;  // "\r\n", "\n" or "" for a last line without one
  };
  std::optional<std::size_t> FindSectionLine(std::string_view section) const;
  std::optional<std::size_t> FindKeyLine(std::size_t sectionLine, std::string_view key) const;
  std::string DefaultLineBreak() const;

  std::vector<Line> lines_;
  bool utf16_ = false;
  bool utf8Bom_ = false;
};

// Integer parsing as the Windows profile does it: blanks, an optional sign,
// decimal digits or "0x" and hex digits, stopping at the first other character;
// no digits gives 0. The value wraps to 32 bits.
int ParseProfileInt(std::string_view text);

// The Windows-shaped calls on a file. A missing or unreadable file reads as
// empty. Writes create the folder and the file when needed and replace the file
// in one step (a temporary file renamed over it), so a failed write leaves the
// old file whole; they return false on failure.
int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const std::filesystem::path& file);
// The value as UTF-8 (raw text that is not UTF-8 is taken as CP932), cut at a
// character boundary to at most size - 1 bytes, as a fixed buffer would hold.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::size_t size,
                                    const std::filesystem::path& file);
bool WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::filesystem::path& file);

// Whole-file access for callers that read or write many keys at once.
ProfileDocument ReadProfileFile(const std::filesystem::path& file);
bool WriteProfileFile(const ProfileDocument& document, const std::filesystem::path& file);

}  // namespace qorve
