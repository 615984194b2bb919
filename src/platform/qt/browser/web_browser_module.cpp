// qorve-browser.so: the "Shell.Explorer.2" control, a Qt WebEngine view with
// its PDF viewer. It is a module of its own, loaded from the program folder
// the first time a document is shown, so that a player that only plays sound
// or shows pictures never loads Chromium nor sets up OpenGL for it (about
// half of its resident memory).
#include "platform/qt/activex_host.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QLayout>
#include <QOpenGLContext>
#include <QQuickWindow>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <QWidget>

#include <cstdlib>
#include <string>
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

// Schemes whose content stays on this machine: the document itself, what it
// carries inline, and the browser's own pages (its PDF viewer among them).
bool IsLocalScheme(const QUrl& url) {
  static const QStringList local = {QStringLiteral("file"), QStringLiteral("data"), QStringLiteral("blob"),
                                    QStringLiteral("qrc"), QStringLiteral("about"), QStringLiteral("chrome"),
                                    QStringLiteral("chrome-extension"), QStringLiteral("devtools")};
  return local.contains(url.scheme(), Qt::CaseInsensitive);
}

// A document from a file sends nothing to the network: pictures, styles,
// scripts, frames, requests and sockets from any other scheme are blocked
// before they leave (what the reader clicks goes to the desktop's browser).
class LocalOnlyRequests final : public QWebEngineUrlRequestInterceptor {
 public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    if (!IsLocalScheme(info.requestUrl())) info.block(true);
  }
};

// The page of the document window. A link the reader clicks to the web (or
// to mail) opens in the desktop's browser; the document cannot go there by
// itself (scripts, refreshes, forms).
class DocumentPage final : public QWebEnginePage {
 public:
  explicit DocumentPage(QObject* parent) : QWebEnginePage(parent) {
    setUrlRequestInterceptor(new LocalOnlyRequests(this));
  }

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
    if (IsLocalScheme(url)) return true;
    if (type == NavigationTypeLinkClicked && isMainFrame) QDesktopServices::openUrl(url);
    return false;
  }

  // A link that asks for a window of its own: its address, once known, goes
  // where a clicked link goes; the window itself never shows.
  QWebEnginePage* createWindow(WebWindowType) override { return new LinkTarget(this); }

 private:
  class LinkTarget final : public QWebEnginePage {
   public:
    explicit LinkTarget(QObject* parent) : QWebEnginePage(parent) {
      setUrlRequestInterceptor(new LocalOnlyRequests(this));
    }

   protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
      if (!IsLocalScheme(url)) QDesktopServices::openUrl(url);
      deleteLater();
      return false;
    }
  };
};

// Real-time connections from a script go past the request interceptor (they
// are not requests): without a proxy, this policy leaves them no way out.
// Read by Chromium when it starts, at the first view.
void KeepWebRtcOffTheNetwork() {
  const char* given = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS");
  std::string flags = given ? given : "";
  if (flags.find("webrtc-ip-handling-policy") != std::string::npos) return;
  if (!flags.empty()) flags += ' ';
  flags += "--force-webrtc-ip-handling-policy=disable_non_proxied_udp";
  setenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.c_str(), 1);
}

class WebBrowserControl final : public ActiveXControl {
 public:
  explicit WebBrowserControl(QWidget* host) {
    // Chromium refuses to start as root inside its sandbox; a player run as
    // root (containers, kiosks) would then show nothing at all.
    if (geteuid() == 0 && std::getenv("QTWEBENGINE_DISABLE_SANDBOX") == nullptr) {
      setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    }
    KeepWebRtcOffTheNetwork();
    view_ = new QWebEngineView(host);
    view_->setPage(new DocumentPage(view_));
    QWebEngineSettings* settings = view_->settings();
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, true);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, true);
    // A document reads no other file and reaches no other machine.
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    settings->setAttribute(QWebEngineSettings::WebRTCPublicInterfacesOnly, true);
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
