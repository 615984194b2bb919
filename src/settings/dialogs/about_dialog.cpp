#include "settings/dialogs/about_dialog.h"

#include "settings/dialogs/settings_dialog.h"
#include "settings/system_info/system_report.h"
#include "settings/widgets/link_label.h"
#include "settings/widgets/program_icon.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>

#ifndef QORVE_WEB_ADDRESS
#define QORVE_WEB_ADDRESS ""
#endif
#ifndef QORVE_MAIL_ADDRESS
#define QORVE_MAIL_ADDRESS ""
#endif
#ifndef QORVE_SUPPORT_ADDRESS
#define QORVE_SUPPORT_ADDRESS ""
#endif

namespace qorve {

AboutLinks BuildLinks() {
  return AboutLinks{QStringLiteral(QORVE_WEB_ADDRESS), QStringLiteral(QORVE_MAIL_ADDRESS),
                    QStringLiteral(QORVE_SUPPORT_ADDRESS)};
}

AboutDialog::AboutDialog(QWidget* parent, AboutLinks links) : QDialog(parent), links_(std::move(links)) {
  setWindowTitle(QStringLiteral("KESTRAVOX2環境設定プログラム"));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(10, 8, 10, 8);
  outer->setSpacing(6);
  auto* top = new QHBoxLayout();
  top->setSpacing(12);
  auto* icon = new QLabel(this);
  icon->setPixmap(QPixmap::fromImage(ProgramIconImage(32)));
  icon->setAlignment(Qt::AlignTop);
  top->addWidget(icon, 0, Qt::AlignTop);

  auto* texts = new QVBoxLayout();
  texts->setSpacing(2);
  texts->addWidget(new QLabel(QStringLiteral("KESTRAVOX2 最終版 + 0.4"), this));
  texts->addWidget(new QLabel(QStringLiteral("(小さくて軽い日本語メディアプレイヤー)"), this));
  if (!links_.web.isEmpty()) texts->addWidget(Numbered(new LinkLabel(links_.web, this), 1246));
  if (!links_.mail.isEmpty()) texts->addWidget(Numbered(new LinkLabel(links_.mail, this), 1248));
  texts->addStretch(1);
  top->addLayout(texts, 1);

  auto* buttons = new QVBoxLayout();
  buttons->setSpacing(3);
  auto* close = Numbered(new QPushButton(QStringLiteral("納得"), this), 1104);
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  buttons->addWidget(close);
  auto* support = Numbered(new QPushButton(QStringLiteral("納得いかない"), this), 2);
  // Without a support page the button closes the box, like its cancel number.
  connect(support, &QPushButton::clicked, this, [this] {
    if (links_.support.isEmpty()) reject();
    else OpenAddress(links_.support);
  });
  buttons->addWidget(support);
  auto* more = Numbered(new QPushButton(QStringLiteral("もっと何か教えろ"), this), 1250);
  more->setCheckable(true);
  connect(more, &QPushButton::toggled, this, &AboutDialog::ShowReport);
  buttons->addWidget(more);
  buttons->addStretch(1);
  top->addLayout(buttons);
  outer->addLayout(top);

  report_ = Numbered(new QPlainTextEdit(this), 1076);
  report_->setReadOnly(true);
  report_->setLineWrapMode(QPlainTextEdit::NoWrap);
  report_->hide();
  outer->addWidget(report_, 1);

  // 430 x 110, or more where the default font needs it.
  collapsedHeight_ = std::max(kCollapsedHeight, outer->sizeHint().height());
  setFixedSize(std::max(kWidth, outer->sizeHint().width()), collapsedHeight_);
}

void AboutDialog::ShowReport(bool shown) {
  if (shown) {
    report_->setPlainText(QString::fromStdString(SystemReport()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    report_->show();
    setFixedSize(width(), std::max(kExpandedHeight, collapsedHeight_ + 200));
  } else {
    report_->hide();
    setFixedSize(width(), collapsedHeight_);
  }
}

}  // namespace qorve
