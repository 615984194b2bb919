#include "player/formats/audio/mio.h"

#include "common/log.h"
#include "player/formats/tags/mio_tag_scan.h"
#include "player/visual/video_window.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace qorve {

MIO::MIO() {
  Log("MIOコンストラクタ", 0);
  info_.Kind = kKindSound;
  mio::InitializeLibrary();
}

MIO::~MIO() {
  Log("MIOデストラクタ", 0);
  CloseStream();
  if (decoder_) decoder_->Close();
  file_.Close();
  decoder_.reset();
}

void MIO::ReadTags(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Log("MIOタグ情報取得失敗", 0);
    return;
  }
  std::string head(kMioTagScanBytes, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  const MioTags tags = ScanMioTags(head);
  SetInfoText(info_.Title, tags.title);
  SetInfoText(info_.Artist, tags.artist);
  SetInfoText(info_.Album, tags.album);
  SetInfoText(info_.Genre, tags.genre);
}

int MIO::Open(const std::string& path, const std::string& extension, WindowHandle) {
  DestroyVideoWindow();
  ReadTags(path);

  decoder_ = std::make_unique<mio::MioDecoder>();
  if (!file_.Open(path)) return kResultFileNotFound;
  if (!decoder_->Open(file_, 0)) return kResultWrongExtension;

  const uint16_t channels = decoder_->Channels();
  const uint32_t rate = decoder_->SampleRate();
  const uint16_t bits = decoder_->BitsPerSample();
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = bits;
  format.nBlockAlign = static_cast<uint16_t>(bits / 8 * channels);
  format.nAvgBytesPerSec = format.nBlockAlign * rate;
  bytesPerSecond_ = format.nAvgBytesPerSec;
  blockAlign_ = format.nBlockAlign;

  // The block length the stream's buffers take: the decoder's blocks are all
  // of one size.
  decoder_->Release(decoder_->NextBlock());
  std::unique_ptr<mio::MioBlock> first = decoder_->DecodeAt(0);
  const auto blockLength = static_cast<int>(first->pcm.size());
  decoder_->Release(std::move(first));

  info_.Bits = static_cast<uint8_t>(bits);
  info_.SampleRate = static_cast<int32_t>(rate);
  info_.Channels = static_cast<uint8_t>(channels);
  // Whole milliseconds, rounded to nearest.
  info_.Length = static_cast<double>((static_cast<uint64_t>(decoder_->TotalFrames()) * 1000 + rate / 2) / rate) * 0.001;
  soundEnd_ = static_cast<double>(decoder_->TotalFrames()) / rate;

  if (const int result = OpenStream(format, blockLength); result != kResultSuccess) return result;

  SetInfoText(info_.FileName, std::filesystem::path(path).filename().string());
  SetInfoText(info_.Format, extension);
  return kResultSuccess;
}

void MIO::Fill(uint8_t* buffer, uint32_t bytes) {
  uint32_t written = 0;
  std::unique_ptr<mio::MioBlock> block = decoder_->DecodeAt(nextFrame_);
  if (block && block->offset < block->pcm.size()) {
    written = static_cast<uint32_t>(std::min<std::size_t>(bytes, block->pcm.size() - block->offset));
    std::memcpy(buffer, block->pcm.data() + block->offset, written);
  }
  decoder_->Release(std::move(block));
  // A block that failed (or came short) plays silence, not what the buffer
  // held a pass ago.
  std::memset(buffer + written, decoder_->BitsPerSample() == 8 ? 0x80 : 0x00, bytes - written);
  const uint32_t frames = blockAlign_ != 0 ? bytes / blockAlign_ : 0;
  nextFrame_ = nextFrame_ > UINT32_MAX - frames ? UINT32_MAX : nextFrame_ + frames;
}

void MIO::SeekSource(double from) {
  const double frame = std::floor(static_cast<double>(bytesPerSecond_) * from / blockAlign_);
  nextFrame_ = frame >= static_cast<double>(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(frame);
}

}  // namespace qorve
