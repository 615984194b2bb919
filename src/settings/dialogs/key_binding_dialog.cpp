#include "settings/dialogs/key_binding_dialog.h"

#include "common/keyset_commands.h"
#include "settings/dialogs/key_capture_dialog.h"
#include "settings/keys/key_names.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <iterator>
#include <vector>

namespace qorve {
namespace {

// The list and capture button of each command's row.
constexpr int kControls[][2] = {{1278, 6},  {1254, 4},  {1256, 8},  {1274, 10}, {1276, 13}, {1258, 11}, {1260, 14},
                                {1262, 16}, {1264, 17}, {1266, 19}, {1268, 21}, {1270, 22}, {1272, 23}};
static_assert(std::size(kControls) == 13);

const std::vector<KeyBindingRow> kRows = [] {
  std::vector<KeyBindingRow> rows;
  for (std::size_t row = 0; row < KeysetCommands().size(); ++row) {
    const KeysetCommand& command = KeysetCommands()[row];
    rows.push_back({command.label, kControls[row][0], kControls[row][1], command.key});
  }
  return rows;
}();

QString ControlName(int control) { return QStringLiteral("control%1").arg(control); }

}  // namespace

std::span<const KeyBindingRow> KeyBindingRows() { return kRows; }

std::unique_ptr<InputPoller> CreateCaptureInput() {
  std::unique_ptr<InputPoller> input = CreateX11Input();
  return input ? std::move(input) : CreateIdleInput();
}

KeyBindingDialog::KeyBindingDialog(QWidget* parent, KeyCapture::InputFactory makeInput)
    : QDialog(parent), makeInput_(std::move(makeInput)) {
  setWindowTitle(QStringLiteral("操作方法設定"));
  Settings& settings = ProgramSettings();
  auto* layout = new QVBoxLayout(this);

  auto* mouse = new QGroupBox(QStringLiteral("マウス"), this);
  auto* mouseLayout = new QVBoxLayout(mouse);
  leftExit_ = new QCheckBox(QStringLiteral("画面外の左クリックで終了"), mouse);
  leftExit_->setObjectName(ControlName(1097));
  rightExit_ = new QCheckBox(QStringLiteral("画面外の右クリックで終了"), mouse);
  rightExit_->setObjectName(ControlName(1098));
  leftExit_->setChecked(settings.kestravoxLButtonExit == 1);
  rightExit_->setChecked(settings.kestravoxRButtonExit == 1);
  mouseLayout->addWidget(leftExit_);
  mouseLayout->addWidget(rightExit_);
  layout->addWidget(mouse);

  auto* keyboard = new QGroupBox(QStringLiteral("キーボード"), this);
  auto* grid = new QGridLayout(keyboard);
  for (std::size_t row = 0; row < std::size(kRows); ++row) {
    const KeyBindingRow& binding = kRows[row];
    auto* list = new QComboBox(keyboard);
    list->setObjectName(ControlName(binding.listControl));
    for (const uint8_t code : BindableKeys()) list->addItem(QString::fromStdString(KeyName(code)), int{code});
    auto* capture = new QPushButton(QStringLiteral("入力"), keyboard);
    capture->setObjectName(ControlName(binding.buttonControl));
    capture->setAutoDefault(false);
    connect(capture, &QPushButton::clicked, this, [this, row] { StartCapture(static_cast<int>(row)); });
    grid->addWidget(new QLabel(QString::fromUtf8(binding.label), keyboard), static_cast<int>(row), 0);
    grid->addWidget(list, static_cast<int>(row), 1);
    grid->addWidget(capture, static_cast<int>(row), 2);
    lists_.push_back(list);
  }
  layout->addWidget(keyboard);
  for (std::size_t row = 0; row < std::size(kRows); ++row) {
    const int code = settings.*kRows[row].key;
    lists_[row]->setCurrentIndex(IsBindableKey(code) ? BindableIndexOf(code) : -1);
  }

  auto* note = new QLabel(QStringLiteral("キー名称は、標準日本語１０９キーボードに合わせているので、"
                                         "一部の特殊キーボードとはキー名称が異なります。"),
                          this);
  note->setWordWrap(true);
  layout->addWidget(note);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(ControlName(1));
  connect(buttons, &QDialogButtonBox::accepted, this, &KeyBindingDialog::accept);
  layout->addWidget(buttons);
}

KeyBindingDialog::~KeyBindingDialog() { EndCapture(); }

QComboBox* KeyBindingDialog::List(int row) const { return lists_.at(static_cast<std::size_t>(row)); }

void KeyBindingDialog::AssignKey(int row, int code) {
  if (row < 0 || row >= static_cast<int>(lists_.size())) return;
  ProgramSettings().*kRows[row].key = code;
  if (code == 0) return;
  // A stored code that no item holds must not select a neighbouring key.
  List(row)->setCurrentIndex(IsBindableKey(code) ? BindableIndexOf(code) : -1);
}

void KeyBindingDialog::StartCapture(int row) {
  // One capture at a time: a new one replaces the one running.
  EndCapture();
  captureRow_ = row;
  const unsigned generation = ++captureGeneration_;
  // The code is left under capturedMutex_ and this thread is woken by a
  // posted call that carries nothing; the thread is joined before this dialog
  // goes away, and Qt drops calls posted to a deleted object.
  capture_ = std::make_unique<KeyCapture>(makeInput_, [this, generation](int code) {
    {
      std::lock_guard lock(capturedMutex_);
      captured_ = CapturedCode{generation, code};
    }
    QMetaObject::invokeMethod(this, "TakeCapturedCode", Qt::QueuedConnection);
  });
  captureWindow_ = new KeyCaptureDialog(this);
  captureWindow_->setAttribute(Qt::WA_DeleteOnClose);
  connect(captureWindow_, &KeyCaptureDialog::CodeChosen, this,
          [this, generation](int code) { CaptureDone(generation, code); });
  // Cancel or the close box ends the capture too: otherwise the next key
  // pressed anywhere, much later, would silently become the binding.
  connect(captureWindow_, &QDialog::rejected, this, [this, generation] {
    if (generation == captureGeneration_) EndCapture();
  });
  captureWindow_->show();
}

void KeyBindingDialog::TakeCapturedCode() {
  std::optional<CapturedCode> captured;
  {
    std::lock_guard lock(capturedMutex_);
    captured.swap(captured_);
  }
  if (captured) CaptureDone(captured->generation, captured->code);
}

void KeyBindingDialog::CaptureDone(unsigned generation, int code) {
  if (generation != captureGeneration_ || captureRow_ < 0) return;
  const int row = captureRow_;
  EndCapture();
  AssignKey(row, code);
  emit KeyCaptured(row, code);
}

void KeyBindingDialog::EndCapture() {
  ++captureGeneration_;
  captureRow_ = -1;
  if (capture_) {
    capture_->Stop();
    capture_.reset();
  }
  if (captureWindow_) {
    KeyCaptureDialog* window = captureWindow_;
    captureWindow_ = nullptr;
    window->disconnect(this);
    window->close();
  }
}

void KeyBindingDialog::accept() {
  EndCapture();
  Settings& settings = ProgramSettings();
  settings.kestravoxLButtonExit = leftExit_->isChecked() ? 1 : 0;
  settings.kestravoxRButtonExit = rightExit_->isChecked() ? 1 : 0;
  for (std::size_t row = 0; row < std::size(kRows); ++row) {
    // A row without a choice keeps its stored code.
    if (lists_[row]->currentIndex() >= 0) settings.*kRows[row].key = lists_[row]->currentData().toInt();
  }
  QDialog::accept();
}

void KeyBindingDialog::reject() {
  EndCapture();
  QDialog::reject();
}

void ShowKeyBindingDialog(QWidget* parent) {
  KeyBindingDialog dialog(parent);
  dialog.exec();
}

}  // namespace qorve
