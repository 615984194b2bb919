#include "platform/qt/window_event_input.h"

#include "platform/input/virtual_key_map.h"

#include <X11/keysym.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>

namespace qorve {
namespace {

int VirtualKeyOfMouseButton(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton: return kVkLButton;
    case Qt::RightButton: return kVkRButton;
    case Qt::MiddleButton: return kVkMButton;
    case Qt::BackButton: return 0x05;
    case Qt::ForwardButton: return 0x06;
    default: return 0;
  }
}

// The symbol of Qt's key code, for platforms that give no native symbol.
unsigned KeysymOfQtKey(int key, bool keypad) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return XK_a + static_cast<unsigned>(key - Qt::Key_A);
  if (key >= Qt::Key_0 && key <= Qt::Key_9) {
    return (keypad ? XK_KP_0 : XK_0) + static_cast<unsigned>(key - Qt::Key_0);
  }
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return XK_F1 + static_cast<unsigned>(key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Escape: return XK_Escape;
    case Qt::Key_Space: return XK_space;
    case Qt::Key_Left: return XK_Left;
    case Qt::Key_Right: return XK_Right;
    case Qt::Key_Up: return XK_Up;
    case Qt::Key_Down: return XK_Down;
    case Qt::Key_Return: return XK_Return;
    case Qt::Key_Enter: return XK_KP_Enter;
    case Qt::Key_Tab: return XK_Tab;
    case Qt::Key_Backspace: return XK_BackSpace;
    case Qt::Key_Insert: return XK_Insert;
    case Qt::Key_Delete: return XK_Delete;
    case Qt::Key_Home: return XK_Home;
    case Qt::Key_End: return XK_End;
    case Qt::Key_PageUp: return XK_Prior;
    case Qt::Key_PageDown: return XK_Next;
    case Qt::Key_Pause: return XK_Pause;
    case Qt::Key_Plus: return keypad ? XK_KP_Add : XK_plus;
    case Qt::Key_Minus: return keypad ? XK_KP_Subtract : XK_minus;
    case Qt::Key_Asterisk: return keypad ? XK_KP_Multiply : XK_asterisk;
    case Qt::Key_Slash: return keypad ? XK_KP_Divide : XK_slash;
    default: return 0;
  }
}

}  // namespace

int VirtualKeyOfQtKey(int qtKey, unsigned nativeKeysym, bool keypad) {
  const unsigned keysym = nativeKeysym != 0 ? nativeKeysym : KeysymOfQtKey(qtKey, keypad);
  return keysym != 0 ? VirtualKeysOfKeysym(keysym)[0] : 0;
}

WindowEventInput::WindowEventInput(InputPoller& input) : input_(input) {
  input_.UseWindowEventsForPointer();
  QCoreApplication::instance()->installEventFilter(this);
}

WindowEventInput::~WindowEventInput() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
  input_.ReleaseFed(FeedSource::kWindow);
}

bool WindowEventInput::eventFilter(QObject* watched, QEvent* event) {
  // Each event reaches its window once and then its widgets; the window's
  // turn is enough.
  if (!watched->isWindowType()) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint at = mouse->globalPosition().toPoint();
      input_.FeedCursor(at.x(), at.y());
      if (event->type() == QEvent::MouseMove) break;
      const int key = VirtualKeyOfMouseButton(mouse->button());
      if (key != 0) input_.FeedKey(key, event->type() != QEvent::MouseButtonRelease, FeedSource::kWindow);
      break;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      const auto* keyEvent = static_cast<QKeyEvent*>(event);
      const int key = VirtualKeyOfQtKey(keyEvent->key(), keyEvent->nativeVirtualKey(),
                                        keyEvent->modifiers().testFlag(Qt::KeypadModifier));
      // Releases of an auto-repeated key come between its presses; only the
      // last one lets go.
      if (event->type() == QEvent::KeyRelease && keyEvent->isAutoRepeat()) break;
      if (key != 0) input_.FeedKey(key, event->type() == QEvent::KeyPress, FeedSource::kWindow);
      break;
    }
    case QEvent::FocusOut:
    case QEvent::Hide:
      // Whatever is let go of elsewhere is never reported to this window.
      input_.ReleaseFed(FeedSource::kWindow);
      break;
    default: break;
  }
  return false;
}

}  // namespace qorve
