#include "settings/dialogs/key_capture_dialog.h"

#include "platform/qt/window_event_input.h"
#include "settings/keys/key_capture.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace qorve {
namespace {

struct KeyButton {
  int control;
  const char* label;
  int code;
};

constexpr KeyButton kButtons[] = {
    {5, "マウス左", 1},          {3, "マウス右", 2},       {7, "マウス中央", 4},
    {9, "半角/全角", 243},       {12, "Caps Lock/英数", 240}, {15, "ひらがな", 242},
    {18, "Enter/Return", 13},    {20, "SPACE", 32},
};

constexpr int kCancelControl = 2;

}  // namespace

KeyCaptureDialog::KeyCaptureDialog(QWidget* owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("キーボード入力"));
  setObjectName(QStringLiteral("keyCaptureDialog"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("割り当てるキーを押して下さい"), this));
  layout->addWidget(new QLabel(QStringLiteral("認識されないキーは下のボタンを押して下さい"), this));
  auto* grid = new QGridLayout;
  int at = 0;
  for (const KeyButton& key : kButtons) {
    auto* button = new QPushButton(QString::fromUtf8(key.label), this);
    button->setObjectName(QStringLiteral("control%1").arg(key.control));
    // A key captured by pressing Space or Enter must not also click a button.
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    const int code = key.code;
    connect(button, &QPushButton::clicked, this, [this, code] { emit CodeChosen(code); });
    grid->addWidget(button, at / 3, at % 3);
    ++at;
  }
  layout->addLayout(grid);
  layout->addWidget(new QLabel(QStringLiteral("認識されないキーでは操作できないかもしれません。"), this));
  auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
  cancel->setObjectName(QStringLiteral("control%1").arg(kCancelControl));
  cancel->setFocusPolicy(Qt::NoFocus);
  cancel->setAutoDefault(false);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  layout->addWidget(cancel, 0, Qt::AlignRight);
}

void KeyCaptureDialog::keyPressEvent(QKeyEvent* event) {
  event->accept();
  // Where the X server cannot see this window (a native Wayland client) the
  // capture's polling hears no key; the window's own key event stands in.
  if (QGuiApplication::platformName() == QLatin1String("xcb")) return;
  const int code = VirtualKeyOfQtKey(event->key(), event->nativeVirtualKey(),
                                     event->modifiers().testFlag(Qt::KeypadModifier));
  if (code != 0 && KeyCapture::IsCapturedCode(code)) emit CodeChosen(code);
}

}  // namespace qorve
