// tvqdec: the TwinVQ decoder library the VQF class calls (Tvq* functions).
// It holds one decoder at a time (library-wide state, as the player has one
// VQF object at a time); the frames are decoded by libavcodec's TwinVQ decoder
// from the bits the bitstream reader puts into the frame index record.
#pragma once

#include <cstdint>

// The header information record the VQF class fills from the file's chunks.
struct TvqHeaderInfo {
  char ID[16];             // version identifier text
  int32_t size;            // not set by the class
  int32_t channelMode;     // 0 mono, 1 stereo ("COMM")
  int32_t bitRate;         // kbit/s, both channels ("COMM")
  int32_t samplingRate;    // kHz as the file states it: 8, 11, 16, 22, 44 ("COMM")
  int32_t securityLevel;   // ("COMM")
  char Name[512];          // "NAME"
  char Comt[512];          // "COMT"
  char Auth[512];          // "AUTH"
  char Cpyr[512];          // "(c) "
  char File[512];          // "FILE"
  char Extr[512];          // not filled
  int32_t Dsiz;            // "DSIZ", 0 when missing
};

// The decoder's configuration.
struct TvqConfInfo {
  int32_t channels;
  int32_t samplingRate;   // Hz
  int32_t bitRate;        // kbit/s
  int32_t frameSize;      // samples per channel per frame
  int32_t bitsPerFrame;   // fixed bits of every frame
};

// How a frame's bits are laid out for the reader.
struct TvqVectorInfo {
  int32_t windowTypeBits;  // bits of the window type at the frame's start
  int32_t subBlocks[3];    // sub-blocks per block type (short, medium, long)
};

// Block types of TwinVQ frames.
enum TvqBlockType : int32_t { kTvqBlockShort = 0, kTvqBlockMedium = 1, kTvqBlockLong = 2 };

// The per-frame parameter block: the reader fills it, TvqDecodeFrame decodes it.
struct TvqIndex {
  static constexpr int kMaxFrameBytes = 1024;
  int32_t windowType;
  int32_t blockType;
  int32_t subBlocks;
  int32_t bitCount;                 // bits in `frame`
  uint8_t frame[kMaxFrameBytes];    // the frame's bits, most significant first
};

// Sets the decoder up for the file the header describes. 0 on success;
// non-zero when the mode (rate, bit rate per channel, channels) is not a
// TwinVQ mode or the decoder cannot be opened. `showErrors` is accepted for
// the interface's sake (errors go to the standard error stream).
int TvqInitialize(const TvqHeaderInfo* header, TvqIndex* index, int showErrors);
// 0 for a supported version identifier, -1 otherwise.
int TvqCheckVersion(const char* versionId);
void TvqGetConfInfo(TvqConfInfo* out);
void TvqGetVectorInfo(TvqVectorInfo* out);
int TvqGetFrameSize();
int TvqGetNumChannels();
int TvqGetSamplingRate();  // Hz
int TvqGetBitRate();       // kbit/s
int TvqGetNumFixedBitsPerFrame();
// The block type of a window type (0..8); -1 for an unknown window type.
int TvqWtypeToBtype(int windowType, int* blockType);
// Records the sub-block layout of the frame's block type in the index.
void TvqUpdateVectorInfo(TvqIndex* index);
// Decodes the frame in `index` into channels × frame size floats, channel
// after channel, on the 16-bit scale (±32768). The first two frames after
// TvqInitialize only prime the decoder's overlap and come out silent.
void TvqDecodeFrame(const TvqIndex* index, float* out);
// Frees the decoder.
void TvqTerminate(TvqIndex* index);
