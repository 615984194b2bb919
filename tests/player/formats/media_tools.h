// Helpers of the format tests: Debian tools that generate test media at test
// time, and small byte builders.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace qorve::test {

// Whether a program is on PATH.
inline bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command quietly; true when it exited 0.
inline bool RunQuietly(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

inline std::string Bytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream out;
  out << file.rdbuf();
  return out.str();
}

inline void PutBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string Le16(uint32_t value) { return {static_cast<char>(value), static_cast<char>(value >> 8)}; }
inline std::string Le32(uint32_t value) { return Le16(value & 0xFFFF) + Le16(value >> 16); }
inline std::string Be32(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
          static_cast<char>(value)};
}

}  // namespace qorve::test
