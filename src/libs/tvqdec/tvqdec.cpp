#include "libs/tvqdec/tvqdec.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

constexpr char kVersion[] = "TWIN97012000";
constexpr int kWindowTypeBits = 4;
constexpr int kMaxWindowType = 8;
// Block type of each window type.
constexpr int kBlockOfWindow[kMaxWindowType + 1] = {kTvqBlockLong,  kTvqBlockLong,   kTvqBlockShort,
                                                    kTvqBlockLong,  kTvqBlockMedium, kTvqBlockLong,
                                                    kTvqBlockLong,  kTvqBlockMedium, kTvqBlockMedium};
constexpr int32_t kSubBlocks[3] = {8, 2, 1};

// The decoder the library holds between TvqInitialize and TvqTerminate.
struct Decoder {
  AVCodecContext* context = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  TvqConfInfo conf{};
};
Decoder g_decoder;

void Free() {
  avcodec_free_context(&g_decoder.context);
  av_packet_free(&g_decoder.packet);
  av_frame_free(&g_decoder.frame);
  g_decoder.conf = {};
}

// Samples per frame of a TwinVQ mode (rate in kHz, kbit/s per channel); 0 for
// no mode.
int FrameSizeOf(int rateKhz, int bitRatePerChannel) {
  if (rateKhz < 8 || rateKhz > 44 || bitRatePerChannel < 8 || bitRatePerChannel > 48) return 0;
  switch ((rateKhz << 8) + bitRatePerChannel) {
    case (8 << 8) + 8:
    case (11 << 8) + 8:
    case (11 << 8) + 10:
    case (22 << 8) + 32:
      return 512;
    case (16 << 8) + 16:
    case (22 << 8) + 20:
    case (22 << 8) + 24:
      return 1024;
    case (44 << 8) + 40:
    case (44 << 8) + 48:
      return 2048;
    default:
      return 0;
  }
}

int RateHz(int rateKhz) {
  switch (rateKhz) {
    case 44: return 44100;
    case 22: return 22050;
    case 11: return 11025;
    default: return rateKhz * 1000;
  }
}

void PutBigEndian(uint8_t* at, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  at[0] = static_cast<uint8_t>(v >> 24);
  at[1] = static_cast<uint8_t>(v >> 16);
  at[2] = static_cast<uint8_t>(v >> 8);
  at[3] = static_cast<uint8_t>(v);
}

}  // namespace

int TvqInitialize(const TvqHeaderInfo* header, TvqIndex* index, int) {
  Free();
  if (header == nullptr || index == nullptr) return -1;
  if (header->channelMode < 0 || header->channelMode > 1) return -1;
  const int channels = header->channelMode + 1;
  const int frameSize = FrameSizeOf(header->samplingRate, header->bitRate / channels);
  if (frameSize == 0 || header->bitRate % channels != 0) {
    std::fprintf(stderr, "TwinVQ: unsupported mode %d kHz, %d kbit/s, %d channels\n", header->samplingRate,
                 header->bitRate, channels);
    return -1;
  }
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_TWINVQ);
  if (codec == nullptr) return -1;
  g_decoder.context = avcodec_alloc_context3(codec);
  g_decoder.packet = av_packet_alloc();
  g_decoder.frame = av_frame_alloc();
  if (g_decoder.context == nullptr || g_decoder.packet == nullptr || g_decoder.frame == nullptr) {
    Free();
    return -1;
  }
  // The decoder takes its mode from the "COMM" integers.
  auto* extra = static_cast<uint8_t*>(av_mallocz(12 + AV_INPUT_BUFFER_PADDING_SIZE));
  if (extra == nullptr) {
    Free();
    return -1;
  }
  PutBigEndian(extra, header->channelMode);
  PutBigEndian(extra + 4, header->bitRate);
  PutBigEndian(extra + 8, header->samplingRate);
  g_decoder.context->extradata = extra;
  g_decoder.context->extradata_size = 12;
  g_decoder.context->sample_rate = RateHz(header->samplingRate);
  av_channel_layout_default(&g_decoder.context->ch_layout, channels);
  if (avcodec_open2(g_decoder.context, codec, nullptr) < 0 ||
      g_decoder.context->sample_fmt != AV_SAMPLE_FMT_FLTP) {
    Free();
    return -1;
  }
  TvqConfInfo& conf = g_decoder.conf;
  conf.channels = channels;
  conf.samplingRate = RateHz(header->samplingRate);
  conf.bitRate = header->bitRate;
  conf.frameSize = frameSize;
  conf.bitsPerFrame = static_cast<int32_t>(static_cast<int64_t>(header->bitRate) * 1000 * frameSize / conf.samplingRate);
  if ((conf.bitsPerFrame + 7) / 8 > TvqIndex::kMaxFrameBytes) {
    Free();
    return -1;
  }
  std::memset(index, 0, sizeof *index);
  return 0;
}

int TvqCheckVersion(const char* versionId) {
  return versionId != nullptr && std::strncmp(versionId, kVersion, sizeof kVersion - 1) == 0 ? 0 : -1;
}

void TvqGetConfInfo(TvqConfInfo* out) {
  if (out != nullptr) *out = g_decoder.conf;
}

void TvqGetVectorInfo(TvqVectorInfo* out) {
  if (out == nullptr) return;
  out->windowTypeBits = kWindowTypeBits;
  std::copy(std::begin(kSubBlocks), std::end(kSubBlocks), out->subBlocks);
}

int TvqGetFrameSize() { return g_decoder.conf.frameSize; }
int TvqGetNumChannels() { return g_decoder.conf.channels; }
int TvqGetSamplingRate() { return g_decoder.conf.samplingRate; }
int TvqGetBitRate() { return g_decoder.conf.bitRate; }
int TvqGetNumFixedBitsPerFrame() { return g_decoder.conf.bitsPerFrame; }

int TvqWtypeToBtype(int windowType, int* blockType) {
  if (windowType < 0 || windowType > kMaxWindowType) return -1;
  if (blockType != nullptr) *blockType = kBlockOfWindow[windowType];
  return kBlockOfWindow[windowType];
}

void TvqUpdateVectorInfo(TvqIndex* index) {
  if (index == nullptr || index->blockType < 0 || index->blockType > 2) return;
  index->subBlocks = kSubBlocks[index->blockType];
}

void TvqDecodeFrame(const TvqIndex* index, float* out) {
  const TvqConfInfo& conf = g_decoder.conf;
  const std::size_t samples = static_cast<std::size_t>(conf.channels) * static_cast<std::size_t>(conf.frameSize);
  if (out == nullptr) return;
  std::fill(out, out + samples, 0.0f);
  if (g_decoder.context == nullptr || index == nullptr) return;
  // The packet: a byte telling how many bits to skip (none), then the frame,
  // exactly as many bytes as the decoder takes for one frame (a longer packet
  // would be taken for a second frame).
  const int frameBytes = std::min((index->bitCount + 7) / 8, TvqIndex::kMaxFrameBytes);
  const int size = std::max(1 + frameBytes, g_decoder.context->block_align);
  if (av_new_packet(g_decoder.packet, size) < 0) return;
  std::memset(g_decoder.packet->data, 0, static_cast<std::size_t>(size));
  std::memcpy(g_decoder.packet->data + 1, index->frame, static_cast<std::size_t>(frameBytes));
  const int sent = avcodec_send_packet(g_decoder.context, g_decoder.packet);
  av_packet_unref(g_decoder.packet);
  if (sent < 0) return;
  if (avcodec_receive_frame(g_decoder.context, g_decoder.frame) < 0) return;  // a priming frame
  const AVFrame* frame = g_decoder.frame;
  const int count = std::min(frame->nb_samples, conf.frameSize);
  for (int c = 0; c < conf.channels && c < frame->ch_layout.nb_channels; ++c) {
    const auto* plane = reinterpret_cast<const float*>(frame->extended_data[c]);
    float* to = out + static_cast<std::size_t>(c) * static_cast<std::size_t>(conf.frameSize);
    for (int n = 0; n < count; ++n) to[n] = plane[n] * 32768.0f;
  }
  av_frame_unref(g_decoder.frame);
}

void TvqTerminate(TvqIndex*) { Free(); }
