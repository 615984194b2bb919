#include "player/formats/audio/snesapu.h"

#include "common/log.h"
#include "common/settings.h"
#include "common/spc_output.h"
#include "player/formats/tags/id666.h"
#include "player/visual/video_window.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace qorve {
namespace {

constexpr std::size_t kImageBytes = 66048;
constexpr std::size_t kRamAt = 0x100;
constexpr std::size_t kRamBytes = 65536;
constexpr std::size_t kDspAt = 0x10100;
constexpr std::size_t kDspBytes = 128;
constexpr std::size_t kExtraRamAt = 0x101C0;
constexpr std::size_t kExtraRamBytes = 64;
constexpr uint32_t kFrameBytes = 4;  // stereo 16-bit
constexpr int kRepeatPlayMode = 1;   // SOUNDSET LOOP
constexpr double kRepeatLength = 86400.0;
constexpr double kPositionSlack = 10.0;
constexpr double kSeekUnitsPerSecond = 64000.0;

// SetAPUOpt's fixed arguments: mixing routine, channels, bits, interpolation.
constexpr uint32_t kMixing = 1;
constexpr uint32_t kChannels = 2;
constexpr uint32_t kBits = 16;
constexpr uint32_t kInterpolation = 2;

}  // namespace

struct SNESAPU::Entries {
  using GetAPUDataProc = void (*)(uint8_t**, uint8_t**, uint8_t**, uint32_t**, uint8_t**, void**, uint32_t**,
                                  uint32_t**);
  using SetAPUOptProc = void (*)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
  using ResetAPUProc = void (*)(uint32_t);
  using FixAPUProc = void (*)(uint16_t, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t);
  using EmuAPUProc = void* (*)(void*, uint32_t, uint8_t);
  using SeekAPUProc = void (*)(uint32_t, uint8_t);

  GetAPUDataProc getAPUData = nullptr;
  SetAPUOptProc setAPUOpt = nullptr;
  ResetAPUProc resetAPU = nullptr;
  FixAPUProc fixAPU = nullptr;
  EmuAPUProc emuAPU = nullptr;
  SeekAPUProc seekAPU = nullptr;
  // The module's memory, extra memory and DSP registers.
  uint8_t* ram = nullptr;
  uint8_t* extraRam = nullptr;
  uint8_t* dsp = nullptr;

  bool Complete() const {
    return getAPUData && setAPUOpt && resetAPU && fixAPU && emuAPU && seekAPU && ram && extraRam && dsp;
  }
};

SNESAPU::SNESAPU() {
  Log("SNESAPUコンストラクタ", 0);
  info_.Kind = kKindSound;
  if (!module_.Load(kModuleName)) return;
  auto entries = std::make_unique<Entries>();
  entries->getAPUData = module_.EntryAs<Entries::GetAPUDataProc>("GetAPUData");
  entries->setAPUOpt = module_.EntryAs<Entries::SetAPUOptProc>("SetAPUOpt");
  entries->resetAPU = module_.EntryAs<Entries::ResetAPUProc>("ResetAPU");
  entries->fixAPU = module_.EntryAs<Entries::FixAPUProc>("FixAPU");
  entries->emuAPU = module_.EntryAs<Entries::EmuAPUProc>("EmuAPU");
  entries->seekAPU = module_.EntryAs<Entries::SeekAPUProc>("SeekAPU");
  if (entries->getAPUData != nullptr) {
    uint8_t* outPorts = nullptr;
    uint32_t* t64Count = nullptr;
    void* voices = nullptr;
    uint32_t* peakLeft = nullptr;
    uint32_t* peakRight = nullptr;
    entries->getAPUData(&entries->ram, &entries->extraRam, &outPorts, &t64Count, &entries->dsp, &voices, &peakLeft,
                        &peakRight);
  }
  // A module without every entry is as good as none.
  if (entries->Complete()) {
    entries_ = std::move(entries);
  } else {
    module_.Free();
  }
}

SNESAPU::~SNESAPU() {
  DestroyVideoWindow();
  Log("SNESAPUデストラクタ", 0);
  CloseStream();
  Log("SNESAPUデストラクタ", 1);
  entries_.reset();
  module_.Free();
  Log("SNESAPUデストラクタ", 2);
}

int SNESAPU::Open(const std::string& path, const std::string& extension, WindowHandle) {
  Log("SNESAPU - LOAD", 0);
  if (!entries_) return kResultLibraryNotFound;
  std::ifstream file(path, std::ios::binary);
  if (!file) return kResultFileNotFound;
  // A short file leaves the rest of the image zero.
  image_.assign(kImageBytes, 0);
  file.read(reinterpret_cast<char*>(image_.data()), static_cast<std::streamsize>(kImageBytes));
  file.close();

  const Id666 tag = ReadId666(std::string_view(reinterpret_cast<const char*>(image_.data()), image_.size()));
  SetInfoText(info_.Title, tag.title);
  SetInfoText(info_.Album, tag.game);
  SetInfoText(info_.Artist, tag.artist);
  songLength_ = tag.seconds;
  info_.Length = songLength_;
  Log("SNESAPU - LOAD ", 1);

  LoadImage();

  // The rate the emulator renders at, whatever was typed as HZ.
  const uint32_t rate = SpcOutputRate(ProgramSettings().spcsetHz);
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = kFrameBytes;
  format.nAvgBytesPerSec = rate * kFrameBytes;
  bytesPerSecond_ = format.nAvgBytesPerSec;
  info_.SampleRate = static_cast<int>(rate);
  info_.Bits = 16;
  info_.Channels = 2;
  Log("SNESAPU - LOAD ", 2);

  if (const int result = OpenStream(format); result != kResultSuccess) return result;
  SetInfoText(info_.FileName, std::filesystem::path(path).filename().string());
  SetInfoText(info_.Format, extension);
  Log("SNESAPU - LOAD ", 3);
  return kResultSuccess;
}

void SNESAPU::LoadImage() {
  const Settings& settings = ProgramSettings();
  entries_->setAPUOpt(kMixing, kChannels, kBits, SpcOutputRate(settings.spcsetHz), kInterpolation,
                      SpcOptionWord(settings.spcsetSurnd));
  entries_->resetAPU(static_cast<uint32_t>(settings.spcsetVolume));
  std::memcpy(entries_->ram, image_.data() + kRamAt, kRamBytes);
  std::memcpy(entries_->extraRam, image_.data() + kExtraRamAt, kExtraRamBytes);
  std::memcpy(entries_->dsp, image_.data() + kDspAt, kDspBytes);
  const uint8_t* r = image_.data();
  entries_->fixAPU(static_cast<uint16_t>(r[0x25] | r[0x26] << 8), r[0x27], r[0x28], r[0x29], r[0x2A], r[0x2B]);
}

void SNESAPU::Fill(uint8_t* buffer, uint32_t bytes) { entries_->emuAPU(buffer, bytes / kFrameBytes, 1); }

int SNESAPU::Play(double from) {
  if (!(from >= 0.0)) from = 0.0;  // -1.0 (start), any other negative, NaN
  // Repeating, the song has no end to seek within: only the start plays.
  if (ProgramSettings().soundsetLoop == kRepeatPlayMode && from != 0.0) return 0;
  return WaveOutMedia::Play(from);
}

void SNESAPU::SeekSource(double from) {
  LoadImage();
  entries_->seekAPU(static_cast<uint32_t>(std::min(from * kSeekUnitsPerSecond, 4294967295.0)), 1);
}

void SNESAPU::GetStatus(MediaState& out) {
  if (!stream_) return;
  WaveOutMedia::GetStatus(out);
  if (out.TimePos < 0 || out.TimePos > info_.Length + kPositionSlack) {
    Log("MediaState->TimePos オーバー", 0);
    out.TimePos = 0;
  }
  info_.Length = ProgramSettings().soundsetLoop == kRepeatPlayMode ? kRepeatLength : songLength_;
}

}  // namespace qorve
