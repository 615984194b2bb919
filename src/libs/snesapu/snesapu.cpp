#include "snesapu.h"

#include "common/spc_output.h"

#include <gme/gme.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr std::size_t kRamBytes = 0x10000;
constexpr std::size_t kExtraRamBytes = 64;
constexpr std::size_t kDspBytes = 128;
constexpr std::size_t kVoiceBytes = 8 * 128;

// The SPC file layout libgme loads: signature, registers, memory, DSP
// registers, and the extra memory at its end.
constexpr std::size_t kImageBytes = 0x10200;
constexpr std::size_t kImageRegisters = 0x25;
constexpr std::size_t kImageRam = 0x100;
constexpr std::size_t kImageDsp = 0x10100;
constexpr std::size_t kImageExtraRam = 0x101C0;
constexpr char kSignature[] = "SNES-SPC700 Sound File Data v0.30";
constexpr uint8_t kNoTag = 26;  // byte 0x23: no ID666 tag follows
constexpr uint8_t kMinorVersion = 30;

constexpr uint32_t kNaturalAmplification = 0x20000;
constexpr double kClockHz = 1024000.0;
// Side (L − R) gain of the pseudo surround.
constexpr double kSurroundWidth = 1.6;

struct Apu {
  std::mutex mutex;  // EmuAPU may run on another thread than the set-up calls
  std::array<uint8_t, kRamBytes> ram{};
  std::array<uint8_t, kExtraRamBytes> extraRam{};
  std::array<uint8_t, 4> outPorts{};
  uint32_t t64Count = 0;
  std::array<uint8_t, kDspBytes> dsp{};
  std::array<uint8_t, kVoiceBytes> voices{};
  uint32_t peakLeft = 0;
  uint32_t peakRight = 0;

  uint32_t channels = 2;
  uint32_t bits = 16;
  uint32_t rate = 32000;
  uint32_t options = 0;
  uint32_t amplification = kNaturalAmplification;
  Music_Emu* emu = nullptr;
  std::vector<short> scratch;  // stereo 16-bit frames from the emulator

  Apu() = default;
  Apu(const Apu&) = delete;
  Apu& operator=(const Apu&) = delete;
  // Runs when the module is unloaded: the emulator goes with it.
  ~Apu() {
    if (emu != nullptr) gme_delete(emu);
  }
};

Apu& State() {
  static Apu apu;
  return apu;
}

void EndEmulation(Apu& apu) {
  if (apu.emu != nullptr) gme_delete(apu.emu);
  apu.emu = nullptr;
}

short Clamp16(double v) { return static_cast<short>(std::clamp(std::lround(v), -32768L, 32767L)); }

// Amplification, surround and peak meters over stereo frames in place.
void Shape(Apu& apu, short* frames, std::size_t count) {
  const double gain = static_cast<double>(apu.amplification) / kNaturalAmplification;
  const bool natural = apu.amplification == kNaturalAmplification;
  const bool surround = (apu.options & qorve::kSpcSurroundOption) != 0;
  for (std::size_t i = 0; i < count; ++i) {
    short& l = frames[2 * i];
    short& r = frames[2 * i + 1];
    if (surround) {
      const double mid = (l + r) / 2.0;
      const double side = (l - r) / 2.0 * kSurroundWidth;
      l = Clamp16((mid + side) * gain);
      r = Clamp16((mid - side) * gain);
    } else if (!natural) {
      l = Clamp16(l * gain);
      r = Clamp16(r * gain);
    }
    apu.peakLeft = std::max<uint32_t>(apu.peakLeft, static_cast<uint32_t>(std::abs(l)));
    apu.peakRight = std::max<uint32_t>(apu.peakRight, static_cast<uint32_t>(std::abs(r)));
  }
}

}  // namespace

extern "C" {

void GetAPUData(uint8_t** ram, uint8_t** extraRam, uint8_t** outPorts, uint32_t** t64Count, uint8_t** dsp,
                void** voices, uint32_t** peakLeft, uint32_t** peakRight) {
  Apu& apu = State();
  if (ram != nullptr) *ram = apu.ram.data();
  if (extraRam != nullptr) *extraRam = apu.extraRam.data();
  if (outPorts != nullptr) *outPorts = apu.outPorts.data();
  if (t64Count != nullptr) *t64Count = &apu.t64Count;
  if (dsp != nullptr) *dsp = apu.dsp.data();
  if (voices != nullptr) *voices = apu.voices.data();
  if (peakLeft != nullptr) *peakLeft = &apu.peakLeft;
  if (peakRight != nullptr) *peakRight = &apu.peakRight;
}

void SetAPUOpt(uint32_t, uint32_t channels, uint32_t bits, uint32_t rate, uint32_t, uint32_t options) {
  Apu& apu = State();
  std::lock_guard lock(apu.mutex);
  apu.channels = channels == 1 || channels == 2 ? channels : 2;
  apu.bits = bits == 8 || bits == 16 ? bits : 16;
  apu.rate = qorve::SpcOutputRate(rate);
  apu.options = options;
}

void ResetAPU(uint32_t amplification) {
  Apu& apu = State();
  std::lock_guard lock(apu.mutex);
  EndEmulation(apu);
  apu.ram.fill(0);
  apu.extraRam.fill(0);
  apu.outPorts.fill(0);
  apu.dsp.fill(0);
  apu.voices.fill(0);
  apu.t64Count = 0;
  apu.peakLeft = apu.peakRight = 0;
  apu.amplification = amplification;
}

void FixAPU(uint16_t pc, uint8_t a, uint8_t x, uint8_t y, uint8_t psw, uint8_t sp) {
  Apu& apu = State();
  std::lock_guard lock(apu.mutex);
  EndEmulation(apu);
  std::vector<uint8_t> image(kImageBytes, 0);
  std::memcpy(image.data(), kSignature, sizeof kSignature - 1);
  image[0x21] = 26;
  image[0x22] = 26;
  image[0x23] = kNoTag;
  image[0x24] = kMinorVersion;
  const uint8_t registers[] = {static_cast<uint8_t>(pc), static_cast<uint8_t>(pc >> 8), a, x, y, psw, sp};
  std::memcpy(image.data() + kImageRegisters, registers, sizeof registers);
  std::memcpy(image.data() + kImageRam, apu.ram.data(), kRamBytes);
  std::memcpy(image.data() + kImageDsp, apu.dsp.data(), kDspBytes);
  std::memcpy(image.data() + kImageExtraRam, apu.extraRam.data(), kExtraRamBytes);
  Music_Emu* emu = nullptr;
  if (gme_open_data(image.data(), static_cast<long>(image.size()), &emu, static_cast<int>(apu.rate)) != nullptr) {
    return;
  }
  // The caller decides the length: no fade, and silence does not end the song.
  gme_set_autoload_playback_limit(emu, 0);
  gme_ignore_silence(emu, 1);
  if (gme_start_track(emu, 0) != nullptr) {
    gme_delete(emu);
    return;
  }
  apu.emu = emu;
}

void* EmuAPU(void* buffer, uint32_t length, uint8_t type) {
  Apu& apu = State();
  std::lock_guard lock(apu.mutex);
  const std::size_t frames =
      type == 0 ? static_cast<std::size_t>(static_cast<double>(length) * apu.rate / kClockHz) : length;
  apu.scratch.assign(frames * 2, 0);
  if (apu.emu != nullptr && frames > 0) {
    // gme_play counts 16-bit samples (two per frame) in an int.
    for (std::size_t done = 0; done < frames;) {
      const std::size_t chunk = std::min<std::size_t>(frames - done, 1u << 20);
      if (gme_play(apu.emu, static_cast<int>(chunk * 2), apu.scratch.data() + done * 2) != nullptr) break;
      done += chunk;
    }
    Shape(apu, apu.scratch.data(), frames);
  }
  auto* out = static_cast<uint8_t*>(buffer);
  for (std::size_t i = 0; i < frames; ++i) {
    const short l = apu.scratch[2 * i];
    const short r = apu.scratch[2 * i + 1];
    if (apu.channels == 1) {
      const short m = static_cast<short>((l + r) / 2);
      if (apu.bits == 16) {
        std::memcpy(out, &m, 2);
        out += 2;
      } else {
        *out++ = static_cast<uint8_t>((m >> 8) + 128);
      }
    } else if (apu.bits == 16) {
      std::memcpy(out, &l, 2);
      std::memcpy(out + 2, &r, 2);
      out += 4;
    } else {
      *out++ = static_cast<uint8_t>((l >> 8) + 128);
      *out++ = static_cast<uint8_t>((r >> 8) + 128);
    }
  }
  return out;
}

void SeekAPU(uint32_t time, uint8_t) {
  Apu& apu = State();
  std::lock_guard lock(apu.mutex);
  if (apu.emu == nullptr) return;
  // The emulation runs on and its output is dropped. (libgme's own skip
  // fails an internal check once end-of-song detection is off, and a full run
  // leaves exactly the state continuous playing would.)
  auto frames = static_cast<uint64_t>(static_cast<double>(time) * apu.rate / 64000.0);
  const std::size_t chunk = apu.rate;  // one second at a time
  apu.scratch.resize(chunk * 2);
  while (frames > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(frames, chunk));
    if (gme_play(apu.emu, static_cast<int>(n * 2), apu.scratch.data()) != nullptr) break;
    frames -= n;
  }
}

}  // extern "C"
