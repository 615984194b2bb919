#include "platform/mci/libav_media.h"

#include "platform/mci/file_gate.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace qorve {
namespace {

constexpr int64_t kNanosecond = 1'000'000'000;
constexpr AVRational kNanoseconds{1, 1'000'000'000};
// Pictures larger than this each way, or in all, are not decoded: no video a
// player meets is, and a hostile header must not make it allocate gigabytes.
constexpr int kLargestSide = 8192;
constexpr int64_t kLargestPicture = 4096 * 4096;
// Sound is given out at its own rate within these bounds, else at 48 kHz.
constexpr int kLowestRate = 8000;
constexpr int kHighestRate = 192000;
constexpr int kFallbackRate = 48000;
constexpr int kMostInputChannels = 64;
// Blocks of sound at rates outside these are dropped: the resampler's tables
// grow with the rate it converts from (a stated 2 GHz asks for gigabytes).
constexpr int kLowestInputRate = 1000;
constexpr int kHighestInputRate = 768000;
// One decoded block of sound is at most this long (longer ones are cut).
constexpr int64_t kLongestSoundBlockSeconds = 10;
constexpr int64_t kDefaultPictureNs = 40'000'000;  // 25 pictures a second
// How far the length measure reads packets.
constexpr int64_t kLengthScanBytes = 32ll << 20;
constexpr int kLengthScanPackets = 1'000'000;
// Sound whose own time lies this close to where the previous block ended
// continues it, so that rounding in the file's times leaves no gap.
constexpr int64_t kSoundJoinNs = 50'000'000;
constexpr int64_t kSeekMargin = 1'000'000'000;

int RoundUp2(int value) { return (value + 1) & ~1; }
int RoundUp4(int value) { return (value + 3) & ~3; }

struct PictureLayout {
  std::array<int, 3> stride{};
  std::array<size_t, 3> offset{};
  size_t size = 0;
};

// I420 as GStreamer lays it out by default (gst_video_info_set_format).
PictureLayout I420Layout(int width, int height) {
  PictureLayout layout;
  layout.stride[0] = RoundUp4(width);
  layout.stride[1] = RoundUp4(RoundUp2(width) / 2);
  layout.stride[2] = layout.stride[1];
  const size_t chromaRows = static_cast<size_t>(RoundUp2(height) / 2);
  layout.offset[1] = static_cast<size_t>(layout.stride[0]) * static_cast<size_t>(RoundUp2(height));
  layout.offset[2] = layout.offset[1] + static_cast<size_t>(layout.stride[1]) * chromaRows;
  layout.size = layout.offset[2] + static_cast<size_t>(layout.stride[2]) * chromaRows;
  return layout;
}

bool PlausiblePicture(int width, int height) {
  return width > 0 && height > 0 && width <= kLargestSide && height <= kLargestSide &&
         static_cast<int64_t>(width) * height <= kLargestPicture;
}

// Opens `path` (only as a local file) and reads its stream information. The
// demultiplexer is chosen from the first bytes before the file is opened for
// it: one that would open other files or addresses named inside (HLS, DASH,
// concat lists…) is refused before its header is read, and every demultiplexer
// can open nothing but `path` itself.
AVFormatContext* OpenContainer(const std::string& path) {
  // The one address the demultiplexer may open; it lives as long as the
  // context (CloseContainer frees it).
  auto url = std::make_unique<std::string>("file:" + path);
  const AVInputFormat* probed = ProbeLibavContainer(*url);
  if (OpensOtherFiles(probed)) return nullptr;
  AVFormatContext* format = avformat_alloc_context();
  if (!format) return nullptr;
  ConfineLibavToUrl(format, *url);
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  const int opened = avformat_open_input(&format, url->c_str(), probed, &options);
  av_dict_free(&options);
  if (opened < 0) return nullptr;  // avformat_open_input freed the context
  if (avformat_find_stream_info(format, nullptr) < 0) {
    avformat_close_input(&format);
    return nullptr;
  }
  url.release();
  return format;
}

// Closes a context OpenContainer opened, and frees its address.
void CloseContainer(AVFormatContext*& format) {
  if (!format) return;
  const auto* url = static_cast<const std::string*>(format->opaque);
  avformat_close_input(&format);
  delete url;
}

bool IsPlayableStream(const AVStream& stream) {
  const AVMediaType type = stream.codecpar->codec_type;
  if (type == AVMEDIA_TYPE_VIDEO) return (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) == 0;
  return type == AVMEDIA_TYPE_AUDIO;
}

// The time of one picture of a video stream, in ns; 0 when it names none.
int64_t PictureTime(const AVStream& stream) {
  for (const AVRational rate : {stream.avg_frame_rate, stream.r_frame_rate}) {
    if (rate.num > 0 && rate.den > 0) {
      const double perSecond = av_q2d(rate);
      if (perSecond >= 1.0 && perSecond <= 1000.0) return static_cast<int64_t>(kNanosecond / perSecond);
    }
  }
  return 0;
}

}  // namespace

uint32_t MediaLengthFromStreams(const std::string& path) {
  AVFormatContext* format = OpenContainer(path);
  if (!format) return 0;
  bool any = false;
  int64_t shortest = 0;  // ns: one picture, or one block of sound
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream& stream = *format->streams[i];
    if (!IsPlayableStream(stream)) continue;
    any = true;
    if (stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
      shortest = std::max(shortest, PictureTime(stream) > 0 ? PictureTime(stream) : kDefaultPictureNs);
    } else if (stream.codecpar->sample_rate > 0 && stream.codecpar->frame_size > 0) {
      shortest = std::max(shortest, av_rescale(stream.codecpar->frame_size, kNanosecond, stream.codecpar->sample_rate));
    }
  }
  if (!any) {
    CloseContainer(format);
    return 0;
  }
  // A duration the container's header states holds; one estimated from the
  // bit rate, or from the times near the file's end (MPEG program streams,
  // whose last packet may carry only the first of many pictures' times),
  // does not.
  const bool reliable = format->duration != AV_NOPTS_VALUE && format->duration > 0 &&
                        format->duration_estimation_method == AVFMT_DURATION_FROM_STREAM;
  const int64_t declared = reliable ? av_rescale(format->duration, kNanosecond, AV_TIME_BASE) : 0;
  const int64_t fileBytes = format->pb ? avio_size(format->pb) : -1;

  int64_t length = declared;
  if (!reliable) {
    // The span of the packets' own times, first to last end.
    int64_t first = INT64_MAX;
    int64_t last = INT64_MIN;
    bool complete = false;
    AVPacket* packet = av_packet_alloc();
    for (int count = 0; packet && count < kLengthScanPackets; ++count) {
      if (av_read_frame(format, packet) < 0) {
        complete = true;
        break;
      }
      const AVStream& stream = *format->streams[packet->stream_index];
      // Decoding times: they rise with the file, where presentation times may
      // start late (B pictures) or be missing.
      const int64_t time = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
      if (IsPlayableStream(stream) && time != AV_NOPTS_VALUE) {
        const int64_t start = av_rescale_q(time, stream.time_base, kNanoseconds);
        const int64_t end = start + av_rescale_q(std::max<int64_t>(packet->duration, 0), stream.time_base, kNanoseconds);
        first = std::min(first, start);
        last = std::max(last, end);
      }
      av_packet_unref(packet);
      if (format->pb && avio_tell(format->pb) > kLengthScanBytes) break;
    }
    av_packet_free(&packet);
    if (first != INT64_MAX && last > first) {
      int64_t span = last - first;
      const int64_t read = format->pb ? avio_tell(format->pb) : 0;
      // Only part of the file was read: as much again for every part as long.
      if (!complete && read > 0 && fileBytes > read) {
        span = static_cast<int64_t>(static_cast<double>(span) * static_cast<double>(fileBytes) / read);
      }
      length = std::max(length, span);
    }
  }
  CloseContainer(format);
  length = std::max(length, shortest);
  const int64_t milliseconds = (length + 999'999) / 1'000'000;
  return static_cast<uint32_t>(std::clamp<int64_t>(milliseconds, 1, 0xFFFFFFFFll));
}

bool IsWideAiffSound(const std::string& path) {
  // The form's first 12 bytes, "FORM", its size, "AIFF" or "AIFC", spare
  // every other file the container probe.
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;  // a FIFO could block
  char head[12] = {};
  {
    std::ifstream file(path, std::ios::binary);
    if (!file.read(head, sizeof head)) return false;
  }
  const std::string_view form(head, sizeof head);
  if (form.substr(0, 4) != "FORM" || (form.substr(8) != "AIFF" && form.substr(8) != "AIFC")) return false;
  AVFormatContext* format = OpenContainer(path);
  if (!format) return false;
  bool wide = false;
  if (std::string_view(format->iformat->name) == "aiff") {
    for (unsigned i = 0; i < format->nb_streams; ++i) {
      const AVCodecParameters& parameters = *format->streams[i]->codecpar;
      // libavcodec numbers every PCM coding below the first ADPCM one.
      const bool pcm = parameters.codec_id >= AV_CODEC_ID_FIRST_AUDIO && parameters.codec_id < AV_CODEC_ID_ADPCM_IMA_QT;
      if (parameters.codec_type == AVMEDIA_TYPE_AUDIO && pcm && av_get_bits_per_sample(parameters.codec_id) > 16) {
        wide = true;
      }
    }
  }
  CloseContainer(format);
  return wide;
}

std::unique_ptr<LibavMedia> LibavMedia::Open(const std::string& path) {
  std::unique_ptr<LibavMedia> media(new LibavMedia());
  if (!media->OpenFile(path)) return nullptr;
  return media;
}

LibavMedia::~LibavMedia() {
  av_frame_free(&frame_);
  av_packet_free(&packet_);
  swr_free(&resampler_);
  sws_freeContext(scaler_);
  avcodec_free_context(&video_);
  avcodec_free_context(&audio_);
  CloseContainer(format_);
}

bool LibavMedia::OpenDecoder(int stream, AVCodecContext*& codec) {
  const AVCodecParameters& parameters = *format_->streams[stream]->codecpar;
  const AVCodec* decoder = avcodec_find_decoder(parameters.codec_id);
  if (!decoder) return false;
  codec = avcodec_alloc_context3(decoder);
  if (!codec || avcodec_parameters_to_context(codec, &parameters) < 0) return false;
  codec->max_pixels = kLargestPicture;
  codec->thread_count = 1;  // the feeding thread is the decoding thread
  codec->pkt_timebase = format_->streams[stream]->time_base;
  return avcodec_open2(codec, decoder, nullptr) == 0;
}

bool LibavMedia::OpenFile(const std::string& path) {
  format_ = OpenContainer(path);
  if (!format_) return false;
  packet_ = av_packet_alloc();
  frame_ = av_frame_alloc();
  if (!packet_ || !frame_) return false;
  startTime_ = format_->start_time != AV_NOPTS_VALUE ? format_->start_time : 0;

  const int video = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (video >= 0 && IsPlayableStream(*format_->streams[video])) {
    const AVCodecParameters& parameters = *format_->streams[video]->codecpar;
    if (PlausiblePicture(parameters.width, parameters.height) && OpenDecoder(video, video_) &&
        PlausiblePicture(video_->width, video_->height)) {
      videoStream_ = video;
      picture_.width = video_->width;
      picture_.height = video_->height;
      const AVRational aspect = av_guess_sample_aspect_ratio(format_, format_->streams[video], nullptr);
      if (aspect.num > 0 && aspect.den > 0) {
        av_reduce(&picture_.aspectNum, &picture_.aspectDen, aspect.num, aspect.den, 1 << 16);
      }
      pictureBytes_ = I420Layout(picture_.width, picture_.height).size;
      frameDuration_ = PictureTime(*format_->streams[video]);
      if (frameDuration_ <= 0) frameDuration_ = kDefaultPictureNs;
    } else {
      avcodec_free_context(&video_);
    }
  }
  const int audio = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, video, nullptr, 0);
  if (audio >= 0) {
    const AVCodecParameters& parameters = *format_->streams[audio]->codecpar;
    if (parameters.sample_rate > 0 && parameters.ch_layout.nb_channels > 0 &&
        parameters.ch_layout.nb_channels <= kMostInputChannels && OpenDecoder(audio, audio_) &&
        audio_->sample_rate > 0 && audio_->ch_layout.nb_channels > 0 &&
        audio_->ch_layout.nb_channels <= kMostInputChannels) {
      audioStream_ = audio;
      sound_.rate = audio_->sample_rate >= kLowestRate && audio_->sample_rate <= kHighestRate ? audio_->sample_rate
                                                                                            : kFallbackRate;
      sound_.channels = audio_->ch_layout.nb_channels == 1 ? 1 : 2;
    } else {
      avcodec_free_context(&audio_);
    }
  }
  videoDrained_ = videoStream_ < 0;
  audioDrained_ = audioStream_ < 0;
  return videoStream_ >= 0 || audioStream_ >= 0;
}

int64_t LibavMedia::FrameTime(const AVFrame& frame, int stream) const {
  const int64_t time = frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
  if (time == AV_NOPTS_VALUE) return -1;
  return av_rescale_q(time, format_->streams[stream]->time_base, kNanoseconds) -
         av_rescale(startTime_, kNanosecond, AV_TIME_BASE);
}

bool LibavMedia::ConvertPicture(const AVFrame& frame, Output& out) {
  if (frame.width <= 0 || frame.height <= 0 || frame.format < 0) return false;
  int64_t time = FrameTime(frame, videoStream_);
  if (time < 0) time = nextPictureTime_ >= 0 ? nextPictureTime_ : skipBefore_;  // a picture without a time follows on
  nextPictureTime_ = time + frameDuration_;
  if (time + frameDuration_ <= skipBefore_) return false;
  const auto format = static_cast<AVPixelFormat>(frame.format);
  if (!sws_isSupportedInput(format)) return false;
  scaler_ = sws_getCachedContext(scaler_, frame.width, frame.height, format, picture_.width, picture_.height,
                                 AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!scaler_) return false;
  const PictureLayout layout = I420Layout(picture_.width, picture_.height);
  out.bytes.assign(layout.size, 0);
  uint8_t* planes[4] = {out.bytes.data() + layout.offset[0], out.bytes.data() + layout.offset[1],
                        out.bytes.data() + layout.offset[2], nullptr};
  int strides[4] = {layout.stride[0], layout.stride[1], layout.stride[2], 0};
  if (sws_scale(scaler_, frame.data, frame.linesize, 0, frame.height, planes, strides) <= 0) return false;
  out.kind = Kind::Picture;
  out.time = time;
  out.duration = frameDuration_;
  return true;
}

bool LibavMedia::ConvertSound(const AVFrame& frame, Output& out) {
  if (frame.nb_samples <= 0 || frame.sample_rate < kLowestInputRate || frame.sample_rate > kHighestInputRate ||
      frame.ch_layout.nb_channels <= 0 ||
      frame.ch_layout.nb_channels > kMostInputChannels || frame.format < 0) {
    return false;
  }
  const SoundShape shape{frame.format, frame.sample_rate, frame.ch_layout.nb_channels,
                         static_cast<int>(frame.ch_layout.order),
                         frame.ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? frame.ch_layout.u.mask : 0};
  if (resampler_ && !(shape == resamplerShape_)) swr_free(&resampler_);
  if (!resampler_) {
    resamplerShape_ = shape;
    AVChannelLayout output{};
    av_channel_layout_default(&output, sound_.channels);
    AVChannelLayout input{};
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
      av_channel_layout_default(&input, frame.ch_layout.nb_channels);
    } else if (av_channel_layout_copy(&input, &frame.ch_layout) < 0) {
      return false;
    }
    const int made = swr_alloc_set_opts2(&resampler_, &output, AV_SAMPLE_FMT_S16, sound_.rate, &input,
                                         static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
    av_channel_layout_uninit(&input);
    av_channel_layout_uninit(&output);
    if (made < 0 || swr_init(resampler_) < 0) {
      swr_free(&resampler_);
      return false;
    }
  }
  const int64_t longest = kLongestSoundBlockSeconds * sound_.rate;
  const int room = static_cast<int>(std::min<int64_t>(swr_get_out_samples(resampler_, frame.nb_samples), longest));
  if (room <= 0) return false;
  const size_t frameBytes = static_cast<size_t>(sound_.channels) * 2;
  out.bytes.assign(static_cast<size_t>(room) * frameBytes, 0);
  uint8_t* target = out.bytes.data();
  const int got = swr_convert(resampler_, &target, room, const_cast<const uint8_t**>(frame.extended_data),
                              frame.nb_samples);
  if (got <= 0) {
    // A block the resampler refuses starts a new resampler for the next one.
    if (got < 0) swr_free(&resampler_);
    return false;
  }
  out.bytes.resize(static_cast<size_t>(got) * frameBytes);

  int64_t time = FrameTime(frame, audioStream_);
  if (nextSoundTime_ >= 0 && (time < 0 || std::llabs(time - nextSoundTime_) < kSoundJoinNs)) time = nextSoundTime_;
  if (time < 0) time = 0;
  int64_t duration = av_rescale(got, kNanosecond, sound_.rate);
  nextSoundTime_ = time + duration;
  if (time + duration <= skipBefore_) return false;
  if (time < skipBefore_) {
    const int64_t cut = std::min<int64_t>(av_rescale(skipBefore_ - time, sound_.rate, kNanosecond), got);
    out.bytes.erase(out.bytes.begin(), out.bytes.begin() + static_cast<ptrdiff_t>(cut * frameBytes));
    if (out.bytes.empty()) return false;
    time = skipBefore_;
    duration = av_rescale(static_cast<int64_t>(out.bytes.size() / frameBytes), kNanosecond, sound_.rate);
  }
  out.kind = Kind::Sound;
  out.time = time;
  out.duration = duration;
  return true;
}

bool LibavMedia::ReceiveFrames(Output& out) {
  struct Decoder {
    AVCodecContext* codec;
    bool* drained;
    bool picture;
  };
  for (const Decoder decoder : {Decoder{video_, &videoDrained_, true}, Decoder{audio_, &audioDrained_, false}}) {
    if (!decoder.codec || *decoder.drained) continue;
    for (;;) {
      const int received = avcodec_receive_frame(decoder.codec, frame_);
      if (received == AVERROR(EAGAIN)) break;
      if (received < 0) {
        *decoder.drained = true;
        break;
      }
      const bool given = decoder.picture ? ConvertPicture(*frame_, out) : ConvertSound(*frame_, out);
      av_frame_unref(frame_);
      if (given) return true;
    }
  }
  return false;
}

LibavMedia::Output LibavMedia::Next() {
  Output out;
  for (;;) {
    if (ReceiveFrames(out)) return out;
    if (videoDrained_ && audioDrained_) return Output{};
    if (draining_) {
      // Decoders that gave nothing more after the end of the file are done.
      videoDrained_ = true;
      audioDrained_ = true;
      continue;
    }
    if (av_read_frame(format_, packet_) < 0) {
      draining_ = true;
      if (video_ && !videoDrained_) avcodec_send_packet(video_, nullptr);
      if (audio_ && !audioDrained_) avcodec_send_packet(audio_, nullptr);
      continue;
    }
    if (packet_->stream_index == videoStream_) {
      avcodec_send_packet(video_, packet_);  // a damaged packet is passed by
    } else if (packet_->stream_index == audioStream_) {
      avcodec_send_packet(audio_, packet_);
    }
    av_packet_unref(packet_);
  }
}

void LibavMedia::SeekTo(int64_t time) {
  skipBefore_ = std::max<int64_t>(time, 0);
  // Without an index of key pictures (MPEG streams) a seek lands on a packet
  // near the place, whose pictures cannot be decoded: it starts a second
  // earlier, and what lies before the place is decoded and dropped.
  const int64_t from = std::max<int64_t>(skipBefore_ - kSeekMargin, 0);
  const int64_t target = startTime_ + av_rescale(from, AV_TIME_BASE, kNanosecond);
  if (av_seek_frame(format_, -1, target, AVSEEK_FLAG_BACKWARD) < 0 &&
      avformat_seek_file(format_, -1, INT64_MIN, target, target, 0) < 0) {
    // Read again from the start; what lies before the place is dropped.
    if (av_seek_frame(format_, -1, startTime_, AVSEEK_FLAG_BACKWARD) < 0) {
      av_seek_frame(format_, -1, 0, AVSEEK_FLAG_BYTE);
    }
  }
  if (video_) avcodec_flush_buffers(video_);
  if (audio_) avcodec_flush_buffers(audio_);
  swr_free(&resampler_);
  draining_ = false;
  videoDrained_ = videoStream_ < 0;
  audioDrained_ = audioStream_ < 0;
  nextPictureTime_ = -1;
  nextSoundTime_ = -1;
}

}  // namespace qorve
