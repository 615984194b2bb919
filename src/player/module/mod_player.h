// The tracker module engine: the song model (ModPlayer and its records), the
// XM and MOD loaders, the tick sequencer and the mixer, as plain procedures
// over one context record. Every procedure returns 1 for success and 0 for
// failure (also for a null player). Loaders work on a module image in memory.
//
// Threads: a ModPlayer belongs to one thread at a time; the MOD media class
// hands it to the wave-out worker only while the stream plays.
#pragma once

#include <cstdint>

namespace qorve {

constexpr int kModMaxChannels = 64;
constexpr int kModMaxPatterns = 256;
constexpr int kModMaxInstruments = 128;
constexpr int kModSamplesPerInstrument = 16;
constexpr int kModMaxSamples = kModMaxInstruments * kModSamplesPerInstrument;
constexpr int kModNotes = 96;
constexpr int kModEnvelopeTicks = 325;  // envelope tables: one value per tick position 0 … 324
constexpr int kModEnvelopePoints = 12;
constexpr int kModCellBytes = 5;  // note, instrument, volume column, effect, parameter

enum ModFormat : int { kModNone = 0, kModMod = 1, kModXm = 3 };

// Sample state flags.
enum ModSampleState : int { kSampleHasData = 1, kSampleLooped = 2, kSample16Bit = 4 };

struct ModSample {
  // 8-bit or 16-bit signed samples (owned). Readable at every index below
  // length + 1: a looped sample ends at its loop end and repeats the loop-start
  // sample there, an unlooped one is followed by a fade-out tail.
  uint8_t* data;
  int length;      // samples
  int loopStart;   // samples
  int loopLength;  // samples; ping-pong loops are unrolled into forward ones
  int volume;      // 0 … 64
  int finetune;    // -128 … 127
  int type;        // as stored in XM: bits 0-1 loop kind, bit 4 16-bit
  int panning;     // 0 … 255
  int relativeNote;  // signed semitones
  int reserved;
  char name[23];
  int state;  // ModSampleState bits
};

// Envelope type bits.
enum ModEnvelopeType : int { kEnvelopeOn = 1, kEnvelopeSustain = 2, kEnvelopeLoop = 4 };

struct ModInstrument {
  int headerSize;
  char name[23];
  int type;
  int sampleCount;  // 0 … 16
  int sampleHeaderSize;
  uint8_t noteSample[kModNotes];  // note → sample number within the instrument
  uint16_t volumePoints[kModEnvelopePoints][2];  // tick position, value
  uint16_t panningPoints[kModEnvelopePoints][2];
  int volumePointCount;
  int panningPointCount;
  // The six point fields hold tick positions once loaded.
  int volumeSustain;
  int volumeLoopStart;
  int volumeLoopEnd;
  int panningSustain;
  int panningLoopStart;
  int panningLoopEnd;
  int volumeType;   // ModEnvelopeType bits
  int panningType;
  int vibratoType;  // auto-vibrato: 0 … 4 (above 4 counts as 0)
  int vibratoSweep;
  int vibratoDepth;
  int vibratoRate;
  int fadeout;
  int reserved;
  ModSample* samples[kModNotes];  // note → sample, null for none (not owned)
  uint8_t volumeTable[kModEnvelopeTicks];
  uint8_t panningTable[kModEnvelopeTicks];
};

struct ModPattern {
  int headerLength;  // XM only, not used
  int packingType;   // not used
  int rows;          // at least 1
  int packedSize;
  uint8_t* cells;  // rows × channels × 5 bytes (owned); row r, channel c at (r × channels + c) × 5
};

// Playback state of one channel. Fixed-point units: volume 0 … 64 × 4096,
// panning 0 … 255 × 4096, periods × 4096, sample position and step with a
// 12-bit fraction.
struct ModChannel {
  int note;      // 0-based note of the row being played, -1 none, 96 key off
  int realNote;  // note + sample's relative note
  int volumeColumn;
  int effectCode;  // effect × 16, plus the high nibble for effects E and X
  int effectParameter;
  int rowPeriod;  // period of the row's note, 0 when the row has no note with a sample
  int instrumentIndex;  // 0-based, -1 none
  ModInstrument* instrument;
  ModInstrument* lastInstrument;
  ModSample* sample;
  int triggeredNote;  // arpeggio base
  int basePeriod;
  int period;       // slides act here
  int finalPeriod;  // after arpeggio, glissando and vibratos
  int periodLow;    // lowest allowed period (note 118)
  int periodHigh;   // highest allowed period (note 0)
  int finetune;
  int volume;
  int finalVolume;
  int leftLevel;
  int rightLevel;
  int volumeSlideMemory;  // signed, unscaled volume steps
  int fineVolumeMemory;
  int channelVolume;  // 4096, never changed
  int panning;
  int finalPanning;  // 0 … 0x100000
  int panningSlideMemory;
  int volumeEnvelopePosition;  // ticks
  int panningEnvelopePosition;
  int vibratoWaveform, vibratoPosition, vibratoSpeed, vibratoDepth;
  int tremoloWaveform, tremoloPosition, tremoloSpeed, tremoloDepth;
  int portamentoMemory;  // effects 1 and 2, period units
  int tonePortamentoSpeed;
  int tonePortamentoTarget;
  int finePortamentoMemory;
  int extraFinePortamentoMemory;
  int arpeggioPeriods[2];  // note + low nibble, note + high nibble
  int arpeggioStep;        // 0, 1, 2
  int tremorCounter, tremorOn, tremorOff, tremorMute;
  int retriggerCounter, retriggerInterval, retriggerVolumeChange;
  int panbrelloWaveform, panbrelloPosition, panbrelloSpeed, panbrelloDepth;
  int patternLoopCount, patternLoopRow;
  int keyOff;
  int fadeoutVolume;  // 0 … 0x10000
  int autoVibratoPosition, autoVibratoAmplitude;
  int surround;  // left level inverted
  // Sample position and step: 12-bit fraction. Kept in 64 bits so that samples
  // longer than 2^20 frames play to their end.
  uint64_t samplePosition;
  uint64_t step;
  int sampleOffsetMemory;
  int highOffset;
  int glissando;
  int volumeColumnMemory;  // low nibble
  // Mixer history: what the previous mix block left.
  const ModSample* mixSample;
  uint64_t mixPosition;
  int mixLastLeft, mixLastRight;
  int mixGainLeft, mixGainRight;
};

struct ModPlayer {
  int format;    // ModFormat
  int songLoop;  // 1: backward jumps obeyed, the song continues at its restart position
  int autoGainOn;
  // Playback state.
  int ended;
  int tick;
  int speed;  // ticks per row
  int tempo;  // beats per minute
  int rate;   // output rate, Hz
  int samplesPerTick;
  int samplesLeft;  // of the current tick
  int row;
  int pendingJump;   // order, -1 none
  int pendingBreak;  // row, -1 none
  int patternDelay;      // rows
  int finePatternDelay;  // ticks
  int order;
  int globalVolume;  // 0 … 0x40000
  int globalVolumeSlide;
  int masterVolume;  // 4096, never changed
  int autoGain;      // 4096 = 1.0
  int declickLeft;
  int declickRight;
  uint32_t randomState;  // auto-vibrato type 4; seeded at every reset
  // Position jumps taken since the last reset that go back to the order
  // position being played, at a row not after the jumping one: from the first
  // on, the song repeats the same rows for ever.
  int selfJumps;
  // Song.
  char signature[18];
  char moduleName[21];
  int xmMarker;
  char trackerName[21];
  int version;
  int headerSize;
  int songLength;
  int restartPosition;
  int channels;
  int patternCount;
  int instrumentCount;
  int flags;  // bit 0: linear frequency table
  int initialSpeed;
  int initialTempo;
  uint8_t orders[256];
  ModPattern* patterns[kModMaxPatterns];
  ModSample* samples[kModMaxSamples];  // instrument i, sample s at i × 16 + s
  ModInstrument* instruments[kModMaxInstruments];
  ModChannel channel[kModMaxChannels];
};

// A new zero-filled player (format 0, song loop 1, auto gain on, 44100 Hz,
// master volume 4096), or null when memory is short.
ModPlayer* ModCreate();
// Releases the song and the player itself. Null is allowed.
void ModDestroy(ModPlayer* player);

// Replaces the song by the module in `image` (XM first, then MOD) and resets
// playback. The image is not kept.
int ModLoad(ModPlayer* player, const uint8_t* image, int64_t size);
int ModLoadXM(ModPlayer* player, const uint8_t* image, int64_t size);
int ModLoadMOD(ModPlayer* player, const uint8_t* image, int64_t size);
// Releases patterns, instruments and samples; format 0.
int ModFree(ModPlayer* player);

int ModSetRate(ModPlayer* player, int rate);  // 0 or less means 44100
int ModSetLoop(ModPlayer* player, int flag);
int ModReset(ModPlayer* player);
// Writes up to `frames` stereo frames of 16-bit PCM (left in the low half of
// each 4-byte frame). Returns at once, leaving the rest unwritten, when the
// song ends.
int ModRender(ModPlayer* player, void* buffer, int frames);
// Mixes the channels' current state into `frames` frames.
int ModMix(ModPlayer* player, void* buffer, int frames);
// Period (× 4096) of a 0-based note, and back, in the song's frequency mode.
int ModNotePeriod(ModPlayer* player, int note, int finetune);
int ModPeriodNote(ModPlayer* player, int period, int finetune);

// Runs the sequencer alone (nothing is mixed) from the song's start, one
// second of frames at the output rate at a time, until the song ends or takes
// a position jump back to the order position it is playing, at a row not after
// the jumping one (from there it would repeat the same rows for ever);
// returns the number of seconds, the one in which that happens included, or
// `maxSeconds` when neither has happened by then. Obeys the loop flag as
// ModRender does. Leaves the player reset.
int ModMeasureSeconds(ModPlayer* player, int maxSeconds);

}  // namespace qorve
