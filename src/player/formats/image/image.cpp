#include "player/formats/image/image.h"

#include "common/log.h"
#include "common/settings.h"
#include "platform/picture/susie_plugin.h"
#include "platform/qt/gdi_bitmap.h"
#include "platform/qt/picture_object.h"
#include "platform/system/clock.h"
#include "platform/system/folders.h"
#include "platform/system/registry.h"
#include "player/formats/image/png_to_bmp.h"
#include "player/visual/draw_context.h"
#include "player/visual/video_window.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <new>
#include <vector>

namespace qorve {
namespace {

constexpr std::size_t kFormatField = 10;  // MediaInfo Format, terminator included
constexpr std::size_t kPluginFolderBytes = 4096;
constexpr int kHimetricPerInch = 2540;
// The PNG and picture loaders read the whole file into memory; larger files
// are taken as more than they can hold.
constexpr off_t kLargestPictureFile = off_t{1} << 30;

std::string UpperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); });
  return text;
}

// Hundredths of a millimetre to pixels: himetric x dpi / 2540, rounded as MulDiv does.
int HimetricToPixels(int himetric, int dpi) {
  const int64_t product = static_cast<int64_t>(himetric) * dpi;
  return static_cast<int>((product + (product >= 0 ? kHimetricPerInch / 2 : -kHimetricPerInch / 2)) /
                          kHimetricPerInch);
}

// A temporary file that is deleted when this goes out of scope, whatever
// happened to it meanwhile.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& prefix) {
    std::string pattern = (TempFolder() / (prefix + "XXXXXX.tmp")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = mkstemps(name.data(), 4);
    if (fd_ >= 0) path_ = name.data();
  }
  ~TemporaryFile() {
    if (fd_ >= 0) close(fd_);
    if (!path_.empty()) unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool ok() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  bool Write(const std::vector<uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t written = write(fd_, bytes.data() + done, bytes.size() - done);
      if (written <= 0) return false;
      done += static_cast<std::size_t>(written);
    }
    return true;
  }

 private:
  int fd_ = -1;
  std::string path_;
};

// Reads a whole regular file: 2 when it cannot be opened or is no regular
// file (a FIFO would block), 8 when it is larger than a picture can be.
int ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return kResultFileInUse;
  struct stat status {};
  int result = kResultSuccess;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    result = kResultFileInUse;
  } else if (status.st_size > kLargestPictureFile) {
    result = kResultOutOfMemory;
  } else {
    bytes.assign(static_cast<std::size_t>(status.st_size), 0);
    std::size_t filled = 0;
    while (filled < bytes.size()) {
      const ssize_t got = read(fd, bytes.data() + filled, bytes.size() - filled);
      if (got <= 0) break;
      filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
  }
  close(fd);
  return result;
}

}  // namespace

IMAGE::IMAGE() {
  Log("IMAGE コンストラクタ", 0);
  info_.Kind = kKindImage;
}

IMAGE::~IMAGE() {
  Log("IMAGE デストラクタ", 0);
  Close();
}

int IMAGE::Open(const std::string& path, const std::string& extension, WindowHandle) {
  SetInfoText(info_.Format, std::string_view(extension).substr(0, kFormatField - 1));
  DestroyVideoWindow();

  const int pluginResult = LoadThroughPlugin(path);
  if (pluginResult == kResultSuccess) return kResultSuccess;

  const std::string upper = UpperCase(extension);
  if (upper == "BMP") return LoadBitmap(path);
  if (upper == "PNG") return LoadPng(path);
  static constexpr std::array<std::string_view, 8> kPictureExtensions = {"GIF", "JPG",  "JIF", "JPEG",
                                                                         "JFIF", "DIB", "ICO", "WMF"};
  if (std::find(kPictureExtensions.begin(), kPictureExtensions.end(), upper) != kPictureExtensions.end()) {
    return LoadPicture(path);
  }
  return pluginResult;
}

int IMAGE::Close() {
  bitmap_ = Bitmap{};
  return 0;
}

void IMAGE::Select(Bitmap&& bitmap) {
  bitmap_ = std::move(bitmap);
  info_.Width = bitmap_.width;
  info_.Height = bitmap_.height;
}

int IMAGE::LoadThroughPlugin(const std::string& path) {
  char folder[kPluginFolderBytes] = {};
  ReadRegistryString(RegistryRoot::CurrentUser, kSusiePluginKey, kSusiePluginValue, folder, sizeof folder);
  const std::string plugin = FindSusiePlugin(folder, path);
  if (plugin.empty()) return kResultUnsupported;
  SusiePicture picture;
  if (GetSusiePicture(plugin, path, picture) != SUSIE_SUCCESS) return kResultUnsupported;
  Bitmap bitmap;
  if (!CreateBitmapFromDib(picture.info(), picture.infoSize(), picture.bits(), picture.bitsSize(), bitmap)) {
    return kResultUnsupported;
  }
  Select(std::move(bitmap));
  return kResultSuccess;
}

int IMAGE::LoadBitmap(const std::string& path) {
  Bitmap bitmap;
  if (!LoadBitmapFile(path, bitmap)) return kResultWrongExtension;
  Select(std::move(bitmap));
  return kResultSuccess;
}

int IMAGE::LoadPng(const std::string& path) {
  // The decoded picture goes through a BMP file, which is deleted whatever
  // happens; a PNG that does not decode leaves the file empty.
  TemporaryFile temporary("LIP");
  if (!temporary.ok()) return kResultWrongExtension;
  std::vector<uint8_t> bytes;
  if (ReadWholeFile(path, bytes) != kResultSuccess) bytes.clear();
  PngDib dib;
  if (!bytes.empty() && DecodePng(bytes, dib)) {
    bytes.clear();
    bytes.shrink_to_fit();
    if (!temporary.Write(BmpFileBytes(dib))) return kResultWrongExtension;
  }
  return LoadBitmap(temporary.path());
}

int IMAGE::LoadPicture(const std::string& path) {
  std::vector<uint8_t> bytes;
  const int code = ReadWholeFile(path, bytes);
  if (code != kResultSuccess) return code;

  PictureObject picture;
  switch (LoadPictureObject(bytes, picture)) {
    case PictureLoadResult::Loaded: break;
    case PictureLoadResult::OutOfMemory: return kResultOutOfMemory;
    case PictureLoadResult::Invalid: return kResultBrokenFile;
  }
  const int width = HimetricToPixels(picture.himetricWidth, ScreenLogicalDpiX());
  const int height = HimetricToPixels(picture.himetricHeight, ScreenLogicalDpiY());
  Select(RenderPicture(picture, width, height));
  return kResultSuccess;
}

int IMAGE::Draw(DrawContext* dc, int x, int y, int width, int height, int sourceX, int sourceY) {
  if (dc == nullptr) return 0;
  BlitBitmap(dc->painter, x, y, width, height, bitmap_, sourceX, sourceY);
  return 1;
}

int IMAGE::DrawStretched(DrawContext* dc, int x, int y, int width, int height, int sourceX, int sourceY,
                         int sourceWidth, int sourceHeight) {
  if (dc == nullptr) return 0;
  const uint32_t start = TimeGetTime();
  const StretchMode mode = ProgramSettings().imagesetScaleAlg == 0 ? StretchMode::ColorOnColor : StretchMode::Halftone;
  StretchBitmap(dc->painter, x, y, width, height, bitmap_, sourceX, sourceY, sourceWidth, sourceHeight, mode);
  Log("画像処理時間", static_cast<int>(TimeGetTime() - start));
  return 1;
}

}  // namespace qorve
