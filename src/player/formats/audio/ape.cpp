#include "player/formats/audio/ape.h"

#include "ape_decompress.h"
#include "common/log.h"
#include "platform/system/text.h"
#include "player/visual/video_window.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace qorve {

const char* ApeCodecText(int compressionLevel) {
  switch (compressionLevel) {
    case 1000: return "APE(FAST)";
    case 2000: return "APE(NORMAL)";
    case 3000: return "APE(HIGH)";
    case 4000: return "APE(EXTRA_HIGH)";
    default: return "";
  }
}

APE::APE() {
  Log("APEコンストラクタ", 0);
  info_.Kind = kKindSound;
}

APE::~APE() {
  Log("APEデストラクタ", 0);
  CloseStream();
  decoder_.reset();
}

int APE::Open(const std::string& path, const std::string& extension, WindowHandle) {
  DestroyVideoWindow();
  decoder_.reset(CreateIAPEDecompress(path.c_str(), nullptr));
  if (!decoder_) return kResultWrongExtension;

  const auto rate = static_cast<uint32_t>(decoder_->GetInfo(APE_INFO_SAMPLE_RATE));
  const auto bits = static_cast<uint16_t>(decoder_->GetInfo(APE_INFO_BITS_PER_SAMPLE));
  const auto channels = static_cast<uint16_t>(decoder_->GetInfo(APE_INFO_CHANNELS));
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = bits;
  format.nBlockAlign = static_cast<uint16_t>(channels * (bits / 8));
  format.nAvgBytesPerSec = format.nBlockAlign * rate;
  bytesPerSecond_ = format.nAvgBytesPerSec;

  totalBlocks_ = decoder_->GetInfo(APE_DECOMPRESS_TOTAL_BLOCKS);
  // The bytes of one block are the format's block alignment. (The WAV total
  // divided by the blocks counts the stored WAV header in, which for a short
  // file makes each fill ask for too few blocks.)
  blockBytes_ = format.nBlockAlign;
  if (totalBlocks_ <= 0 || blockBytes_ == 0) return kResultWrongExtension;

  if (const int result = OpenStream(format); result != kResultSuccess) return result;

  info_.SampleRate = static_cast<int32_t>(rate);
  info_.Bits = static_cast<uint8_t>(bits);
  info_.Channels = static_cast<uint8_t>(channels);
  info_.Length = static_cast<double>(decoder_->GetInfo(APE_INFO_LENGTH_MS)) * 0.001;
  if (rate > 0) soundEnd_ = static_cast<double>(totalBlocks_) / rate;
  SetInfoText(info_.Codec, ApeCodecText(static_cast<int>(decoder_->GetInfo(APE_INFO_COMPRESSION_LEVEL))));

  auto* tag = reinterpret_cast<CAPETag*>(decoder_->GetInfo(APE_INFO_TAG));
  if (tag != nullptr) {
    if (!tag->GetAnalyzed()) tag->Analyze();
    if (tag->GetHasAPETag()) {
      const struct {
        const char* name;
        char* field;
        std::size_t size;
      } kFields[] = {
          {"TITLE", info_.Title, sizeof info_.Title},
          {"ARTIST", info_.Artist, sizeof info_.Artist},
          {"ALBUM", info_.Album, sizeof info_.Album},
          {"GENRE", info_.Genre, sizeof info_.Genre},
      };
      CAPETagField* field = nullptr;
      for (bool first = true; tag->GetNextTagField(first, &field); first = false) {
        for (const auto& wanted : kFields) {
          if (!EqualsIgnoreCase(field->GetFieldName(), wanted.name)) continue;
          // Version 2 stores UTF-8; a version 1 tag in the writer's code page
          // is taken as CP932.
          const std::string_view value(field->GetFieldValue(), static_cast<std::size_t>(field->GetFieldValueSize()));
          CopyToBuffer(TextToUtf8(value.substr(0, value.find('\0'))), wanted.field, wanted.size);
        }
      }
    }
  }

  SetInfoText(info_.FileName, std::filesystem::path(path).filename().string());
  SetInfoText(info_.Format, extension);
  return kResultSuccess;
}

void APE::Fill(uint8_t* buffer, uint32_t bytes) {
  int retrieved = 0;
  decoder_->GetData(reinterpret_cast<char*>(buffer), static_cast<int>(bytes / blockBytes_), &retrieved);
  // Past the end the buffer plays silence, not what it held a pass ago.
  const uint32_t written = static_cast<uint32_t>(std::max(retrieved, 0)) * blockBytes_;
  std::memset(buffer + written, 0, bytes - written);
}

void APE::SeekSource(double from) {
  const double share = info_.Length > 0 ? from / info_.Length : 0.0;
  const double wanted = std::min(share * static_cast<double>(totalBlocks_), static_cast<double>(INT32_MAX));
  const int block = static_cast<int>(wanted);
  if (decoder_->Seek(block) != ERROR_SUCCESS) {
    decoder_->Seek(0);
    // A time past the end plays silence rather than the start again.
    if (decoder_->Seek(block) != ERROR_SUCCESS) decoder_->Seek(static_cast<int>(totalBlocks_));
  }
}

}  // namespace qorve
