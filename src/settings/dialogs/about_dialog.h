// The about box ("KESTRAVOX2環境設定プログラム"): name, version, tagline, two
// links, and on request the report of this computer.
#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;
class QPushButton;

namespace qorve {

class LinkLabel;

// The addresses the about box shows: a web page, a mail address and the
// support page that "納得いかない" opens. Empty ones are left out.
struct AboutLinks {
  QString web;
  QString mail;
  QString support;
};

// The addresses this build was configured with (none by default).
AboutLinks BuildLinks();

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidth = 430;
  static constexpr int kCollapsedHeight = 110;
  static constexpr int kExpandedHeight = 320;

  explicit AboutDialog(QWidget* parent, AboutLinks links = BuildLinks());

  // What "もっと何か教えろ" does: fills the report and grows the dialog when
  // checked, shrinks it again when not.
  void ShowReport(bool shown);

 private:
  AboutLinks links_;
  QPlainTextEdit* report_;
  int collapsedHeight_;
};

}  // namespace qorve
