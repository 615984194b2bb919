// TwinVQ files made by tests: the version identifier, a chunk header and
// frame data of the caller's choosing.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qorve::test {

inline std::string BigEndian32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

inline std::string VqfChunk(const std::string& id, const std::string& data) {
  return id + BigEndian32(static_cast<uint32_t>(data.size())) + data;
}

// "COMM" of channel mode, kbit/s, kHz, security level.
inline std::string VqfComm(uint32_t mode, uint32_t kbps, uint32_t khz) {
  return VqfChunk("COMM", BigEndian32(mode) + BigEndian32(kbps) + BigEndian32(khz) + BigEndian32(0));
}

inline std::string MakeVqf(const std::string& chunks, const std::string& data, const std::string& marker = "DATA") {
  return "TWIN97012000" + BigEndian32(static_cast<uint32_t>(chunks.size())) + chunks + marker + data;
}

}  // namespace qorve::test
