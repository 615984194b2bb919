#include "settings/dialogs/settings_dialog.h"

#include "common/settings.h"
#include "settings/dialogs/help_texts.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCursor>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

namespace qorve {
namespace {

constexpr int kHelpPeriodMs = 50;

// The number whose help a control shows: its own, or that of the up-down
// arrows it includes ("helpControl"), where only those have a help text.
int HelpNumber(const QWidget* widget) {
  const QVariant spinHelp = widget->property(kHelpControlProperty);
  return spinHelp.isValid() ? spinHelp.toInt() : widget->objectName().toInt();
}

}  // namespace

SettingsDialog::SettingsDialog(const QString& title, int okId, int cancelId, QWidget* parent)
    : QDialog(parent), okId_(okId), cancelId_(cancelId) {
  setWindowTitle(title);
  auto* outer = new QVBoxLayout(this);
  body_ = new QVBoxLayout();
  outer->addLayout(body_);
  helpTimer_ = new QTimer(this);
  helpTimer_->setInterval(kHelpPeriodMs);
  connect(helpTimer_, &QTimer::timeout, this, [this] { ShowHelpFor(QCursor::pos()); });
  helpTimer_->start();
}

void SettingsDialog::Finish() {
  auto* outer = static_cast<QBoxLayout*>(layout());
  // Made after the controls, so that tab order starts with the first control.
  helpBox_ = Numbered(new QPlainTextEdit(this), kHelpBox);
  helpBox_->setReadOnly(true);
  // Room for the longest help text: about 28 characters a line, four lines.
  helpBox_->setMinimumWidth(helpBox_->fontMetrics().horizontalAdvance(QString(28, QChar(0x3042))) + 24);
  helpBox_->setFixedHeight(helpBox_->fontMetrics().lineSpacing() * 4 +
                           2 * static_cast<int>(helpBox_->document()->documentMargin()) + 2 * helpBox_->frameWidth() +
                           4);
  outer->addWidget(helpBox_);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  auto* ok = Numbered(new QPushButton(QStringLiteral("OK"), this), okId_);
  auto* cancel = Numbered(new QPushButton(QStringLiteral("キャンセル"), this), cancelId_);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  outer->addLayout(buttons);
  outer->setSizeConstraint(QLayout::SetFixedSize);
}

QString LabelOf(int Settings::*value) {
  for (const SettingKey& key : SettingsTable()) {
    if (key.number == value) return QString::fromUtf8(key.label);
  }
  return QString();
}

QLabel* SettingsDialog::KeyLabel(int Settings::*value) { return new QLabel(LabelOf(value), this); }

QCheckBox* SettingsDialog::BoundCheckBox(int controlId, int Settings::*value) {
  auto* box = Numbered(new QCheckBox(LabelOf(value), this), controlId);
  box->setChecked(ProgramSettings().*value == 1);
  checks_.push_back({box, value});
  return box;
}

std::vector<QRadioButton*> SettingsDialog::BoundRadioButtons(
    const std::vector<std::pair<int, const char*>>& buttons, int Settings::*value) {
  RadioBinding binding{{}, value};
  const int current = ProgramSettings().*value;
  auto* group = new QButtonGroup(this);
  for (const auto& [controlId, label] : buttons) {
    auto* button = Numbered(new QRadioButton(QString::fromUtf8(label), this), controlId);
    button->setChecked(static_cast<int>(binding.buttons.size()) == current);
    group->addButton(button);
    binding.buttons.push_back(button);
  }
  radios_.push_back(binding);
  return binding.buttons;
}

QWidget* SettingsDialog::TabStopAt(QPoint global) const {
  // Walk the focus chain once round, as the tab key would.
  for (QWidget* widget = nextInFocusChain(); widget && widget != this; widget = widget->nextInFocusChain()) {
    if (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isVisibleTo(this) || !widget->isEnabled()) continue;
    if (auto* radio = qobject_cast<QRadioButton*>(widget); radio && !radio->isChecked()) continue;
    const QRect area(widget->mapToGlobal(QPoint(0, 0)), widget->size());
    if (!area.contains(global)) continue;
    // The inner field of a spin box or an editable list stands for its control.
    for (QWidget* control = widget; control && control != this; control = control->parentWidget()) {
      if (control->objectName().toInt() != 0) return control;
    }
    return widget;
  }
  return nullptr;
}

void SettingsDialog::ShowHelpFor(QPoint global) {
  if (!helpBox_) return;
  QWidget* control = TabStopAt(global);
  if (!control) {
    if (helpShown_) helpBox_->clear();
    shownHelpFor_ = nullptr;
    helpShown_ = false;
    return;
  }
  if (control == shownHelpFor_) return;
  shownHelpFor_ = control;
  helpShown_ = true;
  const std::string_view text = HelpText(HelpNumber(control));
  helpBox_->setPlainText(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
}

void SettingsDialog::accept() {
  Settings& settings = ProgramSettings();
  for (const CheckBinding& check : checks_) settings.*check.value = check.box->isChecked() ? 1 : 0;
  for (const RadioBinding& radio : radios_) {
    for (std::size_t i = 0; i < radio.buttons.size(); ++i) {
      if (radio.buttons[i]->isChecked()) settings.*radio.value = static_cast<int>(i);
    }
  }
  StoreControls();
  QDialog::accept();
}

}  // namespace qorve
