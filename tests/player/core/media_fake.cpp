#include "media_fake.h"

#include "player/core/player_state.h"

#include <algorithm>
#include <filesystem>

namespace qorve::test {

ScriptedMediaPlan& MediaPlan() {
  static ScriptedMediaPlan script;
  return script;
}

ScriptedMedia::ScriptedMedia(int kind) {
  info_.Kind = kind;
  info_.Width = -1;
}

int ScriptedMedia::Open(const std::string& path, const std::string& extension, WindowHandle) {
  const std::string name = std::filesystem::path(path).filename().string();
  MediaPlan().opened.push_back(name);
  SetInfoText(info_.FileName, name);
  SetInfoText(info_.Format, extension);
  info_.Length = MediaPlan().length;
  const auto result = MediaPlan().openResults.find(name);
  return result == MediaPlan().openResults.end() ? 0 : result->second;
}

int ScriptedMedia::Play(double from) {
  plays.push_back(from);
  state.PlayState = kPlaying;
  state.TimePos = from < 0.0 ? 0.0 : from;
  return 0;
}

int ScriptedMedia::Pause() {
  ++pauses;
  if (state.PlayState == kPlaying) state.PlayState = kPaused;
  return 0;
}

int ScriptedMedia::Stop() {
  ++stops;
  state = MediaState{0.0, kStopped};
  return 0;
}

int ScriptedMedia::TogglePause() {
  ++togglePauses;
  state.PlayState = state.PlayState == kPlaying ? kPaused : kPlaying;
  return 0;
}

int ScriptedMedia::SetVideoSize(int mode, int, int) {
  videoSizes.push_back(mode);
  return 0;
}

int ScriptedMedia::ShowVideo() {
  ++showVideos;
  return 0;
}

int ScriptedMedia::CenterVideo() {
  ++centerVideos;
  return 0;
}

ScriptedMedia* CurrentScriptedMedia() {
  return dynamic_cast<ScriptedMedia*>(Player().media.get());
}

namespace {

std::unique_ptr<MediaFile> CreateScriptedSound() { return std::make_unique<ScriptedMedia>(kKindSound); }
std::unique_ptr<MediaFile> CreateScriptedVideo() { return std::make_unique<ScriptedMedia>(kKindVideo); }
std::unique_ptr<MediaFile> CreateScriptedImage() { return std::make_unique<ScriptedMedia>(kKindImage); }

bool Lists(const ClassGroup& group, std::string_view extension) {
  return std::find(group.extensions.begin(), group.extensions.end(), extension) != group.extensions.end();
}

}  // namespace

ScriptedClassGroups::ScriptedClassGroups() {
  MediaPlan() = ScriptedMediaPlan{};
  std::span<ClassGroup> groups = ClassGroups();
  saved_.assign(groups.begin(), groups.end());
  for (ClassGroup& group : groups) {
    MediaCreator creator = nullptr;
    if (Lists(group, "OGG")) creator = &CreateScriptedSound;
    if (Lists(group, "AVI")) creator = &CreateScriptedVideo;
    if (group.extensions.empty()) creator = &CreateScriptedImage;
    group.create = creator;
    group.createAlternative = creator;
  }
}

ScriptedClassGroups::~ScriptedClassGroups() {
  std::copy(saved_.begin(), saved_.end(), ClassGroups().begin());
  MediaPlan() = ScriptedMediaPlan{};
}

}  // namespace qorve::test
