#include "player/formats/image/png_to_bmp.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>

namespace qorve {
namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;
// The largest block libpng may allocate for itself beyond the file's own size:
// its row buffers (at most 8 bytes a pixel of the million-pixel width it
// accepts) and what a compressed chunk unpacks to.
constexpr png_alloc_size_t kLargestLibpngBlock = png_alloc_size_t{16} << 20;  // bytes

// Where libpng reads from: the caller's bytes.
struct ByteSource {
  const uint8_t* data;
  std::size_t size;
  std::size_t position;
};

void ReadFromBytes(png_structp png, png_bytep target, png_size_t length) {
  auto* source = static_cast<ByteSource*>(png_get_io_ptr(png));
  if (length > source->size - source->position) png_error(png, "read past the end of the data");
  std::memcpy(target, source->data + source->position, length);
  source->position += length;
}

// libpng's complaints are not ours to print.
void IgnoreWarning(png_structp, png_const_charp) {}

// Widens 2-bit pixels to 4 bits in place, from the end of the row backwards
// (libpng sizes the row for the 4-bit result, see png_set_user_transform_info).
void WidenTwoBitPixels(png_structp, png_row_infop row, png_bytep data) {
  if (row->bit_depth != 2) return;
  const png_uint_32 width = row->width;
  for (png_uint_32 i = width; i-- > 0;) {
    const unsigned value = (data[i / 4] >> (6 - 2 * (i % 4))) & 3u;
    uint8_t& target = data[i / 2];
    if (i % 2 == 0) {
      target = static_cast<uint8_t>((target & 0x0F) | value << 4);
    } else {
      target = static_cast<uint8_t>((target & 0xF0) | value);
    }
  }
  row->bit_depth = 4;
  row->pixel_depth = 4;
  row->rowbytes = (static_cast<png_size_t>(width) * 4 + 7) / 8;
}

// What the header says, after the transformations are set up.
struct PngHeader {
  png_uint_32 width;
  png_uint_32 height;
  int bitDepth;
  int colorType;
  png_colorp palette;
  int paletteEntries;
};

// The libpng calls are kept apart from every C++ object with a destructor:
// libpng reports errors by longjmp, which must not cross them.
bool ReadHeader(png_structp png, png_infop info, PngHeader& header) {
  if (setjmp(png_jmpbuf(png))) return false;
  // A chunk whose checksum is wrong is read as it stands, as picture viewers
  // and browsers read it: the picture shows when its data still decode, and
  // every size is bounded as for any other file.
  png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
  png_read_info(png, info);
  int interlace = 0;
  png_get_IHDR(png, info, &header.width, &header.height, &header.bitDepth, &header.colorType, &interlace, nullptr,
               nullptr);
  return true;
}

// Sets up the transformations; libpng allocates its row buffers for the
// picture's width here, so this comes only once the size is known to be
// acceptable.
bool SetUpTransformations(png_structp png, png_infop info, PngHeader& header) {
  if (setjmp(png_jmpbuf(png))) return false;
  if (header.colorType & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
  if (header.bitDepth == 2) {
    png_set_read_user_transform_fn(png, WidenTwoBitPixels);
    png_set_user_transform_info(png, nullptr, 4, 1);
  }
  if (header.bitDepth == 16) png_set_strip_16(png);
  if (header.colorType == PNG_COLOR_TYPE_RGB || header.colorType == PNG_COLOR_TYPE_RGB_ALPHA) png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  header.palette = nullptr;
  header.paletteEntries = 0;
  if (header.colorType == PNG_COLOR_TYPE_PALETTE) {
    png_get_PLTE(png, info, &header.palette, &header.paletteEntries);
  }
  return true;
}

bool ReadPixels(png_structp png, png_infop endInfo, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, endInfo);
  return true;
}

// libpng sizes an ancillary chunk's buffer (text, profile) from the length its
// header states, before reading it, and goes on after the limit of
// png_set_chunk_malloc_max with only a warning: a 300-byte file could make it
// allocate 600 MB. Its allocations go through here and are refused beyond the
// limit, which it takes for a chunk it cannot keep and passes by.
png_voidp LimitedMalloc(png_structp png, png_alloc_size_t size) {
  const auto* largest = static_cast<const png_alloc_size_t*>(png_get_mem_ptr(png));
  return size <= *largest ? std::malloc(size) : nullptr;
}

void LimitedFree(png_structp, png_voidp block) { std::free(block); }

// Owns libpng's structures for one decode of `inputBytes` bytes.
class PngReader {
 public:
  explicit PngReader(std::size_t inputBytes) : largestBlock_(std::max<png_alloc_size_t>(inputBytes, kLargestLibpngBlock)) {
    png_ = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, nullptr, IgnoreWarning, &largestBlock_,
                                    LimitedMalloc, LimitedFree);
    if (png_ == nullptr) return;
    info_ = png_create_info_struct(png_);
    endInfo_ = png_create_info_struct(png_);
  }
  ~PngReader() { png_destroy_read_struct(&png_, &info_, &endInfo_); }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  bool ok() const { return png_ != nullptr && info_ != nullptr && endInfo_ != nullptr; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }
  png_infop endInfo() const { return endInfo_; }

 private:
  png_alloc_size_t largestBlock_;  // read by LimitedMalloc through libpng's memory pointer
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  png_infop endInfo_ = nullptr;
};

// libpng's grey palette for a depth of 1, 2, 4 or 8 bits: evenly spaced
// steps from black to white.
void FillGreyRamp(std::vector<uint8_t>& palette, int depth) {
  const int entries = 1 << depth;
  const int step = 255 / (entries - 1);
  for (int i = 0; i < entries && static_cast<std::size_t>(i) * 3 + 2 < palette.size(); ++i) {
    const auto value = static_cast<uint8_t>(i * step);
    palette[i * 3] = palette[i * 3 + 1] = palette[i * 3 + 2] = value;
  }
}

void PutU16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
  PutU16(p, v);
  PutU16(p + 2, v >> 16);
}

}  // namespace

bool DecodePng(std::span<const uint8_t> bytes, PngDib& out, std::size_t largestBytes) {
  out = PngDib{};
  PngReader reader(bytes.size());
  if (!reader.ok()) return false;
  ByteSource source{bytes.data(), bytes.size(), 0};
  png_set_read_fn(reader.png(), &source, ReadFromBytes);
  PngHeader header{};
  if (!ReadHeader(reader.png(), reader.info(), header)) return false;

  PngDib dib;
  dib.width = static_cast<int>(header.width);
  dib.height = static_cast<int>(header.height);
  const bool trueColour = header.colorType == PNG_COLOR_TYPE_RGB || header.colorType == PNG_COLOR_TYPE_RGB_ALPHA;
  dib.bitsPerPixel = trueColour ? 24 : header.bitDepth == 2 ? 4 : header.bitDepth == 16 ? 8 : header.bitDepth;
  const std::size_t stride = dib.Stride();
  if (header.height == 0 || stride == 0 || stride > largestBytes / header.height) return false;
  if (!SetUpTransformations(reader.png(), reader.info(), header)) return false;

  try {
    if (!trueColour) {
      dib.palette.assign(static_cast<std::size_t>(3) << dib.bitsPerPixel, 0);
      if (header.colorType == PNG_COLOR_TYPE_PALETTE) {
        const std::size_t entries = std::min<std::size_t>(header.paletteEntries, std::size_t{1} << dib.bitsPerPixel);
        for (std::size_t i = 0; i < entries; ++i) {
          dib.palette[i * 3] = header.palette[i].red;
          dib.palette[i * 3 + 1] = header.palette[i].green;
          dib.palette[i * 3 + 2] = header.palette[i].blue;
        }
      } else {
        FillGreyRamp(dib.palette, std::min(header.bitDepth, 8));
      }
    }
    dib.pixels.assign(stride * header.height, 0);
    std::vector<png_bytep> rows(header.height);
    // The first PNG row is the last line of the bottom-up picture.
    for (png_uint_32 i = 0; i < header.height; ++i) rows[i] = &dib.pixels[(header.height - 1 - i) * stride];
    if (!ReadPixels(reader.png(), reader.endInfo(), rows.data())) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  out = std::move(dib);
  return true;
}

std::vector<uint8_t> BmpFileBytes(const PngDib& dib) {
  const std::size_t entries = dib.palette.size() / 3;
  const std::size_t offset = kFileHeaderBytes + kInfoHeaderBytes + 4 * entries;
  std::vector<uint8_t> file(offset + dib.pixels.size(), 0);
  uint8_t* p = file.data();
  p[0] = 'B';
  p[1] = 'M';
  PutU32(p + 2, static_cast<uint32_t>(file.size()));
  PutU32(p + 10, static_cast<uint32_t>(offset));
  uint8_t* info = p + kFileHeaderBytes;
  PutU32(info, kInfoHeaderBytes);
  PutU32(info + 4, static_cast<uint32_t>(dib.width));
  PutU32(info + 8, static_cast<uint32_t>(dib.height));
  PutU16(info + 12, 1);
  PutU16(info + 14, static_cast<uint32_t>(dib.bitsPerPixel));
  PutU32(info + 20, static_cast<uint32_t>(dib.pixels.size()));
  uint8_t* table = info + kInfoHeaderBytes;
  for (std::size_t i = 0; i < entries; ++i) {
    table[i * 4] = dib.palette[i * 3 + 2];
    table[i * 4 + 1] = dib.palette[i * 3 + 1];
    table[i * 4 + 2] = dib.palette[i * 3];
  }
  if (!dib.pixels.empty()) std::memcpy(p + offset, dib.pixels.data(), dib.pixels.size());
  return file;
}

}  // namespace qorve
