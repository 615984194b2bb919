#include "player/formats/image/image.h"

#include "common/log.h"
#include "platform/picture/susie_plugin.h"
#include "platform/qt/gdi_bitmap.h"
#include "platform/system/registry.h"
#include "player/core/media_factory.h"
#include "player/core/player_state.h"
#include "player/formats/image/png_to_bmp.h"
#include "player/formats/media_tools.h"
#include "player/visual/draw_context.h"
#include "support/metafile_maker.h"
#include "support/scoped_env.h"
#include "support/settings_home.h"
#include "support/shared_media.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace qorve {
namespace {

namespace fs = std::filesystem;

const fs::path kMedia = test::SharedMedia();

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "player_formats_test";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = QCoreApplication::instance() ? nullptr : new QGuiApplication(argc, argv);
  (void)app;
}

// A reference decode by Qt (0xAARRGGBB): colours as stored, or composed
// onto black.
std::vector<uint32_t> ReferencePixels(const QImage& image, bool overBlack) {
  const QImage argb = image.convertToFormat(overBlack ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32);
  std::vector<uint32_t> pixels;
  for (int y = 0; y < argb.height(); ++y) {
    for (int x = 0; x < argb.width(); ++x) pixels.push_back(overBlack ? argb.pixel(x, y) | 0xFF000000u : argb.pixel(x, y));
  }
  return pixels;
}

// The largest difference of a colour channel, over the pixels the reference
// does not leave fully transparent (Qt keeps no colour under those).
int LargestChannelDifference(const Bitmap& bitmap, const std::vector<uint32_t>& reference) {
  int largest = 0;
  for (std::size_t i = 0; i < reference.size(); ++i) {
    if ((reference[i] >> 24) == 0) continue;
    for (int shift : {0, 8, 16}) {
      const int a = (bitmap.pixels[i] >> shift) & 0xFF;
      const int b = (reference[i] >> shift) & 0xFF;
      largest = std::max(largest, std::abs(a - b));
    }
  }
  return largest;
}

class ImageTest : public test::SettingsHome {
 protected:
  void SetUp() override {
    SettingsHome::SetUp();
    EnsureApplication();
    temp_ = root() / "tmp";
    fs::create_directories(temp_);
    env_.Set("TMPDIR", temp_.c_str());
  }
  void TearDown() override {
    Player().media.reset();
    SettingsHome::TearDown();
  }

  bool TemporaryFolderEmpty() const { return fs::is_empty(temp_); }

  fs::path temp_;
  test::ScopedEnv env_;
};

// --- the PNG conversion ----------------------------------------------------------

struct PngCase {
  const char* file;  // in the PngSuite
  int bits;
  std::size_t tableEntries;
};

class PngConversionTest : public ImageTest, public ::testing::WithParamInterface<PngCase> {};

TEST_P(PngConversionTest, OutputFormatAndColourTableFollowTheColourType) {
  QORVE_NEED_SHARED_MEDIA();
  const PngCase& c = GetParam();
  const std::string bytes = test::Bytes(kMedia / "png" / c.file);
  PngDib dib;
  ASSERT_TRUE(DecodePng({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, dib));
  EXPECT_EQ(dib.bitsPerPixel, c.bits);
  EXPECT_EQ(dib.palette.size() / 3, c.tableEntries);

  // The BMP file: headers, table as blue-green-red-0, lines bottom-up.
  const std::vector<uint8_t> file = BmpFileBytes(dib);
  const auto u32 = [&](std::size_t at) { return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24; };
  const uint32_t offset = 54 + 4 * static_cast<uint32_t>(c.tableEntries);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(u32(2), offset + dib.pixels.size());
  EXPECT_EQ(u32(10), offset);
  EXPECT_EQ(u32(14), 40u);
  EXPECT_EQ(u32(18), 32u);  // every PngSuite picture is 32 x 32
  EXPECT_EQ(u32(22), 32u);  // positive: bottom-up
  EXPECT_EQ(file[28], c.bits);
  EXPECT_EQ(u32(30), 0u);
  EXPECT_EQ(u32(34), dib.pixels.size());
  for (std::size_t i = 0; i < c.tableEntries; ++i) {
    EXPECT_EQ(file[54 + 4 * i], dib.palette[3 * i + 2]);
    EXPECT_EQ(file[54 + 4 * i + 2], dib.palette[3 * i]);
    EXPECT_EQ(file[54 + 4 * i + 3], 0);
  }
}

INSTANTIATE_TEST_SUITE_P(PngSuite, PngConversionTest,
                         ::testing::Values(PngCase{"basic/basn3p02.png", 4, 16}, PngCase{"basic/basn0g16.png", 8, 256},
                                           PngCase{"basic/basn6a08.png", 24, 0}, PngCase{"basic/basn0g02.png", 4, 16},
                                           PngCase{"basic/basn2c16.png", 24, 0}, PngCase{"basic/basn0g01.png", 1, 2}),
                         [](const auto& info) { return fs::path(info.param.file).stem().string(); });

TEST_F(ImageTest, TwoBitPaletteKeepsItsFourColoursFirstAndGreyGetsARamp) {
  QORVE_NEED_SHARED_MEDIA();
  const std::string palette = test::Bytes(kMedia / "png/basic/basn3p02.png");
  PngDib dib;
  ASSERT_TRUE(DecodePng({reinterpret_cast<const uint8_t*>(palette.data()), palette.size()}, dib));
  // basn3p02's palette: green, red, yellow-ish, blue (from the file's PLTE).
  const std::size_t plte = palette.find("PLTE") + 4;
  EXPECT_EQ(std::string(dib.palette.begin(), dib.palette.begin() + 12), palette.substr(plte, 12));
  EXPECT_TRUE(std::all_of(dib.palette.begin() + 12, dib.palette.end(), [](uint8_t v) { return v == 0; }));

  const std::string grey = test::Bytes(kMedia / "png/basic/basn0g16.png");
  ASSERT_TRUE(DecodePng({reinterpret_cast<const uint8_t*>(grey.data()), grey.size()}, dib));
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(dib.palette[3 * i], i);
    ASSERT_EQ(dib.palette[3 * i + 2], i);
  }
}

// --- every picture of the shared media ----------------------------------------

std::vector<std::string> PicturesIn(const std::vector<std::string>& folders) {
  std::vector<std::string> paths;
  for (const std::string& folder : folders) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(kMedia / folder, ec)) paths.push_back(entry.path().string());
  }
  // Without the shared folder, one case that says so.
  if (paths.empty()) paths.push_back((kMedia / folders.front()).string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string TestName(const std::string& path) {
  std::string name = fs::path(path).parent_path().filename().string() + "_" + fs::path(path).stem().string();
  std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
}

class SharedPictureTest : public ImageTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(SharedPictureTest, LoadsWithTheReferenceSizeAndPixels) {
  QORVE_NEED_SHARED_MEDIA_AT(GetParam());
  const fs::path path = GetParam();
  std::string extension = path.extension().string().substr(1);
  std::transform(extension.begin(), extension.end(), extension.begin(), ::toupper);
  IMAGE image;
  ASSERT_EQ(image.Open(path.string(), extension, nullptr), kResultSuccess);
  MediaInfo info{};
  image.GetInfo(info);
  EXPECT_EQ(info.Kind, kKindImage);
  EXPECT_STREQ(info.Format, extension.c_str());

  const Bitmap& bitmap = image.Picture();
  ASSERT_EQ(bitmap.pixels.size(), static_cast<std::size_t>(info.Width) * info.Height);
  if (extension == "PNG" || extension == "BMP") {
    // PNG alpha is dropped, not composed: the colours of a reference decoder
    // (ffmpeg for PNG, ImageMagick for every BMP variant), alpha aside. They
    // round 16-bit samples where libpng cuts them, and widen 5-bit channels
    // by scaling where Qt's reader shifts them.
    const bool png = extension == "PNG";
    if (!test::HaveTool(png ? "ffmpeg" : "convert")) GTEST_SKIP() << "no reference decoder";
    const fs::path raw = root() / "reference.rgba";
    ASSERT_TRUE(test::RunQuietly(
        png ? "ffmpeg -v error -i " + test::Quote(path) + " -f rawvideo -pix_fmt rgba " + test::Quote(raw)
            : "convert " + test::Quote(path) + " -alpha off -depth 8 rgba:" + test::Quote(raw)));
    const std::string rgba = test::Bytes(raw);
    ASSERT_EQ(rgba.size(), bitmap.pixels.size() * 4);
    std::vector<uint32_t> reference;
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
      reference.push_back(0xFF000000u | static_cast<uint8_t>(rgba[i]) << 16 | static_cast<uint8_t>(rgba[i + 1]) << 8 |
                          static_cast<uint8_t>(rgba[i + 2]));
    }
    const bool sixteenBits = png && test::Bytes(path)[24] == 16;
    const bool fiveBits = path.filename().string().find("rgb16") != std::string::npos;
    EXPECT_LE(LargestChannelDifference(bitmap, reference), sixteenBits ? 1 : fiveBits ? 7 : 0);
  } else {
    // The picture loader composes transparency onto black.
    const QImage reference(QString::fromStdString(path.string()));
    ASSERT_FALSE(reference.isNull());
    ASSERT_EQ(info.Width, reference.width());
    ASSERT_EQ(info.Height, reference.height());
    EXPECT_EQ(LargestChannelDifference(bitmap, ReferencePixels(reference, true)), 0);
  }
  EXPECT_TRUE(TemporaryFolderEmpty());
}

INSTANTIATE_TEST_SUITE_P(Media, SharedPictureTest,
                         ::testing::ValuesIn(PicturesIn({"png/background", "png/basic", "png/chunk", "png/filter",
                                                         "png/gamma", "png/interlacing", "png/odd", "png/order",
                                                         "png/palette", "png/transparency", "png/zlib", "bmp", "gif",
                                                         "ico"})),
                         [](const auto& info) { return TestName(info.param); });

// Files of the corrupted set whose only fault is a chunk's checksum: their
// data decode, and the picture shows as a reference decoder shows it.
bool OnlyTheChecksumIsWrong(const std::string& path) {
  const std::string name = fs::path(path).stem().string();
  return name == "xcsn0g01" || name == "xhdn0g08";
}

std::vector<std::string> CorruptPictures(bool onlyChecksums) {
  std::vector<std::string> paths = PicturesIn({"png/corrupted"});
  if (paths.size() == 1) return paths;  // no shared folder: the one case that says so
  std::erase_if(paths, [&](const std::string& path) { return OnlyTheChecksumIsWrong(path) != onlyChecksums; });
  return paths;
}

INSTANTIATE_TEST_SUITE_P(WrongChecksum, SharedPictureTest, ::testing::ValuesIn(CorruptPictures(true)),
                         [](const auto& info) { return TestName(info.param); });

class CorruptPngTest : public ImageTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(CorruptPngTest, FailsAsAWrongExtensionAndLeavesNoTemporaryFile) {
  QORVE_NEED_SHARED_MEDIA_AT(GetParam());
  IMAGE image;
  EXPECT_EQ(image.Open(GetParam(), "PNG", nullptr), kResultWrongExtension);
  EXPECT_TRUE(image.Picture().empty());
  EXPECT_TRUE(TemporaryFolderEmpty());
}

INSTANTIATE_TEST_SUITE_P(PngSuite, CorruptPngTest, ::testing::ValuesIn(CorruptPictures(false)),
                         [](const auto& info) { return TestName(info.param); });

// --- error codes ---------------------------------------------------------------------

struct ErrorCase {
  const char* name;
  const char* file;     // "" = missing
  std::string content;
  int expected;
};

class ImageErrorTest : public ImageTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ImageErrorTest, OpenReportsTheCodeOfTheFailure) {
  const ErrorCase& c = GetParam();
  const fs::path path = root() / (std::string(*c.file ? c.file : "missing.jpg"));
  if (*c.file) test::PutBytes(path, c.content);
  std::string extension = path.extension().string().substr(1);
  std::transform(extension.begin(), extension.end(), extension.begin(), ::toupper);
  IMAGE image;
  EXPECT_EQ(image.Open(path.string(), extension, nullptr), c.expected);
  EXPECT_TRUE(TemporaryFolderEmpty());
}

const std::string kNotAPicture = "this is text, not a picture\n";

// A 100 x 50 pixel drawing (at 96 dots per inch) with one rectangle of
// 0x123456 at (20, 10)-(70, 40) on white.
std::string RectangleMetafile() {
  return test::MetafileMaker()
      .Placeable(0, 0, 100, 50, 96)
      .WindowOrg(0, 0)
      .WindowExt(100, 50)
      .SolidBrush(0x123456)
      .Pen(5, 0, 0)
      .Rectangle(20, 10, 70, 40)
      .Bytes();
}

INSTANTIATE_TEST_SUITE_P(
    Image, ImageErrorTest,
    ::testing::Values(ErrorCase{"UnknownExtensionWithoutPlugin", "notes.xyz", kNotAPicture, kResultUnsupported},
                      ErrorCase{"TextNamedPng", "fake.png", kNotAPicture, kResultWrongExtension},
                      ErrorCase{"EmptyPng", "empty.png", "", kResultWrongExtension},
                      ErrorCase{"TextNamedBmp", "fake.bmp", kNotAPicture, kResultWrongExtension},
                      ErrorCase{"TextNamedJpeg", "fake.jpeg", kNotAPicture, kResultBrokenFile},
                      ErrorCase{"MetafileWithoutAStandardHeader", "drawing.wmf",
                                "\xD7\xCD\xC6\x9A" + kNotAPicture, kResultBrokenFile},
                      ErrorCase{"MetafileCutShort", "cut.wmf",
                                RectangleMetafile().substr(0, RectangleMetafile().size() - 12), kResultBrokenFile},
                      // 65535 inches square.
                      ErrorCase{"MetafileOfAbsurdSize", "huge.wmf",
                                test::MetafileMaker().Placeable(-32768, -32768, 32767, 32767, 1).Bytes(),
                                kResultBrokenFile},
                      ErrorCase{"MissingJpeg", "", "", kResultFileInUse},
                      // A drawing that names another picture on the machine is not drawn.
                      ErrorCase{"SvgDrawingNamedJpeg", "drawing.jpg",
                                "<svg xmlns=\"http://www.w3.org/2000/svg\" "
                                "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"40\" height=\"30\">"
                                "<rect width=\"40\" height=\"30\" fill=\"red\"/><image width=\"10\" "
                                "height=\"10\" xlink:href=\"/usr/share/pixmaps/debian-logo.png\"/></svg>\n",
                                kResultBrokenFile}),
    [](const auto& info) { return std::string(info.param.name); });

// --- metafiles ------------------------------------------------------------------------

TEST_F(ImageTest, MetafileIsShownWithItsColoursWhereItDrawsThem) {
  const fs::path path = root() / "drawing.wmf";
  test::PutBytes(path, RectangleMetafile());
  std::string name = path.string();
  ASSERT_EQ(LoadMedia(nullptr, name, 0), kResultSuccess);
  const auto* image = dynamic_cast<IMAGE*>(Player().media.get());
  ASSERT_NE(image, nullptr);
  MediaInfo info{};
  Player().media->GetInfo(info);
  EXPECT_STREQ(info.Format, "WMF");
  // The natural size at the screen's density (96 dots per inch offscreen).
  const Bitmap& picture = image->Picture();
  ASSERT_EQ(info.Width, picture.width);
  ASSERT_EQ(info.Height, picture.height);
  ASSERT_EQ(picture.width, 100);
  ASSERT_EQ(picture.height, 50);
  for (const auto& [x, y] : {std::pair{22, 12}, {67, 12}, {22, 37}, {67, 37}, {45, 25}}) {
    EXPECT_EQ(picture.at(x, y), 0xFF123456u) << x << "," << y;
  }
  for (const auto& [x, y] : {std::pair{0, 0}, {17, 25}, {73, 25}, {45, 7}, {45, 43}, {99, 49}}) {
    EXPECT_EQ(picture.at(x, y), 0xFFFFFFFFu) << x << "," << y;
  }

  // Painted 1:1 and stretched like every other picture.
  QImage target(200, 100, QImage::Format_RGB32);
  target.fill(Qt::black);
  {
    QPainter painter(&target);
    DrawContext dc{&painter};
    Player().media->DrawStretched(&dc, 0, 0, 200, 100, 0, 0, 100, 50);
  }
  EXPECT_EQ(target.pixel(90, 50), qRgb(0x12, 0x34, 0x56));
  EXPECT_EQ(target.pixel(20, 50), qRgb(255, 255, 255));
  EXPECT_TRUE(TemporaryFolderEmpty());
}

// --- plug-ins ------------------------------------------------------------------------

TEST_F(ImageTest, PluginThatAcceptsAJpegDecodesItInsteadOfThePictureLoader) {
  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  const fs::path jpeg = root() / "photo.jpg";
  ASSERT_TRUE(test::RunQuietly("convert -size 40x30 xc:orange " + test::Quote(jpeg)));
  const fs::path plugins = root() / "plugins";
  fs::create_directories(plugins);
  // A file that is no shared object is skipped on the way.
  test::PutBytes(plugins / "broken.SPI", "not a library");
  fs::copy_file(fs::path(QORVE_TEST_SPI_DIR) / "jpeg_marker.spi", plugins / "jpeg_marker.spi");

  IMAGE builtIn;
  ASSERT_EQ(builtIn.Open(jpeg.string(), "JPG", nullptr), kResultSuccess);
  EXPECT_EQ(builtIn.Picture().width, 40);

  ASSERT_EQ(WriteRegistryString(RegistryRoot::CurrentUser, kSusiePluginKey, kSusiePluginValue, plugins.string()), 1);
  IMAGE viaPlugin;
  ASSERT_EQ(viaPlugin.Open(jpeg.string(), "JPG", nullptr), kResultSuccess);
  const Bitmap& bitmap = viaPlugin.Picture();
  ASSERT_EQ(bitmap.width, 3);
  ASSERT_EQ(bitmap.height, 2);
  // Top line white, white, red (the plug-in's bottom-up lines turned over).
  EXPECT_EQ(bitmap.at(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(bitmap.at(2, 0), 0xFFFF0000u);
  EXPECT_EQ(bitmap.at(0, 1), 0xFFFF0000u);
  EXPECT_EQ(bitmap.at(1, 1), 0xFF00FF00u);
  EXPECT_EQ(bitmap.at(2, 1), 0xFF0000FFu);
}

TEST_F(ImageTest, OurTgaPluginShowsTgaPicturesThroughTheFactory) {
  if (!test::HaveTool("convert") || !test::HaveTool("ffmpeg")) GTEST_SKIP() << "ImageMagick or ffmpeg missing";
  const fs::path tga = root() / "picture.tga";
  const fs::path raw = root() / "reference.rgb";
  ASSERT_TRUE(test::RunQuietly("convert -size 33x17 gradient:red-blue -compress RLE " + test::Quote(tga)));
  ASSERT_TRUE(test::RunQuietly("ffmpeg -v error -i " + test::Quote(tga) + " -f rawvideo -pix_fmt rgb24 " +
                               test::Quote(raw)));
  std::string path = tga.string();
  EXPECT_NE(LoadMedia(nullptr, path, 0), kResultSuccess);  // no plug-in folder yet

  ASSERT_EQ(WriteRegistryString(RegistryRoot::CurrentUser, kSusiePluginKey, kSusiePluginValue, QORVE_SPI_DIR), 1);
  ASSERT_EQ(LoadMedia(nullptr, path, 0), kResultSuccess);
  const auto* image = dynamic_cast<IMAGE*>(Player().media.get());
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(image->Picture().width, 33);
  ASSERT_EQ(image->Picture().height, 17);
  const std::string rgb = test::Bytes(raw);
  ASSERT_EQ(rgb.size(), 33u * 17 * 3);
  std::vector<uint32_t> reference;
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    reference.push_back(0xFF000000u | static_cast<uint8_t>(rgb[i]) << 16 | static_cast<uint8_t>(rgb[i + 1]) << 8 |
                        static_cast<uint8_t>(rgb[i + 2]));
  }
  EXPECT_EQ(LargestChannelDifference(image->Picture(), reference), 0);
}

TEST(DibFromPlugin, PixelLinesShorterThanTheHeaderSaysLeaveTheRestBlack) {
  EnsureApplication();
  // 24-bit, 2 x 3, bottom-up; only the bottom line (8 bytes with padding) is there.
  uint8_t info[40] = {40, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 1, 0, 24};
  const uint8_t bits[8] = {0, 0, 255, 255, 0, 0, 0, 0};  // red, blue
  Bitmap bitmap;
  ASSERT_TRUE(CreateBitmapFromDib(info, sizeof info, bits, sizeof bits, bitmap));
  ASSERT_EQ(bitmap.width, 2);
  ASSERT_EQ(bitmap.height, 3);
  EXPECT_EQ(bitmap.at(0, 2), 0xFFFF0000u);
  EXPECT_EQ(bitmap.at(1, 2), 0xFF0000FFu);
  EXPECT_EQ(bitmap.at(0, 0), 0xFF000000u);
  // A header no bitmap has, or one cut short, makes no bitmap.
  info[0] = 99;
  EXPECT_FALSE(CreateBitmapFromDib(info, sizeof info, bits, sizeof bits, bitmap));
  info[0] = 40;
  EXPECT_FALSE(CreateBitmapFromDib(info, 20, bits, sizeof bits, bitmap));
}

// --- drawing ---------------------------------------------------------------------------

class ImageDrawTest : public ImageTest, public ::testing::WithParamInterface<int> {};

TEST_P(ImageDrawTest, StretchedPictureFillsTheTargetAndLogsItsTime) {
  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  ProgramSettings().imagesetScaleAlg = GetParam();
  ProgramSettings().kestravoxLog = 1;
  const fs::path png = root() / "halves.png";
  // Left half red, right half blue.
  ASSERT_TRUE(test::RunQuietly("convert -size 20x10 xc:red -size 20x10 xc:blue +append " + test::Quote(png)));
  IMAGE image;
  ASSERT_EQ(image.Open(png.string(), "PNG", nullptr), kResultSuccess);

  QImage target(100, 50, QImage::Format_RGB32);
  target.fill(Qt::black);
  {
    QPainter painter(&target);
    DrawContext dc{&painter};
    image.DrawStretched(&dc, 10, 5, 80, 40, 0, 0, 40, 10);
    image.Draw(&dc, 0, 0, 5, 5, 35, 0);  // a corner of blue, 1:1
  }
  EXPECT_EQ(target.pixel(12, 25), qRgb(255, 0, 0));
  EXPECT_EQ(target.pixel(88, 25), qRgb(0, 0, 255));
  EXPECT_EQ(target.pixel(95, 25), qRgb(0, 0, 0));  // outside the destination
  EXPECT_EQ(target.pixel(2, 2), qRgb(0, 0, 255));
  CloseLog();
  EXPECT_NE(test::ReadFile(settingsFolder() / "LOG.TXT").find("\"画像処理時間\""), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(ScaleAlg, ImageDrawTest, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param ? "Halftone" : "ColorOnColor"; });

}  // namespace
}  // namespace qorve
