// What happens when a connection to the X server breaks (the server ended or
// went away). Xlib's answer is to end the process on the spot from whichever
// thread noticed, with exit(): the C++ exit handlers then run while the
// program's other threads go on using what they destroy. Here the program's
// own connections break quietly instead, and the program ends its own way.
#pragma once

struct _XDisplay;  // Xlib's Display

namespace qorve {

// Called once when an adopted connection breaks, on the thread that noticed.
using X11ConnectionLost = void (*)(void* context);
// Called when a connection that nobody adopted breaks (one a library opened
// for itself). Xlib ends the process right after it returns.
using X11ForeignConnectionLost = void (*)();

// From now on a broken `display` makes its Xlib calls fail instead of ending
// the process, and `lost` is called once. Until ReleaseX11Connection, which
// comes after XCloseDisplay (closing may be what finds the break).
void AdoptX11Connection(_XDisplay* display, X11ConnectionLost lost, void* context);
void ReleaseX11Connection(_XDisplay* display);

// Puts the handler that spares the adopted connections back in place: a
// library that connects after the first adoption (Qt's xcb platform does)
// installs its own, which ends the process whichever connection broke.
// Connections that were not adopted go to `foreign` when given, else to the
// handler that was there before.
void ReclaimX11IoErrorHandler(X11ForeignConnectionLost foreign = nullptr);

}  // namespace qorve
