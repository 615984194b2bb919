#include "player/formats/audio/flac.h"

#include "common/log.h"
#include "player/formats/tags/flac_tag_scan.h"
#include "player/visual/video_window.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace qorve {
namespace {

// Room the accumulator starts with, in samples; it grows when a frame would
// not fit (many channels with very large blocks).
constexpr std::size_t kAccumulatorSamples = 262142;

// The smallest whole-byte sample width that holds `bits`.
uint32_t ContainerBits(uint32_t bits) {
  if (bits <= 8) return 8;
  if (bits <= 16) return 16;
  if (bits <= 24) return 24;
  return 32;
}

}  // namespace

// libFLAC's decoder and what its callbacks and the fill procedure share.
// Touched by the fill procedure (under the stream's lock), through it by the
// write callback, and by Play between the stream's Pause and Seek.
struct FLAC::Decoder {
  FLAC__StreamDecoder* decoder = nullptr;
  bool haveStreamInfo = false;
  FLAC__StreamMetadata_StreamInfo streamInfo{};
  uint32_t channels = 0;
  uint32_t bits = 0;       // the file's bits per sample
  uint32_t outBits = 0;    // the output's: 8, 16, 24 or 32
  uint32_t shift = 0;      // outBits - bits: scales 12- or 20-bit samples up
  std::vector<int32_t> accumulator;  // interleaved frames, the file's scale
  std::size_t firstFrame = 0;  // where the held frames start in the accumulator
  std::size_t heldFrames = 0;
  bool ended = false;  // a seek past the end: nothing to decode until the next seek

  uint32_t FrameBytes() const { return channels * (outBits / 8); }

  static FLAC__StreamDecoderWriteStatus Write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                              const FLAC__int32* const buffer[], void* client) {
    auto& self = *static_cast<Decoder*>(client);
    const uint32_t block = frame->header.blocksize;
    const uint32_t frameChannels = frame->header.channels;
    const std::size_t needed = (self.firstFrame + self.heldFrames + block) * self.channels;
    if (needed > self.accumulator.size()) self.accumulator.resize(needed);
    int32_t* out = self.accumulator.data() + (self.firstFrame + self.heldFrames) * self.channels;
    for (uint32_t c = 0; c < self.channels; ++c) {
      int32_t* to = out + c;
      if (c < frameChannels) {
        const FLAC__int32* from = buffer[c];
        for (uint32_t i = 0; i < block; ++i, to += self.channels) *to = from[i];
      } else {
        for (uint32_t i = 0; i < block; ++i, to += self.channels) *to = 0;
      }
    }
    self.heldFrames += block;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }

  static void Metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block, void* client) {
    auto& self = *static_cast<Decoder*>(client);
    if (block->type != FLAC__METADATA_TYPE_STREAMINFO) return;
    self.streamInfo = block->data.stream_info;
    self.haveStreamInfo = true;
  }

  // Damaged frames are skipped; the decoder finds the next one by itself.
  static void Error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

  // Moves the held frames to the accumulator's start, before a frame is
  // decoded behind them (fewer than a chunk's frames are held then).
  void Compact() {
    if (firstFrame == 0) return;
    std::memmove(accumulator.data(), accumulator.data() + firstFrame * channels, heldFrames * channels * sizeof(int32_t));
    firstFrame = 0;
  }

  // Writes the first `frames` held frames at `out` in the output format.
  void Convert(uint8_t* out, std::size_t frames) const {
    const int32_t* in = accumulator.data() + firstFrame * channels;
    const std::size_t samples = frames * channels;
    switch (outBits) {
      case 8:
        for (std::size_t i = 0; i < samples; ++i) *out++ = static_cast<uint8_t>((in[i] << shift) + 128);
        break;
      case 16:
        for (std::size_t i = 0; i < samples; ++i) {
          const auto v = static_cast<int16_t>(static_cast<uint32_t>(in[i]) << shift);
          std::memcpy(out + 2 * i, &v, 2);  // little-endian hosts only, as the whole program
        }
        break;
      case 24:
        for (std::size_t i = 0; i < samples; ++i) {
          const uint32_t v = static_cast<uint32_t>(in[i]) << shift;
          *out++ = static_cast<uint8_t>(v);
          *out++ = static_cast<uint8_t>(v >> 8);
          *out++ = static_cast<uint8_t>(v >> 16);
        }
        break;
      default:
        for (std::size_t i = 0; i < samples; ++i) {
          const uint32_t v = static_cast<uint32_t>(in[i]) << shift;
          std::memcpy(out, &v, 4);  // little-endian hosts only, as the whole program
          out += 4;
        }
        break;
    }
  }
};

FLAC::FLAC() : decoder_(std::make_unique<Decoder>()) {
  Log("FLACコンストラクタ", 0);
  info_.Kind = kKindSound;
}

FLAC::~FLAC() {
  Log("FLACデストラクタ", 0);
  CloseStream();
  if (decoder_->decoder != nullptr) {
    FLAC__stream_decoder_finish(decoder_->decoder);
    FLAC__stream_decoder_delete(decoder_->decoder);
  }
}

int FLAC::Open(const std::string& path, const std::string& extension, WindowHandle) {
  DestroyVideoWindow();

  std::ifstream file(path, std::ios::binary);
  if (file) {
    std::string head(kFlacTagScanBytes, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    const FlacTags tags = ScanFlacTags(head);
    SetInfoText(info_.Title, tags.title);
    SetInfoText(info_.Artist, tags.artist);
    SetInfoText(info_.Album, tags.album);
  } else {
    Log("FLACタグ情報取得失敗", 0);
  }

  Decoder& d = *decoder_;
  d.decoder = FLAC__stream_decoder_new();
  if (d.decoder == nullptr) return kResultWrongExtension;
  FLAC__stream_decoder_set_md5_checking(d.decoder, false);
  if (FLAC__stream_decoder_init_file(d.decoder, path.c_str(), &Decoder::Write, &Decoder::Metadata, &Decoder::Error,
                                     &d) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
    return kResultWrongExtension;
  }
  if (!FLAC__stream_decoder_process_until_end_of_metadata(d.decoder) || !d.haveStreamInfo) {
    return kResultWrongExtension;
  }
  const FLAC__StreamMetadata_StreamInfo& streamInfo = d.streamInfo;
  if (streamInfo.sample_rate == 0 || streamInfo.channels == 0) return kResultWrongExtension;

  d.channels = streamInfo.channels;
  d.bits = streamInfo.bits_per_sample;
  d.outBits = ContainerBits(d.bits);
  d.shift = d.outBits - d.bits;
  d.accumulator.resize(std::max<std::size_t>(
      kAccumulatorSamples, (static_cast<std::size_t>(streamInfo.max_blocksize) + kChunkFrames) * d.channels));

  info_.SampleRate = static_cast<int32_t>(streamInfo.sample_rate);
  info_.Bits = static_cast<uint8_t>(d.bits);
  info_.Channels = static_cast<uint8_t>(d.channels);
  // Milliseconds rounded to nearest, over the whole 36-bit sample count.
  info_.Length = std::round(static_cast<double>(streamInfo.total_samples) * 1000.0 / streamInfo.sample_rate) * 0.001;
  soundEnd_ = static_cast<double>(streamInfo.total_samples) / streamInfo.sample_rate;

  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<uint16_t>(d.channels);
  format.nSamplesPerSec = streamInfo.sample_rate;
  format.wBitsPerSample = static_cast<uint16_t>(d.outBits);
  format.nBlockAlign = static_cast<uint16_t>(d.FrameBytes());
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;

  const auto bufferBytes = static_cast<int>(kChunksPerBuffer * kChunkFrames * d.FrameBytes());
  if (const int result = OpenStream(format, bufferBytes); result != kResultSuccess) return result;

  SetInfoText(info_.FileName, std::filesystem::path(path).filename().string());
  SetInfoText(info_.Format, extension);
  return kResultSuccess;
}

void FLAC::Fill(uint8_t* buffer, uint32_t bytes) {
  Decoder& d = *decoder_;
  const uint32_t frameBytes = d.FrameBytes();
  const uint8_t silence = d.outBits == 8 ? 0x80 : 0x00;
  const uint32_t chunkBytes = kChunkFrames * frameBytes;
  for (uint32_t offset = 0; offset < bytes; offset += chunkBytes) {
    const uint32_t chunk = std::min(chunkBytes, bytes - offset);
    const std::size_t room = chunk / frameBytes;
    while (d.heldFrames < room && !d.ended &&
           FLAC__stream_decoder_get_state(d.decoder) != FLAC__STREAM_DECODER_END_OF_STREAM) {
      d.Compact();
      if (!FLAC__stream_decoder_process_single(d.decoder)) break;
    }
    const std::size_t frames = std::min(d.heldFrames, room);
    d.Convert(buffer + offset, frames);
    // Past the end the chunk plays silence, not what it held a pass ago.
    std::memset(buffer + offset + frames * frameBytes, silence, chunk - frames * frameBytes);
    d.firstFrame = d.heldFrames == frames ? 0 : d.firstFrame + frames;
    d.heldFrames -= frames;
  }
}

void FLAC::SeekSource(double from) {
  Decoder& d = *decoder_;
  d.firstFrame = 0;
  d.heldFrames = 0;
  // A decoder at its end (or after a failed seek) must be flushed before it
  // seeks again.
  const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(d.decoder);
  if (state == FLAC__STREAM_DECODER_END_OF_STREAM || state == FLAC__STREAM_DECODER_SEEK_ERROR) {
    FLAC__stream_decoder_flush(d.decoder);
  }
  const double target = std::floor(from) * d.streamInfo.sample_rate;  // whole seconds, in frames
  const uint64_t total = d.streamInfo.total_samples;
  d.ended = (total != 0 && target >= static_cast<double>(total)) || target >= 0x1p63;
  if (!d.ended && !FLAC__stream_decoder_seek_absolute(d.decoder, static_cast<uint64_t>(target))) {
    FLAC__stream_decoder_flush(d.decoder);
    d.firstFrame = 0;
    d.heldFrames = 0;
    d.ended = true;
  }
}

}  // namespace qorve
