#include "platform/qt/loop_wake.h"

#include <QAbstractEventDispatcher>
#include <QTimer>

#include <glib.h>

#include <algorithm>

namespace qorve {
namespace {

// The wait ends because a source was dispatched; the source has done its one job.
gboolean EndWait(gpointer) { return G_SOURCE_REMOVE; }

}  // namespace

LoopWake::LoopWake() {
  // Qt's GLib dispatcher iterates the default context on the main thread.
  const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  if (!dispatcher || !dispatcher->inherits("QEventDispatcherGlib")) {
    timer_ = std::make_unique<QTimer>();
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
  }
}

LoopWake::~LoopWake() { Stop(); }

void LoopWake::Start(int milliseconds) {
  if (timer_) {
    timer_->start(milliseconds);
    return;
  }
  Stop();
  GSource* source = g_timeout_source_new(static_cast<guint>(std::max(milliseconds, 0)));
  g_source_set_callback(source, &EndWait, nullptr, nullptr);
  g_source_attach(source, g_main_context_default());
  source_ = source;
}

void LoopWake::Stop() {
  if (timer_) {
    timer_->stop();
    return;
  }
  if (!source_) return;
  GSource* source = static_cast<GSource*>(source_);
  g_source_destroy(source);  // nothing when it has run already
  g_source_unref(source);
  source_ = nullptr;
}

}  // namespace qorve
