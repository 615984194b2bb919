#include "vbmp3.h"

#include "platform/audio/wave_out.h"
#include "platform/system/text.h"

#include <mpg123.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using qorve::WaveOutDevice;

// How far ahead of the listener the thread decodes.
constexpr double kLeadSeconds = 0.5;
constexpr std::size_t kChunkBytes = 16384;
constexpr auto kIdlePoll = std::chrono::milliseconds(5);
constexpr int kMaxFailures = 8;

struct Player {
  std::mutex mutex;  // everything below, except what is atomic
  std::condition_variable wake;
  mpg123_handle* decoder = nullptr;
  std::unique_ptr<WaveOutDevice> device;
  std::thread thread;
  bool quit = false;
  std::atomic<int> state{kVbMp3Stopped};
  std::atomic<int> lastError{kVbMp3NoError};
  uint32_t bytesPerSecond = 0;
  int rate = 0;
  int seconds = 0;     // length, rounded up
  int seekSecond = 0;  // the second that the device's reset stands for
  uint64_t written = 0;  // bytes handed to the device since its last reset
  uint64_t played = 0;   // bytes the device has played since its last reset
  uint32_t lastPosition = 0;  // the device's position when `played` was brought up to date
  bool ended = false;    // the decoder has given its last sample
  bool initialised = false;
};

Player& State() {
  static Player player;
  return player;
}

// The bytes the device has played since its last reset. The device counts
// modulo 2^32, which wraps after 6 h 46 min of 44.1 kHz stereo; the count here
// goes on across the wrap, as it adds the step since the last look modulo 2^32
// too. The feeding thread looks every few milliseconds, far more often than
// once a wrap.
uint64_t Played(Player& p) {
  uint32_t position = p.lastPosition;
  if (p.device) p.device->GetPosition(position);
  p.played += static_cast<uint32_t>(position - p.lastPosition);
  p.lastPosition = position;
  return p.played;
}

void Run(Player& p) {
  std::vector<unsigned char> chunk(kChunkBytes);
  int failures = 0;
  std::unique_lock lock(p.mutex);
  while (!p.quit) {
    const bool ahead = p.written >= Played(p) + static_cast<uint64_t>(kLeadSeconds * p.bytesPerSecond);
    if (p.state.load() != kVbMp3Playing || p.ended || ahead) {
      p.wake.wait_for(lock, kIdlePoll);
      continue;
    }
    std::size_t done = 0;
    const int result = mpg123_read(p.decoder, chunk.data(), chunk.size(), &done);
    if (done > 0) {
      p.device->Write(chunk.data(), static_cast<uint32_t>(done));
      p.written += done;
    }
    // The decoder skips a damaged frame by itself; errors that keep coming
    // without a sample end the feed, as the end of the file does.
    failures = result == MPG123_ERR && done == 0 ? failures + 1 : 0;
    if (result == MPG123_DONE || failures > kMaxFailures) p.ended = true;
  }
}

int Fail(int error) {
  State().lastError = error;
  return 0;
}

void CloseLocked(Player& p, std::unique_lock<std::mutex>& lock) {
  if (p.thread.joinable()) {
    p.quit = true;
    p.wake.notify_all();
    lock.unlock();
    p.thread.join();
    lock.lock();
  }
  p.quit = false;
  if (p.device) p.device->Close();
  p.device.reset();
  if (p.decoder != nullptr) mpg123_delete(p.decoder);
  p.decoder = nullptr;
  p.state = kVbMp3Stopped;
  p.written = 0;
  p.played = 0;
  p.lastPosition = 0;
  p.seekSecond = 0;
  p.ended = false;
}

void SeekLocked(Player& p, int seconds) {
  seconds = std::clamp(seconds, 0, p.seconds);
  mpg123_seek(p.decoder, static_cast<off_t>(seconds) * p.rate, SEEK_SET);
  p.device->Reset();
  // Counted from the position the device reports after its reset (0, unless
  // a device starts elsewhere).
  p.lastPosition = 0;
  p.device->GetPosition(p.lastPosition);
  p.played = 0;
  p.seekSecond = seconds;
  p.written = 0;
  p.ended = false;
}

// The title or artist: ID3v2 text (libmpg123 gives it as UTF-8), else the
// ID3v1 field (CP932 unless it is UTF-8).
void CopyTag(const mpg123_string* v2, const char* v1, std::size_t v1Bytes, char* out, std::size_t size) {
  if (v2 != nullptr && v2->fill > 1) {
    qorve::CopyToBuffer(std::string_view(v2->p, v2->fill - 1), out, size);
    return;
  }
  if (v1 == nullptr) return;
  std::string_view raw(v1, strnlen(v1, v1Bytes));
  while (!raw.empty() && raw.back() == ' ') raw.remove_suffix(1);
  qorve::CopyToBuffer(qorve::TextToUtf8(raw), out, size);
}

}  // namespace

extern "C" {

int vbmp3_init() {
  Player& p = State();
  std::lock_guard lock(p.mutex);
  p.initialised = true;
  return 1;
}

int vbmp3_free() {
  Player& p = State();
  std::unique_lock lock(p.mutex);
  CloseLocked(p, lock);
  p.initialised = false;
  return 1;
}

int vbmp3_open(const char* path, VbMp3Info* info) {
  Player& p = State();
  std::unique_lock lock(p.mutex);
  CloseLocked(p, lock);
  p.lastError = kVbMp3NoError;
  if (path == nullptr || info == nullptr) return Fail(kVbMp3FileNotFound);
  std::memset(info, 0, sizeof *info);
  const auto fail = [&](int code) {
    CloseLocked(p, lock);
    return Fail(code);
  };

  struct stat about {};
  if (stat(path, &about) != 0) return Fail(errno == ENOENT || errno == ENOTDIR ? kVbMp3FileNotFound : kVbMp3FileNotOpened);
  if (!S_ISREG(about.st_mode)) return Fail(kVbMp3FileNotOpened);
  if (about.st_size == 0) return Fail(kVbMp3FileEmpty);

  int error = MPG123_OK;
  p.decoder = mpg123_new(nullptr, &error);
  if (p.decoder == nullptr) return Fail(error == MPG123_OUT_OF_MEM ? kVbMp3OutOfMemory : kVbMp3DecoderFailed);
  mpg123_param(p.decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  // 16-bit output at the stream's own rate and channel count.
  mpg123_format_none(p.decoder);
  const long* rates = nullptr;
  std::size_t count = 0;
  mpg123_rates(&rates, &count);
  for (std::size_t i = 0; i < count; ++i) {
    mpg123_format(p.decoder, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  }
  if (mpg123_open(p.decoder, path) != MPG123_OK) {
    return fail(mpg123_errcode(p.decoder) == MPG123_OUT_OF_MEM ? kVbMp3OutOfMemory : kVbMp3FileNotRead);
  }
  long rate = 0;
  int channels = 0;
  int encoding = 0;
  if (mpg123_getformat(p.decoder, &rate, &channels, &encoding) != MPG123_OK) return fail(kVbMp3NotMpeg);
  mpg123_frameinfo frame{};
  mpg123_info(p.decoder, &frame);
  if (frame.layer != 3) return fail(kVbMp3NotLayer3);
  if (rate <= 0) return fail(kVbMp3BadRate);
  if (channels != 1 && channels != 2) return fail(kVbMp3BadChannels);
  // A full scan gives the exact length also of VBR files without (or with a
  // wrong) Xing header.
  mpg123_scan(p.decoder);
  const off_t samples = mpg123_length(p.decoder);
  if (samples <= 0) return fail(kVbMp3BadLength);

  qorve::WAVEFORMATEX format{};
  format.wFormatTag = qorve::WAVE_FORMAT_PCM;
  format.nChannels = static_cast<uint16_t>(channels);
  format.nSamplesPerSec = static_cast<uint32_t>(rate);
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<uint16_t>(channels * 2);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  p.device = qorve::CreateWaveOutDevice();
  if (!p.device) return fail(kVbMp3DeviceBusy);
  const qorve::MMRESULT opened = p.device->Open(format);
  if (opened != qorve::MMSYSERR_NOERROR) {
    p.device.reset();
    return fail(opened == qorve::WAVERR_BADFORMAT ? kVbMp3DeviceFormat : kVbMp3DeviceBusy);
  }
  // Nothing sounds before vbmp3_play.
  p.device->Pause();

  p.rate = static_cast<int>(rate);
  p.bytesPerSecond = format.nAvgBytesPerSec;
  p.seconds = static_cast<int>(std::ceil(static_cast<double>(samples) / static_cast<double>(rate)));
  info->channels = channels;
  info->bitrate = frame.bitrate;
  info->rate = static_cast<int32_t>(rate);
  info->seconds = p.seconds;
  mpg123_id3v1* v1 = nullptr;
  mpg123_id3v2* v2 = nullptr;
  if (mpg123_id3(p.decoder, &v1, &v2) == MPG123_OK) {
    CopyTag(v2 ? v2->title : nullptr, v1 ? v1->title : nullptr, 30, info->title, sizeof info->title);
    CopyTag(v2 ? v2->artist : nullptr, v1 ? v1->artist : nullptr, 30, info->artist, sizeof info->artist);
  }
  SeekLocked(p, 0);
  p.thread = std::thread(Run, std::ref(p));
  return 1;
}

int vbmp3_play() {
  Player& p = State();
  std::lock_guard lock(p.mutex);
  if (!p.device) return 0;
  p.device->Restart();
  p.state = kVbMp3Playing;
  p.wake.notify_all();
  return 1;
}

int vbmp3_pause() {
  Player& p = State();
  std::lock_guard lock(p.mutex);
  if (!p.device) return 0;
  p.device->Pause();
  p.state = kVbMp3Paused;
  return 1;
}

int vbmp3_restart() {
  Player& p = State();
  std::lock_guard lock(p.mutex);
  if (!p.device || p.state != kVbMp3Paused) return 0;
  p.device->Restart();
  p.state = kVbMp3Playing;
  p.wake.notify_all();
  return 1;
}

int vbmp3_stop() {
  Player& p = State();
  std::lock_guard lock(p.mutex);
  if (!p.device) return 0;
  p.device->Pause();
  SeekLocked(p, 0);
  p.state = kVbMp3Stopped;
  return 1;
}

int vbmp3_close() {
  Player& p = State();
  std::unique_lock lock(p.mutex);
  CloseLocked(p, lock);
  return 1;
}

int vbmp3_getState(int* seconds) {
  Player& p = State();
  std::lock_guard lock(p.mutex);
  if (seconds != nullptr) {
    *seconds = p.device ? p.seekSecond + static_cast<int>(Played(p) / std::max<uint32_t>(p.bytesPerSecond, 1)) : 0;
  }
  return p.state;
}

int vbmp3_seek(int seconds) {
  Player& p = State();
  std::lock_guard lock(p.mutex);
  if (!p.device) return Fail(kVbMp3NotOpen);
  SeekLocked(p, seconds);
  p.wake.notify_all();
  return 1;
}

int vbmp3_getLastErrorNo() { return State().lastError; }

}  // extern "C"
