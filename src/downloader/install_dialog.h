// The downloader's dialog: a status line, the elapsed and the remaining time,
// refreshed every 25 ms from InstallState while InstallWorker runs on its own
// thread. User-interface thread only, except the InstallUi calls, which the
// worker makes and which are carried over to the user-interface thread.
#pragma once

#include <QDialog>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "downloader/install_state.h"
#include "downloader/install_worker.h"

class QLineEdit;
class QTimer;

namespace qorve {

// Replaces the message boxes: the hook is called on the worker thread with each
// box's text, caption and icon, and the box counts as answered with OK. For
// tests on the offscreen platform; an empty hook restores the real boxes.
using MessageBoxHook = std::function<void(const std::string& text, const std::string& caption, BoxIcon icon)>;
void SetMessageBoxHookForTesting(MessageBoxHook hook);

class InstallDialog final : public QDialog, public InstallUi {
 public:
  explicit InstallDialog(InstallPlaces places, QWidget* parent = nullptr);
  ~InstallDialog() override;

  const InstallState& State() const { return state_; }

  // InstallUi, called by the worker thread.
  void ShowMessage(const std::string& text, const std::string& caption, BoxIcon icon) override;
  void StartTimer() override;
  void StopTimer() override;
  void Close() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void Refresh();
  // True when the dialog may end now; otherwise asks the worker to stop, and
  // the dialog ends when it has.
  bool MayEnd();

  InstallPlaces places_;
  InstallState state_;
  std::thread worker_;
  std::atomic<bool> workerDone_{false};
  bool ending_ = false;
  QLineEdit* status_ = nullptr;     // control 1033
  QLineEdit* elapsed_ = nullptr;    // control 1001
  QLineEdit* remaining_ = nullptr;  // control 1002
  QTimer* timer_ = nullptr;
};

}  // namespace qorve
