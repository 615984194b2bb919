// The X11 backend of system-wide input polling, with the choices that the
// probes and benchmarks need beyond CreateX11Input().
#pragma once

#include <cstdint>
#include <memory>

#include "platform/input/input.h"

namespace qorve {

// Where the key and button state comes from.
enum class X11InputSource {
  // XInput2 raw events, drained from the connection only when it has data; a
  // snapshot of the server's state at start and every 250 ms. A poll costs no
  // round trip, and presses shorter than a poll are kept.
  kRawEvents,
  // A snapshot (XQueryKeymap and XQueryPointer, two round trips) at most every
  // 0.5 ms. The fallback when the server lacks XInput2: presses released
  // between two snapshots are not seen.
  kSnapshots,
};

// What the backend has done so far, for benchmarks and tests.
struct X11InputCounters {
  uint64_t updates = 0;     // times the state was brought up to date
  uint64_t roundTrips = 0;  // requests that waited for the server's reply
  uint64_t events = 0;      // X events handled
};

class X11Input : public InputPoller {
 public:
  virtual X11InputSource Source() const = 0;
  virtual X11InputCounters Counters() const = 0;
  // False once the connection to the server is lost; every key then reads
  // up and the cursor keeps its last position.
  virtual bool Connected() const = 0;
};

// Opens our own connection to $DISPLAY; null when no display opens. With
// kRawEvents it falls back to kSnapshots when the server has no XInput2.
std::unique_ptr<X11Input> OpenX11Input(X11InputSource preferred);

}  // namespace qorve
