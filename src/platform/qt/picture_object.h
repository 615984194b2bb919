// The system picture loader's stand-in (OleLoadPicture and IPicture): a
// picture in memory decoded by Qt's image readers (GIF, JPEG, ICO, BMP/DIB and
// whatever image plug-ins Qt has, but SVG drawings, which can name other files)
// or, for Windows Metafiles, drawn by libwmf
// (platform/metafile.h); its size in hundredths of millimetres, and the
// render into a bitmap. User-interface thread only.
#pragma once

#include "platform/picture/bitmap.h"

#include <cstdint>
#include <span>

namespace qorve {

enum class PictureLoadResult { Loaded, OutOfMemory, Invalid };

// A decoded picture. Transparent parts are rendered onto black, as they are
// onto a fresh screen-compatible bitmap; a metafile is drawn on white paper,
// at most kLargestMetafileSide pixels on its longer side.
struct PictureObject {
  Bitmap pixels;
  int himetricWidth = 0;  // hundredths of a millimetre at 96 dots per inch
  int himetricHeight = 0;
};

PictureLoadResult LoadPictureObject(std::span<const uint8_t> bytes, PictureObject& out);

// Renders the picture into a new bitmap of width x height pixels (scaled
// smoothly when that is not its natural size).
Bitmap RenderPicture(const PictureObject& picture, int width, int height);

// Logical dots per inch of the screen, horizontally and vertically (96
// without a screen).
int ScreenLogicalDpiX();
int ScreenLogicalDpiY();

}  // namespace qorve
