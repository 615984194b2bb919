#include "player/visual/video_window_widget.h"

#include "common/settings.h"
#include "platform/system/clock.h"
#include "player/core/player_state.h"
#include "player/visual/video_window.h"
#include "player/visual/wnd_set.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>
#include <cstdint>

namespace qorve {
namespace {

constexpr uint32_t kFullScreenInputBlockMs = 30;
constexpr int kCornerSize = 32;  // full screen: a press in this top-left square toggles back
constexpr int kSizingBorder = 2 * kVideoWindowEdge;  // the frame round the picture box
constexpr int kSmallestSide = 4 * kVideoWindowEdge + 16;
const QColor kFrameOuter(150, 150, 150);
const QColor kFrameInner(70, 70, 70);

enum VideoSize : int { kVideoNaturalSize = 0, kVideoFullScreen = 3 };

bool OnXcb() { return QGuiApplication::platformName() == QStringLiteral("xcb"); }

}  // namespace

// Where the picture goes. On X, a native window the video sink draws into:
// Qt never paints it (the sink owns its pixels). Elsewhere (a Wayland
// client, offscreen) a plain widget painting the newest picture the
// pipeline handed over, scaled to its place. Mouse events pass on to the
// video window either way.
class VideoPicture final : public QWidget {
 public:
  VideoPicture(QWidget* parent, const VideoWindow::Pictures* pictures) : QWidget(parent), pictures_(pictures) {
    if (!pictures_) {
      setAttribute(Qt::WA_NativeWindow);
      setAttribute(Qt::WA_PaintOnScreen);
    }
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  QPaintEngine* paintEngine() const override { return pictures_ ? QWidget::paintEngine() : nullptr; }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (!pictures_) return;
    // Cleared before the newest picture is read: one that comes after it
    // asks for another repaint.
    pictures_->repaintAsked.store(false);
    QPainter painter(this);
    std::lock_guard lock(pictures_->mutex);
    if (pictures_->newest.isNull()) {
      painter.fillRect(rect(), Qt::black);
    } else {
      painter.setRenderHint(QPainter::SmoothPixmapTransform);
      painter.drawImage(rect(), pictures_->newest);
    }
  }

 private:
  const VideoWindow::Pictures* pictures_;  // null: a native window
};

namespace {

}  // namespace

VideoWindow::VideoWindow() : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("QORVEVIDEO"));
  setCursor(Qt::ArrowCursor);
  setMouseTracking(true);  // the cursor shows where the frame can be dragged
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(true);
  setGeometry(0, 0, 100, 100);
  if (!OnXcb()) pictures_ = std::make_unique<Pictures>();
  picture_ = new VideoPicture(this, pictures_.get());
  picture_->setGeometry(0, 0, 0, 0);
  picture_->hide();
  refitTimer_.setSingleShot(true);
  QObject::connect(&refitTimer_, &QTimer::timeout, this, [this] { Refit(); });
}

uintptr_t VideoWindow::NativeWindow() {
  if (pictures_) return 0;
  return static_cast<uintptr_t>(picture_->winId());
}

bool VideoWindow::TakesPictures() const { return pictures_ != nullptr; }

void VideoWindow::ShowPicture(const uint8_t* pixels, int width, int height, int stride) {
  if (!pictures_) return;
  const QImage picture(pixels, width, height, stride, QImage::Format_RGB32);
  {
    std::lock_guard lock(pictures_->mutex);
    pictures_->newest = picture.copy();  // the pixels are the pipeline's
  }
  // One repaint asked for at a time: pictures that come faster than the
  // window paints replace each other.
  // The request is a queued call of the widget's update() slot, made by Qt:
  // nothing of ours crosses to the user-interface thread but the picture
  // under its mutex and the flag, which the paint clears.
  if (!pictures_->repaintAsked.exchange(true)) {
    QMetaObject::invokeMethod(picture_, "update", Qt::QueuedConnection);
  }
}

void VideoWindow::PlacePicture(int x, int y, int width, int height) {
  const int inset = framed_ ? 2 * kVideoWindowEdge : 0;
  picture_->setGeometry(x + inset, y + inset, std::max(width, 1), std::max(height, 1));
  picture_->show();
}

double VideoWindow::DevicePixelRatio() const { return picture_->devicePixelRatio(); }

void VideoWindow::SetFramed(bool framed) {
  framed_ = framed;
  update();
}

void VideoWindow::StartRefitTimer(int milliseconds) { refitTimer_.start(std::max(milliseconds, 0)); }

void VideoWindow::Refit() {
  if (Player().media) Player().media->FitPicture();
  update();
}

void VideoWindow::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), Qt::black);
  if (!framed_) return;
  // The sizing frame: a light outer line and a dark band to the picture box.
  const QRect outer = rect();
  painter.fillRect(outer, kFrameInner);
  painter.fillRect(outer.adjusted(kSizingBorder, kSizingBorder, -kSizingBorder, -kSizingBorder), Qt::black);
  painter.setPen(kFrameOuter);
  painter.drawRect(outer.adjusted(0, 0, -1, -1));
}

void VideoWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  update();
}

void VideoWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Refit();
}

Qt::Edges VideoWindow::SizingEdgesAt(const QPoint& point) const {
  Qt::Edges edges;
  if (!framed_ || ProgramSettings().videosetFull != 0) return edges;
  if (point.x() < kSizingBorder) edges |= Qt::LeftEdge;
  if (point.x() >= width() - kSizingBorder) edges |= Qt::RightEdge;
  if (point.y() < kSizingBorder) edges |= Qt::TopEdge;
  if (point.y() >= height() - kSizingBorder) edges |= Qt::BottomEdge;
  return edges;
}

void VideoWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (ProgramSettings().videosetFull == 0) {
    // The window manager moves or resizes where it can; otherwise the
    // window follows the pointer itself until the button is released.
    const Qt::Edges edges = SizingEdgesAt(event->position().toPoint());
    // The pointer runs ahead of the window while it is dragged: the press
    // must not count as a click outside the player's windows, which ends
    // the program.
    Player().clickConsumed = 1;
    QWindow* window = windowHandle();
    const bool system = window && (edges ? window->startSystemResize(edges) : window->startSystemMove());
    if (!system) {
      dragging_ = true;
      dragEdges_ = edges;
      dragStart_ = event->globalPosition().toPoint();
      dragFrom_ = geometry();
    }
    return;
  }
  const QPoint at = event->position().toPoint();
  if (at.x() < kCornerSize && at.y() < kCornerSize) ToggleFullScreen();
}

void VideoWindow::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) {
    DragTo(event->globalPosition().toPoint());
    return;
  }
  const Qt::Edges edges = SizingEdgesAt(event->position().toPoint());
  Qt::CursorShape shape = Qt::ArrowCursor;
  if (edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge)) {
    shape = Qt::SizeFDiagCursor;
  } else if (edges == (Qt::RightEdge | Qt::TopEdge) || edges == (Qt::LeftEdge | Qt::BottomEdge)) {
    shape = Qt::SizeBDiagCursor;
  } else if (edges & (Qt::LeftEdge | Qt::RightEdge)) {
    shape = Qt::SizeHorCursor;
  } else if (edges & (Qt::TopEdge | Qt::BottomEdge)) {
    shape = Qt::SizeVerCursor;
  }
  setCursor(shape);
}

void VideoWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !dragging_) return;
  DragTo(event->globalPosition().toPoint());
  dragging_ = false;
}

void VideoWindow::DragTo(const QPoint& globalPoint) {
  const QPoint by = globalPoint - dragStart_;
  QRect to = dragFrom_;
  if (!dragEdges_) {
    to.translate(by);
  } else {
    // The dragged edges follow the pointer; the others stay.
    if (dragEdges_ & Qt::LeftEdge) to.setLeft(std::min(to.left() + by.x(), to.right() - kSmallestSide + 1));
    if (dragEdges_ & Qt::RightEdge) to.setRight(std::max(to.right() + by.x(), to.left() + kSmallestSide - 1));
    if (dragEdges_ & Qt::TopEdge) to.setTop(std::min(to.top() + by.y(), to.bottom() - kSmallestSide + 1));
    if (dragEdges_ & Qt::BottomEdge) to.setBottom(std::max(to.bottom() + by.y(), to.top() + kSmallestSide - 1));
  }
  if (to != geometry()) setGeometry(to);
}

void VideoWindow::mouseDoubleClickEvent(QMouseEvent* event) {
  dragging_ = false;
  if (event->button() == Qt::LeftButton) ToggleFullScreen();
}

void VideoWindow::ToggleFullScreen() {
  PlayerState& player = Player();
  if (!player.media) return;
  // Input stays blocked until the tick passes inputBlockedUntil (wrapping).
  if (static_cast<int32_t>(TimeGetTime() - player.inputBlockedUntil) < 0) return;
  Settings& settings = ProgramSettings();
  player.media->SetVideoSize(settings.videosetFull == 1 ? kVideoNaturalSize : kVideoFullScreen, 0, 0);
  player.media->ShowVideo();
  player.media->CenterVideo();
  WndSet& display = DisplayWindowSet();
  display.MarkAllDirty();
  display.Invalidate();
  settings.videosetFull = settings.videosetFull == 1 ? 0 : 1;
  player.inputBlockedUntil = TimeGetTime() + kFullScreenInputBlockMs;
  player.clickConsumed = 1;
}

void VideoWindow::wheelEvent(QWheelEvent* event) {
  // The wheel sets the volume wherever it turns: the display window does it.
  if (QWidget* display = DisplayWindowSet().Window()) {
    QCoreApplication::sendEvent(display, event);
  } else {
    event->ignore();
  }
}

VideoWindow* VideoWindowWidget() { return static_cast<VideoWindow*>(GetVideoWindow()); }

}  // namespace qorve
