#include "platform/qt/activex_host.h"

#include "platform/system/shared_module.h"

#include <QCoreApplication>
#include <QEvent>
#include <QVBoxLayout>
#include <QWidget>

#include <map>

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
// The browser control lives in a module of the program folder, loaded the
// first time a document is shown and never unloaded (Chromium's threads run
// until the program ends). Without the module there is no control.
std::unique_ptr<ActiveXControl> CreateBrowserFromModule(void* host) {
  static auto* module = new SharedModule;
  using Create = ActiveXControl* (*)(void*);
  static Create create = [] {
    // Qt WebEngine, loaded after the application object exists, says on
    // loading that it would rather have been there from the start; the module
    // makes up for that before the first view, so the remark is not shown.
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const bool loaded = module->Load("qorve-browser.so");
    qInstallMessageHandler(previous);
    return loaded ? module->EntryAs<Create>("CreateWebBrowserControl") : nullptr;
  }();
  return std::unique_ptr<ActiveXControl>(create != nullptr ? create(host) : nullptr);
}
#endif

std::map<std::string, ActiveXControlFactory>& Registry() {
  static std::map<std::string, ActiveXControlFactory> registry = [] {
    std::map<std::string, ActiveXControlFactory> controls;
#ifdef QORVE_HAVE_WEBENGINE
    controls["Shell.Explorer.2"] = CreateBrowserFromModule;
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
