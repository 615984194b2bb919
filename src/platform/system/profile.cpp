#include "platform/system/profile.h"

#include "platform/system/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

namespace qorve {
namespace {

constexpr std::string_view kUtf16Bom = "\xFF\xFE";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// The name of a section header line, or nothing when the line is not one.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const std::size_t close = line.rfind(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

std::optional<KeyLine> ParseKeyLine(std::string_view line) {
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
  const std::size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return KeyLine{Trim(trimmed.substr(0, equals)), Trim(trimmed.substr(equals + 1))};
}

bool HasLineBreak(std::string_view text) {
  return text.find('\n') != std::string_view::npos || text.find('\r') != std::string_view::npos;
}

}  // namespace

ProfileDocument ProfileDocument::Parse(std::string_view bytes) {
  ProfileDocument document;
  std::string decoded;
  if (bytes.substr(0, 2) == kUtf16Bom) {
    document.utf16_ = true;
    // Decode unit by unit so that embedded NULs do not end the text.
    std::string_view rest = bytes.substr(2);
    while (rest.size() >= 2) {
      std::size_t take = 2;
      const unsigned char high = static_cast<unsigned char>(rest[1]);
      if (high >= 0xD8 && high <= 0xDB && rest.size() >= 4) take = 4;
      if (rest[0] == 0 && rest[1] == 0) decoded += '\0';
      else decoded += Utf16LeToUtf8(rest.substr(0, take));
      rest.remove_prefix(take);
    }
    bytes = decoded;
  } else if (bytes.substr(0, 3) == kUtf8Bom) {
    document.utf8Bom_ = true;
    bytes.remove_prefix(3);
  }
  while (!bytes.empty()) {
    const std::size_t newline = bytes.find('\n');
    Line line;
    if (newline == std::string_view::npos) {
      line.text = std::string(bytes);
      bytes = {};
    } else {
      std::string_view text = bytes.substr(0, newline);
      line.lineBreak = "\n";
      if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
        line.lineBreak = "\r\n";
      }
      line.text = std::string(text);
      bytes.remove_prefix(newline + 1);
    }
    document.lines_.push_back(std::move(line));
  }
  return document;
}

std::optional<std::size_t> ProfileDocument::FindSectionLine(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const auto name = SectionName(lines_[i].text);
    if (name && EqualsIgnoreCase(*name, Trim(section))) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> ProfileDocument::FindKeyLine(std::size_t sectionLine, std::string_view key) const {
  for (std::size_t i = sectionLine + 1; i < lines_.size(); ++i) {
    if (SectionName(lines_[i].text)) break;
    const auto entry = ParseKeyLine(lines_[i].text);
    if (entry && EqualsIgnoreCase(entry->key, Trim(key))) return i;
  }
  return std::nullopt;
}

bool ProfileDocument::HasSection(std::string_view section) const {
  return FindSectionLine(section).has_value();
}

std::optional<std::string> ProfileDocument::Find(std::string_view section, std::string_view key) const {
  const auto sectionLine = FindSectionLine(section);
  if (!sectionLine) return std::nullopt;
  const auto keyLine = FindKeyLine(*sectionLine, key);
  if (!keyLine) return std::nullopt;
  std::string_view value = ParseKeyLine(lines_[*keyLine].text)->value;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

std::string ProfileDocument::DefaultLineBreak() const {
  for (const Line& line : lines_) {
    if (!line.lineBreak.empty()) return line.lineBreak;
  }
  return "\n";
}

bool ProfileDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  if (key.empty() || section.empty() || HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
      key.find('=') != std::string_view::npos || section.find(']') != std::string_view::npos ||
      key.front() == '[' || key.front() == ';') {
    return false;
  }
  const std::string lineBreak = DefaultLineBreak();
  const auto sectionLine = FindSectionLine(section);
  if (!sectionLine) {
    if (!lines_.empty()) {
      if (lines_.back().lineBreak.empty()) lines_.back().lineBreak = lineBreak;
      if (!Trim(lines_.back().text).empty()) lines_.push_back(Line{"", lineBreak});
    }
    lines_.push_back(Line{"[" + std::string(section) + "]", lineBreak});
    lines_.push_back(Line{std::string(key) + "=" + std::string(value), lineBreak});
    return true;
  }
  if (const auto keyLine = FindKeyLine(*sectionLine, key)) {
    // Keep the key as it was spelt in the file.
    const std::string spelt(ParseKeyLine(lines_[*keyLine].text)->key);
    lines_[*keyLine].text = spelt + "=" + std::string(value);
    return true;
  }
  // A new key goes after the last non-blank line of its section.
  std::size_t insertAt = *sectionLine + 1;
  for (std::size_t i = *sectionLine + 1; i < lines_.size() && !SectionName(lines_[i].text); ++i) {
    if (!Trim(lines_[i].text).empty()) insertAt = i + 1;
  }
  if (lines_[insertAt - 1].lineBreak.empty()) lines_[insertAt - 1].lineBreak = lineBreak;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                Line{std::string(key) + "=" + std::string(value), lineBreak});
  return true;
}

std::string ProfileDocument::Serialize() const {
  std::string text;
  for (const Line& line : lines_) {
    text += line.text;
    text += line.lineBreak;
  }
  if (utf16_) {
    std::string out(kUtf16Bom);
    // Encode piecewise so that NUL bytes kept from the file survive.
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
      if (i == text.size() || text[i] == '\0') {
        out += Utf8ToUtf16Le(std::string_view(text).substr(start, i - start));
        if (i < text.size()) out.append(2, '\0');
        start = i + 1;
      }
    }
    return out;
  }
  return utf8Bom_ ? std::string(kUtf8Bom) + text : text;
}

int ParseProfileInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  uint32_t base = 10;
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  uint32_t value = 0;  // wraps modulo 2^32 like the Windows conversion
  for (; i < text.size(); ++i) {
    const char c = text[i];
    uint32_t digit;
    if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f') digit = static_cast<uint32_t>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F') digit = static_cast<uint32_t>(c - 'A' + 10);
    else break;
    value = value * base + digit;
  }
  if (negative) value = 0u - value;
  return static_cast<int>(value);
}

ProfileDocument ReadProfileFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return ProfileDocument{};
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ProfileDocument::Parse(bytes);
}

bool WriteProfileFile(const ProfileDocument& document, const std::filesystem::path& file) {
  std::error_code error;
  // Write through a link to the file it names, so the link itself stays.
  std::filesystem::path target = std::filesystem::weakly_canonical(file, error);
  if (error) target = file;
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), error);
  const std::string bytes = document.Serialize();
  std::string temporary = target.string() + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  bool written = true;
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      written = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  // Keep the permissions of the file being replaced.
  struct stat old {};
  if (stat(target.c_str(), &old) == 0) fchmod(fd, old.st_mode & 07777);
  else fchmod(fd, 0644);
  if (close(fd) != 0) written = false;
  if (!written || rename(temporary.c_str(), target.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const std::filesystem::path& file) {
  const auto value = ReadProfileFile(file).Find(section, key);
  if (!value || value->empty()) return defaultValue;
  return ParseProfileInt(*value);
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::size_t size,
                                    const std::filesystem::path& file) {
  if (size == 0) return {};
  const auto value = ReadProfileFile(file).Find(section, key);
  const std::string text = value ? TextToUtf8(*value) : std::string(defaultValue);
  return std::string(CutUtf8(text, size - 1));
}

bool WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::filesystem::path& file) {
  ProfileDocument document = ReadProfileFile(file);
  if (!document.Set(section, key, value)) return false;
  return WriteProfileFile(document, file);
}

}  // namespace qorve
