#include "settings/widgets/font_chooser.h"

#include "settings/widgets/colour_swatch.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace qorve {

FontChooser::FontChooser(const QFont& font, int colorRef, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("フォント"));
  auto* layout = new QVBoxLayout(this);
  // Qt's font dialog embedded as a plain widget, its own buttons hidden.
  fonts_ = new QFontDialog(font, this);
  fonts_->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog | QFontDialog::ScalableFonts |
                     QFontDialog::NonScalableFonts);
  fonts_->setWindowFlags(Qt::Widget);
  fonts_->setSizeGripEnabled(false);
  // Esc and Enter inside the embedded dialog close the chooser, not just it.
  connect(fonts_, &QDialog::rejected, this, &QDialog::reject);
  connect(fonts_, &QDialog::accepted, this, &QDialog::accept);
  layout->addWidget(fonts_);
  auto* colourRow = new QHBoxLayout();
  colourRow->addWidget(new QLabel(QStringLiteral("色"), this));
  colour_ = new ColourSwatch(colorRef, this);
  colourRow->addWidget(colour_);
  colourRow->addStretch(1);
  layout->addLayout(colourRow);
  connect(colour_, &ColourSwatch::clicked, this, [this] {
    const QColor chosen = QColorDialog::getColor(FromColorRef(colour_->ColorRef()), this);
    if (chosen.isValid()) colour_->SetColorRef(ToColorRef(chosen));
  });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

QFont FontChooser::SelectedFont() const { return fonts_->currentFont(); }

int FontChooser::SelectedColorRef() const { return colour_->ColorRef(); }

}  // namespace qorve
