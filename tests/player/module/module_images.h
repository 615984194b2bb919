// Hand-built XM and MOD module images for the engine tests: a small
// description in, the bytes of the file out.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
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
  std::vector<std::array<int, 2>> volumeEnvelope;  // tick position, value
  int volumeType = 0;
  int volumeSustain = 0, volumeLoopStart = 0, volumeLoopEnd = 0;
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
    for (int n = 0; n < 96; ++n) out.push_back(0);
    for (int i = 0; i < 12; ++i) {
      const bool has = i < static_cast<int>(instrument.volumeEnvelope.size());
      Put16(out, has ? instrument.volumeEnvelope[i][0] : 0);
      Put16(out, has ? instrument.volumeEnvelope[i][1] : 0);
    }
    for (int i = 0; i < 12; ++i) Put32(out, 0);
    out.push_back(static_cast<uint8_t>(instrument.volumeEnvelope.size()));
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(instrument.volumeSustain));
    out.push_back(static_cast<uint8_t>(instrument.volumeLoopStart));
    out.push_back(static_cast<uint8_t>(instrument.volumeLoopEnd));
    out.push_back(0);
    out.push_back(0);
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(instrument.volumeType));
    out.push_back(0);
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
  std::vector<int8_t> data;
  int finetune = 0;  // signed nibble
  int volume = 64;
  int loopStartWords = 0, loopLengthWords = 1;
};

struct ModSong {
  std::string signature = "M.K.";
  int channels = 4;
  int sampleHeaders = 31;
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
  // The signature lies at 1080 in the 31-sample layout, after the orders in
  // the 15-sample one.
  PutText(out, song.signature, 4);
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
  return out;
}

}  // namespace qorve::test
