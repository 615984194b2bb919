// Which of Qt's window-system platforms the programs run on.
//
// The display window places itself, stays on top and reads the pointer and
// the keys through the X server; a Wayland compositor gives a native client
// none of that. So in a Wayland session that also offers an X server
// (Xwayland), the programs run as X clients there, as they do on X11.
#pragma once

namespace qorve {

// Call before the QApplication is made. Leaves a QT_QPA_PLATFORM the user set
// alone; otherwise chooses Qt's "xcb" platform whenever an X server answers
// on $DISPLAY, and leaves Qt's own choice (Wayland, offscreen…) where none does.
// Returns true when it chose xcb.
bool ChooseWindowSystem();

// Once the QApplication exists and before any video plays: where the
// program is an X client, the video sinks draw into its X windows, so
// GStreamer's OpenGL sink must use X11 too; in a Wayland session it would
// otherwise take the window for a Wayland surface (and crash). A
// GST_GL_WINDOW the user set is left alone.
void KeepVideoOnTheWindowSystem();

// True when the session is a Wayland one ($WAYLAND_DISPLAY set, or
// $XDG_SESSION_TYPE "wayland"), whichever platform the program runs on.
bool InWaylandSession();

}  // namespace qorve
