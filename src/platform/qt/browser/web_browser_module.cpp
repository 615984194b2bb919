// qorve-browser.so: the "Shell.Explorer.2" control, a Qt WebEngine view with
// its PDF viewer. It is a module of its own, loaded from the program folder
// the first time a document is shown, so that a player that only plays sound
// or shows pictures never loads Chromium nor sets up OpenGL for it (about
// half of its resident memory).
#include "platform/qt/activex_host.h"

#include <QCoreApplication>
#include <QLayout>
#include <QOpenGLContext>
#include <QQuickWindow>
#include <QUrl>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QWidget>

#include <cstdlib>
#include <unistd.h>

// Qt's own setter of the context that every widget context shares with
// (exported by Qt GUI; QOpenGLContext::globalShareContext reads it).
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace qorve {
namespace {

// Chromium's GPU thread hands its pictures to Qt through contexts shared with
// one global context, which Qt WebEngine expects to exist from the start of
// the program. Made here, once, before the first view; the messages Qt gives
// for a set-up this late are expected and not shown.
void PrepareSharedOpenGl() {
  static bool prepared = false;
  if (prepared) return;
  prepared = true;
  const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  if (QOpenGLContext::globalShareContext() == nullptr) {
    // Kept even when it cannot be created (no OpenGL on this display, as on
    // the offscreen platform): Qt WebEngine then draws in software, but it
    // insists on the context object being there.
    auto* context = new QOpenGLContext(QCoreApplication::instance());
    context->create();
    qt_gl_set_global_share_context(context);
  }
  QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGL);
  qInstallMessageHandler(previous);
}

class WebBrowserControl final : public ActiveXControl {
 public:
  explicit WebBrowserControl(QWidget* host) {
    // Chromium refuses to start as root inside its sandbox; a player run as
    // root (containers, kiosks) would then show nothing at all.
    if (geteuid() == 0 && std::getenv("QTWEBENGINE_DISABLE_SANDBOX") == nullptr) {
      setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    }
    view_ = new QWebEngineView(host);
    view_->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, true);
    view_->settings()->setAttribute(QWebEngineSettings::PdfViewerEnabled, true);
    host->layout()->addWidget(view_);
    view_->show();
  }

  void Navigate2(const std::string& address) override {
    // A file address carries the path unchanged (spaces, "#", "?" and all),
    // so it is turned into a URL as a path, not parsed as one.
    const QString text = QString::fromStdString(address);
    const QString filePrefix = QStringLiteral("file://");
    if (text.startsWith(filePrefix)) {
      QString path = text.mid(filePrefix.size());
      while (path.startsWith(QStringLiteral("//"))) path.remove(0, 1);
      view_->setUrl(QUrl::fromLocalFile(path));
    } else {
      view_->setUrl(QUrl(text));
    }
  }

 private:
  QWebEngineView* view_;  // owned by the host widget
};

}  // namespace
}  // namespace qorve

// The module's one entry: a control filling `host` (a QWidget* with a
// layout), owned by the caller, who deletes it through ActiveXControl.
extern "C" __attribute__((visibility("default"))) qorve::ActiveXControl* CreateWebBrowserControl(void* host) {
  qorve::PrepareSharedOpenGl();
  return new qorve::WebBrowserControl(static_cast<QWidget*>(host));
}
