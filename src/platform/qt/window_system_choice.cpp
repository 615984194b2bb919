#include "platform/qt/window_system_choice.h"

#include <xcb/xcb.h>

#include <QGuiApplication>

#include <cstdlib>
#include <cstring>

namespace qorve {
namespace {

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

bool XServerAnswers() {
  if (!Set("DISPLAY")) return false;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool answers = connection && xcb_connection_has_error(connection) == 0;
  if (connection) xcb_disconnect(connection);
  return answers;
}

}  // namespace

bool ChooseWindowSystem() {
  if (Set("QT_QPA_PLATFORM") || !XServerAnswers()) return false;
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  return true;
}

void KeepVideoOnTheWindowSystem() {
  if (QGuiApplication::platformName() == QLatin1String("xcb")) setenv("GST_GL_WINDOW", "x11", 0);
}

bool InWaylandSession() {
  const char* type = std::getenv("XDG_SESSION_TYPE");
  return Set("WAYLAND_DISPLAY") || (type && std::strcmp(type, "wayland") == 0);
}

}  // namespace qorve
