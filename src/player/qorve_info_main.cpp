// qorve-info: loads one file the way the player does and prints what it found
// as one line of JSON. Never writes the player's LOG.TXT.
#include "common/settings.h"
#include "player/core/media_factory.h"
#include "player/core/media_info_json.h"
#include "player/core/player_state.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  using namespace qorve;
  if (argc != 2 || argv[1][0] == '\0') {
    std::fprintf(stderr, "usage: qorve-info PATH\n");
    return 2;
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

  // As at the player's start: the argument is the list's start, so a folder
  // or an extension-less name lists its folder.
  Player().fileList.firstArgument = argv[1];
  std::string path = argv[1];
  const int result = LoadMedia(nullptr, path, 0);

  MediaInfo info;
  Player().media->GetInfo(info);
  std::string errorText;
  if (info.Kind == kKindUnplayable) {
    char buffer[256] = {};
    Player().media->GetErrorText(buffer, sizeof buffer);
    errorText = buffer;
  }
  std::printf("%s\n", MediaInfoJson(result, info, errorText).c_str());
  Player().media.reset();
  return 0;
}
