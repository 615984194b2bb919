// The module loaders: XM and MOD images in memory into the ModPlayer model.
// Every read is checked against the image size first; any failed check
// releases what was built and leaves the format 0.
#include "player/module/mod_player.h"
#include "player/module/mod_tables.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qorve {
namespace {

constexpr int kFadeTail = 256;  // samples written after an unlooped sample
constexpr int kXmSampleHeaderBytes = 40;
constexpr int kXmInstrumentBaseBytes = 29;
constexpr int kXmInstrumentFullBytes = 243;
constexpr int kMaxEnvelopePosition = kModEnvelopeTicks - 1;
// The most rows an XM pattern has. The row count is a 16-bit word, and every
// pattern's cells are allocated whole, so beyond this a few bytes of header
// could ask for gigabytes (65535 rows × 64 channels × 256 patterns).
constexpr int kXmMaxRows = 256;

// A bounds-checked little or big-endian view of the image.
class Image {
 public:
  Image(const uint8_t* data, int64_t size) : data_(data), size_(size < 0 ? 0 : size) {}
  int64_t size() const { return size_; }
  // True when `count` bytes from `offset` lie inside the image.
  bool Has(int64_t offset, int64_t count) const {
    return offset >= 0 && count >= 0 && offset <= size_ && count <= size_ - offset;
  }
  const uint8_t* At(int64_t offset) const { return data_ + offset; }
  int Byte(int64_t offset) const { return data_[offset]; }
  int WordLE(int64_t offset) const { return data_[offset] | data_[offset + 1] << 8; }
  uint32_t DwordLE(int64_t offset) const {
    return static_cast<uint32_t>(WordLE(offset)) | static_cast<uint32_t>(WordLE(offset + 2)) << 16;
  }
  int WordBE(int64_t offset) const { return data_[offset] << 8 | data_[offset + 1]; }

 private:
  const uint8_t* data_;
  int64_t size_;
};

void CopyText(char* field, const uint8_t* bytes, int count) {
  std::memcpy(field, bytes, static_cast<std::size_t>(count));
  field[count] = '\0';
}

ModPattern* NewPattern(int rows, int channels) {
  auto* pattern = new (std::nothrow) ModPattern{};
  if (pattern == nullptr) return nullptr;
  pattern->rows = rows;
  pattern->cells = new (std::nothrow) uint8_t[static_cast<std::size_t>(rows) * channels * kModCellBytes]();
  if (pattern->cells == nullptr) {
    delete pattern;
    return nullptr;
  }
  return pattern;
}

void FreePattern(ModPattern* pattern) {
  if (pattern == nullptr) return;
  delete[] pattern->cells;
  delete pattern;
}

void FreeSample(ModSample* sample) {
  if (sample == nullptr) return;
  delete[] sample->data;
  delete sample;
}

// Sample access by index in the sample's own width.
int ReadSample(const ModSample& sample, int index) {
  if (sample.state & kSample16Bit) {
    int16_t value;
    std::memcpy(&value, sample.data + static_cast<std::size_t>(index) * 2, 2);
    return value;
  }
  return static_cast<int8_t>(sample.data[index]);
}

void WriteSample(ModSample& sample, int index, int value) {
  if (sample.state & kSample16Bit) {
    const auto narrow = static_cast<int16_t>(value);
    std::memcpy(sample.data + static_cast<std::size_t>(index) * 2, &narrow, 2);
  } else {
    sample.data[index] = static_cast<uint8_t>(static_cast<int8_t>(value));
  }
}

// Brings a sample whose length and loop are in samples into the mixer's form:
// a loop ends the sample with the loop-start value repeated after it; an
// unlooped sample gets the decaying fade-out tail. The data block must hold
// length + 256 samples.
void PrepareSampleEnd(ModSample& sample) {
  if ((sample.state & kSampleLooped) && sample.loopLength > 0) {
    sample.length = sample.loopStart + sample.loopLength;
    WriteSample(sample, sample.length, ReadSample(sample, sample.loopStart));
    return;
  }
  sample.state &= ~kSampleLooped;
  sample.loopStart = 0;
  sample.loopLength = 0;
  int v = (sample.length > 0 ? ReadSample(sample, sample.length - 1) : 0) * 4096;
  for (int i = 0; i < kFadeTail; ++i) {
    WriteSample(sample, sample.length + i, v >> 12);
    v -= v >> 6;
  }
  sample.length += kFadeTail - 1;
}

// Fills an instrument's envelope table from its points and turns the point
// indices into tick positions.
void PrepareEnvelope(uint16_t (&points)[kModEnvelopePoints][2], int& count, int& type, int& sustain, int& loopStart,
                     int& loopEnd, uint8_t (&table)[kModEnvelopeTicks], bool limitValues) {
  count = std::min(count, kModEnvelopePoints);
  sustain = std::min(sustain, kModEnvelopePoints - 1);
  loopStart = std::min(loopStart, kModEnvelopePoints - 1);
  loopEnd = std::min(loopEnd, kModEnvelopePoints - 1);
  std::memset(table, 0, sizeof table);
  for (auto& point : points) {
    point[0] = static_cast<uint16_t>(std::min<int>(point[0], kMaxEnvelopePosition));
    if (limitValues) point[1] = static_cast<uint16_t>(std::min<int>(point[1], 255));
  }
  if ((type & kEnvelopeOn) && count >= 2) {
    for (int i = 0; i + 1 < count; ++i) {
      const int x0 = points[i][0], y0 = points[i][1];
      const int x1 = points[i + 1][0], y1 = points[i + 1][1];
      for (int k = 0; k < x1 - x0; ++k) table[x0 + k] = static_cast<uint8_t>(y0 + k * (y1 - y0) / (x1 - x0));
    }
    const int lastX = points[count - 1][0];
    for (int x = lastX; x < kModEnvelopeTicks; ++x) table[x] = static_cast<uint8_t>(points[count - 1][1]);
  }
  sustain = points[sustain][0];
  loopStart = points[loopStart][0];
  loopEnd = points[loopEnd][0];
  if (loopStart == loopEnd) type &= ~kEnvelopeLoop;
}

bool Fail(ModPlayer* player) {
  ModFree(player);
  return false;
}

// Reads the patterns from `offset`; returns the offset after the last, or -1.
int64_t LoadXmPatterns(ModPlayer* player, const Image& image, int64_t offset) {
  for (int p = 0; p < player->patternCount; ++p) {
    if (!image.Has(offset, 9)) return -1;
    const int headerLength = static_cast<int>(image.DwordLE(offset) & 0x7FFFFFFF);
    const int packing = image.Byte(offset + 4);
    const int rows = image.WordLE(offset + 5);
    const int packedSize = image.WordLE(offset + 7);
    if (rows < 1 || rows > kXmMaxRows) return -1;
    const int64_t data = offset + 9;
    if (!image.Has(data, packedSize)) return -1;
    ModPattern* pattern = NewPattern(rows, player->channels);
    if (pattern == nullptr) return -1;
    player->patterns[p] = pattern;
    pattern->headerLength = headerLength;
    pattern->packingType = packing;
    pattern->packedSize = packedSize;

    const uint8_t* in = image.At(data);
    const uint8_t* const end = in + packedSize;
    uint8_t* cell = pattern->cells;
    uint8_t* const cellsEnd = pattern->cells + static_cast<std::size_t>(rows) * player->channels * kModCellBytes;
    while (in < end && cell < cellsEnd) {
      const uint8_t first = *in++;
      if (first & 0x80) {
        for (int field = 0; field < kModCellBytes; ++field) {
          if ((first & (1 << field)) && in < end) cell[field] = *in++;
        }
      } else {
        cell[0] = first;
        for (int field = 1; field < kModCellBytes && in < end; ++field) cell[field] = *in++;
      }
      cell += kModCellBytes;
    }
    offset = data + packedSize;
  }
  return offset;
}

// Reads one instrument with its samples from `offset`; returns the offset of
// the next one, or -1.
int64_t LoadXmInstrument(ModPlayer* player, const Image& image, int index, int64_t offset) {
  if (!image.Has(offset, kXmInstrumentBaseBytes)) return -1;
  auto* instrument = new (std::nothrow) ModInstrument{};
  if (instrument == nullptr) return -1;
  player->instruments[index] = instrument;
  instrument->headerSize = static_cast<int>(image.DwordLE(offset) & 0x7FFFFFFF);
  CopyText(instrument->name, image.At(offset + 4), 22);
  instrument->type = image.Byte(offset + 26);
  instrument->sampleCount = image.WordLE(offset + 27);
  if (instrument->sampleCount > kModSamplesPerInstrument) return -1;
  const int64_t headersStart = offset + instrument->headerSize;
  if (instrument->sampleCount == 0) return headersStart;

  if (!image.Has(offset, kXmInstrumentFullBytes)) return -1;
  instrument->sampleHeaderSize = static_cast<int>(image.DwordLE(offset + 29) & 0x7FFFFFFF);
  std::memcpy(instrument->noteSample, image.At(offset + 33), kModNotes);
  for (int i = 0; i < kModEnvelopePoints; ++i) {
    instrument->volumePoints[i][0] = static_cast<uint16_t>(image.WordLE(offset + 129 + i * 4));
    instrument->volumePoints[i][1] = static_cast<uint16_t>(image.WordLE(offset + 131 + i * 4));
    instrument->panningPoints[i][0] = static_cast<uint16_t>(image.WordLE(offset + 177 + i * 4));
    instrument->panningPoints[i][1] = static_cast<uint16_t>(image.WordLE(offset + 179 + i * 4));
  }
  instrument->volumePointCount = image.Byte(offset + 225);
  instrument->panningPointCount = image.Byte(offset + 226);
  instrument->volumeSustain = image.Byte(offset + 227);
  instrument->volumeLoopStart = image.Byte(offset + 228);
  instrument->volumeLoopEnd = image.Byte(offset + 229);
  instrument->panningSustain = image.Byte(offset + 230);
  instrument->panningLoopStart = image.Byte(offset + 231);
  instrument->panningLoopEnd = image.Byte(offset + 232);
  instrument->volumeType = image.Byte(offset + 233);
  instrument->panningType = image.Byte(offset + 234);
  instrument->vibratoType = image.Byte(offset + 235);
  instrument->vibratoSweep = image.Byte(offset + 236);
  instrument->vibratoDepth = image.Byte(offset + 237);
  instrument->vibratoRate = image.Byte(offset + 238);
  instrument->fadeout = image.WordLE(offset + 239);
  instrument->reserved = image.WordLE(offset + 241);
  PrepareEnvelope(instrument->volumePoints, instrument->volumePointCount, instrument->volumeType,
                  instrument->volumeSustain, instrument->volumeLoopStart, instrument->volumeLoopEnd,
                  instrument->volumeTable, true);
  PrepareEnvelope(instrument->panningPoints, instrument->panningPointCount, instrument->panningType,
                  instrument->panningSustain, instrument->panningLoopStart, instrument->panningLoopEnd,
                  instrument->panningTable, false);

  // Sample headers. Lengths stay in bytes until the data are read.
  ModSample* headers[kModSamplesPerInstrument] = {};
  int64_t header = headersStart;
  for (int s = 0; s < instrument->sampleCount; ++s) {
    if (!image.Has(header, kXmSampleHeaderBytes)) return -1;
    auto* sample = new (std::nothrow) ModSample{};
    if (sample == nullptr) return -1;
    player->samples[index * kModSamplesPerInstrument + s] = sample;
    headers[s] = sample;
    const uint32_t length = image.DwordLE(header);
    uint32_t loopStart = image.DwordLE(header + 4);
    uint32_t loopLength = image.DwordLE(header + 8);
    sample->volume = image.Byte(header + 12);
    sample->finetune = static_cast<int8_t>(image.Byte(header + 13));
    sample->type = image.Byte(header + 14);
    sample->panning = image.Byte(header + 15);
    sample->relativeNote = static_cast<int8_t>(image.Byte(header + 16));
    sample->reserved = image.Byte(header + 17);
    CopyText(sample->name, image.At(header + 18), 22);
    if (loopLength == 0 || length == 0) {
      sample->type &= ~3;
      loopStart = 0;
      loopLength = 0;
    }
    if ((sample->type & 3) && static_cast<uint64_t>(length) < static_cast<uint64_t>(loopStart) + loopLength) {
      return -1;
    }
    // Anything the image cannot hold fails when the data are read; the checks
    // here keep the sizes below in int range.
    if (length > image.size()) return -1;
    sample->length = static_cast<int>(length);
    sample->loopStart = static_cast<int>(loopStart);
    sample->loopLength = static_cast<int>(loopLength);
    header += instrument->sampleHeaderSize;
  }

  // Sample data, in sample order, after the last header.
  int64_t data = headersStart + static_cast<int64_t>(instrument->sampleCount) * instrument->sampleHeaderSize;
  for (int s = 0; s < instrument->sampleCount; ++s) {
    ModSample& sample = *headers[s];
    const int bytes = sample.length;
    if (!image.Has(data, bytes)) return -1;
    const bool wide = sample.type & 0x10;
    const bool pingPong = sample.type & 2;
    const int width = wide ? 2 : 1;
    const int count = bytes / width;
    if (count > 0) {
      const std::size_t block = static_cast<std::size_t>(bytes) + (pingPong ? sample.loopLength : 0) + 512;
      sample.data = new (std::nothrow) uint8_t[block]();
      if (sample.data == nullptr) return -1;
      sample.state = kSampleHasData | ((sample.type & 3) ? kSampleLooped : 0) | (wide ? kSample16Bit : 0);
      // Delta decoding, wrapping in the sample's width.
      int previous = 0;
      for (int i = 0; i < count; ++i) {
        const int delta = wide ? static_cast<int16_t>(image.WordLE(data + i * 2)) : static_cast<int8_t>(image.Byte(data + i));
        previous = wide ? static_cast<int16_t>(previous + delta) : static_cast<int8_t>(previous + delta);
        WriteSample(sample, i, previous);
      }
      sample.length = count;
      sample.loopStart /= width;
      sample.loopLength /= width;
      if (pingPong && sample.loopLength > 0) {
        const int loopEnd = sample.loopStart + sample.loopLength;
        for (int i = 0; i < sample.loopLength; ++i) {
          WriteSample(sample, loopEnd + i, ReadSample(sample, loopEnd - 1 - i));
        }
        sample.loopLength *= 2;
      }
      PrepareSampleEnd(sample);
    } else {
      sample.length = 0;
      sample.loopStart = 0;
      sample.loopLength = 0;
    }
    data += bytes;
  }

  for (int n = 0; n < kModNotes; ++n) {
    const int number = instrument->noteSample[n];
    instrument->samples[n] = number < kModSamplesPerInstrument ? player->samples[index * kModSamplesPerInstrument + number]
                                                                : nullptr;
  }
  return data;
}

}  // namespace

ModPlayer* ModCreate() {
  auto* player = new (std::nothrow) ModPlayer{};
  if (player == nullptr) return nullptr;
  player->format = kModNone;
  player->songLoop = 1;
  player->autoGainOn = 1;
  player->rate = 44100;
  player->masterVolume = 4096;
  player->autoGain = 4096;
  return player;
}

void ModDestroy(ModPlayer* player) {
  if (player == nullptr) return;
  ModFree(player);
  delete player;
}

int ModFree(ModPlayer* player) {
  if (player == nullptr) return 0;
  for (auto& pattern : player->patterns) {
    FreePattern(pattern);
    pattern = nullptr;
  }
  for (auto& instrument : player->instruments) {
    delete instrument;
    instrument = nullptr;
  }
  for (auto& sample : player->samples) {
    FreeSample(sample);
    sample = nullptr;
  }
  // Channels point into the song: forget what they played.
  for (ModChannel& channel : player->channel) {
    channel.instrument = nullptr;
    channel.lastInstrument = nullptr;
    channel.sample = nullptr;
    channel.mixSample = nullptr;
  }
  player->format = kModNone;
  return 1;
}

int ModLoadXM(ModPlayer* player, const uint8_t* bytes, int64_t size) {
  if (player == nullptr || bytes == nullptr) return 0;
  ModFree(player);
  const Image image(bytes, size);
  if (image.size() < 60) return 0;
  std::memcpy(player->signature, image.At(0), 17);
  player->signature[17] = '\0';
  CopyText(player->moduleName, image.At(17), 20);
  player->xmMarker = image.Byte(37);
  CopyText(player->trackerName, image.At(38), 20);
  player->version = image.WordLE(58);
  if (std::memcmp(image.At(0), "Extended Module:", 16) != 0 || player->xmMarker != 0x1A || player->version <= 0x0102 ||
      image.size() - 60 <= 275) {
    return 0;
  }
  const uint32_t headerSize = image.DwordLE(60);
  player->headerSize = static_cast<int>(headerSize & 0x7FFFFFFF);
  player->songLength = image.WordLE(64);
  player->restartPosition = image.WordLE(66);
  player->channels = image.WordLE(68);
  player->patternCount = image.WordLE(70);
  player->instrumentCount = image.WordLE(72);
  player->flags = image.WordLE(74);
  player->initialSpeed = image.WordLE(76);
  player->initialTempo = image.WordLE(78);
  std::memcpy(player->orders, image.At(80), 256);
  if (player->songLength < 1 || player->songLength > 256 || player->channels < 1 || player->channels > kModMaxChannels ||
      player->patternCount < 1 || player->patternCount > kModMaxPatterns || player->instrumentCount < 1 ||
      player->instrumentCount > kModMaxInstruments) {
    return 0;
  }
  int64_t offset = LoadXmPatterns(player, image, 60 + static_cast<int64_t>(headerSize));
  if (offset < 0) return Fail(player);
  for (int i = 0; i < player->instrumentCount; ++i) {
    offset = LoadXmInstrument(player, image, i, offset);
    if (offset < 0) return Fail(player);
  }
  player->format = kModXm;
  return 1;
}

int ModLoadMOD(ModPlayer* player, const uint8_t* bytes, int64_t size) {
  if (player == nullptr || bytes == nullptr) return 0;
  ModFree(player);
  const Image image(bytes, size);
  if (image.size() <= 1083) return 0;
  CopyText(player->moduleName, image.At(0), 20);
  const ModSignature* signature = nullptr;
  for (const ModSignature& candidate : kModSignatures) {
    if (std::memcmp(image.At(1080), candidate.text, 4) == 0) {
      signature = &candidate;
      break;
    }
  }
  if (signature == nullptr) return 0;
  player->channels = signature->channels;
  const int sampleCount = signature->samples;

  for (int s = 0; s < sampleCount; ++s) {
    const int64_t header = 20 + 30 * s;
    auto* sample = new (std::nothrow) ModSample{};
    auto* instrument = new (std::nothrow) ModInstrument{};
    player->samples[s * kModSamplesPerInstrument] = sample;
    player->instruments[s] = instrument;
    if (sample == nullptr || instrument == nullptr) return Fail(player);
    CopyText(sample->name, image.At(header), 22);
    sample->length = image.WordBE(header + 22) * 2;
    const int nibble = image.Byte(header + 24) & 0x0F;
    sample->finetune = (nibble >= 8 ? nibble - 16 : nibble) * 16;
    // Above 64 the set-volume command made from it would be another command.
    sample->volume = std::min(image.Byte(header + 25), 64);
    sample->loopStart = image.WordBE(header + 26) * 2;
    sample->loopLength = image.WordBE(header + 28) * 2;
    sample->panning = 128;
    if (sample->loopLength > 2 && sample->length != 0) {
      if (sample->length < sample->loopStart + sample->loopLength) return Fail(player);
      sample->state = kSampleLooped;
      sample->type = 1;
    } else {
      sample->loopStart = 0;
      sample->loopLength = 0;
    }
    CopyText(instrument->name, image.At(header), 22);
    instrument->sampleCount = 1;
    for (int n = 0; n < kModNotes; ++n) instrument->samples[n] = sample;
  }
  player->instrumentCount = sampleCount;

  const int64_t songLengthAt = 20 + 30 * static_cast<int64_t>(sampleCount);
  player->songLength = image.Byte(songLengthAt);
  std::memset(player->orders, 0, sizeof player->orders);
  std::memcpy(player->orders, image.At(songLengthAt + 2), 128);
  int highest = 0;
  for (int i = 0; i < 128; ++i) highest = std::max<int>(highest, player->orders[i]);
  player->patternCount = highest + 1;
  int64_t offset = songLengthAt + 134;
  const int64_t patternBytes = static_cast<int64_t>(player->channels) * 256;
  if (!image.Has(offset, player->patternCount * patternBytes)) return Fail(player);
  for (int p = 0; p < player->patternCount; ++p) {
    ModPattern* pattern = NewPattern(64, player->channels);
    if (pattern == nullptr) return Fail(player);
    player->patterns[p] = pattern;
    for (int i = 0; i < 64 * player->channels; ++i) {
      const uint8_t* note = image.At(offset + static_cast<int64_t>(i) * 4);
      const int number = (note[0] & 0xF0) | (note[2] >> 4);
      const int period = ((note[0] & 0x0F) << 8) | note[1];
      uint8_t* cell = pattern->cells + static_cast<std::size_t>(i) * kModCellBytes;
      if (period != 0) {
        int value = 24;
        for (int k = 0; k <= 82; ++k) {
          if (period >= kModPeriodTable[k] + ((kModPeriodTable[k + 1] - kModPeriodTable[k]) >> 1)) {
            value = k + 25;
            break;
          }
        }
        cell[0] = static_cast<uint8_t>(value);
      }
      cell[1] = static_cast<uint8_t>(number);
      const ModSample* sample =
          number != 0 && number <= sampleCount ? player->samples[(number - 1) * kModSamplesPerInstrument] : nullptr;
      cell[2] = sample != nullptr ? static_cast<uint8_t>(sample->volume + 16) : 0;
      cell[3] = note[2] & 0x0F;
      cell[4] = note[3];
    }
    offset += patternBytes;
  }

  for (int s = 0; s < sampleCount; ++s) {
    ModSample& sample = *player->samples[s * kModSamplesPerInstrument];
    if (!image.Has(offset, sample.length)) return Fail(player);
    if (sample.length > 0) {
      sample.data = new (std::nothrow) uint8_t[static_cast<std::size_t>(sample.length) + 256]();
      if (sample.data == nullptr) return Fail(player);
      std::memcpy(sample.data, image.At(offset), static_cast<std::size_t>(sample.length));
      sample.state |= kSampleHasData;
      offset += sample.length;
      PrepareSampleEnd(sample);
    }
  }

  player->signature[0] = '\0';
  player->trackerName[0] = '\0';
  player->xmMarker = 0;
  player->version = 0;
  player->headerSize = 0;
  player->restartPosition = 0;
  player->flags = 0;
  player->initialSpeed = 6;
  player->initialTempo = 125;
  player->format = kModMod;
  return 1;
}

int ModLoad(ModPlayer* player, const uint8_t* image, int64_t size) {
  if (player == nullptr) return 0;
  ModFree(player);
  int format = kModNone;
  if (ModLoadXM(player, image, size)) {
    format = kModXm;
  } else if (ModLoadMOD(player, image, size)) {
    format = kModMod;
  }
  player->format = format;
  if (format == kModNone) return 0;
  ModReset(player);
  return 1;
}

}  // namespace qorve
