#include "platform/midi/midi_chase.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

namespace qorve {
namespace {

// Controllers whose value a later message reads: bank select MSB and LSB,
// data entry MSB and LSB, data increment and decrement, NRPN and RPN numbers.
bool IsLatchedController(uint8_t controller) {
  return controller == 0 || controller == 32 || controller == 6 || controller == 38 ||
         (controller >= 96 && controller <= 101);
}

// The state a message sets, for messages that only a later one of the same
// key overrides; none for messages that must all be sent again.
std::optional<uint32_t> OverrideKey(const std::vector<uint8_t>& bytes) {
  const uint8_t kind = bytes[0] & 0xF0;
  if (kind == 0xB0) {
    if (bytes.size() < 2 || IsLatchedController(bytes[1])) return std::nullopt;
    return static_cast<uint32_t>(bytes[0]) << 8 | bytes[1];
  }
  if (kind == 0xC0 || kind == 0xD0 || kind == 0xE0) return static_cast<uint32_t>(bytes[0]) << 8 | 0xFF;
  return std::nullopt;
}

bool SetsChannelState(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return false;
  const uint8_t kind = bytes[0] & 0xF0;
  return bytes[0] == 0xF0 || kind == 0xB0 || kind == 0xC0 || kind == 0xD0 || kind == 0xE0;
}

}  // namespace

std::vector<const MidiFileEvent*> ChaseEvents(const MidiSong& song, std::size_t upto) {
  upto = std::min(upto, song.events.size());
  std::vector<const MidiFileEvent*> chosen;
  std::unordered_set<uint32_t> setLater;
  for (std::size_t i = upto; i-- > 0;) {  // backwards: the last message of each key is kept
    const MidiFileEvent& event = song.events[i];
    if (!SetsChannelState(event.bytes)) continue;
    if (const std::optional<uint32_t> key = OverrideKey(event.bytes)) {
      if (!setLater.insert(*key).second) continue;
    }
    chosen.push_back(&event);
  }
  std::reverse(chosen.begin(), chosen.end());
  return chosen;
}

}  // namespace qorve
