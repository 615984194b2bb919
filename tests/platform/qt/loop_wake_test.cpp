// A wake ends the event loop's wait once its time has come, and not before;
// a later Start replaces the wake not yet due, and a wake stopped or already
// run can be stopped again.
#include "platform/qt/loop_wake.h"

#include "support/qt_application.h"

#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QTimer>

namespace qorve {
namespace {

TEST(LoopWakeTest, EndsTheWaitAtItsTimeAndAStartReplacesTheWakeNotYetDue) {
  test::TestApplication();
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  // Should a wake never come, this ends the waits, and the test fails.
  bool gaveUp = false;
  QTimer guard;
  QObject::connect(&guard, &QTimer::timeout, [&gaveUp] { gaveUp = true; });
  guard.start(10000);

  LoopWake wake;
  QElapsedTimer clock;
  for (const int delay : {0, 3, 20}) {
    wake.Start(5000);  // replaced by the next Start
    clock.start();
    wake.Start(delay);
    // Other events may end a wait sooner; only the wake ends the last one.
    while (clock.elapsed() < delay && !gaveUp) dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_FALSE(gaveUp) << "no wake after " << delay << " ms";
    wake.Stop();  // after its run
    wake.Stop();
  }
}

}  // namespace
}  // namespace qorve
