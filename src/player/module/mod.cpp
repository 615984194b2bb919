#include "player/module/mod.h"

#include "common/log.h"
#include "player/visual/video_window.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <vector>

namespace qorve {
namespace {

// Reads a whole regular file; false when it cannot be opened or read in full.
// `outOfMemory` tells a buffer that could not be had apart.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, bool& outOfMemory) {
  outOfMemory = false;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size < 0) return false;
  file.seekg(0, std::ios::beg);
  try {
    bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
    return false;
  } catch (const std::length_error&) {
    outOfMemory = true;
    return false;
  }
  file.read(reinterpret_cast<char*>(bytes.data()), size);
  return file.gcount() == size;
}

}  // namespace

MOD::MOD() {
  Log("MODコンストラクタ", 0);
  info_.Kind = kKindSound;
}

MOD::~MOD() {
  Log("MODデストラクタ", 0);
  CloseStream();
  engine_.reset();
}

int MOD::Open(const std::string& path, const std::string& extension, WindowHandle) {
  DestroyVideoWindow();
  CloseStream();
  engine_.reset(ModCreate());
  if (!engine_) return kResultWrongExtension;

  std::vector<uint8_t> image;
  bool outOfMemory = false;
  if (!ReadWholeFile(path, image, outOfMemory)) return outOfMemory ? kResultOutOfMemory : kResultFileNotFound;
  const int loaded = ModLoad(engine_.get(), image.data(), static_cast<int64_t>(image.size()));
  image = std::vector<uint8_t>();
  if (!loaded) return kResultWrongExtension;

  ModPlayer* engine = engine_.get();
  ModSetRate(engine, kRate);
  ModSetLoop(engine, 0);
  ModReset(engine);
  info_.Length = ModMeasureSeconds(engine, kMaxLengthSeconds);
  ModReset(engine);

  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = static_cast<uint32_t>(engine->rate);
  format.wBitsPerSample = 16;
  format.nBlockAlign = 4;
  format.nAvgBytesPerSec = format.nSamplesPerSec * 4;
  format.cbSize = 0;
  bytesPerSecond_ = format.nAvgBytesPerSec;

  if (const int result = OpenStream(format); result != kResultSuccess) return result;
  SetInfoText(info_.FileName, std::filesystem::path(path).filename().string());
  SetInfoText(info_.Format, extension);
  return kResultSuccess;
}

void MOD::Fill(uint8_t* buffer, uint32_t bytes) {
  std::memset(buffer, 0, bytes);
  ModRender(engine_.get(), buffer, static_cast<int>(bytes / 4));
}

void MOD::SeekSource(double from) {
  ModPlayer* engine = engine_.get();
  ModReset(engine);
  // Whole seconds ahead: the sound resumes at the next whole second while
  // the time shown starts at `from`. A time past the end (the song starts
  // again) is held to the length, so that this never runs for long.
  const double skip = std::min(std::ceil(from), std::max(info_.Length, 0.0));
  std::vector<uint8_t> scratch(static_cast<std::size_t>(engine->rate) * 4);
  for (int second = 0; second < skip; ++second) {
    ModRender(engine, scratch.data(), engine->rate);
  }
}

}  // namespace qorve
