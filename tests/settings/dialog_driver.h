// Helpers that drive modal Qt windows in the offscreen tests: answer the next
// modal window (message box, file chooser) from a timer, and wait for a
// condition while events are processed.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace qorve::test {

// While it lives, calls `answer` with the modal window open, every 10 ms
// until it has closed (a file chooser may refuse an answer given before it
// has read its folder).
class ModalAnswer {
 public:
  explicit ModalAnswer(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (QWidget* modal = QApplication::activeModalWidget()) answer_(modal);
    });
    timer_.start(10);
  }

 private:
  std::function<void(QWidget*)> answer_;
  QTimer timer_;
};

// Processes events until `done` holds or `milliseconds` pass; returns `done()`.
inline bool WaitFor(const std::function<bool()>& done, int milliseconds = 3000) {
  QElapsedTimer waited;
  waited.start();
  while (!done() && waited.elapsed() < milliseconds) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return done();
}

}  // namespace qorve::test
