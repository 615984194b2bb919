// X11 backend of system-wide input polling: our own display connection, XInput2
// raw events for presses and releases, occasional snapshots of the server's state.
#include "platform/input/input_x11.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <poll.h>

#include <cstdint>
#include <ctime>
#include <vector>

#include "platform/input/key_state_tracker.h"
#include "platform/input/virtual_key_map.h"
#include "platform/input/x11_io_errors.h"

namespace qorve {
namespace {

// Polls closer together than this share one update: a pass over fifteen keys
// costs one check of the connection, not fifteen. A press is at most this much
// later, never lost.
constexpr int64_t kUpdateIntervalUs = 500;
// How often the raw-event state is checked against the server's. Pointer warps
// (xdotool mousemove, a program moving the cursor) produce no raw motion, and
// a release can be missed when a device is unplugged while a key is down.
constexpr int64_t kSnapshotIntervalUs = 250'000;
// Under an event loop that waits for input, the keyboard's snapshot is taken
// this seldom (a missed release is rare and waits at most this long), and the
// pointer's only when the cursor is asked for: a program whose window is
// hidden, which never asks, is not woken by the server's replies.
constexpr int64_t kWatchedKeymapIntervalUs = 1'000'000;

int64_t MonotonicMicros() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

// The kernel's tick-resolution clock (a few ms): enough for the periodic
// snapshot, and cheaper to read on every poll.
int64_t CoarseMonotonicMicros() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

class X11InputImpl final : public X11Input {
 public:
  explicit X11InputImpl(Display* display) : display_(display), root_(DefaultRootWindow(display)) {
    // Without this, losing the server would end the whole process.
    AdoptX11Connection(display_, &X11InputImpl::OnConnectionLost, this);
  }

  ~X11InputImpl() override {
    // After an I/O error Xlib only frees the display structure here.
    XCloseDisplay(display_);
    ReleaseX11Connection(display_);
  }

  X11InputImpl(const X11InputImpl&) = delete;
  X11InputImpl& operator=(const X11InputImpl&) = delete;

  void Start(X11InputSource preferred) {
    source_ = preferred;
    if (source_ == X11InputSource::kRawEvents && !SelectRawEvents()) source_ = X11InputSource::kSnapshots;
    ReadKeyboardMapping();
    ReadPointerMapping();
    // Keys already held when we start are held, not pressed.
    TakeSnapshot(false);
    lastSnapshotUs_ = MonotonicMicros();
  }

  int16_t GetAsyncKeyState(int virtualKey) override {
    Update();
    if (!connected_) return 0;
    return tracker_.Poll(virtualKey);
  }

  bool GetCursorPos(int& x, int& y) override {
    Update();
    if (connected_ && descriptorWatched_ && source_ == X11InputSource::kRawEvents) {
      const int64_t now = CoarseMonotonicMicros();
      if (now - lastPointerSnapshotUs_ >= kSnapshotIntervalUs) {
        lastPointerSnapshotUs_ = now;
        QueryPointer(true, true);
      }
    }
    if (connected_ && cursorStale_) QueryPointer(false, false);
    if (!cursorKnown_) return false;
    x = cursorX_;
    y = cursorY_;
    return true;
  }

  X11InputSource Source() const override { return source_; }
  X11InputCounters Counters() const override { return counters_; }
  bool Connected() const override { return connected_; }

  int EventDescriptor() const override {
    return connected_ && source_ == X11InputSource::kRawEvents ? ConnectionNumber(display_) : -1;
  }
  void WatchEventDescriptor() override { descriptorWatched_ = true; }
  // Reads what arrived at once: left unread, the descriptor would stay
  // readable and keep waking the event loop.
  void InputArrived() override {
    if (connected_) DrainEvents(true);
  }

 private:
  static void OnConnectionLost(void* self) { static_cast<X11InputImpl*>(self)->connected_ = false; }

  bool SelectRawEvents() {
    int event = 0;
    int error = 0;
    if (!XQueryExtension(display_, "XInputExtension", &xiOpcode_, &event, &error)) return false;
    int major = 2;
    int minor = 2;
    ++counters_.roundTrips;
    // Raw events exist from 2.0; announcing 2.2 makes the server deliver them
    // to the root window even while another client holds a grab.
    if (XIQueryVersion(display_, &major, &minor) != Success || major < 2) return false;

    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XISetMask(bits, XI_RawButtonPress);
    XISetMask(bits, XI_RawButtonRelease);
    XISetMask(bits, XI_RawMotion);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(display_, root_, &mask, 1);
    XFlush(display_);
    return connected_;
  }

  void ReadKeyboardMapping() {
    int minKeycode = 0;
    int maxKeycode = 0;
    XDisplayKeycodes(display_, &minKeycode, &maxKeycode);
    const int count = maxKeycode - minKeycode + 1;
    int symbolsPerKeycode = 0;
    ++counters_.roundTrips;
    KeySym* keysyms = XGetKeyboardMapping(display_, static_cast<KeyCode>(minKeycode), count, &symbolsPerKeycode);
    if (keysyms == nullptr || symbolsPerKeycode <= 0) {
      if (keysyms) XFree(keysyms);
      return;
    }
    std::vector<KeycodeSymbols> symbols(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      const KeySym* row = keysyms + static_cast<ptrdiff_t>(i) * symbolsPerKeycode;
      symbols[i].unshifted = static_cast<uint32_t>(row[0]);
      if (symbolsPerKeycode > 1) symbols[i].shifted = static_cast<uint32_t>(row[1]);
    }
    XFree(keysyms);
    tracker_.SetKeycodeTable(MapKeycodes(minKeycode, symbols));
  }

  void ReadPointerMapping() {
    unsigned char map[256] = {};
    ++counters_.roundTrips;
    const int count = XGetPointerMapping(display_, map, static_cast<int>(sizeof map));
    for (int physical = 1; physical < static_cast<int>(sizeof logicalOfPhysical_); ++physical) {
      logicalOfPhysical_[physical] = physical <= count ? map[physical - 1] : static_cast<unsigned char>(physical);
    }
  }

  // Brings the state up to date: with raw events, drains them when the
  // connection has any (no round trip when idle); with snapshots, asks.
  void Update() {
    if (!connected_) return;
    if (descriptorWatched_ && source_ == X11InputSource::kRawEvents) {
      // New events are read by InputArrived when they reach the socket; only
      // those Xlib queued while reading a reply, and the snapshot, remain.
      const int64_t now = CoarseMonotonicMicros();
      if (now - lastSnapshotUs_ >= kWatchedKeymapIntervalUs) {
        lastSnapshotUs_ = now;
        lastPointerSnapshotUs_ = now;
        ++counters_.updates;
        TakeSnapshot(true);
      }
      if (XQLength(display_) > 0) DrainEvents();  // reads the queue length without locking
      return;
    }
    const int64_t now = MonotonicMicros();
    if (now - lastUpdateUs_ < kUpdateIntervalUs) return;
    lastUpdateUs_ = now;
    ++counters_.updates;
    if (source_ == X11InputSource::kSnapshots) {
      DrainEvents();  // mapping changes
      TakeSnapshot(true);
      return;
    }
    if (now - lastSnapshotUs_ >= kSnapshotIntervalUs) {
      lastSnapshotUs_ = now;
      TakeSnapshot(true);
    }
    // Also takes the events that arrived while the snapshot's replies were read,
    // so they apply after the snapshot, in the order they happened.
    DrainEvents();
  }

  void TakeSnapshot(bool countAsPress) {
    char keys[32] = {};
    ++counters_.roundTrips;
    XQueryKeymap(display_, keys);
    if (!connected_) return;
    tracker_.SyncKeycodes(std::span<const uint8_t, 32>(reinterpret_cast<const uint8_t*>(keys), 32), countAsPress);
    QueryPointer(true, countAsPress);
  }

  // Reads the cursor position and, when asked, the state of the buttons that
  // the pointer mask reports (logical 1 to 3; the wheel is left out).
  void QueryPointer(bool syncButtons, bool countAsPress) {
    Window rootReturn = 0;
    Window child = 0;
    int rootX = 0;
    int rootY = 0;
    int windowX = 0;
    int windowY = 0;
    unsigned int mask = 0;
    ++counters_.roundTrips;
    // False only means the pointer is on another screen; its root coordinates still hold.
    XQueryPointer(display_, root_, &rootReturn, &child, &rootX, &rootY, &windowX, &windowY, &mask);
    if (!connected_) return;
    cursorX_ = rootX;
    cursorY_ = rootY;
    cursorKnown_ = true;
    cursorStale_ = false;
    if (!syncButtons) return;
    // The mask is in logical buttons, the raw events in physical ones.
    for (int physical = 1; physical < static_cast<int>(sizeof logicalOfPhysical_); ++physical) {
      const int logical = logicalOfPhysical_[physical];
      if (logical < 1 || logical > 3) continue;
      tracker_.SyncButton(physical, (mask & (Button1Mask << (logical - 1))) != 0, countAsPress);
    }
  }

  bool ConnectionHasData() {
    if (XEventsQueued(display_, QueuedAlready) > 0) return true;
    // Events that reach the socket are drained by InputArrived.
    if (descriptorWatched_) return false;
    pollfd socket{ConnectionNumber(display_), POLLIN, 0};
    return poll(&socket, 1, 0) > 0;
  }

  // `socketReadable`: the caller knows the socket has data.
  void DrainEvents(bool socketReadable = false) {
    if (!socketReadable && !ConnectionHasData()) return;
    // XPending reads what the socket holds without blocking; a closed
    // connection ends in OnConnectionLost.
    while (connected_ && XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      ++counters_.events;
      HandleEvent(event);
    }
  }

  void HandleEvent(XEvent& event) {
    if (event.type == MappingNotify) {
      XRefreshKeyboardMapping(&event.xmapping);
      if (event.xmapping.request == MappingPointer) {
        ReadPointerMapping();
      } else {
        ReadKeyboardMapping();
      }
      return;
    }
    if (event.type != GenericEvent || event.xcookie.extension != xiOpcode_) return;
    if (!XGetEventData(display_, &event.xcookie)) return;
    const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
    switch (event.xcookie.evtype) {
      case XI_RawKeyPress: tracker_.KeyPressed(raw->detail); break;
      case XI_RawKeyRelease: tracker_.KeyReleased(raw->detail); break;
      case XI_RawButtonPress: tracker_.ButtonPressed(raw->detail); break;
      case XI_RawButtonRelease: tracker_.ButtonReleased(raw->detail); break;
      case XI_RawMotion: cursorStale_ = true; break;
      default: break;
    }
    XFreeEventData(display_, &event.xcookie);
  }

  Display* display_;
  Window root_;
  X11InputSource source_ = X11InputSource::kSnapshots;
  int xiOpcode_ = -1;
  bool connected_ = true;
  bool descriptorWatched_ = false;  // the event loop calls InputArrived
  KeyStateTracker tracker_;
  unsigned char logicalOfPhysical_[32] = {};
  int64_t lastUpdateUs_ = INT64_MIN / 2;
  int64_t lastSnapshotUs_ = 0;
  int64_t lastPointerSnapshotUs_ = 0;  // the pointer's own, while the descriptor is watched
  int cursorX_ = 0;
  int cursorY_ = 0;
  bool cursorKnown_ = false;
  // Set by raw motion: the cached position is read again at the next GetCursorPos.
  bool cursorStale_ = true;
  X11InputCounters counters_;
};

}  // namespace

std::unique_ptr<X11Input> OpenX11Input(X11InputSource preferred) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return nullptr;
  auto input = std::make_unique<X11InputImpl>(display);
  input->Start(preferred);
  if (!input->Connected()) return nullptr;
  return input;
}

std::unique_ptr<InputPoller> CreateX11Input() {
  return OpenX11Input(X11InputSource::kRawEvents);
}

}  // namespace qorve
