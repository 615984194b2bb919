// Text conversions: every program keeps UTF-8 inside; raw bytes from files are
// turned into UTF-8 here, and fixed-size fields are cut at character boundaries.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qorve {

bool IsValidUtf8(std::string_view bytes);

// UTF-16 little-endian bytes to UTF-8. Stops at the first NUL code unit; an odd
// last byte is ignored; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);

// UTF-8 to UTF-16 little-endian bytes (no byte-order mark, no terminator).
std::string Utf8ToUtf16Le(std::string_view text);

// Shift-JIS as Windows writes it (code page 932) to UTF-8. Bytes that are not
// valid CP932 become U+FFFD; the rest of the text is still converted.
std::string Cp932ToUtf8(std::string_view bytes);

// Text read raw from a file: kept when it is valid UTF-8, else taken as CP932.
std::string TextToUtf8(std::string_view raw);

// The longest prefix of `text` of at most `maxBytes` bytes that does not end
// in the middle of a UTF-8 character.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);

// Copies `text` into a C buffer of `size` bytes, cut at a character boundary,
// always NUL-terminated (nothing is written when size is 0).
void CopyToBuffer(std::string_view text, char* buffer, std::size_t size);

// ASCII case-insensitive equality (other bytes compare exactly).
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace qorve
