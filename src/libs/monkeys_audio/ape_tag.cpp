#include "ape_tag.h"

#include <cstring>

namespace {

using monkeys_audio::Le32;

constexpr uint32_t kFooterBytes = 32;
constexpr uint32_t kId3v1Bytes = 128;
constexpr uint32_t kMaxFields = 65536;
// A key is 2 to 255 printable ASCII characters.
constexpr std::size_t kMaxKeyBytes = 255;

}  // namespace

void CAPETag::Analyze() {
  if (analyzed_) return;
  analyzed_ = true;

  const uint64_t size = reader_.Size();
  uint64_t end = size;
  char id3[3];
  if (size >= kId3v1Bytes && reader_.ReadExact(size - kId3v1Bytes, id3, 3) && std::memcmp(id3, "TAG", 3) == 0) {
    end -= kId3v1Bytes;
  }
  uint8_t footer[kFooterBytes];
  if (end < kFooterBytes || !reader_.ReadExact(end - kFooterBytes, footer, sizeof footer) ||
      std::memcmp(footer, "APETAGEX", 8) != 0) {
    return;
  }
  const uint32_t version = Le32(footer + 8);
  const uint32_t tagBytes = Le32(footer + 12);  // fields and footer, not the header
  const uint32_t count = Le32(footer + 16);
  if ((version != 1000 && version != 2000) || tagBytes < kFooterBytes || tagBytes > end || count > kMaxFields) return;

  std::string body(tagBytes - kFooterBytes, '\0');
  if (!reader_.ReadExact(end - tagBytes, body.data(), body.size())) return;
  version_ = static_cast<int>(version);

  std::size_t at = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (body.size() - at < 8) break;
    const uint32_t valueBytes = Le32(reinterpret_cast<const uint8_t*>(body.data() + at));
    const uint32_t flags = Le32(reinterpret_cast<const uint8_t*>(body.data() + at + 4));
    at += 8;
    const std::size_t keyEnd = body.find('\0', at);
    if (keyEnd == std::string::npos || keyEnd == at || keyEnd - at > kMaxKeyBytes) break;
    std::string key = body.substr(at, keyEnd - at);
    at = keyEnd + 1;
    if (valueBytes > body.size() - at) break;
    std::string value = body.substr(at, valueBytes);
    at += valueBytes;
    if ((flags & 6u) == 0) {  // text
      while (!value.empty() && value.back() == '\0') value.pop_back();
    }
    fields_.push_back(std::make_unique<CAPETagField>(std::move(key), std::move(value), flags));
  }
}

bool CAPETag::GetNextTagField(bool first, CAPETagField** field) {
  if (!analyzed_) Analyze();
  if (first) next_ = 0;
  if (next_ >= fields_.size()) {
    if (field != nullptr) *field = nullptr;
    return false;
  }
  if (field != nullptr) *field = fields_[next_].get();
  ++next_;
  return true;
}
