// VBMP3.so: the MP3 player module that the MP3 media class loads by name from
// the program folder. It decodes with libmpg123 and plays through the host
// program's wave-out device layer on a thread of its own; the host exports
// that layer (qorve::CreateWaveOutDevice) to the modules it loads.
#pragma once

#include <cstdint>

// The entries are the only symbols the module exports.
#define VBMP3_EXPORT __attribute__((visibility("default")))

// The file information record of vbmp3_open: 272 bytes, little-endian.
struct VbMp3Info {
  char title[128];   // UTF-8, zero-terminated
  char artist[128];  // UTF-8, zero-terminated
  int32_t channels;
  int32_t bitrate;   // kbit/s of the first frame
  int32_t rate;      // Hz
  int32_t seconds;   // whole seconds, rounded up so that the end is not cut off
};
static_assert(sizeof(VbMp3Info) == 272);

// Error numbers of vbmp3_getLastErrorNo.
enum VbMp3Error : int {
  kVbMp3NoError = 0,
  kVbMp3FileNotFound = 1,
  kVbMp3FileNotOpened = 2,  // exists but cannot be opened (permissions, a folder)
  kVbMp3FileNotRead = 3,    // read failure
  kVbMp3FileEmpty = 4,
  kVbMp3NotMpeg = 10,       // no MPEG audio frame found
  kVbMp3NotLayer3 = 11,     // MPEG audio of another layer
  kVbMp3OutOfMemory = 19,
  kVbMp3BadRate = 20,       // a rate the decoder cannot output
  kVbMp3BadChannels = 21,
  kVbMp3BadLength = 22,     // no whole frame could be decoded
  kVbMp3DeviceBusy = 25,    // the wave-out device cannot be opened
  kVbMp3DeviceFormat = 30,  // the device refuses the format
  kVbMp3DecoderFailed = 31, // the decoder cannot be set up
  kVbMp3NotOpen = 40,       // a call that needs an open file without one
};

// Module states of vbmp3_getState.
enum VbMp3State : int { kVbMp3Stopped = 0, kVbMp3Playing = 1, kVbMp3Paused = 2 };

extern "C" {
VBMP3_EXPORT int vbmp3_init();
// Closes any open file and releases the decoder library.
VBMP3_EXPORT int vbmp3_free();
// Opens `path` (closing the previous file) and its output device; non-zero on
// success, else 0 with the reason in vbmp3_getLastErrorNo.
VBMP3_EXPORT int vbmp3_open(const char* path, VbMp3Info* info);
// Plays from the current seek position (resumes a paused device too).
VBMP3_EXPORT int vbmp3_play();
VBMP3_EXPORT int vbmp3_pause();
VBMP3_EXPORT int vbmp3_restart();
// Stops and returns to second 0.
VBMP3_EXPORT int vbmp3_stop();
VBMP3_EXPORT int vbmp3_close();
// The state; *seconds (when not null) = the whole second being heard.
VBMP3_EXPORT int vbmp3_getState(int* seconds);
// Positions at `seconds` (below 0: 0; past the end: the end); keeps the state.
VBMP3_EXPORT int vbmp3_seek(int seconds);
VBMP3_EXPORT int vbmp3_getLastErrorNo();
}
