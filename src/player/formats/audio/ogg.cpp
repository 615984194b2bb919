#include "player/formats/audio/ogg.h"

#include "common/log.h"
#include "player/formats/tags/vorbis_comment_text.h"
#include "player/visual/video_window.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace qorve {
namespace {

// ov_read answers 0 before the last sample only at a gap between the pages it
// has and the total the stream's last page promised. A damaged stream can
// promise samples that never come, so a fill gives up after this many empty
// reads in a row (and as many holes) instead of spinning on the worker thread.
constexpr int kMaxEmptyReads = 64;

size_t ReadCallback(void* buffer, size_t size, size_t count, void* stream) {
  return std::fread(buffer, size, count, static_cast<FILE*>(stream));
}

// The whole 64-bit offset: files past 2 GiB seek correctly.
int SeekCallback(void* stream, ogg_int64_t offset, int whence) {
  if (stream == nullptr) return -1;
  return fseeko(static_cast<FILE*>(stream), static_cast<off_t>(offset), whence);
}

int CloseCallback(void* stream) {
  return std::fclose(static_cast<FILE*>(stream));
}

long TellCallback(void* stream) {
  return static_cast<long>(ftello(static_cast<FILE*>(stream)));
}

constexpr ov_callbacks kFileCallbacks = {ReadCallback, SeekCallback, CloseCallback, TellCallback};

// The links that play: from the first up to the first of another rate or
// channel count. The output keeps the first link's format, in which a link of
// another format would play as noise at the wrong speed. A stream that cannot
// seek has no list of links: all of it plays.
int PlayedLinks(OggVorbis_File& file, const vorbis_info& first) {
  const int links = ov_seekable(&file) ? static_cast<int>(ov_streams(&file)) : 1;
  int played = 1;
  while (played < links) {
    const vorbis_info* next = ov_info(&file, played);
    if (next == nullptr || next->channels != first.channels || next->rate != first.rate) break;
    ++played;
  }
  return played;
}

}  // namespace

// The libvorbisfile stream and what the fill procedure needs of it. Touched by
// the fill procedure (under the stream's lock) and by Play between the
// stream's Pause and Seek.
struct OGG::Decoder {
  OggVorbis_File file{};
  bool open = false;
  ogg_int64_t totalFrames = 0;  // of the links that play
  int playedLinks = 1;
  bool laterLinksDiffer = false;  // links after the played ones stay silent
};

OGG::OGG() : decoder_(std::make_unique<Decoder>()) {
  Log("OGGコンストラクタ", 0);
  info_.Kind = kKindSound;
}

OGG::~OGG() {
  Log("OGGデストラクタ", 0);
  CloseStream();
  if (decoder_->open) ov_clear(&decoder_->file);
}

int OGG::Open(const std::string& path, const std::string& extension, WindowHandle) {
  DestroyVideoWindow();
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return kResultFileNotFound;
  if (ov_open_callbacks(file, &decoder_->file, nullptr, 0, kFileCallbacks) != 0) {
    std::fclose(file);  // a failed open leaves the file to its caller
    return kResultWrongExtension;
  }
  decoder_->open = true;

  const vorbis_info* vorbis = ov_info(&decoder_->file, -1);
  if (vorbis == nullptr) return kResultWrongExtension;
  const int channels = vorbis->channels;
  const long rate = vorbis->rate;
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<uint16_t>(std::clamp(channels, 0, 0xFFFF));
  format.nSamplesPerSec = static_cast<uint32_t>(std::max(rate, 0L));
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<uint16_t>(format.nChannels * 2);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  bytesPerSecond_ = format.nAvgBytesPerSec;

  // The comments of the first link: the stream's first fill below moves the
  // decoder's current link on (into the last link of a short chained file).
  vorbis_comment* comments = ov_comment(&decoder_->file, -1);
  const struct {
    const char* key;
    char* field;
    std::size_t size;
  } kComments[] = {
      {"TITLE", info_.Title, sizeof info_.Title},
      {"ARTIST", info_.Artist, sizeof info_.Artist},
      {"ALBUM", info_.Album, sizeof info_.Album},
      {"GENRE", info_.Genre, sizeof info_.Genre},
  };
  for (const auto& comment : kComments) {
    const char* value = comments ? vorbis_comment_query(comments, comment.key, 0) : nullptr;
    if (value != nullptr) CopyToBuffer(CommentText(value), comment.field, comment.size);
  }

  decoder_->playedLinks = PlayedLinks(decoder_->file, *vorbis);
  decoder_->laterLinksDiffer = decoder_->playedLinks < ov_streams(&decoder_->file);
  ogg_int64_t frames = 0;
  double length = 0.0;
  if (decoder_->laterLinksDiffer) {
    for (int link = 0; link < decoder_->playedLinks; ++link) {
      frames += ov_pcm_total(&decoder_->file, link);
      length += ov_time_total(&decoder_->file, link);
    }
  } else {
    frames = ov_pcm_total(&decoder_->file, -1);
    length = ov_time_total(&decoder_->file, -1);
  }
  decoder_->totalFrames = std::max<ogg_int64_t>(frames, 0);
  if (rate > 0) soundEnd_ = static_cast<double>(decoder_->totalFrames) / static_cast<double>(rate);

  if (const int result = OpenStream(format); result != kResultSuccess) return result;

  info_.Length = length > 0 ? length : 0.0;
  info_.Bits = 16;
  info_.SampleRate = static_cast<int32_t>(rate);
  info_.Channels = static_cast<uint8_t>(channels);
  // Some encoders leave the nominal rate out (0 or -1): the average tells then.
  long bitrate = vorbis->bitrate_nominal;
  if (bitrate <= 0) bitrate = ov_bitrate(&decoder_->file, -1);
  info_.Bitrate = static_cast<uint16_t>(std::clamp(bitrate / 1000, 0L, 0xFFFFL));

  SetInfoText(info_.FileName, std::filesystem::path(path).filename().string());
  SetInfoText(info_.Format, extension);
  return kResultSuccess;
}

void OGG::Fill(uint8_t* buffer, uint32_t bytes) {
  uint32_t done = 0;
  int emptyReads = 0;
  int holes = 0;
  while (done < bytes) {
    if (decoder_->laterLinksDiffer && ov_pcm_tell(&decoder_->file) >= decoder_->totalFrames) break;
    int link = 0;
    const int want = static_cast<int>(std::min<uint32_t>(bytes - done, INT_MAX));
    const long read = ov_read(&decoder_->file, reinterpret_cast<char*>(buffer + done), want, 0, 2, 1, &link);
    if (read > 0) {
      if (decoder_->laterLinksDiffer && link >= decoder_->playedLinks) break;
      done += static_cast<uint32_t>(read);
      emptyReads = 0;
    } else if (read == 0) {
      // A gap, not the end, while the position is short of the total.
      if (ov_pcm_tell(&decoder_->file) >= decoder_->totalFrames || ++emptyReads > kMaxEmptyReads) break;
    } else if (read != OV_HOLE || ++holes > kMaxEmptyReads) {
      break;  // a decoding error ends this fill; the next one reads on
    }
  }
  // Past the end (or after an error) the buffer plays silence, not what it
  // held a pass ago.
  std::memset(buffer + done, 0, bytes - done);
}

void OGG::SeekSource(double from) {
  // A time past the end (or a seek the stream refuses) leaves the decoder at
  // its end, so the ring fills with silence instead of sound from elsewhere.
  if (ov_time_seek(&decoder_->file, from) != 0) ov_pcm_seek(&decoder_->file, decoder_->totalFrames);
}

}  // namespace qorve
