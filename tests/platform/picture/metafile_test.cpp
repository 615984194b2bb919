#include "platform/picture/metafile.h"

#include "support/metafile_maker.h"

#include <gtest/gtest.h>

#include <chrono>

#include <string>
#include <vector>

namespace qorve {
namespace {

using test::MetafileMaker;

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kBrush = 0xFF123456u;

std::span<const uint8_t> View(const std::string& bytes) {
  return {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
}

// Every pixel inside the rectangle [left, right) x [top, bottom), a margin of
// 2 pixels in from its edges, has `inside`; every pixel 2 pixels or more
// outside it has `outside`.
void ExpectRectangle(const Bitmap& bitmap, int left, int top, int right, int bottom, uint32_t inside,
                     uint32_t outside) {
  int wrongInside = 0;
  int wrongOutside = 0;
  for (int y = 0; y < bitmap.height; ++y) {
    for (int x = 0; x < bitmap.width; ++x) {
      const bool in = x >= left + 2 && x < right - 2 && y >= top + 2 && y < bottom - 2;
      const bool out = x < left - 2 || x >= right + 2 || y < top - 2 || y >= bottom + 2;
      if (in && bitmap.at(x, y) != inside) ++wrongInside;
      if (out && bitmap.at(x, y) != outside) ++wrongOutside;
    }
  }
  EXPECT_EQ(wrongInside, 0) << "first pixel inside: " << std::hex << bitmap.at(left + 2, top + 2);
  EXPECT_EQ(wrongOutside, 0) << "first pixel: " << std::hex << bitmap.at(0, 0);
}

// One filled rectangle at pixels (20, 10)-(70, 40) of a 100 x 50 picture,
// framed in the ways placeable metafiles are written.
struct FrameCase {
  const char* name;
  std::string file;
};

std::string RectangleIn(int left, int top, int right, int bottom, int inch, bool window, int windowX, int windowY,
                        int unit) {
  MetafileMaker maker;
  maker.Placeable(left, top, right, bottom, inch);
  if (window) maker.WindowOrg(windowX, windowY).WindowExt(100 * unit, 50 * unit);
  maker.SolidBrush(0x123456).Pen(5, 0, 0).Rectangle(windowX + 20 * unit, windowY + 10 * unit, windowX + 70 * unit,
                                                     windowY + 40 * unit);
  return maker.Bytes();
}

class MetafileFrameTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(MetafileFrameTest, DrawsTheRectangleWhereTheFramePutsItInTheRightColour) {
  Bitmap bitmap;
  ASSERT_EQ(RenderMetafile(View(GetParam().file), bitmap), MetafileResult::Rendered);
  ASSERT_EQ(bitmap.width, 100);
  ASSERT_EQ(bitmap.height, 50);
  ASSERT_EQ(bitmap.pixels.size(), 100u * 50);
  ExpectRectangle(bitmap, 20, 10, 70, 40, kBrush, kWhite);
}

INSTANTIATE_TEST_SUITE_P(
    Placeable, MetafileFrameTest,
    ::testing::Values(
        // Pixels as logical units, the window on the header's rectangle.
        FrameCase{"WindowOnTheHeader", RectangleIn(0, 0, 100, 50, 96, true, 0, 0, 1)},
        // Ten units to a pixel and a window far from 0.
        FrameCase{"FineUnitsAwayFromTheOrigin", RectangleIn(1000, -300, 2000, 200, 960, true, 1000, -300, 10)},
        // The header in pixels, the window's extent in tenths of them: the
        // window is what fills the picture.
        FrameCase{"WindowExtentFinerThanTheHeader",
                  MetafileMaker()
                      .Placeable(0, 0, 100, 50, 96)
                      .WindowOrg(0, 0)
                      .WindowExt(1000, 500)
                      .SolidBrush(0x123456)
                      .Pen(5, 0, 0)
                      .Rectangle(200, 100, 700, 400)
                      .Bytes()},
        // No window records: the header's rectangle is the window.
        FrameCase{"NoWindowRecords", RectangleIn(1000, -300, 1100, -250, 96, false, 1000, -300, 1)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Metafile, LargerThanTheLimitIsScaledDownWithItsProportions) {
  // 32000 x 8000 pixels at 96 dots per inch: drawn at 4096 x 1024.
  const std::string file = MetafileMaker()
                               .Placeable(0, 0, 32000, 8000, 96)
                               .WindowOrg(0, 0)
                               .WindowExt(32000, 8000)
                               .SolidBrush(0x123456)
                               .Pen(5, 0, 0)
                               .Rectangle(8000, 2000, 24000, 6000)
                               .Bytes();
  Bitmap bitmap;
  ASSERT_EQ(RenderMetafile(View(file), bitmap), MetafileResult::Rendered);
  ASSERT_EQ(bitmap.width, 4096);
  ASSERT_EQ(bitmap.height, 1024);
  EXPECT_EQ(bitmap.at(1030, 262), kBrush);
  EXPECT_EQ(bitmap.at(3066, 762), kBrush);
  EXPECT_EQ(bitmap.at(1020, 512), kWhite);
  EXPECT_EQ(bitmap.at(3076, 512), kWhite);
  EXPECT_EQ(bitmap.at(2048, 252), kWhite);
  EXPECT_EQ(bitmap.at(2048, 772), kWhite);

  // A smaller limit scales the same way.
  ASSERT_EQ(RenderMetafile(View(file), bitmap, 200), MetafileResult::Rendered);
  EXPECT_EQ(bitmap.width, 200);
  EXPECT_EQ(bitmap.height, 50);
  ExpectRectangle(bitmap, 50, 12, 150, 38, kBrush, kWhite);
}

TEST(Metafile, WithoutAPlaceableHeaderShowsWhatItDraws) {
  // A standard metafile has no frame: the bounds of its drawing are the picture.
  const std::string file = MetafileMaker().SolidBrush(0x123456).Pen(5, 0, 0).Rectangle(0, 0, 400, 200).Bytes();
  ASSERT_TRUE(LooksLikeMetafile(View(file)));
  Bitmap bitmap;
  ASSERT_EQ(RenderMetafile(View(file), bitmap), MetafileResult::Rendered);
  ASSERT_FALSE(bitmap.empty());
  EXPECT_EQ(bitmap.at(bitmap.width / 2, bitmap.height / 2), kBrush);
}

TEST(Metafile, FloodFillsAreLeftOut) {
  // A one-pixel-wide winding path between red walls, which a flood fill to
  // the red border follows one pixel line at a time: gd's fill recurses
  // once per line, half a million calls deep, past the end of the stack.
  constexpr int kSide = 1024;
  MetafileMaker maker;
  maker.Placeable(0, 0, kSide, kSide, 96).WindowOrg(0, 0).WindowExt(kSide, kSide).Pen(0, 1, 0xFF0000);
  std::vector<int> points;
  for (int x = 1; x < kSide - 1; x += 2) {
    const bool down = (x / 2) % 2 == 0;
    points.insert(points.end(), {x, down ? 0 : kSide - 1, x, down ? kSide - 2 : 1});
  }
  for (std::size_t at = 0; at + 4 <= points.size(); at += 4) {
    maker.Record(MetafileMaker::kPolyline, {2, points[at], points[at + 1], points[at + 2], points[at + 3]});
  }
  maker.Record(MetafileMaker::kExtFloodFill, {0, 0xFF, 0, 500, 2});  // red, from (2, 500)
  Bitmap bitmap;
  ASSERT_EQ(RenderMetafile(View(maker.Bytes()), bitmap), MetafileResult::Rendered);
  EXPECT_EQ(bitmap.at(2, 500), kWhite);
  EXPECT_EQ(bitmap.at(1, 500), 0xFFFF0000u);  // the path's wall
}

TEST(Metafile, DrawingThatTakesTooLongIsStoppedAndRefused) {
  // libwmf stamps a wide pen's whole square on every pixel of a line: a
  // zigzag in a pen as wide as the picture keeps it busy for seconds (and a
  // longer one for hours).
  MetafileMaker maker;
  maker.Placeable(0, 0, 512, 512, 96).WindowOrg(0, 0).WindowExt(512, 512).Pen(0, 512, 0xFF0000);
  maker.Record(MetafileMaker::kPolyline, {8, 0, 0, 511, 511, 0, 511, 511, 0, 0, 0, 511, 511, 0, 511, 511, 0});
  Bitmap bitmap;
  EXPECT_EQ(RenderMetafile(View(maker.Bytes()), bitmap, kLargestMetafileSide, std::chrono::milliseconds(500)),
            MetafileResult::Invalid);
  EXPECT_TRUE(bitmap.empty());
  // The same drawing in a thin pen takes no time.
  MetafileMaker thin;
  thin.Placeable(0, 0, 512, 512, 96).WindowOrg(0, 0).WindowExt(512, 512).Pen(0, 1, 0xFF0000);
  thin.Record(MetafileMaker::kPolyline, {8, 0, 0, 511, 511, 0, 511, 511, 0, 0, 0, 511, 511, 0, 511, 511, 0});
  EXPECT_EQ(RenderMetafile(View(thin.Bytes()), bitmap), MetafileResult::Rendered);
}

struct HostileCase {
  const char* name;
  std::string file;
};

std::string WithWord(std::string file, std::size_t at, int value) {
  file[at] = static_cast<char>(value & 0xFF);
  file[at + 1] = static_cast<char>((value >> 8) & 0xFF);
  return file;
}

const std::string kGood = RectangleIn(0, 0, 100, 50, 96, true, 0, 0, 1);

class HostileMetafileTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileMetafileTest, IsRefusedAsDamagedWithoutTouchingTheBitmap) {
  Bitmap bitmap;
  bitmap.width = 1;
  bitmap.height = 1;
  bitmap.pixels = {0xFF0000FFu};
  EXPECT_EQ(RenderMetafile(View(GetParam().file), bitmap), MetafileResult::Invalid);
  EXPECT_EQ(bitmap.width, 1);
  EXPECT_EQ(bitmap.pixels, std::vector<uint32_t>{0xFF0000FFu});
}

INSTANTIATE_TEST_SUITE_P(
    Metafile, HostileMetafileTest,
    ::testing::Values(
        HostileCase{"NoUnitsPerInch", RectangleIn(0, 0, 100, 50, 0, true, 0, 0, 1)},
        HostileCase{"EmptyFrame", RectangleIn(0, 0, 0, 50, 96, false, 0, 0, 1)},
        HostileCase{"EmptyWindow", MetafileMaker().Placeable(0, 0, 100, 50, 96).WindowExt(0, 50).Bytes()},
        // 65535 inches wide: millions of pixels.
        HostileCase{"AbsurdSize", RectangleIn(-32768, -32768, 32767, 32767, 1, false, 0, 0, 1)},
        HostileCase{"CutInARecord", kGood.substr(0, kGood.size() - 12)},
        HostileCase{"CutInTheHeader", kGood.substr(0, 30)},
        HostileCase{"HeaderOfTenWords", WithWord(kGood, 22 + 2, 10)},
        // The largest record stated as 2^31 words.
        HostileCase{"LargestRecordPastTheFile", WithWord(WithWord(kGood, 22 + 12, 0), 22 + 14, 0x8000)},
        // The first record stated as 70000 words long.
        HostileCase{"RecordPastTheEnd", WithWord(WithWord(kGood, 40, 70000 & 0xFFFF), 42, 70000 >> 16)},
        HostileCase{"KeyAlone", std::string("\xD7\xCD\xC6\x9A", 4)},
        HostileCase{"Text", std::string("this is text, not a picture\n")}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorve
