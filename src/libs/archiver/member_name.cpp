#include "member_name.h"

#include <iconv.h>

#include <cerrno>

namespace qorve::archiver {
namespace {

bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t length = 0;
    char32_t minimum = 0;
    char32_t value = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      length = 2, minimum = 0x80, value = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3, minimum = 0x800, value = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      length = 4, minimum = 0x10000, value = c & 0x07;
    } else {
      return false;
    }
    if (i + length > s.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto follow = static_cast<unsigned char>(s[i + k]);
      if ((follow & 0xC0) != 0x80) return false;
      value = (value << 6) | (follow & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::vector<std::string_view> Split(std::string_view name) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == '/' || name[i] == '\\') {
      parts.push_back(name.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

bool IsDrive(std::string_view part) {
  return part.size() == 2 && part[1] == ':' &&
         ((part[0] >= 'A' && part[0] <= 'Z') || (part[0] >= 'a' && part[0] <= 'z'));
}

bool IsCp932LeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Some readers (libarchive's RAR reader) turn every 0x5C byte of a name into
// "/", also the second byte of CP932 characters such as "表" (0x95 0x5C). A
// "/" right after a lead byte never occurs in CP932, so it is put back.
std::string RestoreCp932Backslashes(std::string_view raw) {
  std::string bytes(raw);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (!IsCp932LeadByte(static_cast<unsigned char>(bytes[i])) || i + 1 >= bytes.size()) continue;
    if (bytes[i + 1] == '/') bytes[i + 1] = '\\';
    ++i;
  }
  return bytes;
}

}  // namespace

std::string MemberNameToUtf8(std::string_view raw) {
  if (IsValidUtf8(raw)) return std::string(raw);
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(raw.size(), '?');
  const std::string restored = RestoreCp932Backslashes(raw);
  std::string out;
  char buffer[256];
  char* in = const_cast<char*>(restored.data());
  std::size_t inLeft = restored.size();
  while (inLeft > 0) {
    char* to = buffer;
    std::size_t toLeft = sizeof buffer;
    const std::size_t done = iconv(cd, &in, &inLeft, &to, &toLeft);
    out.append(buffer, static_cast<std::size_t>(to - buffer));
    if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
      out += "\xEF\xBF\xBD";  // U+FFFD for the byte that is not CP932
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

std::optional<std::vector<std::string>> SafeComponents(std::string_view utf8Name) {
  std::vector<std::string> components;
  bool first = true;
  for (std::string_view part : Split(utf8Name)) {
    const bool drive = first && IsDrive(part);
    first = false;
    if (part.empty() || part == "." || drive) continue;
    if (part == "..") return std::nullopt;
    components.emplace_back(part);
  }
  if (components.empty()) return std::nullopt;
  return components;
}

bool LinkStaysInside(std::string_view utf8Target, std::size_t linkDepth) {
  if (utf8Target.empty() || utf8Target.front() == '/' || utf8Target.front() == '\\') return false;
  std::vector<std::string_view> parts = Split(utf8Target);
  if (!parts.empty() && IsDrive(parts.front())) return false;
  std::size_t depth = linkDepth;
  for (std::string_view part : parts) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (depth == 0) return false;
      --depth;
    } else {
      ++depth;
    }
  }
  return true;
}

}  // namespace qorve::archiver
