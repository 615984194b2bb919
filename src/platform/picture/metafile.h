// Windows Metafiles (WMF) drawn into a bitmap through libwmf's bitmap
// renderer: how the system picture loader shows metafiles. Plain C++ over
// bytes in memory, so the picture loader and the fuzz target call the same
// code. Any thread; each call draws in a child process of its own.
#pragma once

#include "platform/picture/bitmap.h"

#include <chrono>
#include <cstdint>
#include <span>

namespace qorve {

enum class MetafileResult { Rendered, OutOfMemory, Invalid };

// The longest side, in pixels, a metafile is rendered at: a larger natural
// size is scaled down to it with its proportions kept. A metafile is drawn
// anew at any size, so nothing is lost that a screen could show.
inline constexpr int kLargestMetafileSide = 4096;

// Whether the bytes begin as a metafile does: the placeable header's key, or
// a standard header (memory or disk metafile, 9 words long).
bool LooksLikeMetafile(std::span<const uint8_t> bytes);

// How long libwmf may draw one metafile: real drawings take milliseconds.
inline constexpr std::chrono::milliseconds kLongestMetafileDraw{10000};

// Draws the metafile on white at its natural size at 96 dots per inch: the
// frame of a placeable metafile (its header's rectangle, or the window its
// records set), else the bounds of what it draws. A side longer than
// `largestSide` scales the picture down to it. libwmf draws in a child
// process. Invalid: damaged or cut short, no frame, a natural side beyond
// 65536 pixels (17 m), which no drawing has, a drawing that takes longer
// than `timeLimit` or that makes libwmf crash; OutOfMemory: libwmf's
// structures would pass 64 MB, or no process could be started. `out` is
// changed only when the result is Rendered.
MetafileResult RenderMetafile(std::span<const uint8_t> bytes, Bitmap& out, int largestSide = kLargestMetafileSide,
                              std::chrono::milliseconds timeLimit = kLongestMetafileDraw);

}  // namespace qorve
