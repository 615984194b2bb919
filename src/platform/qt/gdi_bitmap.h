// Stand-ins for the GDI bitmap calls the image class makes: a bitmap loaded
// from a BMP file, a bitmap made from a device-independent bitmap in memory,
// and the block copy and stretch onto a window's painter.
// User-interface thread only (the painter belongs to the window code).
#pragma once

#include "platform/picture/bitmap.h"

#include <cstddef>
#include <string>

class QPainter;

namespace qorve {

// Loads a Windows bitmap file at its natural size (every BMP variant: 1 to 32
// bits, RLE4/RLE8, bit fields, OS/2 and V4/V5 headers, top-down lines). False
// when the file is missing, unreadable or not a bitmap.
bool LoadBitmapFile(const std::string& path, Bitmap& out);

// Makes a bitmap from a BITMAPINFO block (header, then bit masks or colour
// table) of `infoSize` readable bytes and its pixel lines of `bitsSize`
// readable bytes. Nothing past either size is read; lines the bits do not
// reach stay black. False when the header is not a bitmap header.
bool CreateBitmapFromDib(const void* info, std::size_t infoSize, const void* bits, std::size_t bitsSize,
                         Bitmap& out);

// Copies the source rectangle 1:1 to (x, y); parts outside the bitmap draw
// nothing.
void BlitBitmap(QPainter* painter, int x, int y, int width, int height, const Bitmap& bitmap, int sourceX,
                int sourceY);

enum class StretchMode { ColorOnColor, Halftone };

// Stretches the source rectangle onto the destination rectangle: Halftone
// filters smoothly, ColorOnColor picks the nearest pixel (fast).
void StretchBitmap(QPainter* painter, int x, int y, int width, int height, const Bitmap& bitmap, int sourceX,
                   int sourceY, int sourceWidth, int sourceHeight, StretchMode mode);

}  // namespace qorve
