#include "player/formats/audio/vqf.h"

#include "common/log.h"
#include "platform/system/text.h"
#include "player/visual/video_window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace qorve {
namespace {

constexpr float kLimit = 32700.0f;
constexpr std::size_t kIdOffset = 12;  // the big-endian header size follows the identifier

template <std::size_t N>
void CopyChunkText(const std::optional<std::string>& text, char (&slot)[N]) {
  std::memset(slot, 0, N);
  if (text) std::memcpy(slot, text->data(), std::min(text->size(), N - 1));
}

}  // namespace

void TvqFloatToPcm(const float* in, int16_t* out, int frameSize, int channels) {
  for (int c = 0; c < channels; ++c) {
    for (int n = 0; n < frameSize; ++n) {
      float v = in[c * frameSize + n];
      if (v >= 0) {
        v = std::min(v, kLimit) + 0.5f;
      } else if (v < 0) {
        v = std::max(v, -kLimit) - 0.5f;
      } else {
        v = 0;  // NaN
      }
      out[n * channels + c] = static_cast<int16_t>(v);
    }
  }
}

VQF::VQF() {
  Log("VQFコンストラクタ", 0);
  info_.Kind = kKindSound;
}

VQF::~VQF() {
  DestroyVideoWindow();
  Log("VQFデストラクタ", 0);
  CloseStream();
  reader_.reset();
  if (decoderOpen_) TvqTerminate(&index_);
}

int VQF::Open(const std::string& path, const std::string& extension, WindowHandle) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return kResultFileNotFound;
  uint8_t head[kIdOffset + 4] = {};
  file.read(reinterpret_cast<char*>(head), sizeof head);
  const uint32_t headerSize = static_cast<uint32_t>(head[12]) << 24 | static_cast<uint32_t>(head[13]) << 16 |
                              static_cast<uint32_t>(head[14]) << 8 | head[15];
  file.seekg(0, std::ios::end);
  const auto fileSize = static_cast<int64_t>(std::max<std::streamoff>(file.tellg(), 0));
  file.close();

  reader_ = TvqBitstream::Open(path);
  if (!reader_ || !reader_->ReadHeader()) return kResultWrongExtension;
  if (!reader_->BuildChunkIndex()) return kResultBrokenFile;

  TvqHeaderInfo header{};
  std::memcpy(header.ID, reader_->VersionId().data(), std::min<std::size_t>(reader_->VersionId().size(), 15));
  if (const auto comm = reader_->CommChunk()) {
    header.channelMode = (*comm)[0];
    header.bitRate = (*comm)[1];
    header.samplingRate = (*comm)[2];
    header.securityLevel = (*comm)[3];
    CopyChunkText(reader_->TextChunk("NAME"), header.Name);
    CopyChunkText(reader_->TextChunk("AUTH"), header.Auth);
    CopyChunkText(reader_->TextChunk("COMT"), header.Comt);
    CopyChunkText(reader_->TextChunk("(c) "), header.Cpyr);
    CopyChunkText(reader_->TextChunk("FILE"), header.File);
    header.Dsiz = reader_->IntegerChunk("DSIZ").value_or(0);
  }

  if (TvqInitialize(&header, &index_, 1) != 0) return kResultBrokenFile;
  decoderOpen_ = true;
  if (reader_->InitializeFrameReading() != 0) {
    std::fputs("Program is stopped due to an error in bitstream reader initialization.\n", stderr);
    return kResultBrokenFile;
  }
  // The decoder is new: its first frames only prime it, for every file.
  discard_ = kDiscardFrames;

  frameSize_ = TvqGetFrameSize();
  channels_ = TvqGetNumChannels();
  floats_.assign(static_cast<std::size_t>(frameSize_) * channels_, 0.0f);
  pcm_.assign(static_cast<std::size_t>(frameSize_) * channels_, 0);

  const int rate = TvqGetSamplingRate();
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<uint16_t>(channels_);
  format.nSamplesPerSec = static_cast<uint32_t>(rate);
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<uint16_t>(channels_ * 2);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  bytesPerSecond_ = format.nAvgBytesPerSec;

  const int bitRate = TvqGetBitRate();
  info_.Length = static_cast<double>(fileSize - static_cast<int64_t>(headerSize) - 12) / (bitRate * 125.0);
  info_.SampleRate = rate;
  info_.Bits = 16;
  info_.Channels = static_cast<uint8_t>(channels_);
  info_.Bitrate = static_cast<uint16_t>(bitRate);

  // Buffers of whole frames, as many as fit in one second.
  const uint32_t frameBytes = static_cast<uint32_t>(channels_ * frameSize_ * 2);
  const uint32_t buffer = std::max<uint32_t>(bytesPerSecond_ / frameBytes, 1) * frameBytes;
  if (const int result = OpenStream(format, static_cast<int>(buffer)); result != kResultSuccess) return result;

  SetInfoText(info_.Title, TextToUtf8(header.Name));
  SetInfoText(info_.Artist, TextToUtf8(header.Auth));
  SetInfoText(info_.FileName, std::filesystem::path(path).filename().string());
  SetInfoText(info_.Format, extension);
  return kResultSuccess;
}

void VQF::Fill(uint8_t* buffer, uint32_t bytes) {
  const uint32_t frameBytes = static_cast<uint32_t>(pcm_.size() * 2);
  uint32_t written = 0;
  while (written + frameBytes <= bytes) {
    if (reader_->ReadFrame(index_)) {
      TvqDecodeFrame(&index_, floats_.data());
    } else {
      // The end of the data, or a frame the decoder cannot take: silence.
      std::fill(floats_.begin(), floats_.end(), 0.0f);
    }
    TvqFloatToPcm(floats_.data(), pcm_.data(), frameSize_, channels_);
    if (discard_ == 0) {
      std::memcpy(buffer + written, pcm_.data(), frameBytes);
      written += frameBytes;
    } else {
      --discard_;
    }
  }
  std::memset(buffer + written, 0, bytes - written);
}

void VQF::SeekSource(double from) {
  // The frame that holds the time: frames are frameSize_ samples each. (Bytes
  // per millisecond from the integer kbit/s ÷ 8 miss by up to a fifth at
  // 20 or 24 kbit/s.)
  const auto target = static_cast<int64_t>(std::min(std::floor(from * info_.SampleRate / frameSize_), 9e15));
  reader_->SkipFrames(target - reader_->FrameCounter());
}

}  // namespace qorve
