// A timed wake-up of the user-interface thread's event loop: it ends a wait
// of processEvents(WaitForMoreEvents) once its time has come and does nothing
// else. Made after the QApplication; user-interface thread only.
#pragma once

#include <memory>

class QTimer;

namespace qorve {

class LoopWake {
 public:
  LoopWake();
  ~LoopWake();
  LoopWake(const LoopWake&) = delete;
  LoopWake& operator=(const LoopWake&) = delete;

  // Wakes the loop `milliseconds` from now (at that millisecond or the next),
  // replacing a wake not yet due.
  void Start(int milliseconds);
  // Drops a wake not yet due.
  void Stop();

 private:
  // On Qt's GLib event loop a source of the loop's own context, attached
  // once, that is ready from a deadline on: no Qt timer to register and
  // unregister at every wait, no timer event carried through the
  // application's notification to a QObject, no source made per wait. With
  // any other event dispatcher, a precise single-shot QTimer.
  void* source_ = nullptr;  // GSource*, kept out of this header
  std::unique_ptr<QTimer> timer_;
};

}  // namespace qorve
