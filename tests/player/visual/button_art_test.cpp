#include "player/visual/button_art.h"

#include "support/qt_application.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

namespace qorve {
namespace {

const std::vector<int> kIds = {kBitmapLoop, kBitmapPause, kBitmapFull, kBitmapZoom, kBitmapShow, kBitmapNext,
                               kBitmapBack, kBitmapHide,  kBitmapList, kBitmapRand, kBitmapOnce, kBitmapExit};

bool IsTwoFaced(int id) { return id >= kBitmapPause && id <= kBitmapShow; }

QImage Cell(int id, int column, int row) { return ButtonBitmap(id).copy(32 * column, 32 * row, 32, 32); }

TEST(ButtonArtTest, EveryBitmapHasThreeRowsAndItsColumns) {
  test::TestApplication();
  for (int id : kIds) {
    const QImage& bitmap = ButtonBitmap(id);
    ASSERT_FALSE(bitmap.isNull()) << id;
    EXPECT_EQ(bitmap.height(), 96) << id;
    EXPECT_EQ(bitmap.width(), IsTwoFaced(id) ? 64 : 32) << id;
    // Normal, hover and pressed faces differ from each other.
    EXPECT_NE(Cell(id, 0, 0), Cell(id, 0, 1)) << id;
    EXPECT_NE(Cell(id, 0, 1), Cell(id, 0, 2)) << id;
    if (IsTwoFaced(id)) {
      EXPECT_NE(Cell(id, 0, 0), Cell(id, 1, 0)) << id;
    }
  }
  EXPECT_TRUE(ButtonBitmap(105).isNull());
  EXPECT_TRUE(ButtonBitmap(0).isNull());
}

class ButtonArtRatioTest : public ::testing::TestWithParam<double> {};

TEST_P(ButtonArtRatioTest, ArtForAScreenRatioHasItsPixelsAndTheSameFaces) {
  test::TestApplication();
  const double ratio = GetParam();
  for (int id : kIds) {
    const QImage& fine = ButtonBitmap(id, ratio);
    ASSERT_FALSE(fine.isNull()) << id;
    EXPECT_DOUBLE_EQ(fine.devicePixelRatio(), ratio) << id;
    const int columns = IsTwoFaced(id) ? 2 : 1;
    EXPECT_EQ(fine.width(), static_cast<int>(std::ceil(32 * columns * ratio))) << id;
    EXPECT_EQ(fine.height(), static_cast<int>(std::ceil(96 * ratio))) << id;
    // Brought back to 32 pixels a cell it is the same picture, give or take
    // the edges' antialiasing.
    QImage back = fine.scaled(32 * columns, 96, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                      .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage& plain = ButtonBitmap(id);
    int64_t difference = 0;
    for (int y = 0; y < plain.height(); ++y) {
      for (int x = 0; x < plain.width(); ++x) difference += std::abs(qGray(back.pixel(x, y)) - qGray(plain.pixel(x, y)));
    }
    EXPECT_LT(difference / (plain.width() * plain.height()), 12) << id;
  }
}

INSTANTIATE_TEST_SUITE_P(Ratios, ButtonArtRatioTest, ::testing::Values(1.25, 1.5, 2.0));

TEST(ButtonArtTest, RatiosQtNeverGivesDrawTheArtAtItsOwnSize) {
  test::TestApplication();
  EXPECT_EQ(ButtonBitmap(kBitmapNext, 0.0).size(), QSize(32, 96));
  EXPECT_EQ(ButtonBitmap(kBitmapNext, -2.0).size(), QSize(32, 96));
  EXPECT_EQ(ButtonBitmap(kBitmapNext, 1e9).size(), QSize(32, 96));
}

TEST(ButtonArtTest, EveryPictogramIsItsOwn) {
  test::TestApplication();
  std::vector<QImage> faces;
  for (int id : kIds) {
    for (int column = 0; column < (IsTwoFaced(id) ? 2 : 1); ++column) faces.push_back(Cell(id, column, 0));
  }
  for (std::size_t a = 0; a < faces.size(); ++a) {
    for (std::size_t b = a + 1; b < faces.size(); ++b) EXPECT_NE(faces[a], faces[b]) << a << " " << b;
  }
}

TEST(ButtonArtTest, TrayIconIsOpaqueInTheMiddleAndClearAtTheCorner) {
  test::TestApplication();
  for (int size : {16, 32}) {
    const QImage icon = TrayIconImage(size);
    ASSERT_EQ(icon.size(), QSize(size, size));
    EXPECT_EQ(icon.pixelColor(size / 4, size / 4).alpha(), 255);
    EXPECT_EQ(icon.pixelColor(0, 0).alpha(), 0);
  }
}

// With QORVE_CONTACT_SHEET=<file.png> the whole artwork is written to one
// picture, enlarged four times, for a person to judge.
TEST(ButtonArtTest, ContactSheet) {
  test::TestApplication();
  const char* path = std::getenv("QORVE_CONTACT_SHEET");
  if (!path) GTEST_SKIP() << "set QORVE_CONTACT_SHEET to write the sheet";
  QImage sheet(20 * 32 + 40, 96 + 80, QImage::Format_RGB32);
  sheet.fill(Qt::white);
  QPainter painter(&sheet);
  int x = 4;
  for (int id : kIds) {
    painter.drawImage(x, 4, ButtonBitmap(id));
    x += ButtonBitmap(id).width() + 4;
  }
  painter.fillRect(0, 104, sheet.width(), 72, Qt::black);
  x = 4;
  for (int id : kIds) {
    painter.drawImage(x, 110, ButtonBitmap(id).copy(0, 0, ButtonBitmap(id).width(), 32));
    x += ButtonBitmap(id).width() + 4;
  }
  painter.drawImage(4, 146, TrayIconImage(16));
  painter.drawImage(24, 142, TrayIconImage(32));
  painter.end();
  ASSERT_TRUE(sheet.scaled(sheet.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation).save(path));
}

}  // namespace
}  // namespace qorve
