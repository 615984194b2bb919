// The player's place in the notification area while it is hidden: a tray icon
// with the tooltip "KESTRAVOX2", or, on a desktop without a notification area,
// a small always-on-top icon window in the screen's top-right corner, so that
// hiding never leaves the user without a way back. A left click on either
// calls the restore callback.
#pragma once

#include <QObject>
#include <QRect>
#include <functional>
#include <memory>

class QSystemTrayIcon;
class QWidget;

namespace qorve {

class TrayIcon : public QObject {
 public:
  explicit TrayIcon(std::function<void()> onClick);
  ~TrayIcon() override;

  void Show();  // adds the icon
  void Hide();  // removes it
  bool IsShown() const { return shown_; }
  // Where the icon lies on the screen (empty while hidden).
  QRect Geometry() const;

 private:
  std::function<void()> onClick_;
  std::unique_ptr<QSystemTrayIcon> tray_;
  std::unique_ptr<QWidget> fallback_;
  bool shown_ = false;
};

}  // namespace qorve
