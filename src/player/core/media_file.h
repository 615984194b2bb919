// The media object: every playable or showable file is an instance of a class
// derived from MediaFile. Exactly one exists at a time (PlayerState::media).
// All operations run on the user-interface thread.
#pragma once

#include <cstdint>
#include <string>

namespace qorve {

// An opaque window handle, as the media classes receive their owner window.
// The window code knows what it points to (the display window's QWidget).
using WindowHandle = void*;

// An opaque drawing target for the still-image operations (the window code
// wraps its QPainter in it).
struct DrawContext;

enum MediaKind : int32_t {
  kKindUnplayable = 0,
  kKindSound = 1,
  kKindVideo = 2,
  kKindImage = 3,
  kKindDocument = 4,
  kKindArchive = 5,
};

// Result codes of Open and LoadMedia. The text of code c is string 1000 + c.
enum MediaResult : int {
  kResultSuccess = 0,
  kResultUnknownError = 1,
  kResultFileInUse = 2,
  kResultFileNotFound = 3,
  kResultUnsupported = 4,
  kResultWrongExtension = 5,
  kResultDeviceInUse = 6,
  kResultCodecNotFound = 7,
  kResultOutOfMemory = 8,
  kResultNothingToPlay = 9,  // dealt with (an archive was extracted); not an error
  kResultLibraryNotFound = 10,
  kResultBrokenFile = 11,
  kResultUnsupportedArchive = 12,
  kResultFatalError = 13,
  kResultNoActiveX = 14,
  kResultNoDirectShow = 15,
};

// The description every media object carries. Text fields are NUL-terminated
// UTF-8, cut at a character boundary to fit (use SetInfoText).
struct MediaInfo {
  int32_t Kind;
  char Format[10];     // format word, usually the upper-case extension
  char FileName[128];  // file name without folder
  char Title[128];
  char Artist[128];
  char Album[128];
  char Codec[128];  // codec description; for ERRORFILE the missing component
  char Genre[64];
  double Length;  // seconds
  int32_t Width;  // pixels; -1 when the media has no picture size
  int32_t Height;
  int32_t Track;  // 0 = none
  int32_t SampleRate;  // Hz
  uint8_t Channels;
  uint8_t Bits;
  uint16_t Bitrate;  // kbit/s
};

// Copies text into a fixed MediaInfo field, cut at a character boundary.
template <std::size_t N>
void SetInfoText(char (&field)[N], std::string_view text);

struct MediaState {
  double TimePos;  // seconds
  int PlayState;   // 0 stopped, 1 playing, 2 paused
};

enum PlayStateValue : int { kStopped = 0, kPlaying = 1, kPaused = 2 };

class MediaFile {
 public:
  MediaFile();  // zeroes info_
  virtual ~MediaFile() = default;
  MediaFile(const MediaFile&) = delete;
  MediaFile& operator=(const MediaFile&) = delete;

  // Loads the file and prepares playback without starting it. 0 on success,
  // otherwise a MediaResult. `extension` is upper case.
  virtual int Open(const std::string& path, const std::string& extension, WindowHandle owner) = 0;
  virtual int Close() = 0;
  // from >= 0: play from that many seconds; from < 0 (callers pass -1.0):
  // start, or go on where the media stands.
  virtual int Play(double from);
  virtual int Rewind(double position);
  virtual int Pause();
  virtual int Stop();
  // Playing classes: pause when GetStatus reports playing, else Play(-1.0).
  virtual int TogglePause();
  virtual int SetSpeed(int percent);
  // Video window operations. Modes: 0 natural size, 1 double, 2 half,
  // 3 full screen, 4 screen size with frame.
  virtual int SetVideoSize(int mode, int a, int b);
  virtual int CenterVideo();
  virtual int FitPicture();
  virtual int IsPointerOnVideo();
  virtual int ShowVideo();
  // Still-image operations.
  virtual double FitScale(int width, int height);
  virtual int Draw(DrawContext* dc, int x, int y, int width, int height, int sourceX, int sourceY);
  virtual int DrawStretched(DrawContext* dc, int x, int y, int width, int height, int sourceX, int sourceY,
                            int sourceWidth, int sourceHeight);
  virtual void GetInfo(MediaInfo& out) const;
  // Leaves `out` untouched unless the class reports a state; callers zero it.
  virtual void GetStatus(MediaState& out);
  virtual void GetErrorText(char* buffer, int size);

 protected:
  MediaInfo info_;
};

}  // namespace qorve

#include "player/core/media_file_inl.h"
