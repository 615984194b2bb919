#include "settings/widgets/link_label.h"

#include <QCursor>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QTimer>

namespace qorve {
namespace {

const QColor kAtRest(0, 0, 255);
const QColor kUnderCursor(255, 0, 0);

// One colour for every link of the program, as the cursor last left it.
QColor& SharedLinkColour() {
  static QColor colour = kAtRest;
  return colour;
}

constexpr int kLeaveCheckMs = 50;

}  // namespace

bool OpenAddress(const QString& address) {
  if (address.isEmpty()) return false;
  return QProcess::startDetached(QStringLiteral("xdg-open"), {address});
}

LinkLabel::LinkLabel(const QString& address, QWidget* parent) : QWidget(parent), address_(address) {
  setCursor(Qt::PointingHandCursor);
  setToolTip(address);
  leaveTimer_ = new QTimer(this);
  leaveTimer_->setInterval(kLeaveCheckMs);
  connect(leaveTimer_, &QTimer::timeout, this, [this] { CheckCursor(QCursor::pos()); });
}

QColor LinkLabel::LinkColour() { return SharedLinkColour(); }

QFont LinkLabel::LinkFont() const {
  QFont font(QStringLiteral("ＭＳ ゴシック"));
  font.setPointSize(9);
  font.setUnderline(true);
  return font;
}

QSize LinkLabel::sizeHint() const {
  const QFontMetrics metrics(LinkFont());
  return QSize(metrics.horizontalAdvance(address_) + 2, metrics.height());
}

void LinkLabel::CheckCursor(QPoint global) {
  if (rect().contains(mapFromGlobal(global))) return;
  SharedLinkColour() = kAtRest;
  leaveTimer_->stop();
  update();
}

void LinkLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setFont(LinkFont());
  painter.setPen(SharedLinkColour());
  painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop, address_);
}

void LinkLabel::enterEvent(QEnterEvent* event) {
  SharedLinkColour() = kUnderCursor;
  leaveTimer_->start();
  update();
  QWidget::enterEvent(event);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  OpenAddress(address_);
  emit opened(address_);
}

}  // namespace qorve
