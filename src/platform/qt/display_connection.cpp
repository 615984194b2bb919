#include "platform/qt/display_connection.h"

#include "platform/x11_io_errors.h"

#include <QGuiApplication>
#include <QThread>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <atomic>

namespace qorve {
namespace {

xcb_connection_t* qtConnection = nullptr;
// Set on whichever thread Xlib noticed the break of Qt's Xlib connection.
std::atomic<bool> xlibConnectionLost{false};

void OnXlibConnectionLost(void*) { xlibConnectionLost.store(true); }

// Qt's xcb platform warns with this text and calls exit(1) right after, when
// an event pass finds its connection broken.
constexpr char kQtConnectionBroke[] = "The X11 connection broke";
QtMessageHandler previousHandler = nullptr;
void (*lostInEventPass)() = nullptr;

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  previousHandler(type, context, message);
  if (type == QtWarningMsg && lostInEventPass != nullptr && message.startsWith(QLatin1String(kQtConnectionBroke)) &&
      qGuiApp != nullptr && QThread::currentThread() == qGuiApp->thread()) {
    lostInEventPass();
  }
}

}  // namespace

void WatchDisplayConnection(void (*foreignLost)(), void (*lostInPass)()) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (x11 == nullptr) return;
  qtConnection = x11->connection();
  lostInEventPass = lostInPass;
  previousHandler = qInstallMessageHandler(&OnQtMessage);
  // Adopted for good: Qt closes it only when the application ends.
  if (Display* display = x11->display()) AdoptX11Connection(display, &OnXlibConnectionLost, nullptr);
  // Qt installed its handler, which ends the process, when it connected.
  ReclaimX11IoErrorHandler(foreignLost);
}

bool DisplayConnectionLost() {
  // xcb notes the break when its reader thread finds the socket closed.
  return xlibConnectionLost.load() || (qtConnection != nullptr && xcb_connection_has_error(qtConnection) != 0);
}

}  // namespace qorve
