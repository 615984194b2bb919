#include "player/visual/seek_bar.h"

#include "support/qt_application.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QSlider>
#include <QWidget>

#include <string>

namespace qorve {
namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// Where two pictures of one size first differ ("x,y"), or "".
std::string FirstDifference(const QImage& a, const QImage& b) {
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if (a.pixel(x, y) != b.pixel(x, y)) return std::to_string(x) + "," + std::to_string(y);
    }
  }
  return "";
}

void LetQtPaint() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// Values that leave the thumb where it is cost no paint; moves that do are
// drawn so that what is on screen equals a bar drawn afresh at the last value,
// in either direction of writing (the thumb then travels leftwards).
class SeekBarTest : public ::testing::TestWithParam<Qt::LayoutDirection> {};

TEST_P(SeekBarTest, RepaintsOnlyVisibleMovesAndLeavesNoTrace) {
  test::TestApplication();
  QWidget window(nullptr, Qt::FramelessWindowHint);
  window.setLayoutDirection(GetParam());
  window.resize(400, 40);
  auto* bar = new SeekBar(&window);
  bar->setGeometry(0, 6, 398, 28);
  bar->setRange(0, 32700);
  window.show();
  LetQtPaint();

  PaintCounter counter;
  bar->installEventFilter(&counter);
  for (int value = 1000; value < 1020; ++value) bar->setValue(value);  // 20 units: well under a pixel
  LetQtPaint();
  EXPECT_EQ(counter.paints, 1) << "the first move paints once, the rest of the pixel not at all";

  for (int value = 1020; value <= 20000; value += 37) {
    bar->setValue(value);
    LetQtPaint();
  }
  // A narrower bar and another range: the thumb's places are learnt anew.
  bar->setGeometry(0, 6, 250, 28);
  bar->setRange(0, 5000);
  LetQtPaint();
  for (int value = 0; value <= 5000; value += 23) {
    bar->setValue(value);
    LetQtPaint();
  }
  const QImage onScreen = window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
  const QImage afresh = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(onScreen.size(), afresh.size());
  EXPECT_TRUE(onScreen == afresh) << "a thumb or groove left behind by the partial repaints";
}

// The bar drawn from its pictures looks exactly as the style draws a slider
// at the same value on the same ground, the fill under the thumb included.
TEST_P(SeekBarTest, LooksAsTheStyleDrawsASlider) {
  test::TestApplication();
  const QColor ground(0x20, 0x60, 0xA0);
  QWidget window(nullptr, Qt::FramelessWindowHint);
  window.setLayoutDirection(GetParam());
  window.resize(300, 40);
  auto* bar = new SeekBar(&window);
  bar->SetGround(ground);
  auto* slider = new QSlider(Qt::Horizontal, &window);
  for (QSlider* each : {static_cast<QSlider*>(bar), slider}) {
    each->setGeometry(0, 6, 298, 28);
    each->setRange(0, 9000);
  }
  window.show();
  LetQtPaint();
  const auto picture = [&](QSlider* which) {
    QImage image(which->size(), QImage::Format_RGB32);
    image.fill(ground);
    which->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
  };
  for (int value = 0; value <= 9000; value += value < 100 ? 1 : 97) {
    bar->setValue(value);
    slider->setValue(value);
    EXPECT_EQ(FirstDifference(picture(bar), picture(slider)), "") << "at " << value;
  }
}

INSTANTIATE_TEST_SUITE_P(Directions, SeekBarTest, ::testing::Values(Qt::LeftToRight, Qt::RightToLeft),
                         [](const auto& info) { return std::string(info.param == Qt::LeftToRight ? "LeftToRight" : "RightToLeft"); });

}  // namespace
}  // namespace qorve
