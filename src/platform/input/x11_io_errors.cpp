#include "platform/input/x11_io_errors.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace qorve {
namespace {

struct Adopted {
  Display* display;
  X11ConnectionLost lost;  // null once it has been called
  void* context;
};

// Never destroyed: a connection held by a static may be released during exit,
// after statics made later are gone.
struct Registry {
  std::mutex mutex;  // everything below
  std::vector<Adopted> connections;
  bool installed = false;
  XIOErrorHandler previous = nullptr;
  X11ForeignConnectionLost foreign = nullptr;
};

Registry& TheRegistry() {
  static auto* registry = new Registry;
  return *registry;
}

// Xlib's process-wide I/O error handler; may run on any thread that uses Xlib.
// Returning lets Xlib go on to the connection's exit handler.
int OnIoError(Display* display) {
  Registry& registry = TheRegistry();
  XIOErrorHandler previous = nullptr;
  X11ForeignConnectionLost foreign = nullptr;
  {
    std::lock_guard lock(registry.mutex);
    const auto adopted = [display](const Adopted& entry) { return entry.display == display; };
    if (std::any_of(registry.connections.begin(), registry.connections.end(), adopted)) return 0;
    previous = registry.previous;
    foreign = registry.foreign;
  }
  if (foreign) foreign();
  return previous ? previous(display) : 0;
}

// The exit handler of an adopted connection: instead of exit(), the owner hears of it.
void OnAdoptedConnectionLost(Display* display, void*) {
  Registry& registry = TheRegistry();
  X11ConnectionLost lost = nullptr;
  void* context = nullptr;
  {
    std::lock_guard lock(registry.mutex);
    for (Adopted& entry : registry.connections) {
      if (entry.display != display) continue;
      lost = entry.lost;
      context = entry.context;
      entry.lost = nullptr;
    }
  }
  if (lost) lost(context);
}

// Called with the registry's mutex held.
void InstallLocked(Registry& registry) {
  const XIOErrorHandler current = XSetIOErrorHandler(&OnIoError);
  if (current != &OnIoError) registry.previous = current;
  registry.installed = true;
}

}  // namespace

void AdoptX11Connection(_XDisplay* display, X11ConnectionLost lost, void* context) {
  Registry& registry = TheRegistry();
  {
    std::lock_guard lock(registry.mutex);
    if (!registry.installed) InstallLocked(registry);
    registry.connections.push_back({display, lost, context});
  }
  XSetIOErrorExitHandler(display, &OnAdoptedConnectionLost, nullptr);
}

void ReleaseX11Connection(_XDisplay* display) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  std::erase_if(registry.connections, [display](const Adopted& entry) { return entry.display == display; });
}

void ReclaimX11IoErrorHandler(X11ForeignConnectionLost foreign) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  if (foreign) registry.foreign = foreign;
  InstallLocked(registry);
}

}  // namespace qorve
