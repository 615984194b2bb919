#include "settings/dialogs/main_dialog.h"

#include "common/settings.h"
#include "platform/system/launch.h"
#include "settings/dialogs/about_dialog.h"
#include "settings/dialogs/display_dialog.h"
#include "settings/dialogs/general_dialog.h"
#include "settings/dialogs/image_dialog.h"
#include "settings/dialogs/settings_dialog.h"
#include "settings/dialogs/sound_dialog.h"
#include "settings/dialogs/video_dialog.h"
#include "settings/widgets/program_icon.h"

#include <QBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace qorve {
namespace {

template <typename Dialog>
void RunModal(QWidget* owner) {
  Dialog dialog(owner);
  dialog.exec();
}

}  // namespace

MainDialog::Questions MainDialog::StandardQuestions() {
  return Questions{
      [](QWidget* parent, const QString& text, const QString& caption) {
        return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
               QMessageBox::Yes;
      },
      [](QWidget* parent, const QString& text, const QString& caption) {
        QMessageBox::information(parent, caption, text);
      }};
}

MainDialog::MainDialog(Questions questions) : QDialog(nullptr), questions_(std::move(questions)) {
  setWindowTitle(QStringLiteral("KESTRAVOX2の環境設定"));
  setWindowIcon(ProgramIcon());
  auto* outer = new QVBoxLayout(this);
  auto* groups = new QHBoxLayout();
  outer->addLayout(groups);

  const auto addGroup = [&](const char* heading) {
    auto* box = new QGroupBox(QString::fromUtf8(heading), this);
    auto* layout = new QVBoxLayout(box);
    groups->addWidget(box);
    return layout;
  };
  const auto addButton = [&](QVBoxLayout* group, int controlId, const char* label, auto action) {
    auto* button = Numbered(new QPushButton(QString::fromUtf8(label), this), controlId);
    button->setAutoDefault(false);
    button->setMinimumHeight(button->sizeHint().height() + 6);
    connect(button, &QPushButton::clicked, this, action);
    group->addWidget(button);
    return button;
  };

  QVBoxLayout* system = addGroup("システム設定");
  addButton(system, 1000, "関連付け", [this] { emit fileTypesRequested(); });
  addButton(system, 1024, "操作方法の設定", [this] { emit keyBindingRequested(); });
  addButton(system, 1106, "解凍ＤＬＬインストール", [] { StartDownloader(); });
  addButton(system, 1022, "Real形式の登録", [] { RegisterRealMedia(); });
  system->addStretch(1);

  QVBoxLayout* behaviour = addGroup("動作設定");
  QPushButton* first = addButton(behaviour, 1002, "画面の設定", [this] { OpenDisplaySettings(); });
  addButton(behaviour, 1006, "その他の設定", [this] { OpenGeneralSettings(); });
  addButton(behaviour, 1010, "サウンドの設定", [this] { OpenSoundSettings(); });
  addButton(behaviour, 1014, "動画の設定", [this] { OpenVideoSettings(); });
  addButton(behaviour, 1028, "画像の設定", [this] { OpenImageSettings(); });
  addButton(behaviour, 1083, "動作設定の全てを\n初期状態に戻す", [this] { ResetAllSettings(); });
  behaviour->addStretch(1);

  QVBoxLayout* dialog = addGroup("ダイアログの操作");
  addButton(dialog, 1088, "再生テスト", [this] { emit playTestRequested(); });
  addButton(dialog, 1082, "バージョン情報", [this] { OpenAbout(); });
  addButton(dialog, 1104, "環境設定を終了する", [this] { reject(); });
  dialog->addStretch(1);

  auto* note = new QLabel(QStringLiteral("初めて使う人は、必ず左側の４つのボタンで設定を行って下さい。"), this);
  outer->addWidget(note);
  outer->setSizeConstraint(QLayout::SetFixedSize);
  first->setFocus();
}

void MainDialog::OpenDisplaySettings() { RunModal<DisplayDialog>(this); }
void MainDialog::OpenGeneralSettings() { RunModal<GeneralDialog>(this); }
void MainDialog::OpenSoundSettings() { RunModal<SoundDialog>(this); }
void MainDialog::OpenVideoSettings() { RunModal<VideoDialog>(this); }
void MainDialog::OpenImageSettings() { RunModal<ImageDialog>(this); }
void MainDialog::OpenAbout() { RunModal<AboutDialog>(this); }

void MainDialog::ResetAllSettings() {
  if (!questions_.confirm(this, QStringLiteral("設定を初期化します。よろしいですか？"), QStringLiteral("確認"))) return;
  ResetSettings();
  questions_.inform(this, QStringLiteral("設定を初期化しました。"), QStringLiteral("完了"));
}

bool MainDialog::StartDownloader() { return LaunchProgram("Pakgrab.EXE"); }

bool MainDialog::RegisterRealMedia() { return LaunchProgram("regsvr32.exe RealMediaSplitter.ax"); }

}  // namespace qorve
