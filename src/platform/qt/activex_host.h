// The ActiveX host stand-in: child windows that create a control by name (a
// registry of controls) and hold it until they are destroyed. The interface is
// plain C++ so that media classes use it without Qt; "Shell.Explorer.2" is a
// Qt WebEngine view with its PDF viewer when the build has Qt WebEngine.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace qorve {

// What a hosted browser control offers (the Navigate2 of IWebBrowser2).
class ActiveXControl {
 public:
  virtual ~ActiveXControl() = default;
  // Shows the page or document at `address` ("file://" + an absolute path,
  // taken as the path unchanged, or any URL). Load errors are shown by the
  // control itself.
  virtual void Navigate2(const std::string& address) = 0;
};

// Makes a control inside `hostWidget` (a QWidget*, which it should fill), or
// null when the control cannot be created on this system.
using ActiveXControlFactory = std::function<std::unique_ptr<ActiveXControl>(void* hostWidget)>;

// Registers the control `name`, replacing an earlier one; a null factory
// removes it. User-interface thread only.
void RegisterActiveXControl(const std::string& name, ActiveXControlFactory factory);

// The factory registered for `name`, null when none is.
ActiveXControlFactory RegisteredActiveXControl(const std::string& name);

class ActiveXHostWindow;

// Creates a visible child window of `parent` (a QWidget*) at (x, y) with the
// given size that follows the parent's size afterwards, and creates the
// control `controlName` in it. Null when there is no parent. The window exists
// even when the control could not be created (HostedControl is then null).
ActiveXHostWindow* CreateActiveXHostWindow(void* parent, const std::string& controlName, int x, int y, int width,
                                           int height);

// The control the window holds, or null.
ActiveXControl* HostedControl(ActiveXHostWindow* host);

// Destroys the window and releases its control; null does nothing.
void DestroyActiveXHostWindow(ActiveXHostWindow* host);

}  // namespace qorve
