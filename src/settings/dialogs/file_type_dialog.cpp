#include "settings/dialogs/file_type_dialog.h"

#include "settings/desktop/file_association.h"
#include "settings/desktop/send_to_shortcut.h"

#include <QCheckBox>
#include <QCursor>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace qorve {
namespace {

struct ExtensionBox {
  int control;
  const char* extension;
};

struct ExtensionGroup {
  const char* title;
  std::initializer_list<ExtensionBox> boxes;
};

const ExtensionGroup kGroups[] = {
    {"音声や音楽ファイル",
     {{1004, "WAV"}, {1012, "WMA"}, {1016, "MP3"}, {1020, "AIF"}, {1026, "AU"}, {1030, "APE"},
      {1032, "MID"}, {1034, "FLAC"}, {1036, "MIDI"}, {1038, "MIO"}, {1040, "RMI"}, {1042, "MOD"},
      {1044, "OGG"}, {1046, "XM"}, {1048, "VQF"}, {1050, "SPC"}, {1260, "S3M"}, {1262, "IT"},
      {1264, "MTM"}, {1266, "669"}, {1268, "STM"}, {1270, "ULT"}}},
    {"動画ファイル", {{1008, "AVI"}, {1052, "MPG"}, {1056, "MPEG"}, {1060, "WMV"}, {1062, "MOV"}, {1066, "RM"}}},
    {"画像ファイル",
     {{1070, "BMP"}, {1074, "GIF"}, {1078, "JPG"}, {1084, "JIF"}, {1090, "JFIF"}, {1094, "JPEG"}, {1096, "PNG"},
      {1100, "WMF"}}},
    {"圧縮や書庫や分割ファイル",
     {{1120, "LZH"}, {1126, "ZIP"}, {1132, "RAR"}, {1136, "CAB"}, {1140, "GCA"}, {1144, "TAR"}, {1148, "GZ"},
      {1152, "BZ2"}, {1156, "YZ1"}, {1160, "REZ"}}},
    {"リストファイル", {{1121, "LST"}}},
    {"文書ファイル", {}},
};

constexpr int kSendToControl = 1252;
constexpr int kCloseControl = 1104;
constexpr int kHelpControl = 1116;
constexpr int kColumns = 6;

// The help texts of this dialog's controls, by control number.
QString HelpText(int control) {
  switch (control) {
    case kHelpControl:
      return QStringLiteral("コントロールの上にのせると説明を表示します。説明の出ないものもあります。"
                            "ラジオボタンは選択されているものしか説明が出ません。");
    case kSendToControl:
      return QStringLiteral("エクスプローラで逆クリックしたときの送るから再生できるようにします。"
                            "関連づけをしたくない場合に有効です。");
    default:
      return {};
  }
}

int ControlOf(const QWidget* widget) { return widget->property("control").toInt(); }

template <typename Widget>
Widget* Numbered(Widget* widget, int control) {
  widget->setObjectName(FileTypeDialog::ControlName(control));
  widget->setProperty("control", control);
  return widget;
}

}  // namespace

QString FileTypeDialog::ControlName(int control) { return QStringLiteral("control%1").arg(control); }

FileTypeDialog::FileTypeDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("ファイルタイプの設定"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("KESTRAVOX2で直接開くファイルをチェックします。\n"
                                              "初めて使用する場合、「送る」に登録するのがお勧めです。"),
                               this));
  for (const ExtensionGroup& group : kGroups) {
    auto* box = new QGroupBox(QString::fromUtf8(group.title), this);
    auto* grid = new QGridLayout(box);
    int at = 0;
    for (const ExtensionBox& extension : group.boxes) {
      auto* check = Numbered(new QCheckBox(QString::fromUtf8(extension.extension), box), extension.control);
      connect(check, &QCheckBox::clicked, this, [this, check] { ExtensionClicked(check); });
      grid->addWidget(check, at / kColumns, at % kColumns);
      ++at;
    }
    layout->addWidget(box);
  }
  auto* sendTo = Numbered(new QCheckBox(QStringLiteral("送るメニューに登録"), this), kSendToControl);
  connect(sendTo, &QCheckBox::clicked, this, [this, sendTo] { SendToClicked(sendTo); });
  layout->addWidget(sendTo);
  help_ = Numbered(new QPlainTextEdit(this), kHelpControl);
  help_->setReadOnly(true);
  help_->setFocusPolicy(Qt::TabFocus);
  help_->setMaximumHeight(fontMetrics().lineSpacing() * 4);
  layout->addWidget(help_);
  auto* close = Numbered(new QPushButton(QStringLiteral("関連付けの終了"), this), kCloseControl);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(close, 0, Qt::AlignRight);

  // Associations an earlier version kept under the installed entry's id move
  // to their own entry before the boxes are read; a failure is reported when
  // a box is clicked, where it stops the change.
  MigrateAssociations();
  Refresh();
  helpTimer_ = new QTimer(this);
  connect(helpTimer_, &QTimer::timeout, this, &FileTypeDialog::UpdateHelp);
  helpTimer_->start(50);
}

void FileTypeDialog::Refresh() {
  for (QCheckBox* box : findChildren<QCheckBox*>()) {
    if (ControlOf(box) == kSendToControl) {
      box->setChecked(SendToShortcutExists());
      continue;
    }
    box->setChecked(AssociatedWithPlayer(box->text().left(9).toStdString()));
  }
}

void FileTypeDialog::ExtensionClicked(QCheckBox* box) {
  const QString extension = box->text();
  if (extension.size() < 2 || extension.size() > 4) return;
  std::string error;
  const bool done = box->isChecked() ? RegisterType(extension.toStdString(), &error)
                                     : UnregisterType(extension.toStdString(), &error);
  // A file that could not be read or written changed nothing: say which.
  if (!done && !error.empty()) {
    ShowMessage(QStringLiteral("関連付けを変更できませんでした。\n") + QString::fromStdString(error));
  }
  // Several extensions may share one MIME type (JPG and JPEG), and a write may
  // have failed: every box shows what the desktop now does.
  Refresh();
}

void FileTypeDialog::SendToClicked(QCheckBox* box) {
  const bool add = box->isChecked();
  switch (add ? AddSendToShortcut() : RemoveSendToShortcut()) {
    case SendToResult::kDone:
      return;
    case SendToResult::kNoFolder:
      ShowMessage(QStringLiteral("SendToフォルダの場所を取得できません。"));
      break;
    case SendToResult::kFailed:
      ShowMessage(add ? QStringLiteral("ショートカットの作成に失敗しました。")
                      : QStringLiteral("ショートカットの削除に失敗しました。"));
      break;
  }
  box->setChecked(!add);
}

void FileTypeDialog::ShowMessage(const QString& text) {
  QMessageBox message(QMessageBox::NoIcon, QStringLiteral("エラー"), text, QMessageBox::Ok, this);
  message.exec();
}

void FileTypeDialog::UpdateHelp() {
  // The first tab stop under the cursor, in tab order; of a group of radio
  // buttons only the chosen one is a tab stop.
  QWidget* under = nullptr;
  QWidget* widget = this;
  do {
    widget = widget->nextInFocusChain();
    if (widget != this && widget->isVisible() && (widget->focusPolicy() & Qt::TabFocus) &&
        widget->rect().contains(widget->mapFromGlobal(QCursor::pos()))) {
      under = widget;
      break;
    }
  } while (widget != this);
  if (under == helpShownFor_) return;
  helpShownFor_ = under;
  help_->setPlainText(under ? HelpText(ControlOf(under)) : QString());
}

void ShowFileTypeDialog(QWidget* parent) {
  FileTypeDialog dialog(parent);
  dialog.exec();
}

}  // namespace qorve
