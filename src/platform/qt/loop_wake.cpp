#include "platform/qt/loop_wake.h"

#include <QAbstractEventDispatcher>
#include <QTimer>

#include <glib.h>

#include <algorithm>
#include <cstdint>

namespace qorve {
namespace {

// A GLib source made once and left attached: it is ready from its deadline
// on, and its dispatch only ends the wait and clears the deadline. Setting a
// deadline is a store, not a call into GLib.
struct WakeSource {
  GSource base;
  int64_t deadline;  // g_get_monotonic_time() microseconds; -1: none
};

gboolean Prepare(GSource* source, gint* timeout) {
  const int64_t deadline = reinterpret_cast<WakeSource*>(source)->deadline;
  if (deadline < 0) {
    *timeout = -1;
    return FALSE;
  }
  // Rounded up: the poll ends at the deadline's millisecond, never before it.
  const int64_t left = deadline - g_get_monotonic_time();
  *timeout = left <= 0 ? 0 : static_cast<gint>(std::min<int64_t>((left + 999) / 1000, G_MAXINT));
  return left <= 0;
}

gboolean Check(GSource* source) {
  const int64_t deadline = reinterpret_cast<WakeSource*>(source)->deadline;
  return deadline >= 0 && deadline <= g_get_monotonic_time();
}

gboolean Dispatch(GSource* source, GSourceFunc, gpointer) {
  reinterpret_cast<WakeSource*>(source)->deadline = -1;
  return G_SOURCE_CONTINUE;
}

GSourceFuncs wakeFuncs = {&Prepare, &Check, &Dispatch, nullptr, nullptr, nullptr};

}  // namespace

LoopWake::LoopWake() {
  // Qt's GLib dispatcher iterates the default context on the main thread.
  const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  if (!dispatcher || !dispatcher->inherits("QEventDispatcherGlib")) {
    timer_ = std::make_unique<QTimer>();
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    return;
  }
  GSource* source = g_source_new(&wakeFuncs, sizeof(WakeSource));
  reinterpret_cast<WakeSource*>(source)->deadline = -1;
  g_source_attach(source, g_main_context_default());
  source_ = source;
}

LoopWake::~LoopWake() {
  if (!source_) return;
  GSource* source = static_cast<GSource*>(source_);
  g_source_destroy(source);
  g_source_unref(source);
}

void LoopWake::Start(int milliseconds) {
  if (timer_) {
    timer_->start(milliseconds);
    return;
  }
  static_cast<WakeSource*>(source_)->deadline = g_get_monotonic_time() + int64_t{std::max(milliseconds, 0)} * 1000;
}

void LoopWake::Stop() {
  if (timer_) {
    timer_->stop();
    return;
  }
  static_cast<WakeSource*>(source_)->deadline = -1;
}

}  // namespace qorve
