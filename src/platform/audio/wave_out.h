// platform/audio/: the waveOut and master-volume mixer stand-ins.
//
// The wave-out device: plays PCM spans in the order they are written and reports
// how many bytes have actually been played. One interface, several backends.
//
// Backends (one file each):
//   ALSA     the real sound output: "default", or the PCM that QORVE_AUDIO_DEVICE
//            names (wave_out_alsa.cpp); a device that fails while open is
//            opened again by name, and the position holds until it is back
//   capture  plays into a WAV file, in real time by its own clock ("wav:PATH") or
//            as fast as the producer writes ("wav-fast:PATH") (wave_out_capture.cpp)
//   virtual  a sound card for tests whose clock the test advances
//            (wave_out_virtual.h/.cpp)
// CreateWaveOutDevice() picks one: a factory installed with SetWaveOutFactory,
// else QORVE_AUDIO (unset or "alsa": ALSA; "wav:PATH"; "wav-fast:PATH").
//
// Contract of a device:
// - Open(format) must succeed before anything else; it returns a WinMM result
//   code (MMSYSERR_NOERROR or one of the errors below). A device is opened once.
// - Write(data, bytes) copies the span into the device's queue: the caller may
//   reuse its memory as soon as Write returns. Spans play in the order written,
//   with no gap between them as long as the queue does not run dry.
// - Pause() stops playing and freezes the position; Restart() resumes. Writes
//   made while paused are queued. A device that has nothing queued plays
//   nothing, and its position does not move.
// - Reset() drops everything queued and not yet played and sets the position
//   back to 0. It keeps the paused or running state.
// - GetPosition(bytes) gives the bytes played since Open or the last Reset,
//   counted modulo 2^32, as the listener has heard them.
// - Close() drops whatever is still queued and releases the device; every call
//   after it returns MMSYSERR_INVALHANDLE. The destructor closes an open device.
// Threads: every operation may be called from any thread; a backend serialises
// its own calls. The wave-out engine makes all calls except GetPosition under
// its own lock, and GetPosition from its worker and from the owner's thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace qorve {

using MMRESULT = uint32_t;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;        // unspecified failure (file not writable, device error)
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;  // no such device
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;    // the device is already in use
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;  // the device is not open
constexpr MMRESULT MMSYSERR_NODRIVER = 6;     // no sound driver or card
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;     // the device cannot play this format

constexpr uint16_t WAVE_FORMAT_PCM = 1;

// The PCM format record, member for member as the media classes fill it.
struct WAVEFORMATEX {
  uint16_t wFormatTag;
  uint16_t nChannels;
  uint32_t nSamplesPerSec;
  uint32_t nAvgBytesPerSec;
  uint16_t nBlockAlign;      // bytes per frame: channels × bytes per sample
  uint16_t wBitsPerSample;   // 8, 16, 24 or 32
  uint16_t cbSize;           // extra bytes after the record; 0 for PCM
};

// MMSYSERR_NOERROR when every backend can play the format: integer PCM of 8,
// 16, 24 or 32 bits, 1 to 8 channels, 1000 to 768000 frames a second and a
// block alignment of channels × bytes per sample; else WAVERR_BADFORMAT.
// (The average-bytes field is not checked: nobody relies on it.)
MMRESULT CheckPcmFormat(const WAVEFORMATEX& format);

class WaveOutDevice {
 public:
  virtual ~WaveOutDevice() = default;
  virtual MMRESULT Open(const WAVEFORMATEX& format) = 0;
  virtual MMRESULT Write(const uint8_t* data, uint32_t bytes) = 0;
  virtual MMRESULT Pause() = 0;
  virtual MMRESULT Restart() = 0;
  virtual MMRESULT Reset() = 0;
  virtual MMRESULT GetPosition(uint32_t& bytes) = 0;
  virtual MMRESULT Close() = 0;
  // True when the position, while playing, moves with the wall clock at the
  // format's byte rate: a reader may then sleep until a position is due
  // instead of asking again and again. False for devices whose position
  // moves when something else says so (tests, rendering into a file).
  virtual bool KeepsRealTime() const { return false; }
  // After an Open that failed: the device and the reason, for the log (for
  // example `ALSA PCM "default": Connection refused`). Empty otherwise.
  virtual std::string OpenFailure() const { return {}; }
};

// The ALSA PCM `name` ("default", "hw:0", ...). A PCM of ALSA's "null" type is
// refused at Open (MMSYSERR_NODRIVER): it swallows data without pacing, so it
// cannot serve as a clock.
std::unique_ptr<WaveOutDevice> CreateAlsaWaveOut(std::string name);

enum class CapturePace {
  RealTime,  // a byte counts as played when its time has come by the monotonic clock
  Fast,      // a byte counts as played as soon as it is written (unless paused)
};

struct CaptureOptions {
  std::filesystem::path path;
  CapturePace pace = CapturePace::RealTime;
  // Sound played beyond this many seconds (over every open of the file) still
  // counts as played but is not written; 0 or less: no limit.
  double maxSeconds = 0;
};

// Writes exactly the bytes played into a WAV file. The first open of a path in
// a run creates the file; later opens in the same run append to it, and must
// use the same format (else WAVERR_BADFORMAT); a second device open on the same
// path at once gets MMSYSERR_ALLOCATED. The header is brought up to date at
// every Close, so the file is a valid WAV file after each.
std::unique_ptr<WaveOutDevice> CreateCaptureWaveOut(CaptureOptions options);

// A new device as the program is configured (see the top of this header), or
// null when QORVE_AUDIO names no backend we have (the caller treats that as
// MMSYSERR_BADDEVICEID).
std::unique_ptr<WaveOutDevice> CreateWaveOutDevice();

// Makes CreateWaveOutDevice use `factory` (tests, and tools that render into a
// file); an empty factory chooses by the environment again. Call it while no
// stream is being opened.
using WaveOutFactory = std::function<std::unique_ptr<WaveOutDevice>()>;
void SetWaveOutFactory(WaveOutFactory factory);

}  // namespace qorve
