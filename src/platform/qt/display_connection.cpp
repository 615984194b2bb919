#include "platform/qt/display_connection.h"

#include "platform/input/x11_io_errors.h"

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

// Qt's xcb and Wayland platforms warn with these texts and call exit(1)
// right after, when an event pass finds their connection broken.
constexpr const char* kQtConnectionBroke[] = {"The X11 connection broke", "The Wayland connection broke"};

bool SaysConnectionBroke(const QString& message) {
  for (const char* text : kQtConnectionBroke) {
    if (message.startsWith(QLatin1String(text))) return true;
  }
  return false;
}
QtMessageHandler previousHandler = nullptr;
void (*lostInEventPass)() = nullptr;
void (*lostElsewhere)() = nullptr;

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  previousHandler(type, context, message);
  if (type != QtWarningMsg || !SaysConnectionBroke(message) || qGuiApp == nullptr) return;
  // Qt's Wayland platform also finds the break on its event-reading thread.
  if (QThread::currentThread() == qGuiApp->thread()) {
    if (lostInEventPass != nullptr) lostInEventPass();
  } else if (lostElsewhere != nullptr) {
    lostElsewhere();
  }
}

}  // namespace

void WatchDisplayConnection(void (*foreignLost)(), void (*lostInPass)()) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  const bool wayland = qGuiApp && QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
  if (x11 == nullptr && !wayland) return;
  lostInEventPass = lostInPass;
  lostElsewhere = foreignLost;
  previousHandler = qInstallMessageHandler(&OnQtMessage);
  if (x11 == nullptr) return;
  qtConnection = x11->connection();
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
