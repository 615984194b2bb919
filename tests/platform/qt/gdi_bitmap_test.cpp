// A picture stretched onto a painter whose device has more pixels than its
// logical size (a high-resolution screen) is scaled to the device's pixels,
// not to the logical size and then stretched again.
#include "platform/qt/gdi_bitmap.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

namespace qorve {
namespace {

class StretchRatioTest : public ::testing::TestWithParam<int> {};

TEST_P(StretchRatioTest, AHalftoneShrinkKeepsTheDetailTheDevicePixelsShow) {
  const int ratio = GetParam();
  // Columns of one pixel, black and white in turn, shrunk to 1/ratio of their
  // width in logical pixels: on the device that is one column a pixel again.
  constexpr int kLogicalWidth = 60, kHeight = 4;
  Bitmap stripes;
  stripes.width = kLogicalWidth * ratio;
  stripes.height = kHeight * ratio;
  for (int y = 0; y < stripes.height; ++y) {
    for (int x = 0; x < stripes.width; ++x) stripes.pixels.push_back(x % 2 ? 0xFFFFFFFFu : 0xFF000000u);
  }
  QImage device(kLogicalWidth * ratio, kHeight * ratio, QImage::Format_RGB32);
  device.setDevicePixelRatio(ratio);
  device.fill(Qt::red);
  {
    QPainter painter(&device);
    StretchBitmap(&painter, 0, 0, kLogicalWidth, kHeight, stripes, 0, 0, stripes.width, stripes.height,
                  StretchMode::Halftone);
  }
  const int y = device.height() / 2;
  for (int x = 2; x < device.width() - 2; ++x) {
    const int grey = qGray(device.pixel(x, y));
    EXPECT_EQ(grey > 128, x % 2 == 1) << "ratio " << ratio << " device column " << x << " grey " << grey;
  }
}

INSTANTIATE_TEST_SUITE_P(Ratios, StretchRatioTest, ::testing::Values(2, 3));

TEST(StretchRatioTest, AtRatioOneTheShrinkAveragesAsBefore) {
  Bitmap stripes;
  stripes.width = 120;
  stripes.height = 8;
  for (int i = 0; i < stripes.width * stripes.height; ++i) stripes.pixels.push_back(i % 2 ? 0xFFFFFFFFu : 0xFF000000u);
  QImage device(60, 4, QImage::Format_RGB32);
  device.fill(Qt::red);
  {
    QPainter painter(&device);
    StretchBitmap(&painter, 0, 0, 60, 4, stripes, 0, 0, 120, 8, StretchMode::Halftone);
  }
  for (int x = 2; x < 58; ++x) EXPECT_NEAR(qGray(device.pixel(x, 2)), 128, 12) << x;
}

}  // namespace
}  // namespace qorve
