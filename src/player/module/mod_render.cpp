// The module sequencer: song position, rows, ticks, the volume column, every
// effect with its memory, and the panning, volume and period stages that give
// the mixer each channel's levels and step. Integer fixed point throughout;
// only the step (period to frequency) uses floating point, once per channel
// and tick.
#include "player/module/mod_player.h"
#include "player/module/mod_tables.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace qorve {
namespace {

constexpr int kUnit = 4096;  // one volume step, panning step or period unit
constexpr int kMaxVolume = 64 * kUnit;
constexpr int kMaxPanning = 255 * kUnit;
constexpr int kMaxFinalPanning = 0x100000;
// Vibrato and tremolo positions count 64 waveform entries of 4096; only that
// much of them matters, so they wrap there (and never overflow).
constexpr int kWavePositionMask = 64 * 4096 - 1;
// Far above any note's period: slides on a channel without a sample stop here.
constexpr int kPeriodCeiling = 1 << 28;
constexpr int kKeyOffNote = 96;
constexpr int kHighestNote = 118;
constexpr int kDefaultRate = 44100;
constexpr int kDefaultSpeed = 6;
constexpr int kDefaultTempo = 125;
constexpr uint32_t kRandomSeed = 0x2545F491u;
constexpr double kAmigaClockMod = 3546894.6;
constexpr double kAmigaClockXm = 3579364.0;
// A step beyond this (a period driven to 0 by vibrato) would skip whole
// samples per frame anyway; the cap keeps the position arithmetic sane.
constexpr double kMaxStep = 0x7FFFFFFF;

// Effect codes: effect × 16, plus the parameter's high nibble for E and X.
enum EffectCode : int {
  kArpeggio = 0x00,
  kPortamentoUp = 0x10,
  kPortamentoDown = 0x20,
  kTonePortamento = 0x30,
  kVibrato = 0x40,
  kTonePortamentoVolumeSlide = 0x50,
  kVibratoVolumeSlide = 0x60,
  kTremolo = 0x70,
  kSetPanning = 0x80,
  kSampleOffset = 0x90,
  kVolumeSlide = 0xA0,
  kPositionJump = 0xB0,
  kSetVolume = 0xC0,
  kPatternBreak = 0xD0,
  kFinePortamentoUp = 0xE1,
  kFinePortamentoDown = 0xE2,
  kGlissando = 0xE3,
  kVibratoWaveform = 0xE4,
  kSetFinetune = 0xE5,
  kPatternLoop = 0xE6,
  kTremoloWaveform = 0xE7,
  kCoarsePanning = 0xE8,
  kRetrigger = 0xE9,
  kFineVolumeUp = 0xEA,
  kFineVolumeDown = 0xEB,
  kNoteCut = 0xEC,
  kNoteDelay = 0xED,
  kPatternDelay = 0xEE,
  kSpeedTempo = 0xF0,
  kSetGlobalVolume = 0x100,
  kGlobalVolumeSlide = 0x110,
  kKeyOff = 0x140,
  kSetEnvelopePosition = 0x150,
  kPanningSlide = 0x190,
  kMultiRetrigger = 0x1B0,
  kTremor = 0x1D0,
  kExtraFinePortamentoUp = 0x211,
  kExtraFinePortamentoDown = 0x212,
  kPanbrelloWaveform = 0x215,
  kFinePatternDelay = 0x216,
  kSoundControl = 0x219,
  kHighOffset = 0x21A,
  kPanbrello = 0x220,
};

// What runs in the stages of this tick, decided by the volume column and the
// effect.
struct TickFlags {
  bool vibrato = false;
  bool tremolo = false;
  bool panbrello = false;
  bool arpeggio = false;
};

int Clamp(int value, int low, int high) { return std::min(std::max(value, low), high); }

bool IsXm(const ModPlayer* p) { return p->format == kModXm; }

// rate × 5 ÷ (tempo × 2), a tick of 2.5 ÷ tempo seconds; at least one frame,
// so that no request can spin without output. Tempo 1 and 2 (possible only in
// a song's header) give ticks longer than a second.
int SamplesPerTick(const ModPlayer* p) {
  const int64_t samples = static_cast<int64_t>(p->rate) * 5 / (static_cast<int64_t>(p->tempo) * 2);
  return static_cast<int>(std::max<int64_t>(samples, 1));
}

// A pseudo-random value in 0 … 0x7FFF, reproducible from the seed of the last
// reset (used for auto-vibrato type 4).
int NextRandom(ModPlayer* p) {
  p->randomState = p->randomState * 1103515245u + 12345u;
  return static_cast<int>((p->randomState >> 16) & 0x7FFF);
}

const ModPattern* CurrentPattern(const ModPlayer* p) {
  if (p->order < 0 || p->order > 255 || p->order >= p->songLength) return nullptr;
  const int number = p->orders[p->order];
  if (number == 0xFF) return nullptr;
  return p->patterns[number];
}

ModSample* SampleForNote(const ModInstrument* instrument, int note) {
  if (instrument == nullptr || note < 0 || note >= kModNotes) return nullptr;
  return instrument->samples[note];
}

void ClearPatternLoops(ModPlayer* p) {
  for (ModChannel& c : p->channel) {
    c.patternLoopCount = 0;
    c.patternLoopRow = 0;
  }
}

void ResetInstrumentState(ModChannel& c) {
  c.volumeEnvelopePosition = 0;
  c.panningEnvelopePosition = 0;
  c.autoVibratoPosition = 0;
  c.autoVibratoAmplitude = 0;
  c.retriggerCounter = 0;
}

// The row step of a channel on the tick that takes its cell.
void TakeCell(ModPlayer* p, ModChannel& c, int note, int instrumentIndex, int volumeColumn, int code, int parameter) {
  if (instrumentIndex >= p->instrumentCount) instrumentIndex = -1;
  if (note > kKeyOffNote) note = -1;
  ModInstrument* given = instrumentIndex >= 0 ? p->instruments[instrumentIndex] : nullptr;
  if (given == nullptr) instrumentIndex = -1;
  int rowPeriod = 0;

  if (note == kKeyOffNote) {
    if (given != nullptr) c.instrument = given;
    c.keyOff = 1;
  } else if (note < 0) {
    if (given != nullptr) {
      c.keyOff = 0;
      c.instrument = given;
      if (c.sample != nullptr) {
        c.volume = c.sample->volume * kUnit;
        if (IsXm(p)) c.panning = c.sample->panning * kUnit;
      }
      ResetInstrumentState(c);
    }
  } else {
    const bool portamento = code == kTonePortamento || code == kTonePortamentoVolumeSlide || volumeColumn >= 0xF0;
    bool triggers = !portamento;
    if (given != nullptr) {
      c.keyOff = 0;
      c.instrument = given;
      ResetInstrumentState(c);
      if (given != c.lastInstrument) triggers = true;
    }
    c.lastInstrument = c.instrument;
    if (c.instrument != nullptr) c.sample = SampleForNote(c.instrument, note);
    if (c.sample == nullptr) {
      c.volume = 0;
    } else {
      if (given != nullptr) {
        c.volume = c.sample->volume * kUnit;
        if (IsXm(p)) c.panning = c.sample->panning * kUnit;
      }
      c.finetune = c.sample->finetune;
      c.realNote = note + c.sample->relativeNote;
      const int period = ModNotePeriod(p, c.realNote, c.finetune);
      c.basePeriod = period;
      c.tonePortamentoTarget = period;
      rowPeriod = period;
      if (triggers) {
        c.triggeredNote = c.realNote;
        c.samplePosition = 0;
        c.period = period;
        c.periodLow = ModNotePeriod(p, kHighestNote, 0);
        c.periodHigh = ModNotePeriod(p, 0, 0);
        if (!(c.vibratoWaveform & 4)) c.vibratoPosition = 0;
        if (!(c.tremoloWaveform & 4)) c.tremoloPosition = 0;
      }
    }
  }
  c.note = note;
  c.instrumentIndex = instrumentIndex;
  c.volumeColumn = volumeColumn;
  c.effectCode = code;
  c.effectParameter = parameter;
  c.rowPeriod = rowPeriod;
}

void TonePortamento(ModChannel& c, int scale) {
  const int amount = c.tonePortamentoSpeed * scale;
  if (c.period < c.tonePortamentoTarget) {
    c.period = std::min(c.period + amount, c.tonePortamentoTarget);
  } else if (c.period > c.tonePortamentoTarget) {
    c.period = std::max(c.period - amount, c.tonePortamentoTarget);
  }
}

void VolumeColumn(ModChannel& c, bool first, int scale, TickFlags& flags) {
  const int command = c.volumeColumn & 0xF0;
  int low = c.volumeColumn & 0x0F;
  switch (command) {
    case 0x60: case 0x70: case 0x80: case 0x90: case 0xA0: case 0xB0: case 0xD0: case 0xE0:
      if (low == 0) {
        low = c.volumeColumnMemory;
      } else {
        c.volumeColumnMemory = low;
      }
      break;
    default:
      break;
  }
  if (c.volumeColumn >= 0x10 && c.volumeColumn <= 0x5F) {
    if (first) c.volume = (c.volumeColumn - 0x10) * kUnit;
  } else {
    switch (command) {
      case 0x60:
      case 0x70:
        if (first) c.volumeSlideMemory = command == 0x60 ? -low : low;
        c.volume += c.volumeSlideMemory * scale;
        break;
      case 0x80:
      case 0x90:
        if (first) {
          c.fineVolumeMemory = command == 0x80 ? -low : low;
          c.volume += c.fineVolumeMemory * kUnit;
        }
        break;
      case 0xA0:
        if (first) c.vibratoSpeed = low;
        flags.vibrato = true;
        break;
      case 0xB0:
        if (first) c.vibratoDepth = low;
        flags.vibrato = true;
        break;
      case 0xC0:
        if (first) c.panning = low * 17 * kUnit;
        break;
      case 0xD0:
      case 0xE0:
        if (first) c.panningSlideMemory = command == 0xD0 ? -4 * low : 4 * low;
        c.panning += c.panningSlideMemory * scale;
        break;
      case 0xF0:
        if (first && low != 0) c.tonePortamentoSpeed = low * 64;
        TonePortamento(c, scale);
        break;
      default:
        break;
    }
  }
  c.volume = Clamp(c.volume, 0, kMaxVolume);
  c.panning = Clamp(c.panning, 0, kMaxPanning);
}

void LoadVolumeSlideMemory(const ModPlayer* p, ModChannel& c, int parameter) {
  if (!IsXm(p) || parameter != 0) {
    const int x = parameter >> 4, y = parameter & 0x0F;
    c.volumeSlideMemory = x != 0 ? x : -y;
  }
}

// Retrigger (E9x): the sample starts again from the base period.
void Retrigger(ModPlayer* p, ModChannel& c) {
  if (c.instrumentIndex >= 0 && p->instruments[c.instrumentIndex] != nullptr) {
    c.instrument = p->instruments[c.instrumentIndex];
    c.lastInstrument = c.instrument;
    // The instrument's sample for the row's note (none when it maps that note
    // to none: the channel stays silent); a row without a note, or with a key
    // off, has no entry in the map and keeps the sample playing.
    if (c.note >= 0 && c.note < kModNotes) c.sample = SampleForNote(c.instrument, c.note);
  } else {
    c.instrument = c.lastInstrument;
  }
  c.period = c.basePeriod;
  c.samplePosition = 0;
  ResetInstrumentState(c);
}

void Effect(ModPlayer* p, ModChannel& c, bool first, int scale, TickFlags& flags) {
  const int code = c.effectCode;
  const int xx = c.effectParameter;
  const int x = xx >> 4, y = xx & 0x0F;
  const bool mod = !IsXm(p);
  if (code != kTremor) c.tremorMute = 0;

  switch (code) {
    case kArpeggio:
      if (xx == 0) break;
      if (first) {
        c.arpeggioPeriods[0] = ModNotePeriod(p, c.triggeredNote + y, c.finetune);
        c.arpeggioPeriods[1] = ModNotePeriod(p, c.triggeredNote + x, c.finetune);
        c.arpeggioStep = 0;
      }
      flags.arpeggio = true;
      break;
    case kPortamentoUp:
    case kPortamentoDown:
      if (first && (mod || xx != 0)) c.portamentoMemory = xx * 4;
      c.period += (code == kPortamentoUp ? -1 : 1) * c.portamentoMemory * scale;
      break;
    case kTonePortamento:
      if (first && xx != 0) c.tonePortamentoSpeed = xx * 4;
      TonePortamento(c, scale);
      break;
    case kVibrato:
      if (first) {
        if (y != 0) c.vibratoDepth = y;
        if (x != 0) c.vibratoSpeed = x;
      }
      flags.vibrato = true;
      break;
    case kTonePortamentoVolumeSlide:
      if (first) LoadVolumeSlideMemory(p, c, xx);
      TonePortamento(c, scale);
      c.volume += c.volumeSlideMemory * scale;
      break;
    case kVibratoVolumeSlide:
      if (first) LoadVolumeSlideMemory(p, c, xx);
      flags.vibrato = true;
      c.volume += c.volumeSlideMemory * scale;
      break;
    case kTremolo:
      if (first) {
        if (y != 0) c.tremoloDepth = y;
        if (x != 0) c.tremoloSpeed = x;
      }
      flags.tremolo = true;
      break;
    case kSetPanning:
      if (!first) break;
      c.surround = 0;
      if (mod) {
        if (xx == 0xA4) {
          c.panning = 0x7F800;
          c.surround = 1;
        } else if (xx <= 0x80) {
          c.panning = xx * 0x1FE0;
        }
      } else {
        c.panning = xx * kUnit;
      }
      break;
    case kSampleOffset:
      if (!first || c.rowPeriod == 0 || c.sample == nullptr) break;
      {
        if (xx != 0) c.sampleOffsetMemory = xx;
        int64_t offset = (static_cast<int64_t>(c.highOffset) * 256 + c.sampleOffsetMemory) * 256;
        const ModSample& s = *c.sample;
        if (offset >= s.length && (s.state & kSampleLooped) && s.loopLength > 0) {
          offset = (offset - s.loopStart) % s.loopLength + s.loopStart;
        }
        c.samplePosition = static_cast<uint64_t>(offset) << 12;
      }
      break;
    case kVolumeSlide:
      if (first) LoadVolumeSlideMemory(p, c, xx);
      c.volume += c.volumeSlideMemory * scale;
      break;
    case kPositionJump:
      if (first && (p->songLoop || xx >= p->order)) p->pendingJump = xx;
      break;
    case kSetVolume:
      if (first) c.volume = xx * kUnit;
      break;
    case kPatternBreak:
      if (first) {
        p->pendingBreak = 10 * x + y;
        p->pendingJump = p->order + 1;
      }
      break;
    case kFinePortamentoUp:
    case kFinePortamentoDown:
      if (!first) break;
      if (mod || xx != 0) c.finePortamentoMemory = xx * 4;
      c.period += (code == kFinePortamentoUp ? -1 : 1) * c.finePortamentoMemory * kUnit;
      break;
    case kGlissando:
      if (first) c.glissando = xx != 0;
      break;
    case kVibratoWaveform:
      if (first) c.vibratoWaveform = xx;
      break;
    case kSetFinetune:
      if (first && mod) {
        c.finetune = (xx >= 8 ? xx - 16 : xx) * 16;
        c.basePeriod = ModNotePeriod(p, c.triggeredNote, c.finetune);
        c.period = c.basePeriod;
      }
      break;
    case kPatternLoop:
      if (!first) break;
      if (xx == 0) {
        if (c.patternLoopRow != p->row) {
          c.patternLoopRow = p->row;
          c.patternLoopCount = 0;
        }
      } else if (c.patternLoopCount < xx) {
        c.patternLoopCount += 1;
        p->pendingBreak = c.patternLoopRow;
      }
      break;
    case kTremoloWaveform:
      if (first) c.tremoloWaveform = xx;
      break;
    case kCoarsePanning:
      if (first) c.panning = xx * 17 * kUnit;
      break;
    case kRetrigger:
      if (!first && p->tick % std::max(xx, 1) == 0) Retrigger(p, c);
      break;
    case kFineVolumeUp:
    case kFineVolumeDown:
      if (!first) break;
      if (mod || xx != 0) c.fineVolumeMemory = xx;
      c.volume += (code == kFineVolumeUp ? 1 : -1) * c.fineVolumeMemory * kUnit;
      break;
    case kNoteCut:
      if (p->tick == xx) c.volume = 0;
      break;
    case kPatternDelay:
      if (first) p->patternDelay = xx;
      break;
    case kSpeedTempo:
      if (!first || xx == 0) break;
      if (xx <= (mod ? 32 : 31)) {
        p->speed = std::max(xx, 1);
      } else {
        p->tempo = xx;
      }
      break;
    case kSetGlobalVolume:
      if (first) p->globalVolume = Clamp(xx * kUnit, 0, kMaxVolume);
      break;
    case kGlobalVolumeSlide:
      if (first && xx != 0) p->globalVolumeSlide = x != 0 ? x : -y;
      p->globalVolume = Clamp(p->globalVolume + p->globalVolumeSlide * scale, 0, kMaxVolume);
      break;
    case kKeyOff:
      if (first) c.keyOff = 1;
      break;
    case kSetEnvelopePosition:
      if (first) {
        c.volumeEnvelopePosition = xx;
        c.panningEnvelopePosition = xx;
      }
      break;
    case kPanningSlide:
      if (first && xx != 0) c.panningSlideMemory = y != 0 ? -4 * y : 4 * x;
      c.panning += c.panningSlideMemory * scale;
      break;
    case kMultiRetrigger:
      if (first) {
        if (y != 0) c.retriggerInterval = y;
        if (x != 0) c.retriggerVolumeChange = x;
      }
      if (c.retriggerInterval != 0 && c.retriggerCounter >= c.retriggerInterval) {
        c.samplePosition = 0;
        c.retriggerCounter = 0;
        const int change = c.retriggerVolumeChange & 0x0F;
        const int multiplier = kModRetriggerMultiplier[change];
        if (multiplier != 0) {
          c.volume = std::min(static_cast<int>(static_cast<int64_t>(c.volume) * multiplier / 16), kMaxVolume);
        } else {
          c.volume = Clamp(c.volume + kModRetriggerAdd[change] * kUnit, 0, kMaxVolume);
        }
      }
      c.retriggerCounter += 1;
      break;
    case kTremor:
      if (first) {
        if (xx != 0) {
          c.tremorOn = x + 1;
          c.tremorOff = y + 1;
          c.tremorCounter = 0;
        }
      } else {
        c.tremorMute = c.tremorCounter >= c.tremorOn;
        c.tremorCounter += 1;
        if (c.tremorCounter >= c.tremorOn + c.tremorOff) c.tremorCounter = 0;
      }
      break;
    case kExtraFinePortamentoUp:
    case kExtraFinePortamentoDown:
      if (!first) break;
      if (xx != 0) c.extraFinePortamentoMemory = xx;
      c.period += (code == kExtraFinePortamentoUp ? -1 : 1) * c.extraFinePortamentoMemory * kUnit;
      break;
    case kPanbrelloWaveform:
      c.panbrelloWaveform = xx;
      break;
    case kFinePatternDelay:
      if (first) p->finePatternDelay = xx;
      break;
    case kSoundControl:
      if (xx == 0) {
        c.surround = 0;
      } else if (xx == 1) {
        c.panning = 0x7F800;
        c.surround = 1;
      }
      break;
    case kHighOffset:
      c.highOffset = xx;
      break;
    case kPanbrello:
      if (first) {
        if (y != 0) c.panbrelloDepth = y;
        if (x != 0) c.panbrelloSpeed = x;
      }
      flags.panbrello = true;
      break;
    default:
      break;
  }
  c.volume = Clamp(c.volume, 0, kMaxVolume);
  c.panning = Clamp(c.panning, 0, kMaxPanning);
  c.period = Clamp(c.period, 0, kPeriodCeiling);
}

// Advances an envelope position by one tick: held at the sustain point while
// the key is down, wrapped from the loop end to the loop start.
void AdvanceEnvelope(int& position, int type, int sustain, int loopStart, int loopEnd, int keyOff) {
  if ((type & kEnvelopeSustain) && keyOff == 0 && position == sustain) return;
  position += 1;
  if ((type & kEnvelopeLoop) && position == loopEnd) position = loopStart;
}

void PanningStage(ModChannel& c, const TickFlags& flags) {
  int p = static_cast<int>(static_cast<int64_t>(c.panning) * 256 / 255);
  if (flags.panbrello) {
    const int row = kModEffectWaveformRow[c.panbrelloWaveform & 3];
    const int wave = kModWaveforms[row][((c.panbrelloPosition + 16) / 4) & 63];
    p += ((wave * c.panbrelloDepth + 2) >> 3) * kUnit;
    c.panbrelloPosition = (c.panbrelloPosition + c.panbrelloSpeed) & 255;
    p = Clamp(p, 0, kMaxFinalPanning);
  }
  const ModInstrument& ins = *c.instrument;
  if (ins.panningType & kEnvelopeOn) {
    c.panningEnvelopePosition = Clamp(c.panningEnvelopePosition, 0, kModEnvelopeTicks - 1);
    const int e = ins.panningTable[c.panningEnvelopePosition];
    if (p < 0x80000) {
      p += (e - 32) * p / 32;
    } else {
      p += (kMaxFinalPanning - p) * (e - 32) / 32;
    }
    p = Clamp(p, 0, kMaxFinalPanning);
    AdvanceEnvelope(c.panningEnvelopePosition, ins.panningType, ins.panningSustain, ins.panningLoopStart,
                    ins.panningLoopEnd, c.keyOff);
  }
  c.finalPanning = p;
}

void VolumeStage(ModPlayer* pl, ModChannel& c, const TickFlags& flags, int scale) {
  int v = c.volume;
  if (flags.tremolo) {
    const int row = kModEffectWaveformRow[c.tremoloWaveform & 3];
    const int wave = kModWaveforms[row][(c.tremoloPosition / kUnit) & 63];
    v += wave * c.tremoloDepth * (IsXm(pl) ? 128 : 64);
    c.tremoloPosition = (c.tremoloPosition + c.tremoloSpeed * scale) & kWavePositionMask;
    v = Clamp(v, 0, kMaxVolume);
  }
  if (c.tremorMute) v = 0;
  const ModInstrument& ins = *c.instrument;
  const bool envelope = ins.volumeType & kEnvelopeOn;
  if (c.keyOff) {
    if (!envelope) {
      c.volume = 0;
      v = 0;
      c.keyOff = 0;
    } else {
      c.fadeoutVolume = std::max(c.fadeoutVolume - ins.fadeout * 2, 0);
    }
  } else {
    c.fadeoutVolume = 0x10000;
  }
  v = (c.fadeoutVolume >> 8) * v >> 8;
  if (envelope) {
    c.volumeEnvelopePosition = Clamp(c.volumeEnvelopePosition, 0, kModEnvelopeTicks - 1);
    v = ins.volumeTable[c.volumeEnvelopePosition] * v >> 6;
    AdvanceEnvelope(c.volumeEnvelopePosition, ins.volumeType, ins.volumeSustain, ins.volumeLoopStart, ins.volumeLoopEnd,
                    c.keyOff);
    v = Clamp(v, 0, kMaxVolume);
  }
  const int finalVolume = (((pl->globalVolume >> 6) * (v >> 6)) >> 12) * 64;
  c.finalVolume = finalVolume;
  c.rightLevel = (c.finalPanning >> 12) * finalVolume >> 8;
  c.leftLevel = finalVolume - c.rightLevel;
  if (c.surround) c.leftLevel = -c.leftLevel;
}

void PeriodStage(ModPlayer* p, ModChannel& c, const TickFlags& flags, int scale) {
  c.period = Clamp(c.period, c.periodLow, c.periodHigh);
  int period = c.period;
  if (flags.arpeggio) {
    if (c.arpeggioStep == 1) period = c.arpeggioPeriods[0];
    if (c.arpeggioStep == 2) period = c.arpeggioPeriods[1];
    c.arpeggioStep = (c.arpeggioStep + 1) % 3;
  }
  if (c.glissando) period = ModNotePeriod(p, ModPeriodNote(p, period, c.finetune), c.finetune);
  if (flags.vibrato) {
    const int row = kModEffectWaveformRow[c.vibratoWaveform & 3];
    period += kModWaveforms[row][(c.vibratoPosition / kUnit) & 63] * 256 * c.vibratoDepth;
    c.vibratoPosition = (c.vibratoPosition + c.vibratoSpeed * scale) & kWavePositionMask;
  }
  const ModInstrument& ins = *c.instrument;
  if (ins.vibratoDepth != 0 && ins.vibratoRate != 0) {
    const int full = ins.vibratoDepth * kUnit;
    if (ins.vibratoSweep == 0) {
      c.autoVibratoAmplitude = full;
    } else if (c.keyOff == 0) {
      c.autoVibratoAmplitude = std::min(c.autoVibratoAmplitude + full / ins.vibratoSweep, full);
    }
    c.autoVibratoPosition = (c.autoVibratoPosition + ins.vibratoRate) & 255;
    const int type = ins.vibratoType > 4 ? 0 : ins.vibratoType;
    const int wave = type == 4 ? (NextRandom(p) & 0x1FF) - 256
                               : kModWaveforms[kModAutoVibratoRow[type]][(c.autoVibratoPosition / 4) & 63];
    period += static_cast<int>(static_cast<int64_t>(wave) * c.autoVibratoAmplitude >> 7);
  }
  c.finalPeriod = period;
}

void ComputeStep(const ModPlayer* p, ModChannel& c) {
  if (c.finalPeriod == 0 || p->rate <= 0) return;
  double frequency;
  if (p->flags & 1) {
    frequency = 8363.0 * std::exp2((4608.0 - c.finalPeriod / 4096.0) / 768.0);
  } else {
    const double period = c.finalPeriod / 4096.0;
    if (period <= 0) {
      c.step = static_cast<uint64_t>(kMaxStep);
      return;
    }
    frequency = 4.0 * (p->format == kModMod ? kAmigaClockMod : kAmigaClockXm) / period;
  }
  const double step = frequency * 4096.0 / p->rate;
  c.step = static_cast<uint64_t>(std::clamp(step, 0.0, kMaxStep));
}

void ProcessChannel(ModPlayer* p, int index, const ModPattern& pattern, int scale) {
  ModChannel& c = p->channel[index];
  const uint8_t* cell = pattern.cells + (static_cast<std::size_t>(p->row) * p->channels + index) * kModCellBytes;
  int code = cell[3] * 16;
  int parameter = cell[4];
  if (cell[3] == 14 || cell[3] == 33) {
    code += parameter >> 4;
    parameter &= 0x0F;
  }
  const int cellTick = code == kNoteDelay ? parameter : 0;
  if (p->tick < cellTick) return;
  const bool first = p->tick == cellTick;
  if (first) TakeCell(p, c, cell[0] - 1, cell[1] - 1, cell[2], code, parameter);

  TickFlags flags;
  VolumeColumn(c, first, scale, flags);
  Effect(p, c, first, scale, flags);
  if (c.instrument == nullptr || c.sample == nullptr) return;
  PanningStage(c, flags);
  VolumeStage(p, c, flags, scale);
  PeriodStage(p, c, flags, scale);
  ComputeStep(p, c);
}

void ProcessTick(ModPlayer* p) {
  const ModPattern* pattern = CurrentPattern(p);
  if (pattern == nullptr || pattern->cells == nullptr || p->row < 0 || p->row >= pattern->rows) return;
  const int scale = kUnit * (p->speed - 1) / p->speed;
  for (int i = 0; i < p->channels; ++i) ProcessChannel(p, i, *pattern, scale);
}

bool OrderEnds(const ModPlayer* p) {
  return p->order < 0 || p->order > 255 || p->order >= p->songLength || p->orders[p->order] == 0xFF;
}

// Moves on to the next row (after pending jumps and breaks); returns true when
// the song has ended.
bool BeginRow(ModPlayer* p) {
  p->tick = 0;
  p->patternDelay = 0;
  p->finePatternDelay = 0;
  if (p->pendingJump >= 0) {
    // Back to this order position at a row not after the jumping one: from
    // here the same rows repeat for ever. A break to a later row of the same
    // position only skips ahead.
    const int targetRow = p->pendingBreak >= 0 ? p->pendingBreak : 0;
    if (p->pendingJump == p->order && targetRow <= p->row) p->selfJumps += 1;
    p->order = p->pendingJump;
    p->pendingJump = -1;
    p->row = -1;
    ClearPatternLoops(p);
  }
  if (p->pendingBreak >= 0) {
    p->row = p->pendingBreak;
    p->pendingBreak = -1;
  } else {
    p->row += 1;
  }
  if (OrderEnds(p) || p->patterns[p->orders[p->order]] == nullptr) return true;
  if (p->row >= p->patterns[p->orders[p->order]]->rows) {
    p->row = 0;
    p->order += 1;
    ClearPatternLoops(p);
    if (OrderEnds(p)) return true;
  }
  return false;
}

// Moves on by one tick; returns true when the song has ended. The tick's
// length follows the tempo of the tick just processed, so a tempo command
// lengthens or shortens the very next tick.
bool Advance(ModPlayer* p) {
  p->tick += 1;
  if (p->tick >= (p->patternDelay + 1) * p->speed + p->finePatternDelay && BeginRow(p)) return true;
  p->samplesPerTick = SamplesPerTick(p);
  return false;
}

// ModRender without the precondition checks; `out` null runs the sequencer
// alone (nothing is mixed or written).
void Render(ModPlayer* p, uint8_t* out, int frames) {
  for (;;) {
    if (p->samplesLeft > 0) {
      const int now = std::min(p->samplesLeft, frames);
      if (out != nullptr) {
        ModMix(p, out, now);
        out += static_cast<std::size_t>(now) * 4;
      }
      p->samplesLeft -= now;
      frames -= now;
      if (frames == 0) return;
    }
    bool processTick = true;
    if (p->ended) {
      if (p->songLoop) {
        const int restart = p->restartPosition < p->songLength ? p->restartPosition : 0;
        if (restart == 0) ModReset(p);
        p->order = restart;
        p->row = 0;
        p->ended = 0;
      } else {
        ModReset(p);
        processTick = false;
      }
    }
    if (processTick) {
      ProcessTick(p);
      if (Advance(p)) {
        p->ended = 1;
        return;
      }
    }
    p->samplesLeft += p->samplesPerTick;
  }
}

}  // namespace

int ModSetRate(ModPlayer* player, int rate) {
  if (player == nullptr) return 0;
  // Above a few hundred kHz a tick's samples would not fit the counters.
  player->rate = rate <= 0 ? kDefaultRate : std::min(rate, 1000000);
  return 1;
}

int ModSetLoop(ModPlayer* player, int flag) {
  if (player == nullptr) return 0;
  player->songLoop = flag;
  return 1;
}

int ModReset(ModPlayer* p) {
  if (p == nullptr || p->format == kModNone) return 0;
  p->ended = 0;
  p->tick = 0;
  // A song that gives 0 would divide by zero: the MOD defaults stand in.
  p->speed = p->initialSpeed > 0 ? p->initialSpeed : kDefaultSpeed;
  p->tempo = p->initialTempo > 0 ? p->initialTempo : kDefaultTempo;
  p->samplesPerTick = SamplesPerTick(p);
  p->samplesLeft = 0;
  p->row = 0;
  p->order = 0;
  p->pendingJump = -1;
  p->pendingBreak = -1;
  p->patternDelay = 0;
  p->finePatternDelay = 0;
  p->globalVolume = kMaxVolume;
  p->globalVolumeSlide = 0;
  p->autoGain = 4096;
  p->declickLeft = 0;
  p->declickRight = 0;
  p->randomState = kRandomSeed;
  p->selfJumps = 0;
  static constexpr int kModPanning[4] = {0, 255, 255, 0};
  for (int i = 0; i < kModMaxChannels; ++i) {
    ModChannel& c = p->channel[i];
    c = ModChannel{};
    c.note = -1;
    c.realNote = -1;
    c.instrumentIndex = -1;
    c.fadeoutVolume = 0x10000;
    c.channelVolume = 4096;
    c.retriggerInterval = 1;
    c.retriggerVolumeChange = 1;
    c.panning = (p->format == kModMod ? kModPanning[i % 4] : 128) * kUnit;
    c.finalPanning = c.panning;
  }
  return 1;
}

int ModRender(ModPlayer* player, void* buffer, int frames) {
  if (player == nullptr || buffer == nullptr || player->format == kModNone) return 0;
  if (frames <= 0) return 1;
  Render(player, static_cast<uint8_t*>(buffer), frames);
  return 1;
}

int ModMeasureSeconds(ModPlayer* player, int maxSeconds) {
  if (player == nullptr || player->format == kModNone) return 0;
  ModReset(player);
  int seconds = 0;
  while (seconds < maxSeconds) {
    Render(player, nullptr, player->rate);
    ++seconds;
    if (player->ended || player->selfJumps > 0) break;
  }
  ModReset(player);
  return seconds;
}

int ModNotePeriod(ModPlayer* player, int note, int finetune) {
  if (player == nullptr || player->format == kModNone) return 0;
  note = Clamp(note, 0, kHighestNote);
  finetune = Clamp(finetune, -128, 127);
  if (player->flags & 1) return (120 - note) * 64 * 4096 - finetune * 2048;
  const int index = 8 + (note % 12) * 8 + (finetune >> 4);
  const int p0 = kModAmigaFinePeriods[index];
  const int p1 = kModAmigaFinePeriods[index + 1];
  const int f = finetune & 15;
  const int c = ((16 - f) * p0 + f * p1) * 2;
  return c << (12 - note / 12);
}

int ModPeriodNote(ModPlayer* player, int period, int finetune) {
  if (player == nullptr || player->format == kModNone) return 0;
  if (player->flags & 1) return (0x1E20000 - finetune * 2048 - period) / 0x40000;
  int best = 0;
  int64_t bestDistance = -1;
  for (int note = 0; note <= kHighestNote; ++note) {
    const int64_t distance = std::llabs(static_cast<int64_t>(ModNotePeriod(player, note, finetune)) - period);
    if (bestDistance < 0 || distance <= bestDistance) {
      best = note;
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace qorve
