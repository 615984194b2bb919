// A media file read by libavformat and decoded by libavcodec, for the video
// and sound that GStreamer cannot demultiplex: pictures come out as I420 in
// GStreamer's default layout, sound as interleaved signed 16-bit PCM at the
// stream's own rate (mono or stereo), each with its time from the media's
// start. Also measures how long a file plays from its streams' own times.
// One thread at a time; no Qt and no GStreamer here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;
struct SwsContext;

namespace qorve {

// The length of what `path` plays, in milliseconds, from its streams: the
// duration its container's header states, else the span of its packets'
// times (read as far as 32 MiB, beyond that scaled by the bytes), and never
// less than one picture's time. 0 when libavformat cannot read the file or
// it has neither pictures nor sound.
uint32_t MediaLengthFromStreams(const std::string& path);

// Whether `path` is an AIFF or AIFF-C file whose sound libavformat reads as
// PCM of more than 16 bits a sample or as floating point (24- and 32-bit
// integers, `fl32`, `fl64`). Other files are not opened by libavformat here.
bool IsWideAiffSound(const std::string& path);

class LibavMedia {
 public:
  struct Picture {
    int width = 0;
    int height = 0;
    int aspectNum = 1;  // pixel aspect ratio
    int aspectDen = 1;
  };
  struct Sound {
    int rate = 0;
    int channels = 0;  // 1 or 2
  };
  enum class Kind { Picture, Sound, End };
  struct Output {
    Kind kind = Kind::End;
    int64_t time = 0;      // ns from the media's start
    int64_t duration = 0;  // ns
    std::vector<uint8_t> bytes;
  };

  // Null when libavformat cannot read the file or no picture or sound
  // stream of it can be decoded.
  static std::unique_ptr<LibavMedia> Open(const std::string& path);
  ~LibavMedia();
  LibavMedia(const LibavMedia&) = delete;
  LibavMedia& operator=(const LibavMedia&) = delete;

  bool HasPicture() const { return videoStream_ >= 0; }
  bool HasSound() const { return audioStream_ >= 0; }
  const Picture& PictureFormat() const { return picture_; }
  const Sound& SoundFormat() const { return sound_; }
  // Bytes of one picture: I420, rows padded to 4 bytes, chroma rounded up.
  size_t PictureBytes() const { return pictureBytes_; }

  // Moves to `time` ns from the media's start: pictures that end before it
  // and sound before it are not given out. A container that cannot seek is
  // read again from its start.
  void SeekTo(int64_t time);
  // The next picture or block of sound, in the file's order, or End.
  Output Next();

 private:
  LibavMedia() = default;
  bool OpenFile(const std::string& path);
  bool OpenDecoder(int stream, AVCodecContext*& codec);
  bool ReceiveFrames(Output& out);
  bool ConvertPicture(const AVFrame& frame, Output& out);
  bool ConvertSound(const AVFrame& frame, Output& out);
  int64_t FrameTime(const AVFrame& frame, int stream) const;

  AVFormatContext* format_ = nullptr;
  AVCodecContext* video_ = nullptr;
  AVCodecContext* audio_ = nullptr;
  SwsContext* scaler_ = nullptr;
  SwrContext* resampler_ = nullptr;
  // The sound the resampler was made for: it reads each block as that, so a
  // block of another shape (a stream that changes mid-way) needs a new one.
  struct SoundShape {
    int format = -1;
    int rate = 0;
    int channels = 0;
    int order = 0;
    uint64_t mask = 0;
    bool operator==(const SoundShape&) const = default;
  };
  SoundShape resamplerShape_;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  int videoStream_ = -1;
  int audioStream_ = -1;
  Picture picture_;
  Sound sound_;
  size_t pictureBytes_ = 0;
  int64_t startTime_ = 0;       // the container's first time, in AV_TIME_BASE units
  int64_t frameDuration_ = 0;   // ns of one picture
  int64_t skipBefore_ = 0;      // ns: output before this is dropped (after a seek)
  int64_t nextPictureTime_ = 0;   // ns where a picture without a time of its own goes; -1: none yet
  int64_t nextSoundTime_ = -1;  // ns where the next sound continues; -1: take the frame's
  bool draining_ = false;       // the file is read; the decoders give out what they hold
  bool videoDrained_ = false;
  bool audioDrained_ = false;
};

}  // namespace qorve
