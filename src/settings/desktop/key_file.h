// Files in the XDG key-file format (desktop entries, mimeapps.list): groups of
// "Key=Value" lines. Names compare exactly, as the format requires; every line
// the program does not change is written back as it was.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qorve {

class KeyFile {
 public:
  static KeyFile Parse(std::string_view text);
  // A missing or unreadable file reads as empty.
  static KeyFile Read(const std::filesystem::path& file);
  // A missing file (or a link to one) reads as empty; a file that is there
  // but cannot be read gives nothing and `error` says why ("<file>: <reason>").
  static std::optional<KeyFile> Load(const std::filesystem::path& file, std::string& error);

  // The value of the first `key` in the first group named `group`.
  std::optional<std::string> Find(std::string_view group, std::string_view key) const;
  // The keys of the first group named `group`, in file order.
  std::vector<std::string> Keys(std::string_view group) const;
  // Sets the value, adding the key (and the group) when missing.
  void Set(std::string_view group, std::string_view key, std::string_view value);
  // Removes every `key` line of the group; the group stays.
  void Remove(std::string_view group, std::string_view key);

  std::string Serialize() const;
  // Creates the folder when needed and replaces the file in one step (a
  // temporary file beside it, with its permissions, renamed over it). A
  // symbolic link stays a link: the file it leads to is replaced. False on
  // failure, with the reason in `error` when given; the old file stays whole.
  bool Write(const std::filesystem::path& file, std::string* error = nullptr) const;

 private:
  std::optional<std::size_t> FindGroup(std::string_view group) const;
  // The line after the group's last line.
  std::size_t GroupEnd(std::size_t groupLine) const;
  std::optional<std::size_t> FindKey(std::size_t groupLine, std::string_view key) const;

  std::vector<std::string> lines_;
};

// Splits a ";"-separated list value ("a.desktop;b.desktop;"); empty items are dropped.
std::vector<std::string> SplitList(std::string_view value);
// Joins items into a list value, each item followed by ";".
std::string JoinList(const std::vector<std::string>& items);

}  // namespace qorve
