#include "player/core/desktop/tray_icon.h"

#include "player/visual/button_art.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWidget>

namespace qorve {
namespace {

constexpr const char* kTrayTip = "KESTRAVOX2";

// A 32 x 32 icon window standing in for a missing notification area.
class TrayFallbackWindow final : public QWidget {
 public:
  explicit TrayFallbackWindow(std::function<void()> onClick)
      : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
        onClick_(std::move(onClick)) {
    setWindowTitle(QString::fromLatin1(kTrayTip));
    setToolTip(QString::fromLatin1(kTrayTip));
    setFixedSize(32, 32);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x30, 0x30, 0x38));
    painter.drawImage(QRect(0, 0, 32, 32), TrayIconImage(32));
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) onClick_();
  }

 private:
  std::function<void()> onClick_;
};

}  // namespace

TrayIcon::TrayIcon(std::function<void()> onClick) : onClick_(std::move(onClick)) {}

TrayIcon::~TrayIcon() = default;

void TrayIcon::Show() {
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    if (!tray_) {
      tray_ = std::make_unique<QSystemTrayIcon>();
      QIcon icon;
      icon.addPixmap(QPixmap::fromImage(TrayIconImage(16)));
      icon.addPixmap(QPixmap::fromImage(TrayIconImage(32)));
      tray_->setIcon(icon);
      tray_->setToolTip(QString::fromLatin1(kTrayTip));
      QObject::connect(tray_.get(), &QSystemTrayIcon::activated, this,
                       [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                           onClick_();
                         }
                       });
    }
    tray_->show();
  } else {
    if (!fallback_) fallback_ = std::make_unique<TrayFallbackWindow>(onClick_);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 640, 480);
    fallback_->move(area.right() - 32 - 4, area.top() + 4);
    fallback_->show();
    fallback_->raise();
  }
  shown_ = true;
}

void TrayIcon::Hide() {
  if (tray_) tray_->hide();
  if (fallback_) fallback_->hide();
  shown_ = false;
}

QRect TrayIcon::Geometry() const {
  if (!shown_) return {};
  if (tray_ && tray_->isVisible()) return tray_->geometry();
  if (fallback_ && fallback_->isVisible()) return fallback_->frameGeometry();
  return {};
}

}  // namespace qorve
