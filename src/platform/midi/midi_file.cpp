#include "platform/midi/midi_file.h"

#include <algorithm>
#include <map>

namespace qorve {
namespace {

constexpr uint32_t kDefaultTempo = 500000;  // microseconds per quarter note (120 bpm)
constexpr int kMaxTracks = 65535;

struct TickEvent {
  uint64_t tick;
  int track;
  std::size_t order;
  std::vector<uint8_t> bytes;  // empty for a tempo change
  uint32_t tempo = 0;
};

uint32_t Big(std::string_view bytes, std::size_t at, int count) {
  uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// The SMF inside a RIFF RMID file ("data" chunk), or the bytes themselves.
std::string_view Unwrap(std::string_view bytes) {
  if (bytes.size() < 12 || bytes.substr(0, 4) != "RIFF" || bytes.substr(8, 4) != "RMID") return bytes;
  std::size_t at = 12;
  while (at + 8 <= bytes.size()) {
    const uint32_t size = static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 4])) |
                          static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 5])) << 8 |
                          static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 6])) << 16 |
                          static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 7])) << 24;
    if (bytes.substr(at, 4) == "data") return bytes.substr(at + 8, std::min<std::size_t>(size, bytes.size() - at - 8));
    at += 8 + static_cast<std::size_t>(size) + (size & 1);
  }
  return {};
}

class TrackReader {
 public:
  TrackReader(std::string_view bytes, int track, std::vector<TickEvent>& out, uint64_t& lastTick)
      : bytes_(bytes), track_(track), out_(out), lastTick_(lastTick) {}

  void Read() {
    uint64_t tick = 0;
    uint8_t running = 0;
    while (at_ < bytes_.size()) {
      uint32_t delta = 0;
      if (!Number(delta)) return;
      tick += delta;
      lastTick_ = std::max(lastTick_, tick);
      uint8_t status = 0;
      if (!Byte(status)) return;
      if (status == 0xFF) {
        uint8_t type = 0;
        uint32_t length = 0;
        if (!Byte(type) || !Number(length) || length > bytes_.size() - at_) return;
        if (type == 0x2F) return;  // end of track
        if (type == 0x51 && length >= 3) {
          const uint32_t tempo = Big(bytes_, at_, 3);
          if (tempo > 0) out_.push_back({tick, track_, out_.size(), {}, tempo});
        }
        at_ += length;
      } else if (status == 0xF0 || status == 0xF7) {
        uint32_t length = 0;
        if (!Number(length) || length > bytes_.size() - at_) return;
        std::vector<uint8_t> message;
        if (status == 0xF0) message.push_back(0xF0);
        message.insert(message.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                       bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + length));
        at_ += length;
        running = 0;
        // An F7 escape carries any bytes; only whole exclusive messages go out.
        if (message.size() >= 2 && message.front() == 0xF0 && message.back() == 0xF7) {
          out_.push_back({tick, track_, out_.size(), std::move(message)});
        }
      } else {
        std::vector<uint8_t> message;
        if (status < 0x80) {  // running status: this byte is the first data byte
          if (running == 0) return;
          message = {running, status};
        } else if (status >= 0xF0) {
          return;  // other system messages do not belong in a file
        } else {
          running = status;
          message = {status};
          uint8_t data = 0;
          if (!Byte(data)) return;
          message.push_back(data);
        }
        const bool twoBytes = (message[0] & 0xE0) == 0xC0;
        if (!twoBytes) {
          uint8_t data = 0;
          if (!Byte(data)) return;
          message.push_back(data);
        }
        for (std::size_t i = 1; i < message.size(); ++i) message[i] &= 0x7F;
        out_.push_back({tick, track_, out_.size(), std::move(message)});
      }
    }
  }

 private:
  bool Byte(uint8_t& value) {
    if (at_ >= bytes_.size()) return false;
    value = static_cast<uint8_t>(bytes_[at_++]);
    return true;
  }
  // A variable-length number: at most four bytes of seven bits.
  bool Number(uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t part = 0;
      if (!Byte(part)) return false;
      value = value << 7 | (part & 0x7F);
      if ((part & 0x80) == 0) return true;
    }
    return false;
  }

  std::string_view bytes_;
  std::size_t at_ = 0;
  int track_;
  std::vector<TickEvent>& out_;
  uint64_t& lastTick_;
};

}  // namespace

std::optional<MidiSong> ParseMidiFile(std::string_view bytes) {
  bytes = Unwrap(bytes);
  if (bytes.size() < 14 || bytes.substr(0, 4) != "MThd") return std::nullopt;
  const uint32_t headerSize = Big(bytes, 4, 4);
  if (headerSize < 6 || headerSize > bytes.size() - 8) return std::nullopt;
  const uint32_t format = Big(bytes, 8, 2);
  const uint32_t division = Big(bytes, 12, 2);
  if (division == 0 || format > 2) return std::nullopt;
  // Ticks to microseconds: per quarter note with the tempo, or SMPTE frames.
  const bool smpte = (division & 0x8000) != 0;
  double smpteTickMicroseconds = 0;
  if (smpte) {
    const int framesPerSecond = -static_cast<int8_t>(division >> 8);
    const int ticksPerFrame = static_cast<int>(division & 0xFF);
    if (framesPerSecond <= 0 || ticksPerFrame == 0) return std::nullopt;
    smpteTickMicroseconds = 1e6 / (framesPerSecond == 29 ? 29.97 : framesPerSecond) / ticksPerFrame;
  }

  std::vector<TickEvent> events;
  std::vector<uint64_t> trackEnds;
  std::size_t at = 8 + headerSize;
  int tracks = 0;
  while (at + 8 <= bytes.size() && tracks < kMaxTracks) {
    const uint32_t size = Big(bytes, at + 4, 4);
    const std::string_view body = bytes.substr(at + 8, std::min<std::size_t>(size, bytes.size() - at - 8));
    if (bytes.substr(at, 4) == "MTrk") {
      uint64_t lastTick = 0;
      TrackReader(body, tracks, events, lastTick).Read();
      trackEnds.push_back(lastTick);
      ++tracks;
    }
    if (size > bytes.size() - at - 8) break;
    at += 8 + static_cast<std::size_t>(size);
  }
  if (tracks == 0) return std::nullopt;

  // Format 2 tracks are separate songs played one after the other.
  if (format == 2) {
    uint64_t offset = 0;
    std::vector<uint64_t> starts;
    for (const uint64_t end : trackEnds) {
      starts.push_back(offset);
      offset += end;
    }
    for (TickEvent& event : events) event.tick += starts[static_cast<std::size_t>(event.track)];
    trackEnds = {offset};
  }
  std::stable_sort(events.begin(), events.end(), [](const TickEvent& a, const TickEvent& b) {
    if (a.tick != b.tick) return a.tick < b.tick;
    return a.track != b.track ? a.track < b.track : a.order < b.order;
  });

  MidiSong song;
  uint32_t tempo = kDefaultTempo;
  uint64_t lastTick = 0;
  double microseconds = 0;
  const auto advance = [&](uint64_t tick) {
    const double perTick = smpte ? smpteTickMicroseconds : static_cast<double>(tempo) / division;
    microseconds += static_cast<double>(tick - lastTick) * perTick;
    lastTick = tick;
  };
  for (TickEvent& event : events) {
    advance(event.tick);
    if (event.bytes.empty()) {
      tempo = event.tempo;
      continue;
    }
    song.events.push_back({microseconds / 1000.0, std::move(event.bytes)});
  }
  advance(std::max(lastTick, *std::max_element(trackEnds.begin(), trackEnds.end())));
  song.lengthMilliseconds = microseconds / 1000.0;
  return song;
}

}  // namespace qorve
