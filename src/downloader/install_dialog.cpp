#include "downloader/install_dialog.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QTimer>

#include <mutex>

#include "downloader/install_estimate.h"
#include "platform/system/clock.h"

namespace qorve {
namespace {

constexpr int kRefreshMs = 25;
constexpr int kCloseDelayMs = 1000;

std::mutex hookMutex;
MessageBoxHook messageBoxHook;

// The dialog's layout in dialog units (x, y, width, height).
struct Box {
  int x, y, width, height;
};

}  // namespace

void SetMessageBoxHookForTesting(MessageBoxHook hook) {
  std::lock_guard lock(hookMutex);
  messageBoxHook = std::move(hook);
}

InstallDialog::InstallDialog(InstallPlaces places, QWidget* parent) : QDialog(parent), places_(std::move(places)) {
  setWindowTitle(QString::fromUtf8("アーカイバＤＬＬインストール中"));
  setFont(QFont(QString::fromUtf8("ＭＳ Ｐゴシック"), 9));
  // Dialog units: a quarter of the average width of the Latin letters and an
  // eighth of the character height of the dialog's font, measured as Windows
  // measures them (a CJK font's own average width counts its wide glyphs).
  const QFontMetrics metrics(font());
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  const int baseX = (letters / 26 + 1) / 2;
  const int baseY = metrics.height();
  auto place = [&](QWidget* widget, Box b) {
    widget->setGeometry(b.x * baseX / 4, b.y * baseY / 8, b.width * baseX / 4, b.height * baseY / 8);
  };
  auto field = [&](const char* id, Box b, Qt::Alignment alignment) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(id);
    edit->setReadOnly(true);
    edit->setAlignment(alignment);
    place(edit, b);
    return edit;
  };
  auto label = [&](const char* text, Box b) {
    auto* l = new QLabel(QString::fromUtf8(text), this);
    place(l, b);
  };
  status_ = field("1033", {7, 7, 164, 13}, Qt::AlignLeft);
  label("経過時間", {7, 26, 33, 9});
  elapsed_ = field("1001", {40, 24, 27, 13}, Qt::AlignRight);
  label("秒　予想残り時間", {69, 26, 58, 9});
  remaining_ = field("1002", {127, 24, 27, 13}, Qt::AlignRight);
  label("秒", {156, 26, 10, 9});
  setFixedSize(178 * baseX / 4, 43 * baseY / 8);

  timer_ = new QTimer(this);
  timer_->setInterval(kRefreshMs);
  connect(timer_, &QTimer::timeout, this, &InstallDialog::Refresh);
}

InstallDialog::~InstallDialog() {
  state_.cancel = true;
  if (worker_.joinable()) worker_.join();
}

void InstallDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!worker_.joinable()) {
    worker_ = std::thread([this] {
      InstallWorker(state_, *this, places_);
      workerDone_ = true;
    });
  }
}

void InstallDialog::ShowMessage(const std::string& text, const std::string& caption, BoxIcon icon) {
  {
    std::lock_guard lock(hookMutex);
    if (messageBoxHook) {
      messageBoxHook(text, caption, icon);
      return;
    }
  }
  QMetaObject::invokeMethod(
      this,
      [&] {
        QMessageBox box(icon == BoxIcon::kError ? QMessageBox::Critical : QMessageBox::NoIcon,
                        QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok, this);
        box.exec();
      },
      Qt::BlockingQueuedConnection);
}

void InstallDialog::StartTimer() {
  QMetaObject::invokeMethod(timer_, qOverload<>(&QTimer::start), Qt::QueuedConnection);
}

void InstallDialog::StopTimer() { QMetaObject::invokeMethod(timer_, &QTimer::stop, Qt::QueuedConnection); }

void InstallDialog::Close() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        Refresh();
        ending_ = true;
        QTimer::singleShot(kCloseDelayMs, this, [this] { done(0); });
      },
      Qt::QueuedConnection);
}

void InstallDialog::Refresh() {
  const uint32_t now = TimeGetTime();
  const uint32_t start = state_.startTime;
  const QString status = QString::fromStdString(state_.Status());
  const QString elapsed = QString::fromStdString(ElapsedText(start, now));
  const QString remaining = QString::fromStdString(RemainingText(state_.estimate, start, now, state_.count));
  if (status_->text() != status) status_->setText(status);
  if (elapsed_->text() != elapsed) elapsed_->setText(elapsed);
  if (remaining_->text() != remaining) remaining_->setText(remaining);
}

bool InstallDialog::MayEnd() {
  if (workerDone_ || !worker_.joinable()) return true;
  state_.cancel = true;  // the worker closes the dialog once it has stopped
  return false;
}

void InstallDialog::closeEvent(QCloseEvent* event) {
  if (ending_ || MayEnd()) {
    event->accept();
    QDialog::closeEvent(event);
  } else {
    event->ignore();
  }
}

void InstallDialog::reject() {
  if (ending_ || MayEnd()) QDialog::reject();
}

}  // namespace qorve
