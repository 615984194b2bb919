// Hand-built XM and MOD module images for the engine tests (a small
// description in, the bytes of the file out), and the drivers that load them
// and step the sequencer tick by tick.
#pragma once

#include "player/module/mod_player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qorve::test {

struct Cell {
  uint8_t note = 0, instrument = 0, volume = 0, effect = 0, parameter = 0;
};

struct XmSample {
  std::vector<int> values;  // sample values (stored delta-coded)
  bool wide = false;        // 16-bit
  int loopType = 0;         // 0 none, 1 forward, 2 ping-pong
  int loopStart = 0;        // samples
  int loopLength = 0;       // samples
  int volume = 64;
  int finetune = 0;
  int panning = 128;
  int relativeNote = 0;
};

struct XmInstrument {
  std::vector<XmSample> samples;
  std::array<uint8_t, 96> noteSamples{};  // note → sample number (above 15: none)
  std::vector<std::array<int, 2>> volumeEnvelope;  // tick position, value
  int volumeType = 0;
  int volumeSustain = 0, volumeLoopStart = 0, volumeLoopEnd = 0;  // point indices
  std::vector<std::array<int, 2>> panningEnvelope;
  int panningType = 0;
  int panningSustain = 0, panningLoopStart = 0, panningLoopEnd = 0;
  int fadeout = 0;
  int vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
  int declaredSampleCount = -1;  // -1: the number of samples
};

struct XmPattern {
  int rows = 64;
  std::vector<Cell> cells;  // rows × channels, empty: all blank
  int headerLength = 9;
};

struct XmSong {
  int channels = 4;
  int speed = 6;
  int tempo = 125;
  int flags = 1;  // linear frequencies
  int restart = 0;
  int version = 0x0104;
  std::vector<int> orders = {0};
  std::vector<XmPattern> patterns = {XmPattern{}};
  std::vector<XmInstrument> instruments;
};

inline void Put16(std::vector<uint8_t>& out, int value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, static_cast<int>(value & 0xFFFF));
  Put16(out, static_cast<int>(value >> 16));
}
inline void PutText(std::vector<uint8_t>& out, const std::string& text, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

inline std::vector<uint8_t> BuildXm(const XmSong& song) {
  std::vector<uint8_t> out;
  PutText(out, "Extended Module: ", 17);
  PutText(out, "test song", 20);
  out.push_back(0x1A);
  PutText(out, "qorve tests", 20);
  Put16(out, song.version);
  Put32(out, 276);
  Put16(out, static_cast<int>(song.orders.size()));
  Put16(out, song.restart);
  Put16(out, song.channels);
  Put16(out, static_cast<int>(song.patterns.size()));
  Put16(out, static_cast<int>(song.instruments.size()));
  Put16(out, song.flags);
  Put16(out, song.speed);
  Put16(out, song.tempo);
  for (int i = 0; i < 256; ++i) out.push_back(i < static_cast<int>(song.orders.size()) ? static_cast<uint8_t>(song.orders[i]) : 0);
  for (const XmPattern& pattern : song.patterns) {
    std::vector<uint8_t> packed;
    for (int i = 0; i < pattern.rows * song.channels; ++i) {
      const Cell cell = i < static_cast<int>(pattern.cells.size()) ? pattern.cells[i] : Cell{};
      packed.push_back(0x80 | 0x1F);
      packed.insert(packed.end(), {cell.note, cell.instrument, cell.volume, cell.effect, cell.parameter});
    }
    Put32(out, static_cast<uint32_t>(pattern.headerLength));
    out.push_back(0);
    Put16(out, pattern.rows);
    Put16(out, static_cast<int>(packed.size()));
    out.insert(out.end(), packed.begin(), packed.end());
  }
  for (const XmInstrument& instrument : song.instruments) {
    const int count = instrument.declaredSampleCount >= 0 ? instrument.declaredSampleCount
                                                          : static_cast<int>(instrument.samples.size());
    const std::size_t start = out.size();
    Put32(out, count > 0 ? 263 : 29);
    PutText(out, "instrument", 22);
    out.push_back(0);
    Put16(out, count);
    if (count == 0) continue;
    Put32(out, 40);
    out.insert(out.end(), instrument.noteSamples.begin(), instrument.noteSamples.end());
    for (const auto* envelope : {&instrument.volumeEnvelope, &instrument.panningEnvelope}) {
      for (int i = 0; i < 12; ++i) {
        const bool has = i < static_cast<int>(envelope->size());
        Put16(out, has ? (*envelope)[i][0] : 0);
        Put16(out, has ? (*envelope)[i][1] : 0);
      }
    }
    out.push_back(static_cast<uint8_t>(instrument.volumeEnvelope.size()));
    out.push_back(static_cast<uint8_t>(instrument.panningEnvelope.size()));
    out.push_back(static_cast<uint8_t>(instrument.volumeSustain));
    out.push_back(static_cast<uint8_t>(instrument.volumeLoopStart));
    out.push_back(static_cast<uint8_t>(instrument.volumeLoopEnd));
    out.push_back(static_cast<uint8_t>(instrument.panningSustain));
    out.push_back(static_cast<uint8_t>(instrument.panningLoopStart));
    out.push_back(static_cast<uint8_t>(instrument.panningLoopEnd));
    out.push_back(static_cast<uint8_t>(instrument.volumeType));
    out.push_back(static_cast<uint8_t>(instrument.panningType));
    out.push_back(static_cast<uint8_t>(instrument.vibratoType));
    out.push_back(static_cast<uint8_t>(instrument.vibratoSweep));
    out.push_back(static_cast<uint8_t>(instrument.vibratoDepth));
    out.push_back(static_cast<uint8_t>(instrument.vibratoRate));
    Put16(out, instrument.fadeout);
    Put16(out, 0);
    out.resize(start + 263, 0);
    for (int s = 0; s < count; ++s) {
      const XmSample sample = s < static_cast<int>(instrument.samples.size()) ? instrument.samples[s] : XmSample{};
      const int width = sample.wide ? 2 : 1;
      Put32(out, static_cast<uint32_t>(sample.values.size() * width));
      Put32(out, static_cast<uint32_t>(sample.loopStart * width));
      Put32(out, static_cast<uint32_t>(sample.loopLength * width));
      out.push_back(static_cast<uint8_t>(sample.volume));
      out.push_back(static_cast<uint8_t>(sample.finetune));
      out.push_back(static_cast<uint8_t>(sample.loopType | (sample.wide ? 0x10 : 0)));
      out.push_back(static_cast<uint8_t>(sample.panning));
      out.push_back(static_cast<uint8_t>(sample.relativeNote));
      out.push_back(0);
      PutText(out, "sample", 22);
    }
    for (int s = 0; s < count && s < static_cast<int>(instrument.samples.size()); ++s) {
      const XmSample& sample = instrument.samples[s];
      int previous = 0;
      for (int value : sample.values) {
        const int delta = value - previous;
        previous = value;
        if (sample.wide) {
          Put16(out, delta & 0xFFFF);
        } else {
          out.push_back(static_cast<uint8_t>(delta));
        }
      }
    }
  }
  return out;
}

// A sample of `length` values of a loud square wave, looped over its whole
// length.
inline XmSample LoopedSquare(int length = 64, int amplitude = 100) {
  XmSample sample;
  for (int i = 0; i < length; ++i) sample.values.push_back(i < length / 2 ? amplitude : -amplitude);
  sample.loopType = 1;
  sample.loopStart = 0;
  sample.loopLength = length;
  return sample;
}

// One instrument with one looped square sample.
inline XmInstrument SquareInstrument() {
  XmInstrument instrument;
  instrument.samples.push_back(LoopedSquare());
  return instrument;
}

struct ModNote {
  int sample = 0, period = 0, effect = 0, parameter = 0;
};

struct ModSampleSpec {
  std::vector<int8_t> data;  // an even number of bytes
  int finetune = 0;  // signed nibble
  int volume = 64;
  int loopStartWords = 0, loopLengthWords = 1;
};

struct ModSong {
  std::string signature = "M.K.";  // at byte 1080
  int channels = 4;
  int sampleHeaders = 31;  // 31 or 15
  int songLength = 1;
  std::array<int, 128> orders{};
  std::vector<std::vector<ModNote>> patterns = {{}};  // 64 × channels notes each
  std::vector<ModSampleSpec> samples;
  int patternCount = -1;  // -1: as the orders require
};

inline std::vector<uint8_t> BuildMod(const ModSong& song) {
  std::vector<uint8_t> out;
  PutText(out, "mod test", 20);
  for (int s = 0; s < song.sampleHeaders; ++s) {
    const ModSampleSpec spec = s < static_cast<int>(song.samples.size()) ? song.samples[s] : ModSampleSpec{};
    PutText(out, "sample", 22);
    const int words = static_cast<int>(spec.data.size() / 2);
    out.push_back(static_cast<uint8_t>(words >> 8));
    out.push_back(static_cast<uint8_t>(words));
    out.push_back(static_cast<uint8_t>(spec.finetune & 0x0F));
    out.push_back(static_cast<uint8_t>(spec.volume));
    out.push_back(static_cast<uint8_t>(spec.loopStartWords >> 8));
    out.push_back(static_cast<uint8_t>(spec.loopStartWords));
    out.push_back(static_cast<uint8_t>(spec.loopLengthWords >> 8));
    out.push_back(static_cast<uint8_t>(spec.loopLengthWords));
  }
  out.push_back(static_cast<uint8_t>(song.songLength));
  out.push_back(0x7F);
  int highest = 0;
  for (int order : song.orders) {
    out.push_back(static_cast<uint8_t>(order));
    highest = std::max(highest, order);
  }
  // Four bytes after the orders, then the patterns. In the 31-sample layout
  // they are the signature at 1080; the 15-sample layout leaves them blank and
  // has its signature at 1080 all the same, inside the first pattern (row 29,
  // channel 3 of a 4-channel song).
  PutText(out, song.sampleHeaders == 31 ? song.signature : std::string(), 4);
  const int patterns = song.patternCount >= 0 ? song.patternCount : highest + 1;
  for (int p = 0; p < patterns; ++p) {
    for (int i = 0; i < 64 * song.channels; ++i) {
      ModNote note;
      if (p < static_cast<int>(song.patterns.size()) && i < static_cast<int>(song.patterns[p].size())) {
        note = song.patterns[p][i];
      }
      out.push_back(static_cast<uint8_t>((note.sample & 0xF0) | ((note.period >> 8) & 0x0F)));
      out.push_back(static_cast<uint8_t>(note.period));
      out.push_back(static_cast<uint8_t>(((note.sample & 0x0F) << 4) | (note.effect & 0x0F)));
      out.push_back(static_cast<uint8_t>(note.parameter));
    }
  }
  for (const ModSampleSpec& spec : song.samples) {
    for (int8_t value : spec.data) out.push_back(static_cast<uint8_t>(value));
  }
  if (song.sampleHeaders != 31 && out.size() >= 1084) std::memcpy(&out[1080], song.signature.data(), 4);
  return out;
}

// Engine drivers.

struct PlayerDeleter {
  void operator()(ModPlayer* p) const { ModDestroy(p); }
};
using Player = std::unique_ptr<ModPlayer, PlayerDeleter>;

inline Player LoadImage(const std::vector<uint8_t>& image) {
  Player player(ModCreate());
  EXPECT_EQ(ModLoad(player.get(), image.data(), static_cast<int64_t>(image.size())), 1);
  return player;
}

// Plays out the frames left of the current tick, then renders the first frame
// of the next one: the sequencer has processed exactly one more tick, and a
// sample started on it stands one step from its start.
inline void NextTick(ModPlayer* p) {
  std::vector<int16_t> pcm(static_cast<std::size_t>(std::max(p->samplesLeft, 1)) * 2);
  if (p->samplesLeft > 0) ModRender(p, pcm.data(), p->samplesLeft);
  ModRender(p, pcm.data(), 1);
}

// A value of the player after each of the next `ticks` ticks.
inline std::vector<int> Track(ModPlayer* p, int ticks, const std::function<int(const ModPlayer&)>& value) {
  std::vector<int> values;
  for (int i = 0; i < ticks; ++i) {
    NextTick(p);
    values.push_back(value(*p));
  }
  return values;
}

// A field of one channel after each of the next `ticks` ticks.
inline std::vector<int> Track(ModPlayer* p, int ticks, int ModChannel::*field, int channel = 0) {
  return Track(p, ticks, [&](const ModPlayer& player) { return player.channel[channel].*field; });
}

}  // namespace qorve::test
