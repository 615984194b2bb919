// DrawStretched of a 4000 x 3000 picture into a screen-sized window, in both
// stretch modes (IMAGESET SCALEALG 0 fast, 1 smooth), as the slideshow and a
// fitted large picture paint it.
#include "common/settings.h"
#include "player/formats/image/image.h"
#include "player/visual/draw_context.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <cstdlib>
#include <filesystem>

namespace {

qorve::IMAGE& LargePicture() {
  static qorve::IMAGE* image = [] {
    const std::string path = (std::filesystem::temp_directory_path() / "qorve_image_draw_bench.bmp").string();
    QImage picture(4000, 3000, QImage::Format_RGB32);
    QPainter painter(&picture);
    QLinearGradient gradient(0, 0, 4000, 3000);
    gradient.setColorAt(0, Qt::red);
    gradient.setColorAt(1, Qt::blue);
    painter.fillRect(picture.rect(), gradient);
    painter.end();
    picture.save(QString::fromStdString(path), "BMP");
    auto* loaded = new qorve::IMAGE;
    if (loaded->Open(path, "BMP", nullptr) != 0) std::abort();
    std::filesystem::remove(path);
    return loaded;
  }();
  return *image;
}

void DrawStretchedToScreen(benchmark::State& state) {
  qorve::ProgramSettings().kestravoxLog = 0;
  qorve::ProgramSettings().imagesetScaleAlg = static_cast<int>(state.range(0));
  qorve::IMAGE& image = LargePicture();
  QImage window(1280, 1024, QImage::Format_RGB32);
  QPainter painter(&window);
  qorve::DrawContext dc{&painter};
  for (auto _ : state) {
    // The slideshow's fit: the screen height, the width in proportion.
    image.DrawStretched(&dc, 0, 32, 1280, 960, 0, 0, 4000, 3000);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(DrawStretchedToScreen)->Arg(0)->Arg(1)->ArgName("scalealg")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
