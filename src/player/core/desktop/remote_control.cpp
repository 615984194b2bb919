#include "player/core/desktop/remote_control.h"

#include "common/settings.h"
#include "common/volume.h"
#include "player/core/player_state.h"

#include <cstdio>

namespace qorve {

void RemoteQueue::Post(RemoteRequest request) {
  std::lock_guard lock(mutex_);
  requests_.push_back(request);
}

std::vector<RemoteRequest> RemoteQueue::TakeAll() {
  std::lock_guard lock(mutex_);
  std::vector<RemoteRequest> taken;
  taken.swap(requests_);
  return taken;
}

RemoteQueue& PlayerRemote() {
  static RemoteQueue queue;
  return queue;
}

RemoteStatus CurrentRemoteStatus() {
  RemoteStatus status;
  const PlayerState& player = Player();
  status.playMode = ProgramSettings().soundsetLoop;
  uint16_t volume = 0;
  if (GetVolume(volume)) status.volume = volume / 65535.0;
  const FileList& list = player.fileList;
  if (list.index >= 0 && list.index < static_cast<int>(list.entries.size())) {
    status.path = list.entries[list.index];
    status.trackNumber = list.index + 1;
  }
  if (!player.media) return status;

  MediaInfo info{};
  player.media->GetInfo(info);
  MediaState state{};
  player.media->GetStatus(state);
  status.title = info.Title[0] != '\0' ? info.Title : info.FileName;
  status.artist = info.Artist;
  status.album = info.Album;
  status.length = info.Length > 0.0 ? info.Length : 0.0;
  status.position = state.TimePos > 0.0 ? state.TimePos : 0.0;
  status.canSeek = status.length > 0.0;
  if (info.Kind == kKindImage) {
    // A picture "plays" while its slideshow advances.
    status.playback = player.slideshowRunning ? RemoteStatus::Playback::Playing : RemoteStatus::Playback::Paused;
  } else if (state.PlayState == kPlaying) {
    status.playback = RemoteStatus::Playback::Playing;
  } else if (state.PlayState == kPaused) {
    status.playback = RemoteStatus::Playback::Paused;
  }
  return status;
}

std::string FileUrl(const std::string& path) {
  std::string url = "file://";
  for (const unsigned char c : path) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      url += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      url += escaped;
    }
  }
  return url;
}

}  // namespace qorve
