// qorve-info: loads one file the way the player does and prints what it found
// as one line of JSON. With --pcm it also renders what the file plays into a
// WAV file, as fast as the decoder goes. Never writes the player's LOG.TXT,
// never makes a sound, and never unpacks an archive or joins a split file: it
// reports their contents instead.
#include "common/settings.h"
#include "platform/audio/wave_out.h"
#include "platform/audio/wave_out_virtual.h"
#include "platform/system/clock.h"
#include "player/core/media_factory.h"
#include "player/core/media_info_json.h"
#include "player/core/player_state.h"
#include "player/core/sound_end.h"
#include "player/formats/archive/archive.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace qorve;

constexpr int kExitUsage = 2;
constexpr int kExitNotWaveOut = 3;
constexpr int kExitRenderFailed = 1;
// A render whose position stands still this long has failed.
constexpr uint32_t kStallMs = 10000;

void Usage() {
  std::fprintf(stderr,
               "usage: qorve-info [--pcm OUT.wav [--from SECONDS] [--seconds N]] PATH\n"
               "  --pcm OUT.wav    render what PATH plays after Play(from) into OUT.wav\n"
               "  --from SECONDS   where to start (default 0)\n"
               "  --seconds N      how much to render (default: to the end)\n");
}

bool ParseSeconds(const char* text, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(out) && out >= 0.0;
}

struct Request {
  std::string path;
  std::string pcmPath;  // empty: no rendering
  double from = 0.0;
  double seconds = -1.0;  // < 0: to the end
};

bool ParseArguments(int argc, char** argv, Request& request) {
  bool haveFrom = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "--pcm" && hasValue) {
      request.pcmPath = argv[++i];
      if (request.pcmPath.empty()) return false;
    } else if (argument == "--from" && hasValue) {
      if (!ParseSeconds(argv[++i], request.from)) return false;
      haveFrom = true;
    } else if (argument == "--seconds" && hasValue) {
      if (!ParseSeconds(argv[++i], request.seconds)) return false;
    } else if (request.path.empty() && !argument.empty() && !argument.starts_with("--")) {
      request.path = argument;
    } else {
      return false;
    }
  }
  if (request.pcmPath.empty() && (haveFrom || request.seconds >= 0)) return false;
  return !request.path.empty();
}

// Passes everything on to a device and notes the sample rate it is opened
// with: not every media class states its rate in its description.
class RateNotingDevice final : public WaveOutDevice {
 public:
  RateNotingDevice(std::unique_ptr<WaveOutDevice> device, int& rate) : device_(std::move(device)), rate_(rate) {}
  MMRESULT Open(const WAVEFORMATEX& format) override {
    const MMRESULT result = device_->Open(format);
    if (result == MMSYSERR_NOERROR) rate_ = static_cast<int>(format.nSamplesPerSec);
    return result;
  }
  MMRESULT Write(const uint8_t* data, uint32_t bytes) override { return device_->Write(data, bytes); }
  MMRESULT Pause() override { return device_->Pause(); }
  MMRESULT Restart() override { return device_->Restart(); }
  MMRESULT Reset() override { return device_->Reset(); }
  MMRESULT GetPosition(uint32_t& bytes) override { return device_->GetPosition(bytes); }
  MMRESULT Close() override { return device_->Close(); }

 private:
  std::unique_ptr<WaveOutDevice> device_;
  int& rate_;
};

// What a probed archive or split file holds, as the JSON member "archive".
std::string ArchiveFields(const ArchiveProbe& probe) {
  std::string json = "\"archive\":{\"members\":" + std::to_string(probe.members) +
                     ",\"unpackedBytes\":" + std::to_string(probe.unpackedBytes);
  if (probe.format == "REZ") {
    json += ",\"output\":" + JsonString(probe.output) + ",\"parts\":[";
    for (std::size_t i = 0; i < probe.parts.size(); ++i) json += (i == 0 ? "" : ",") + JsonString(probe.parts[i]);
    json += "]";
  }
  return json + "}";
}

// LoadMedia as at the player's start: the argument is the list's start, so a
// folder lists its contents. Counts the wave-out
// devices the media object opens on the way and notes their sample rate.
int Load(const std::string& argument, const WaveOutFactory& devices, int& devicesMade, int& sampleRate) {
  devicesMade = 0;
  SetWaveOutFactory([&devices, &devicesMade, &sampleRate]() -> std::unique_ptr<WaveOutDevice> {
    ++devicesMade;
    return std::make_unique<RateNotingDevice>(devices(), sampleRate);
  });
  Player().fileList.firstArgument = argument;
  std::string path = argument;
  return LoadMedia(nullptr, path, 0);
}

// Plays the loaded media object from `from` into the capture device until
// `frames` frames have been played. False when the position stalls.
bool Render(double from, uint64_t frames, int sampleRate) {
  MediaFile& media = *Player().media;
  media.Play(from);
  const double end = from + (static_cast<double>(frames) + 1.0) / sampleRate;
  double last = -1.0;
  uint32_t lastMove = TimeGetTime();
  for (;;) {
    MediaState state{};
    media.GetStatus(state);
    if (state.TimePos >= end) return true;
    if (state.TimePos != last) {
      last = state.TimePos;
      lastMove = TimeGetTime();
    } else if (TimeGetTime() - lastMove > kStallMs) {
      return false;
    }
    SleepMs(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Request request;
  if (!ParseArguments(argc, argv, request)) {
    Usage();
    return kExitUsage;
  }
  // Nothing here changes the volume: keep the sound card's mixer out of the
  // settings' default tray volume (and its diagnostics off the terminal).
  setenv("QORVE_MIXER", "virtual", 1);
  // Nor does it sound: a device opened to learn a file's length plays into
  // nothing, so a machine without a sound card still gets its answer.
  setenv("QORVE_AUDIO", "wav-fast:/dev/null", 1);
  LoadSettings();
  ProgramSettings().kestravoxLog = 0;  // the first log line would empty the player's log
  SeedRandom(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
  // Archives and split files are described, never unpacked or joined.
  ARCHIVE::SetProbing(true);

  // A sound card that never plays: the media object opens as in the player,
  // without the sound card and without a sound.
  VirtualSoundCard silentCard(false);
  int devicesMade = 0;
  int sampleRate = 0;
  const int result = Load(request.path, [&silentCard] { return silentCard.NewDevice(); }, devicesMade, sampleRate);

  MediaInfo info;
  Player().media->GetInfo(info);
  // A class that decodes PCM itself knows its last sample; Length is rounded.
  const double soundEnd = EndOfSound(*Player().media, info.Length);
  std::string errorText;
  if (info.Kind == kKindUnplayable) {
    char buffer[256] = {};
    Player().media->GetErrorText(buffer, sizeof buffer);
    errorText = buffer;
  }
  std::string archiveFields;
  if (const auto* archive = dynamic_cast<const ARCHIVE*>(Player().media.get())) {
    archiveFields = ArchiveFields(archive->Probe());
  }
  std::printf("%s\n", MediaInfoJson(result, info, errorText, archiveFields).c_str());
  std::fflush(stdout);
  Player().media.reset();
  if (request.pcmPath.empty()) return 0;

  if (info.SampleRate > 0) sampleRate = info.SampleRate;
  if (result != kResultSuccess || devicesMade == 0 || sampleRate <= 0) {
    std::fprintf(stderr, "qorve-info: %s does not play through the wave-out engine: no PCM to render\n",
                 request.path.c_str());
    return kExitNotWaveOut;
  }

  // The capture keeps exactly the frames asked for: from `from` to the end of
  // the media (its last sample frame) or for the seconds given.
  const double endTime = request.seconds >= 0 ? request.from + request.seconds : soundEnd;
  const double wanted = std::max(0.0, std::round((endTime - request.from) * sampleRate));
  const auto frames = static_cast<uint64_t>(wanted);
  CaptureOptions capture;
  capture.path = request.pcmPath;
  capture.pace = CapturePace::Fast;
  capture.maxSeconds = (static_cast<double>(frames) + 0.5) / sampleRate;  // never 0 (no limit)
  std::remove(request.pcmPath.c_str());
  int renderRate = 0;
  if (Load(request.path, [&capture] { return CreateCaptureWaveOut(capture); }, devicesMade, renderRate) !=
      kResultSuccess) {
    std::fprintf(stderr, "qorve-info: cannot render %s into %s\n", request.path.c_str(), request.pcmPath.c_str());
    Player().media.reset();
    return kExitRenderFailed;
  }
  const bool rendered = Render(request.from, frames, sampleRate);
  Player().media.reset();  // closes the capture: its header is written
  SetWaveOutFactory(nullptr);
  if (!rendered) {
    std::fprintf(stderr, "qorve-info: rendering %s stalled\n", request.path.c_str());
    return kExitRenderFailed;
  }
  return 0;
}
