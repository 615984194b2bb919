#include "platform/qt/activex_host.h"

#include <QCoreApplication>
#include <QEvent>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

#ifdef QORVE_HAVE_WEBENGINE
#include <QWebEngineSettings>
#include <QWebEngineView>
#endif

#include <cstdlib>
#include <map>
#include <unistd.h>

namespace qorve {

// The host child: keeps the control's widget filling it and itself filling
// the parent (the display window's client area) whenever the parent resizes.
class ActiveXHostWindow : public QWidget {
 public:
  explicit ActiveXHostWindow(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    parent->installEventFilter(this);
  }
  ~ActiveXHostWindow() override {
    // The control's widgets go with this widget's children; the control
    // object goes first so that it never refers to a deleted widget.
    control.reset();
  }

  std::unique_ptr<ActiveXControl> control;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == parentWidget() && event->type() == QEvent::Resize) resize(parentWidget()->size());
    return false;
  }
};

namespace {

#ifdef QORVE_HAVE_WEBENGINE
// Chromium's GPU contexts must be shareable; the attribute only counts when
// set before the application object exists, so it is set while the program
// starts.
const bool kShareContexts = [] {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  return true;
}();

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
#endif

std::map<std::string, ActiveXControlFactory>& Registry() {
  static std::map<std::string, ActiveXControlFactory> registry = [] {
    std::map<std::string, ActiveXControlFactory> controls;
#ifdef QORVE_HAVE_WEBENGINE
    (void)kShareContexts;
    controls["Shell.Explorer.2"] = [](void* host) -> std::unique_ptr<ActiveXControl> {
      return std::make_unique<WebBrowserControl>(static_cast<QWidget*>(host));
    };
#endif
    return controls;
  }();
  return registry;
}

}  // namespace

void RegisterActiveXControl(const std::string& name, ActiveXControlFactory factory) {
  if (factory) {
    Registry()[name] = std::move(factory);
  } else {
    Registry().erase(name);
  }
}

ActiveXControlFactory RegisteredActiveXControl(const std::string& name) {
  const auto found = Registry().find(name);
  return found != Registry().end() ? found->second : nullptr;
}

ActiveXHostWindow* CreateActiveXHostWindow(void* parent, const std::string& controlName, int x, int y, int width,
                                           int height) {
  if (parent == nullptr) return nullptr;
  auto* host = new ActiveXHostWindow(static_cast<QWidget*>(parent));
  host->setWindowTitle(QString::fromStdString(controlName));
  host->setGeometry(x, y, width, height);
  const auto found = Registry().find(controlName);
  if (found != Registry().end()) host->control = found->second(host);
  host->show();
  return host;
}

ActiveXControl* HostedControl(ActiveXHostWindow* host) { return host != nullptr ? host->control.get() : nullptr; }

void DestroyActiveXHostWindow(ActiveXHostWindow* host) { delete host; }

}  // namespace qorve
