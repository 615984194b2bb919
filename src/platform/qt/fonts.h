// Japanese font names of Windows resolved to an installed Japanese
// font. fontconfig alone maps them to a Latin face, so they are substituted.
#pragma once

namespace qorve {

// The installed face that stands in for the Windows Japanese faces.
constexpr const char* kJapaneseFontFace = "Noto Sans CJK JP";

// Call once after the QApplication exists.
void InstallJapaneseFontSubstitutes();

}  // namespace qorve
