// Any bytes as a Standard MIDI File: events come out in time order, each a
// whole message that a port can be sent, and no time lies past the length;
// the chase from the middle holds only state messages of the song, in order.
#include "platform/midi/midi_chase.h"
#include "platform/midi/midi_file.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto song = qorve::ParseMidiFile(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!song) return 0;
  double previous = 0;
  for (const qorve::MidiFileEvent& event : song->events) {
    if (event.bytes.empty() || event.bytes[0] < 0x80) std::abort();
    if (!(event.milliseconds >= previous) || event.milliseconds > song->lengthMilliseconds) std::abort();
    if (event.bytes[0] == 0xF0 && event.bytes.back() != 0xF7) std::abort();
    previous = event.milliseconds;
  }
  if (!std::isfinite(song->lengthMilliseconds)) std::abort();
  const qorve::MidiFileEvent* last = nullptr;
  for (const qorve::MidiFileEvent* event : qorve::ChaseEvents(*song, song->events.size() / 2)) {
    const uint8_t kind = event->bytes[0] & 0xF0;
    if (kind == 0x80 || kind == 0x90 || kind == 0xA0 || (last && event <= last)) std::abort();
    last = event;
  }
  return 0;
}
