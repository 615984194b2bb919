#include "media_maker.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>

namespace qorve::test {

bool RunCommand(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool HaveTools(const std::vector<std::string>& tools) {
  for (const std::string& tool : tools) {
    if (!RunCommand("command -v " + tool)) return false;
  }
  return true;
}

std::string WavData(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t at = 12;
  while (at + 8 <= bytes.size()) {
    uint32_t size = 0;
    std::memcpy(&size, bytes.data() + at + 4, 4);
    if (bytes.compare(at, 4, "data") == 0) return bytes.substr(at + 8, size);
    at += 8 + size + (size & 1);
  }
  return {};
}

std::vector<int32_t> ChordSamples(uint32_t frames, uint32_t channels, uint32_t bits) {
  std::vector<int32_t> samples;
  samples.reserve(static_cast<std::size_t>(frames) * channels);
  const double peak = std::ldexp(1.0, static_cast<int>(bits) - 1) - 1.0;
  for (uint32_t i = 0; i < frames; ++i) {
    for (uint32_t c = 0; c < channels; ++c) {
      const double t = i / 44100.0;
      const double v = 0.5 * std::sin(2 * std::numbers::pi * (220.0 + 55.0 * c) * t) +
                       0.45 * std::sin(2 * std::numbers::pi * 331.0 * t + c);
      samples.push_back(static_cast<int32_t>(std::lround(v * peak)));
    }
  }
  return samples;
}

bool EncodeFlac(const FlacPlan& plan, const std::filesystem::path& path) {
  FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
  if (encoder == nullptr) return false;
  FLAC__stream_encoder_set_channels(encoder, plan.channels);
  FLAC__stream_encoder_set_bits_per_sample(encoder, plan.bits);
  FLAC__stream_encoder_set_sample_rate(encoder, plan.rate);
  FLAC__stream_encoder_set_compression_level(encoder, 5);
  if (plan.blockSize != 0) {
    FLAC__stream_encoder_set_streamable_subset(encoder, false);
    FLAC__stream_encoder_set_blocksize(encoder, plan.blockSize);
  }
  const uint32_t frames = static_cast<uint32_t>(plan.samples.size() / plan.channels);
  FLAC__stream_encoder_set_total_samples_estimate(encoder, frames);

  std::vector<FLAC__StreamMetadata*> metadata;
  if (plan.paddingBeforeComments != 0) {
    FLAC__StreamMetadata* padding = FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING);
    padding->length = plan.paddingBeforeComments;
    metadata.push_back(padding);
  }
  if (!plan.comments.empty()) {
    FLAC__StreamMetadata* block = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    for (const std::string& comment : plan.comments) {
      FLAC__StreamMetadata_VorbisComment_Entry entry;
      entry.length = static_cast<FLAC__uint32>(comment.size());
      entry.entry = reinterpret_cast<FLAC__byte*>(const_cast<char*>(comment.data()));
      FLAC__metadata_object_vorbiscomment_append_comment(block, entry, true);
    }
    metadata.push_back(block);
  }
  if (!metadata.empty()) {
    FLAC__stream_encoder_set_metadata(encoder, metadata.data(), static_cast<unsigned>(metadata.size()));
  }
  bool ok = FLAC__stream_encoder_init_file(encoder, path.c_str(), nullptr, nullptr) ==
                FLAC__STREAM_ENCODER_INIT_STATUS_OK &&
            FLAC__stream_encoder_process_interleaved(encoder, plan.samples.data(), frames);
  ok = FLAC__stream_encoder_finish(encoder) && ok;
  FLAC__stream_encoder_delete(encoder);
  for (FLAC__StreamMetadata* block : metadata) FLAC__metadata_object_delete(block);
  return ok;
}

std::vector<uint8_t> PlayOnePass(VirtualSoundCard& card) {
  card.TakePlayed();
  card.Advance(card.QueuedBytes());
  return card.TakePlayed();
}

}  // namespace qorve::test
