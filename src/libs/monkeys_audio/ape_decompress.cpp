#include "ape_decompress.h"

#include "ape_header.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace monkeys_audio;

// The demuxer's own words in front of each frame: its block count and the bits
// to skip, both little-endian 32-bit.
constexpr std::size_t kPacketPrefix = 8;
constexpr std::size_t kExtradataBytes = 6;  // version, compression level, format flags
constexpr uint32_t kCreatedWavHeaderBytes = 44;

void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

class ApeDecompress final : public IAPEDecompress {
 public:
  explicit ApeDecompress(std::unique_ptr<ByteReader> reader) : reader_(std::move(reader)), tag_(*reader_) {}
  ~ApeDecompress() override;

  // ERROR_SUCCESS when the header is sound and the first frame decodes.
  int Init();

  int GetData(char* buffer, int blocks, int* retrieved) override;
  int Seek(int block) override;
  intptr_t GetInfo(APE_DECOMPRESS_FIELDS field, intptr_t parameter1, intptr_t parameter2) override;

 private:
  // Decodes frame `index` and appends its PCM (less the blocks still to be
  // skipped after a seek) to pending_. False when the frame cannot be decoded;
  // the blocks it lacks are then owed as silence.
  bool DecodeFrame(uint32_t index);
  bool DecodePacket(const ApeFrame& frame);
  void AppendFrame(const AVFrame& frame);
  uint32_t LengthMs() const { return header_.lengthMs; }

  std::unique_ptr<ByteReader> reader_;
  ApeHeader header_;
  CAPETag tag_;
  AVCodecContext* codec_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  uint32_t nextFrame_ = 0;
  std::vector<uint8_t> pending_;  // decoded PCM not yet handed out
  std::size_t pendingAt_ = 0;
  uint64_t skipBlocks_ = 0;  // blocks to drop from the next decoded frame (after a seek)
  // Blocks of a damaged frame still to be handed out as silence, after pending_.
  // Counted rather than held, so a damaged frame costs no memory.
  uint64_t silenceBlocks_ = 0;
  uint64_t position_ = 0;    // the next block GetData hands out
};

ApeDecompress::~ApeDecompress() {
  av_frame_free(&frame_);
  av_packet_free(&packet_);
  avcodec_free_context(&codec_);
}

int ApeDecompress::Init() {
  std::string why;
  if (!ParseApeHeader(*reader_, header_, why)) {
    return why.starts_with("unsupported version") ? ERROR_UNSUPPORTED_FILE_VERSION : ERROR_INVALID_INPUT_FILE;
  }
  const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_APE);
  if (decoder == nullptr) return ERROR_UNDEFINED;
  codec_ = avcodec_alloc_context3(decoder);
  packet_ = av_packet_alloc();
  frame_ = av_frame_alloc();
  if (codec_ == nullptr || packet_ == nullptr || frame_ == nullptr) return ERROR_INSUFFICIENT_MEMORY;
  codec_->sample_rate = static_cast<int>(header_.sampleRate);
  av_channel_layout_default(&codec_->ch_layout, header_.channels);
  codec_->bits_per_coded_sample = header_.bitsPerSample;
  // Each frame carries a CRC of its samples: a frame that does not match it
  // (damaged, or cut off by the end of the file) is refused, not played.
  codec_->err_recognition = AV_EF_CRCCHECK | AV_EF_EXPLODE;
  codec_->extradata = static_cast<uint8_t*>(av_mallocz(kExtradataBytes + AV_INPUT_BUFFER_PADDING_SIZE));
  if (codec_->extradata == nullptr) return ERROR_INSUFFICIENT_MEMORY;
  codec_->extradata_size = kExtradataBytes;
  const uint16_t words[3] = {header_.fileVersion, header_.compressionLevel, header_.formatFlags};
  for (int i = 0; i < 3; ++i) {
    codec_->extradata[2 * i] = static_cast<uint8_t>(words[i]);
    codec_->extradata[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
  }
  if (avcodec_open2(codec_, decoder, nullptr) < 0) return ERROR_UNSUPPORTED_FILE_VERSION;

  // A file whose first frame does not decode (a header without its audio) is
  // refused here rather than played as silence.
  if (!DecodeFrame(0)) return ERROR_INVALID_CHECKSUM;
  nextFrame_ = 1;
  return ERROR_SUCCESS;
}

bool ApeDecompress::DecodeFrame(uint32_t index) {
  const ApeFrame& f = header_.frames[index];
  const std::size_t before = pending_.size();
  const uint64_t expected = f.blocks - std::min<uint64_t>(skipBlocks_, f.blocks);
  const bool ok = DecodePacket(f);
  // A frame that fails (in part) keeps its length as silence, so that what
  // follows plays at its own time.
  const uint64_t produced = (pending_.size() - before) / header_.BlockAlign();
  if (produced < expected) {
    silenceBlocks_ = expected - produced;
    skipBlocks_ = 0;
    return false;
  }
  return ok;
}

bool ApeDecompress::DecodePacket(const ApeFrame& f) {
  // A frame cut short by the end of the file goes to the decoder as it is; the
  // packet holds only what the file has.
  const uint64_t size = reader_->Size();
  const uint64_t stored = std::min<uint64_t>(f.size, size - std::min(f.pos, size));
  if (av_new_packet(packet_, static_cast<int>(kPacketPrefix + stored)) < 0) return false;
  PutLe32(packet_->data, f.blocks);
  PutLe32(packet_->data + 4, f.skip);
  const std::size_t got = reader_->ReadAt(f.pos, packet_->data + kPacketPrefix, stored);
  av_shrink_packet(packet_, static_cast<int>(kPacketPrefix + got));
  const int sent = avcodec_send_packet(codec_, packet_);
  av_packet_unref(packet_);
  if (sent < 0) return false;
  bool ok = true;
  for (;;) {
    const int received = avcodec_receive_frame(codec_, frame_);
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) break;
    if (received < 0) {
      ok = false;  // the rest of the packet is lost; what came before stays
      break;
    }
    AppendFrame(*frame_);
    av_frame_unref(frame_);
  }
  return ok;
}

void ApeDecompress::AppendFrame(const AVFrame& frame) {
  const int channels = frame.ch_layout.nb_channels;
  if (channels != header_.channels) return;
  const uint64_t drop = std::min<uint64_t>(skipBlocks_, static_cast<uint64_t>(frame.nb_samples));
  skipBlocks_ -= drop;
  const auto first = static_cast<int>(drop);
  const std::size_t bytesPerSample = header_.bitsPerSample / 8u;
  const std::size_t start = pending_.size();
  pending_.resize(start + static_cast<std::size_t>(frame.nb_samples - first) * channels * bytesPerSample);
  uint8_t* out = pending_.data() + start;
  for (int i = first; i < frame.nb_samples; ++i) {
    for (int c = 0; c < channels; ++c) {
      switch (frame.format) {
        case AV_SAMPLE_FMT_U8P:
          *out++ = frame.extended_data[c][i];
          break;
        case AV_SAMPLE_FMT_S16P: {
          const int16_t s = reinterpret_cast<const int16_t*>(frame.extended_data[c])[i];
          *out++ = static_cast<uint8_t>(s);
          *out++ = static_cast<uint8_t>(s >> 8);
          break;
        }
        default: {  // AV_SAMPLE_FMT_S32P: 24-bit samples in the upper bits
          const int32_t s = reinterpret_cast<const int32_t*>(frame.extended_data[c])[i] >> 8;
          *out++ = static_cast<uint8_t>(s);
          *out++ = static_cast<uint8_t>(s >> 8);
          *out++ = static_cast<uint8_t>(s >> 16);
          break;
        }
      }
    }
  }
}

int ApeDecompress::GetData(char* buffer, int blocks, int* retrieved) {
  const std::size_t align = header_.BlockAlign();
  std::size_t wanted = blocks > 0 ? static_cast<std::size_t>(blocks) * align : 0;
  std::size_t done = 0;
  int result = ERROR_SUCCESS;
  while (done < wanted) {
    if (pendingAt_ == pending_.size()) {
      pending_.clear();
      pendingAt_ = 0;
      if (silenceBlocks_ > 0) {
        const uint64_t n = std::min<uint64_t>(silenceBlocks_, (wanted - done) / align);
        std::memset(buffer + done, header_.bitsPerSample == 8 ? 0x80 : 0, n * align);
        silenceBlocks_ -= n;
        done += n * align;
        continue;
      }
      if (nextFrame_ >= header_.totalFrames) break;
      if (!DecodeFrame(nextFrame_++)) result = ERROR_INVALID_CHECKSUM;
      continue;
    }
    const std::size_t n = std::min(wanted - done, pending_.size() - pendingAt_);
    std::memcpy(buffer + done, pending_.data() + pendingAt_, n);
    pendingAt_ += n;
    done += n;
  }
  position_ += done / align;
  if (retrieved != nullptr) *retrieved = static_cast<int>(done / align);
  return result;
}

int ApeDecompress::Seek(int block) {
  if (block < 0 || static_cast<uint64_t>(block) > header_.totalBlocks) return ERROR_BAD_PARAMETER;
  pending_.clear();
  pendingAt_ = 0;
  silenceBlocks_ = 0;
  avcodec_flush_buffers(codec_);
  const uint32_t frame = static_cast<uint32_t>(block / header_.blocksPerFrame);
  nextFrame_ = std::min(frame, header_.totalFrames);
  skipBlocks_ = static_cast<uint64_t>(block) - uint64_t{frame} * header_.blocksPerFrame;
  position_ = static_cast<uint64_t>(block);
  return ERROR_SUCCESS;
}

intptr_t ApeDecompress::GetInfo(APE_DECOMPRESS_FIELDS field, intptr_t, intptr_t) {
  const uint64_t wavHeader =
      (header_.formatFlags & kFlagCreateWavHeader) ? kCreatedWavHeaderBytes : header_.wavHeaderBytes;
  const uint64_t wavData = header_.totalBlocks * header_.BlockAlign();
  switch (field) {
    case APE_INFO_FILE_VERSION: return header_.fileVersion;
    case APE_INFO_COMPRESSION_LEVEL: return header_.compressionLevel;
    case APE_INFO_FORMAT_FLAGS: return header_.formatFlags;
    case APE_INFO_SAMPLE_RATE: return header_.sampleRate;
    case APE_INFO_BITS_PER_SAMPLE: return header_.bitsPerSample;
    case APE_INFO_BYTES_PER_SAMPLE: return header_.bitsPerSample / 8;
    case APE_INFO_CHANNELS: return header_.channels;
    case APE_INFO_BLOCK_ALIGN: return header_.BlockAlign();
    case APE_INFO_BLOCKS_PER_FRAME: return header_.blocksPerFrame;
    case APE_INFO_FINAL_FRAME_BLOCKS: return header_.finalFrameBlocks;
    case APE_INFO_TOTAL_FRAMES: return header_.totalFrames;
    case APE_INFO_WAV_HEADER_BYTES: return static_cast<intptr_t>(wavHeader);
    case APE_INFO_WAV_TERMINATING_BYTES: return header_.wavTerminatingBytes;
    case APE_INFO_WAV_DATA_BYTES: return static_cast<intptr_t>(wavData);
    case APE_INFO_WAV_TOTAL_BYTES: return static_cast<intptr_t>(wavHeader + wavData + header_.wavTerminatingBytes);
    case APE_INFO_APE_TOTAL_BYTES: return static_cast<intptr_t>(reader_->Size());
    case APE_INFO_TOTAL_BLOCKS:
    case APE_DECOMPRESS_TOTAL_BLOCKS: return static_cast<intptr_t>(header_.totalBlocks);
    case APE_INFO_LENGTH_MS:
    case APE_DECOMPRESS_LENGTH_MS: return LengthMs();
    case APE_INFO_AVERAGE_BITRATE:
      return LengthMs() == 0 ? 0 : static_cast<intptr_t>(static_cast<double>(reader_->Size()) * 8.0 / LengthMs());
    case APE_INFO_PEAK_LEVEL: return header_.peakLevel;
    case APE_INFO_TAG: return reinterpret_cast<intptr_t>(&tag_);
    case APE_DECOMPRESS_CURRENT_BLOCK: return static_cast<intptr_t>(position_);
    case APE_DECOMPRESS_CURRENT_MS:
      return static_cast<intptr_t>(static_cast<double>(position_) * 1000.0 / header_.sampleRate);
  }
  return 0;
}

}  // namespace

namespace {

IAPEDecompress* Create(std::unique_ptr<ByteReader> reader, int* errorCode) {
  // The decoder's complaints about damaged frames are not the player's output.
  av_log_set_level(AV_LOG_QUIET);
  auto decompress = std::make_unique<ApeDecompress>(std::move(reader));
  const int result = decompress->Init();
  if (errorCode != nullptr) *errorCode = result;
  return result == ERROR_SUCCESS ? decompress.release() : nullptr;
}

}  // namespace

IAPEDecompress* CreateIAPEDecompress(const char* path, int* errorCode) {
  auto reader = std::make_unique<FileReader>();
  if (path == nullptr || !reader->Open(path)) {
    if (errorCode != nullptr) *errorCode = ERROR_IO_READ;
    return nullptr;
  }
  return Create(std::move(reader), errorCode);
}

IAPEDecompress* CreateIAPEDecompressFromMemory(std::string_view bytes, int* errorCode) {
  return Create(std::make_unique<MemoryReader>(bytes), errorCode);
}
