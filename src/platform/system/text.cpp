#include "platform/system/text.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace qorve {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Length of the valid UTF-8 sequence starting at text[i], or 0 when invalid.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length;
  char32_t minimum;
  char32_t code;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, minimum = 0x80, code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, minimum = 0x800, code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, minimum = 0x10000, code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t length = Utf8SequenceLength(bytes, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto unit = [&](std::size_t k) {
    return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                 (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
  };
  const std::size_t units = bytes.size() / 2;
  for (std::size_t k = 0; k < units; ++k) {
    const char16_t u = unit(k);
    if (u == 0) break;
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
      const char16_t low = unit(k + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00));
        ++k;
        continue;
      }
    }
    AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
  }
  return out;
}

std::string Utf8ToUtf16Le(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  const auto put = [&](char32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>((u >> 8) & 0xFF);
  };
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0) {
      put(kReplacement);
      ++i;
      continue;
    }
    char32_t code = static_cast<unsigned char>(text[i]);
    if (length > 1) {
      code &= 0xFF >> (length + 1);
      for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      put(0xD800 + (code >> 10));
      put(0xDC00 + (code & 0x3FF));
    } else {
      put(code);
    }
    i += length;
  }
  return out;
}

std::string Cp932ToUtf8(std::string_view bytes) {
  iconv_t converter = iconv_open("UTF-8", "CP932");
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    // Without the converter keep the ASCII bytes and mark the rest.
    std::string out;
    for (char c : bytes) {
      if (static_cast<unsigned char>(c) < 0x80) out += c; else AppendUtf8(out, kReplacement);
    }
    return out;
  }
  std::string out;
  std::string input(bytes);
  char* in = input.data();
  std::size_t inLeft = input.size();
  char chunk[256];
  while (inLeft > 0) {
    char* outPtr = chunk;
    std::size_t outLeft = sizeof chunk;
    const std::size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    out.append(chunk, sizeof chunk - outLeft);
    if (result == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // An invalid or cut-off sequence: replace its first byte and go on.
      AppendUtf8(out, kReplacement);
      ++in;
      --inLeft;
      iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(converter);
  return out;
}

std::string TextToUtf8(std::string_view raw) {
  return IsValidUtf8(raw) ? std::string(raw) : Cp932ToUtf8(raw);
}

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = maxBytes;
  // Step back over continuation bytes to the lead byte of the cut character.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

void CopyToBuffer(std::string_view text, char* buffer, std::size_t size) {
  if (size == 0) return;
  const std::string_view cut = CutUtf8(text, size - 1);
  std::memcpy(buffer, cut.data(), cut.size());
  buffer[cut.size()] = '\0';
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace qorve
