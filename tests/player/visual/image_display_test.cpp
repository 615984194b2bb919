// Real pictures (IMAGE objects over PNG files) in the display window: the
// window's size for small, large and slideshow pictures, and the grabbed
// window content.
#include "player/formats/image/image.h"
#include "player/visual/wnd_set.h"

#include "platform/input/input.h"
#include "player/core/player_state.h"
#include "support/qt_application.h"
#include "support/settings_home.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QScreen>

namespace qorve {
namespace {

struct PictureCase {
  const char* name;
  int width;
  int height;
  int show;  // IMAGESET SHOW
  // Expected zoom and window size as functions of the screen.
  double (*zoom)(const QRect& screen, const QRect& work);
  QSize (*window)(const QRect& screen, const QRect& work);
};

class ImageDisplayTest : public test::SettingsHome, public ::testing::WithParamInterface<PictureCase> {
 protected:
  void SetUp() override {
    SettingsHome::SetUp();
    test::TestApplication();
    ProgramSettings().imagesetAlpha = 0;
    SetSystemInputForTesting(std::make_unique<ScriptedInput>());
    window = new QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  }
  void TearDown() override {
    delete window;
    Player().media.reset();
    SetSystemInputForTesting(CreateIdleInput());
    SettingsHome::TearDown();
  }
  QWidget* window = nullptr;
};

// A green picture with a one-pixel magenta frame, so that a picture drawn off
// by a pixel or cut short shows.
QImage FramedPicture(int width, int height) {
  QImage picture(width, height, QImage::Format_RGB32);
  picture.fill(QColor(0, 160, 0));
  QPainter painter(&picture);
  painter.setPen(QColor(255, 0, 255));
  painter.drawRect(0, 0, width - 1, height - 1);
  return picture;
}

TEST_P(ImageDisplayTest, WindowFitsThePictureAndShowsItOnBlack) {
  const PictureCase& c = GetParam();
  ProgramSettings().imagesetShow = c.show;
  const std::string path = (root() / "picture.png").string();
  ASSERT_TRUE(FramedPicture(c.width, c.height).save(QString::fromStdString(path), "PNG"));
  auto image = std::make_unique<IMAGE>();
  ASSERT_EQ(image->Open(path, "PNG", nullptr), kResultSuccess);
  Player().media = std::move(image);

  WndSet& display = DisplayWindowSet();
  display.Attach(window);
  const QRect screen = window->screen()->geometry();
  const QRect work = window->screen()->availableGeometry();
  EXPECT_DOUBLE_EQ(display.Zoom(), c.zoom(screen, work));
  EXPECT_EQ(window->size(), c.window(screen, work));

  display.MarkAllDirty();
  QImage grabbed(window->size(), QImage::Format_RGB32);
  grabbed.fill(Qt::white);
  {
    QPainter painter(&grabbed);
    display.Paint(painter);
  }
  const double zoom = display.Zoom();
  const int shownWidth = static_cast<int>(c.width * zoom);
  const int shownHeight = static_cast<int>(c.height * zoom);
  const int left = c.show ? (screen.width() - shownWidth) / 2 : 0;
  const int top = c.show ? (screen.height() - shownHeight) / 2 : 0;
  const auto green = [](QRgb p) { return qRed(p) < 40 && qGreen(p) > 120 && qBlue(p) < 40; };
  const auto magenta = [](QRgb p) { return qRed(p) > 120 && qGreen(p) < 100 && qBlue(p) > 120; };
  EXPECT_TRUE(green(grabbed.pixel(left + shownWidth / 2, top + shownHeight / 2)));
  if (zoom >= 1.0 && left >= 0) {
    EXPECT_TRUE(magenta(grabbed.pixel(left, top + shownHeight / 2)));
    EXPECT_TRUE(magenta(grabbed.pixel(left + shownWidth / 2, top + shownHeight - 1)));
  }
  // Right of the picture, or beside it in the slideshow: black.
  if (shownWidth + 1 < window->width()) {
    EXPECT_EQ(grabbed.pixel(left + shownWidth + 1, top + shownHeight / 2), qRgb(0, 0, 0));
  }
  if (!c.show) {
    // The buttons lie in the strip under the picture, from its left edge
    // (a narrow window cuts the row short).
    const ButtonPlace back = display.Buttons()[9];
    EXPECT_GE(back.y, shownHeight);
    EXPECT_NE(grabbed.pixel(back.x + 16, back.y + 16), qRgb(0, 0, 0));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, ImageDisplayTest,
    ::testing::Values(
        PictureCase{"SmallPictureGetsTheMinimumWindow", 100, 3, 0, [](const QRect&, const QRect&) { return 1.0; },
                    [](const QRect&, const QRect&) { return QSize(170, 37); }},
        PictureCase{"NaturalSize", 300, 120, 0, [](const QRect&, const QRect&) { return 1.0; },
                    [](const QRect&, const QRect&) { return QSize(300, 152); }},
        PictureCase{"LargerThanTheWorkAreaTakesTheHeightRatio", 4000, 1500, 0,
                    [](const QRect&, const QRect& work) { return (work.height() - 40) / 1500.0; },
                    [](const QRect&, const QRect& work) {
                      const double zoom = (work.height() - 40) / 1500.0;
                      return QSize(static_cast<int>(4000 * zoom), static_cast<int>(1500 * zoom) + 32);
                    }},
        PictureCase{"SlideshowEnlargesAtMostThreeTimes", 60, 40, 1, [](const QRect&, const QRect&) { return 3.0; },
                    [](const QRect& screen, const QRect&) { return screen.size(); }},
        PictureCase{"SlideshowShrinksToTheScreenHeight", 3000, 2000, 1,
                    [](const QRect& screen, const QRect&) { return screen.height() / 2000.0; },
                    [](const QRect& screen, const QRect&) { return screen.size(); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorve
