// Media objects for controller tests: stand-ins for a sound, a video and an
// image class whose Open result the test scripts by file name, and which
// record what the controller asks of them. ScriptedClassGroups puts them into the
// factory's class table for the life of one test.
#pragma once

#include "player/core/media_factory.h"
#include "player/core/media_file.h"
#include "player/core/sound_end.h"

#include <map>
#include <string>
#include <vector>

namespace qorve::test {

// What the fake classes do on Open, and what they saw. Reset by ScriptedClassGroups.
struct ScriptedMediaPlan {
  std::map<std::string, int> openResults;  // by file name; a missing name opens (0)
  std::vector<std::string> opened;         // file names, in the order Open was called
  double length = 100.0;                   // Length of every object that opens
};
ScriptedMediaPlan& MediaPlan();

class ScriptedMedia : public MediaFile, public SoundEnd {
 public:
  explicit ScriptedMedia(int kind);
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;
  int Close() override { return 0; }
  int Play(double from) override;
  int Pause() override;
  int Stop() override;
  int TogglePause() override;
  int SetVideoSize(int mode, int a, int b) override;
  int ShowVideo() override;
  int CenterVideo() override;
  void GetStatus(MediaState& out) override { out = state; }
  double SoundEndSeconds() const override { return soundEnd; }

  void SetLength(double seconds) { info_.Length = seconds; }
  std::string FileName() const { return info_.FileName; }

  MediaState state{0.0, kStopped};
  double soundEnd = 0.0;  // 0: the end is Length
  std::vector<double> plays;  // every Play argument
  std::vector<int> videoSizes;  // every SetVideoSize mode
  int pauses = 0;
  int stops = 0;
  int togglePauses = 0;
  int showVideos = 0;
  int centerVideos = 0;
};

// The current media object as a fake, null when it is none (ERRORFILE).
ScriptedMedia* CurrentScriptedMedia();

// Replaces every class of the factory's table by nothing, except: the OGG
// group creates fake sounds, the AVI group fake videos and the image group
// (every extension) fake images. Restores the table when destroyed.
class ScriptedClassGroups {
 public:
  ScriptedClassGroups();
  ~ScriptedClassGroups();
  ScriptedClassGroups(const ScriptedClassGroups&) = delete;
  ScriptedClassGroups& operator=(const ScriptedClassGroups&) = delete;

 private:
  std::vector<ClassGroup> saved_;
};

}  // namespace qorve::test
