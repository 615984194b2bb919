// settings/widgets/: the controls and artwork the dialogs use.
//
// A button painted as a rounded rectangle of one colour (the settings'
// colours are COLORREF values, 0x00BBGGRR), and the conversions between
// COLORREF values and Qt colours.
#pragma once

#include <QAbstractButton>
#include <QColor>

namespace qorve {

QColor FromColorRef(int colorRef);
int ToColorRef(const QColor& colour);

class ColourSwatch : public QAbstractButton {
  Q_OBJECT

 public:
  explicit ColourSwatch(int colorRef, QWidget* parent = nullptr);

  int ColorRef() const { return colorRef_; }
  void SetColorRef(int colorRef);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int colorRef_;
};

}  // namespace qorve
