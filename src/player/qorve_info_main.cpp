// qorve-info: loads one file the way the player does and prints what it found
// as one line of JSON. With --pcm it also renders what the file plays into a
// WAV file, as fast as the decoder goes. Never writes the player's LOG.TXT and
// never makes a sound.
#include "common/settings.h"
#include "platform/clock.h"
#include "platform/wave_out.h"
#include "platform/wave_out_virtual.h"
#include "player/core/media_factory.h"
#include "player/core/media_info_json.h"
#include "player/core/player_state.h"

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

// LoadMedia as at the player's start: the argument is the list's start, so a
// folder or an extension-less name lists its folder. Counts the wave-out
// devices the media object opens on the way.
int Load(const std::string& argument, const WaveOutFactory& devices, int& devicesMade) {
  devicesMade = 0;
  SetWaveOutFactory([&devices, &devicesMade] {
    ++devicesMade;
    return devices();
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

  // A sound card that never plays: the media object opens as in the player,
  // without the sound card and without a sound.
  VirtualSoundCard silentCard(false);
  int devicesMade = 0;
  const int result = Load(request.path, [&silentCard] { return silentCard.NewDevice(); }, devicesMade);

  MediaInfo info;
  Player().media->GetInfo(info);
  std::string errorText;
  if (info.Kind == kKindUnplayable) {
    char buffer[256] = {};
    Player().media->GetErrorText(buffer, sizeof buffer);
    errorText = buffer;
  }
  std::printf("%s\n", MediaInfoJson(result, info, errorText).c_str());
  std::fflush(stdout);
  Player().media.reset();
  if (request.pcmPath.empty()) return 0;

  if (result != kResultSuccess || devicesMade == 0 || info.SampleRate <= 0) {
    std::fprintf(stderr, "qorve-info: %s does not play through the wave-out engine: no PCM to render\n",
                 request.path.c_str());
    return kExitNotWaveOut;
  }

  // The capture keeps exactly the frames asked for: from `from` to the end of
  // the media (its Length) or for the seconds given.
  const double endTime = request.seconds >= 0 ? request.from + request.seconds : info.Length;
  const double wanted = std::max(0.0, std::round((endTime - request.from) * info.SampleRate));
  const auto frames = static_cast<uint64_t>(wanted);
  CaptureOptions capture;
  capture.path = request.pcmPath;
  capture.pace = CapturePace::Fast;
  capture.maxSeconds = (static_cast<double>(frames) + 0.5) / info.SampleRate;  // never 0 (no limit)
  std::remove(request.pcmPath.c_str());
  if (Load(request.path, [&capture] { return CreateCaptureWaveOut(capture); }, devicesMade) != kResultSuccess) {
    std::fprintf(stderr, "qorve-info: cannot render %s into %s\n", request.path.c_str(), request.pcmPath.c_str());
    Player().media.reset();
    return kExitRenderFailed;
  }
  const bool rendered = Render(request.from, frames, info.SampleRate);
  Player().media.reset();  // closes the capture: its header is written
  SetWaveOutFactory(nullptr);
  if (!rendered) {
    std::fprintf(stderr, "qorve-info: rendering %s stalled\n", request.path.c_str());
    return kExitRenderFailed;
  }
  return 0;
}
