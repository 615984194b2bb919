// platform/qt/: the stand-ins that need Qt.
//
// The program's connection to the X server through Qt's xcb platform: whether
// it still stands, and that its break ends the program the program's way.
// Qt's way is exit() from inside an event pass, which runs the C++ exit
// handlers while the program's other threads go on using what they destroy.
// User-interface thread only, except where said.
#pragma once

namespace qorve {

// Once the QApplication exists; does nothing on platforms other than xcb and
// Wayland (where only `lostInPass` applies).
// From then on a break of Qt's Xlib connection is only noted, and the break
// of a connection some library opened for itself (video sinks) calls
// `foreignLost` on the thread that noticed: Xlib ends the process as soon as
// it returns, so it ends the process itself in an orderly way.
// `lostInPass` runs on the user-interface thread when Qt finds its own
// connection broken inside an event pass, just before Qt would end the
// process there; it must not return (it ends the program its own way).
void WatchDisplayConnection(void (*foreignLost)(), void (*lostInPass)());

// True once Qt's connection to the X server has broken. Qt ends the process
// the next time it handles window-system events, so a program that sees this
// must not hand Qt an event pass again.
bool DisplayConnectionLost();

}  // namespace qorve
