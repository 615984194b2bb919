// The display window of the player (window class "KESTRAVOX"): a frameless,
// always-on-top tool window whose painting, hit testing and seek bar belong to
// WndSet. This unit turns the window's events into the player's actions: paint,
// resize, mouse presses and moves, the wheel as volume, and hiding to and
// restoring from the notification area. User-interface thread only.
#pragma once

#include "player/core/desktop/tray_icon.h"
#include "player/core/display_port.h"

#include <QWidget>

namespace qorve {

class MainWindow final : public QWidget {
 public:
  MainWindow();

  // Adds the tray icon and hides the window.
  void HideToTray();
  // Removes the tray icon, shows the window again and blocks input for 350 ms.
  void RestoreFromTray();
  QRect TrayGeometry() const { return tray_.Geometry(); }

  // Closes the window for good; the message loop ends once it sees QuitPosted.
  void DestroyWindow();
  bool QuitPosted() const { return quitPosted_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  int CurrentKind() const;
  Qt::Edges ResizeEdgesAt(const QPoint& point) const;

  TrayIcon tray_;
  int wheelRemainder_ = 0;  // wheel turns smaller than a notch, not yet applied
  bool quitPosted_ = false;
};

// The display operations the controller uses, carried out by WndSet and, for
// hiding, by the main window.
class DisplayWindowPort final : public DisplayPort {
 public:
  void SetWindow(MainWindow* window) { window_ = window; }
  int HitTest() override;
  double TimeAtCursor(double length) override;
  void Layout() override;
  void MarkAllDirty() override;
  void MarkTextDirty(int value) override;
  void MarkButtonsDirty(int value) override;
  void SetPressed(int value) override;
  void Invalidate() override;
  void SetTrackbarTime(double seconds) override;
  bool OnScreen() override;
  double SeekBarSecondsPerPixel(double length) override;
  void HideToTray() override;

 private:
  MainWindow* window_ = nullptr;
};

}  // namespace qorve
