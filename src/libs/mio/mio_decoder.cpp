#include "libs/mio/mio_decoder.h"

#include "libs/mio/mio_lossless.h"
#include "libs/mio/mio_lossy.h"
#include "libs/mio/mio_lot_transform.h"

#include <algorithm>
#include <cstring>

namespace qorve::mio {

void InitializeLibrary() { LotTables::Get(); }

MioDecoder::MioDecoder() = default;
MioDecoder::~MioDecoder() = default;

bool MioDecoder::Open(const MioFile& file, int) {
  Close();
  if (!file.IsOpen() || !container_.Parse(file.Bytes())) return false;
  const MioSoundInfo& info = container_.Info();
  if (container_.Lossless()) {
    lossless_ = std::make_unique<MioLosslessDecoder>(info.channels, info.bitsPerSample);
  } else {
    lossy_ = std::make_unique<MioLossyDecoder>(info);
    for (const MioChunk& chunk : container_.Chunks()) {
      if (!lossy_->BlockSizesDecodable(container_.Bytes().data() + chunk.offset, chunk.size, chunk.frames)) {
        Close();
        return false;
      }
    }
  }
  open_ = true;
  return true;
}

void MioDecoder::Close() {
  container_ = MioContainer();
  lossless_.reset();
  lossy_.reset();
  chunkPcm_.clear();
  lossyPcm_.clear();
  decodedChunk_ = -1;
  broken_ = false;
  nextFrame_ = 0;
  open_ = false;
}

void MioDecoder::DecodeChunk(std::size_t k) {
  const MioChunk& chunk = container_.Chunks()[k];
  const uint32_t align = BlockAlign();
  chunkPcm_.resize(static_cast<std::size_t>(chunk.frames) * align);
  if (chunk.lead) {
    broken_ = false;
    if (lossless_) lossless_->Reset();
    if (lossy_) lossy_->Reset();
  }
  bool ok = false;
  if (!broken_) {
    const uint8_t* data = container_.Bytes().data() + chunk.offset;
    if (lossless_) {
      ok = lossless_->Decode(data, chunk.size, chunk.frames, chunkPcm_.data());
    } else {
      lossyPcm_.assign(static_cast<std::size_t>(chunk.frames) * Channels(), 0);
      ok = lossy_->Decode(data, chunk.size, chunk.frames, lossyPcm_.data());
      if (ok) std::memcpy(chunkPcm_.data(), lossyPcm_.data(), chunkPcm_.size());  // little-endian host
    }
  }
  if (!ok) {
    // The chunks up to the next lead chunk depend on this one's coder state.
    broken_ = true;
    std::memset(chunkPcm_.data(), BitsPerSample() == 8 ? 0x80 : 0x00, chunkPcm_.size());
  }
  decodedChunk_ = static_cast<std::ptrdiff_t>(k);
}

void MioDecoder::EnsureChunk(std::size_t k) {
  if (decodedChunk_ == static_cast<std::ptrdiff_t>(k)) return;
  std::size_t start = k;
  if (decodedChunk_ < 0 || static_cast<std::size_t>(decodedChunk_) + 1 != k) {
    const auto& chunks = container_.Chunks();
    while (start > 0 && !chunks[start].lead) --start;
  }
  for (std::size_t j = start; j <= k; ++j) DecodeChunk(j);
}

std::unique_ptr<MioBlock> MioDecoder::DecodeAt(uint32_t frame) {
  if (!open_) return nullptr;
  std::unique_ptr<MioBlock> block = spare_ ? std::move(spare_) : std::make_unique<MioBlock>();
  const uint32_t align = BlockAlign();
  block->pcm.assign(static_cast<std::size_t>(kBlockFrames) * align, BitsPerSample() == 8 ? 0x80 : 0x00);
  block->offset = 0;
  block->firstFrame = frame;
  const uint32_t total = TotalFrames();
  uint32_t at = frame;
  uint32_t filled = 0;
  while (filled < kBlockFrames && at < total) {
    const std::size_t k = container_.ChunkOf(at);
    EnsureChunk(k);
    const MioChunk& chunk = container_.Chunks()[k];
    const uint32_t inChunk = at - chunk.firstFrame;
    const uint32_t take = std::min(kBlockFrames - filled, chunk.frames - inChunk);
    std::memcpy(block->pcm.data() + static_cast<std::size_t>(filled) * align,
                chunkPcm_.data() + static_cast<std::size_t>(inChunk) * align, static_cast<std::size_t>(take) * align);
    filled += take;
    at += take;
  }
  nextFrame_ = frame > UINT32_MAX - kBlockFrames ? UINT32_MAX : frame + kBlockFrames;
  return block;
}

std::unique_ptr<MioBlock> MioDecoder::NextBlock() { return DecodeAt(nextFrame_); }

void MioDecoder::Release(std::unique_ptr<MioBlock> block) {
  if (block) spare_ = std::move(block);
}

}  // namespace qorve::mio
