// The headers are checked and the records walked here; libwmf then draws in
// a child process, which sends the pixels back through a pipe and is killed
// when it takes too long: libwmf's renderer spends time in proportion to the
// square of a pen's width on every pixel of a line, so a few bytes can keep
// it busy for hours, and a crash inside it must not end the player.
// In the child libwmf scans the records (checking them and finding the
// bounds of what they draw), then plays them into a gd true-colour image of
// the size we ask for, mapping the device rectangle we name onto it, and
// hands the image over as a PNG file in memory, which libpng reads back
// (libwmf can also hand over the gd image itself, but then nothing that
// libwmf exports frees it). For a placeable metafile the device unit is the
// point (1/72 inch) measured from the window origin, and libwmf ignores the
// window extent; so the frame is worked out here from the header and the
// first window records, the way the system's renderer maps a placeable
// metafile's window onto the picture. Every size the file states is bounded
// before anything is allocated from it.
#include "platform/picture/metafile.h"

#include <fcntl.h>
#include <libwmf/api.h>
#include <libwmf/gd.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <utility>
#include <vector>

namespace qorve {
namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableHeaderBytes = 22;
constexpr std::size_t kStandardHeaderBytes = 18;
constexpr uint16_t kStandardHeaderWords = 9;
constexpr std::size_t kRecordHeaderBytes = 6;  // size in 16-bit words (32 bits), function (16 bits)

constexpr uint16_t kSetWindowOrg = 0x020B;
constexpr uint16_t kSetWindowExt = 0x020C;
constexpr uint16_t kFloodFill = 0x0419;
constexpr uint16_t kExtFloodFill = 0x0548;
// SETRELABS: a record every player ignores.
constexpr uint16_t kIgnoredFunction = 0x0105;

constexpr double kPointsPerInch = 72.0;  // libwmf's device unit for placeable metafiles
constexpr double kPixelsPerInch = 96.0;  // the natural size is taken at this density
// The size libwmf guesses a metafile without a placeable header to be drawn
// in: twips, or points when its drawing is small.
constexpr double kTwipsPerInch = 1440.0;
constexpr double kSmallDrawingUnits = 1024.0 * 1024.0;
// A natural side beyond this (17 m at 96 dots per inch) is no drawing anyone
// made: a header that states it is damaged or hostile.
constexpr double kAbsurdSide = 65536.0;

// libwmf's own structures (objects, record buffer, regions, fonts) come from
// this budget; the bitmap is bounded by the side limit instead.
constexpr std::size_t kLibraryBudget = std::size_t{64} << 20;

uint16_t Word(std::span<const uint8_t> bytes, std::size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}
int16_t SignedWord(std::span<const uint8_t> bytes, std::size_t at) { return static_cast<int16_t>(Word(bytes, at)); }
uint32_t DoubleWord(std::span<const uint8_t> bytes, std::size_t at) {
  return Word(bytes, at) | static_cast<uint32_t>(Word(bytes, at + 2)) << 16;
}

// The window the records set first (logical units), as far as they set it.
struct WindowRecords {
  bool hasOrigin = false;
  bool hasExtent = false;
  int extentX = 0;
  int extentY = 0;
};

// Walks the records exactly as libwmf reads them (from the end of the
// headers to the end record, a record shorter than its header, or the end of
// the bytes), notes the first window origin and extent, and turns flood fills
// into a record libwmf ignores: gd fills a flooded area recursively, once per
// line segment, and a drawing of a narrow winding path recurses millions of
// calls deep, past the end of the stack. Flood fills depend on what the
// device already shows and are rare in metafiles.
WindowRecords PrepareRecords(std::vector<uint8_t>& bytes, std::size_t start) {
  WindowRecords window;
  std::size_t at = start;
  while (at + kRecordHeaderBytes <= bytes.size()) {
    const uint32_t words = DoubleWord(bytes, at);
    const uint16_t function = Word(bytes, at + 4);
    if (words < 3 || (words == 3 && function == 0)) break;
    const uint64_t parameterBytes = (static_cast<uint64_t>(words) - 3) * 2;
    if (parameterBytes > bytes.size() - at - kRecordHeaderBytes) break;
    const std::size_t parameters = at + kRecordHeaderBytes;
    if (function == kFloodFill || function == kExtFloodFill) {
      bytes[at + 4] = kIgnoredFunction & 0xFF;
      bytes[at + 5] = kIgnoredFunction >> 8;
    } else if (function == kSetWindowOrg && parameterBytes >= 4) {
      window.hasOrigin = true;
    } else if (function == kSetWindowExt && parameterBytes >= 4 && !window.hasExtent) {
      window.hasExtent = true;
      window.extentY = SignedWord(bytes, parameters);
      window.extentX = SignedWord(bytes, parameters + 2);
    }
    at = parameters + static_cast<std::size_t>(parameterBytes);
  }
  return window;
}

// Allocations of libwmf, counted against kLibraryBudget. Each block carries
// its size in front.
struct Budget {
  std::size_t live = 0;
};
constexpr std::size_t kBlockHeader = alignof(std::max_align_t);

void* BudgetMalloc(void* context, std::size_t size) {
  auto* budget = static_cast<Budget*>(context);
  if (size > kLibraryBudget - budget->live) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(kBlockHeader + size));
  if (block == nullptr) return nullptr;
  *reinterpret_cast<std::size_t*>(block) = size;
  budget->live += size;
  return block + kBlockHeader;
}

void BudgetFree(void* context, void* memory) {
  if (memory == nullptr) return;
  auto* block = static_cast<unsigned char*>(memory) - kBlockHeader;
  static_cast<Budget*>(context)->live -= *reinterpret_cast<std::size_t*>(block);
  std::free(block);
}

void* BudgetRealloc(void* context, void* memory, std::size_t size) {
  if (memory == nullptr) return BudgetMalloc(context, size);
  auto* budget = static_cast<Budget*>(context);
  auto* block = static_cast<unsigned char*>(memory) - kBlockHeader;
  const std::size_t old = *reinterpret_cast<std::size_t*>(block);
  if (size > old && size - old > kLibraryBudget - budget->live) return nullptr;
  auto* moved = static_cast<unsigned char*>(std::realloc(block, kBlockHeader + size));
  if (moved == nullptr) return nullptr;
  *reinterpret_cast<std::size_t*>(moved) = size;
  budget->live = budget->live - old + size;
  return moved + kBlockHeader;
}

// The PNG file libwmf writes, collected up to a bound no true PNG of the
// picture reaches (every line stored raw, and room for the headers).
struct PngSink {
  std::vector<uint8_t> bytes;
  std::size_t limit = 0;
};

int CollectPng(void* context, char* buffer, int length) {
  auto* sink = static_cast<PngSink*>(context);
  if (length <= 0) return length;
  if (static_cast<std::size_t>(length) > sink->limit - sink->bytes.size()) return 0;
  sink->bytes.insert(sink->bytes.end(), buffer, buffer + length);
  return length;
}

// Reads the PNG back as opaque 0xFFRRGGBB pixels; false unless it is a
// picture of exactly the size asked for.
bool ReadPng(const std::vector<uint8_t>& png, int width, int height, Bitmap& out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return false;
  if (image.width != static_cast<png_uint_32>(width) || image.height != static_cast<png_uint_32>(height)) {
    png_image_free(&image);
    return false;
  }
  // Blue, green, red, alpha in memory: 0xAARRGGBB as a little-endian word.
  image.format = PNG_FORMAT_BGRA;
  Bitmap bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.pixels.resize(static_cast<std::size_t>(width) * height);
  if (!png_image_finish_read(&image, nullptr, bitmap.pixels.data(), 0, nullptr)) return false;
  for (uint32_t& pixel : bitmap.pixels) pixel |= 0xFF000000u;
  out = std::move(bitmap);
  return true;
}

// Destroys the library instance, which frees everything it allocated.
struct Library {
  wmfAPI* api = nullptr;
  ~Library() {
    if (api != nullptr) wmf_api_destroy(api);
  }
};

MetafileResult Failure(wmf_error_t error) {
  return error == wmf_E_InsMem ? MetafileResult::OutOfMemory : MetafileResult::Invalid;
}

// What the child sends: the result, the size, then the pixels.
struct ChildReport {
  int32_t result = 0;
  int32_t width = 0;
  int32_t height = 0;
};

bool WriteAll(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = write(fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Reads exactly `size` bytes before the deadline; false on an early end,
// an error or the deadline.
bool ReadAll(int fd, void* data, std::size_t size, std::chrono::steady_clock::time_point deadline) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd ready{fd, POLLIN, 0};
    const int polled = poll(&ready, 1, static_cast<int>(std::min<int64_t>(left.count(), 1000)));
    if (polled < 0 && errno != EINTR) return false;
    if (polled <= 0) continue;
    const ssize_t got = read(fd, bytes, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

// Scans and plays the prepared metafile with libwmf (in the child process).
MetafileResult Draw(std::vector<uint8_t>& bytes, bool placeable, const WindowRecords& window, int largestSide,
                    Bitmap& out) {
  Budget budget;
  wmfAPI_Options options{};
  options.context = &budget;
  options.malloc = BudgetMalloc;
  options.realloc = BudgetRealloc;
  options.free = BudgetFree;
  options.function = wmf_gd_function;
  Library library;
  wmf_error_t error = wmf_api_create(
      &library.api, WMF_OPT_ALLOC | WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG,
      &options);
  if (error != wmf_E_None) return Failure(error);
  error = wmf_mem_open(library.api, bytes.data(), static_cast<long>(bytes.size()));
  if (error != wmf_E_None) return Failure(error);
  wmfD_Rect drawn{};
  error = wmf_scan(library.api, 0, &drawn);
  if (error != wmf_E_None) return Failure(error);

  double width = 0.0;  // natural size in pixels
  double height = 0.0;
  wmfD_Rect frame{};  // device units
  if (placeable) {
    const int left = SignedWord(bytes, 6);
    const int top = SignedWord(bytes, 8);
    const int right = SignedWord(bytes, 10);
    const int bottom = SignedWord(bytes, 12);
    const int inch = Word(bytes, 14);  // logical units per inch
    if (inch == 0) return MetafileResult::Invalid;
    width = std::abs(right - left) * kPixelsPerInch / inch;
    height = std::abs(bottom - top) * kPixelsPerInch / inch;
    // The window is the header's rectangle until the records set their own;
    // libwmf measures from the window origin the records set, else from 0.
    const double pointsPerUnit = kPointsPerInch / inch;
    const int windowWidth = window.hasExtent ? std::abs(window.extentX) : std::abs(right - left);
    const int windowHeight = window.hasExtent ? std::abs(window.extentY) : std::abs(bottom - top);
    frame.TL.x = static_cast<float>(window.hasOrigin ? 0.0 : std::min(left, right) * pointsPerUnit);
    frame.TL.y = static_cast<float>(window.hasOrigin ? 0.0 : std::min(top, bottom) * pointsPerUnit);
    frame.BR.x = static_cast<float>(frame.TL.x + windowWidth * pointsPerUnit);
    frame.BR.y = static_cast<float>(frame.TL.y + windowHeight * pointsPerUnit);
  } else {
    float units = 0.0f;
    float otherUnits = 0.0f;
    error = wmf_size(library.api, &units, &otherUnits);
    if (error != wmf_E_None) return Failure(error);
    const double unitsPerInch = static_cast<double>(units) * otherUnits < kSmallDrawingUnits ? kPointsPerInch
                                                                                            : kTwipsPerInch;
    width = units * kPixelsPerInch / unitsPerInch;
    height = otherUnits * kPixelsPerInch / unitsPerInch;
    frame = drawn;
  }
  const double frameWidth = static_cast<double>(frame.BR.x) - frame.TL.x;
  const double frameHeight = static_cast<double>(frame.BR.y) - frame.TL.y;
  if (!std::isfinite(width) || !std::isfinite(height) || !(width > 0.0) || !(height > 0.0) ||
      !(frameWidth > 0.0) || !(frameHeight > 0.0) || !std::isfinite(frameWidth) || !std::isfinite(frameHeight) ||
      width > kAbsurdSide || height > kAbsurdSide) {
    return MetafileResult::Invalid;
  }
  const double scale = std::min(1.0, largestSide / std::max(width, height));
  const int pixelsX = std::max(1, static_cast<int>(std::lround(width * scale)));
  const int pixelsY = std::max(1, static_cast<int>(std::lround(height * scale)));

  auto* device = WMF_GD_GetData(library.api);
  if ((device->flags & WMF_GD_SUPPORTS_PNG) == 0) return MetafileResult::Invalid;
  PngSink sink;
  sink.limit = (static_cast<std::size_t>(pixelsX) * 4 + 1) * pixelsY + (std::size_t{1} << 20);
  device->type = wmf_gd_png;
  device->flags |= WMF_GD_OUTPUT_MEMORY | WMF_GD_OWN_BUFFER;
  device->sink.context = &sink;
  device->sink.function = CollectPng;
  device->bbox = frame;
  device->width = static_cast<unsigned int>(pixelsX);
  device->height = static_cast<unsigned int>(pixelsY);
  error = wmf_play(library.api, 0, &drawn);
  if (error != wmf_E_None) return Failure(error);
  if (!ReadPng(sink.bytes, pixelsX, pixelsY, out)) return MetafileResult::Invalid;
  return MetafileResult::Rendered;
}

}  // namespace

bool LooksLikeMetafile(std::span<const uint8_t> bytes) {
  if (bytes.size() >= 4 && DoubleWord(bytes, 0) == kPlaceableKey) return true;
  return bytes.size() >= kStandardHeaderBytes && (Word(bytes, 0) == 1 || Word(bytes, 0) == 2) &&
         Word(bytes, 2) == kStandardHeaderWords;
}

MetafileResult RenderMetafile(std::span<const uint8_t> input, Bitmap& out, int largestSide,
                              std::chrono::milliseconds timeLimit) {
  if (!LooksLikeMetafile(input) || largestSide < 1) return MetafileResult::Invalid;
  const bool placeable = DoubleWord(input, 0) == kPlaceableKey;
  const std::size_t header = placeable ? kPlaceableHeaderBytes : 0;
  if (input.size() < header + kStandardHeaderBytes || Word(input, header + 2) != kStandardHeaderWords) {
    return MetafileResult::Invalid;
  }
  // The largest record (in words) sizes libwmf's record buffer: one larger
  // than the whole file is a damaged header, not a lack of memory.
  if (static_cast<uint64_t>(DoubleWord(input, header + 12)) * 2 > input.size()) return MetafileResult::Invalid;

  std::vector<uint8_t> bytes(input.begin(), input.end());
  const WindowRecords window = PrepareRecords(bytes, header + kStandardHeaderBytes);

  int channel[2];
  if (pipe2(channel, O_CLOEXEC) != 0) return MetafileResult::OutOfMemory;
  const pid_t child = fork();
  if (child < 0) {
    close(channel[0]);
    close(channel[1]);
    return MetafileResult::OutOfMemory;
  }
  if (child == 0) {
    // The child: nothing of the parent's (atexit handlers, buffered output,
    // the window system's connection) may run here, hence _exit.
    close(channel[0]);
    Bitmap drawing;
    ChildReport report;
    report.result = static_cast<int32_t>(Draw(bytes, placeable, window, largestSide, drawing));
    report.width = drawing.width;
    report.height = drawing.height;
    const bool sent = WriteAll(channel[1], &report, sizeof report) &&
                      WriteAll(channel[1], drawing.pixels.data(), drawing.pixels.size() * sizeof(uint32_t));
    _exit(sent ? 0 : 1);
  }
  close(channel[1]);
  const auto deadline = std::chrono::steady_clock::now() + timeLimit;
  MetafileResult result = MetafileResult::Invalid;
  ChildReport report;
  if (ReadAll(channel[0], &report, sizeof report, deadline)) {
    if (report.result == static_cast<int32_t>(MetafileResult::OutOfMemory)) {
      result = MetafileResult::OutOfMemory;
    } else if (report.result == static_cast<int32_t>(MetafileResult::Rendered) && report.width >= 1 &&
               report.height >= 1 && report.width <= largestSide && report.height <= largestSide) {
      Bitmap drawing;
      drawing.width = report.width;
      drawing.height = report.height;
      drawing.pixels.resize(static_cast<std::size_t>(report.width) * report.height);
      if (ReadAll(channel[0], drawing.pixels.data(), drawing.pixels.size() * sizeof(uint32_t), deadline)) {
        out = std::move(drawing);
        result = MetafileResult::Rendered;
      }
    }
  }
  close(channel[0]);
  // Whatever it is doing, the child is no longer needed.
  kill(child, SIGKILL);
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  return result;
}

}  // namespace qorve
