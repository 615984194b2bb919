// A label that is a link: its text (a web or mail address) drawn underlined
// in the program-wide link colour, blue at rest and red while the cursor is
// over a link; a click opens the address with the desktop's opener.
#pragma once

#include <QColor>
#include <QWidget>

class QTimer;

namespace qorve {

class LinkLabel : public QWidget {
  Q_OBJECT

 public:
  LinkLabel(const QString& address, QWidget* parent);

  // The program-wide link colour.
  static QColor LinkColour();

  QString Address() const { return address_; }
  QSize sizeHint() const override;

  // One step of the 50 ms timer: back to blue once the cursor at `global`
  // has left the label.
  void CheckCursor(QPoint global);

 signals:
  // Emitted with the address when the label is clicked (after it is opened).
  void opened(const QString& address);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QFont LinkFont() const;

  QString address_;
  QTimer* leaveTimer_;
};

// Opens a web or mail address with xdg-open, without waiting. False when the
// opener could not be started.
bool OpenAddress(const QString& address);

}  // namespace qorve
