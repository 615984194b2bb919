// The font chooser of the display dialog: face, size, weight, italic and
// effects from Qt's font dialog, with the text colour beside them.
#pragma once

#include <QDialog>
#include <QFont>

class QFontDialog;

namespace qorve {

class ColourSwatch;

class FontChooser : public QDialog {
  Q_OBJECT

 public:
  FontChooser(const QFont& font, int colorRef, QWidget* parent);

  QFont SelectedFont() const;
  int SelectedColorRef() const;

 private:
  QFontDialog* fonts_;
  ColourSwatch* colour_;
};

}  // namespace qorve
