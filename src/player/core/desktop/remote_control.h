// player/core/desktop/: MPRIS, the command service, global shortcuts and the
// tray icon.
//
// Commands that reach the player from outside its keys and window (desktop
// media keys and panels through MPRIS, `qorve --command`) and the player's
// state as such a remote sees it. Requests are queued by the receiver and
// carried out by the controller's next poll, on the user-interface thread,
// through the same actions the keys take.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace qorve {

enum class RemoteCommand {
  PlayPause,    // as the pause key
  Play,         // the pause key, when paused
  Pause,        // the pause key, when playing
  Stop,         // back to the start, paused
  Next,         // as the next key
  Previous,     // as the back key
  Quit,         // as the exit key: ignored while paused
  SeekBy,       // value: seconds from the current position
  SetPosition,  // value: seconds from the start
  SetPlayMode,  // value: 0 once, 1 loop, 2 series, 3 random
  SetVolume,    // value: master volume, 0.0 to 1.0
  Keyset,       // keyset: what the key bound to that KEYSET command does,
                // whatever key (or none) it is bound to
};

struct KeysetCommand;

struct RemoteRequest {
  RemoteCommand command;
  double value = 0.0;
  const KeysetCommand* keyset = nullptr;  // an entry of KeysetCommands()
};

// The queue between the receiver and the controller. Any thread may post; the
// controller takes the whole queue at once.
class RemoteQueue {
 public:
  void Post(RemoteRequest request);
  std::vector<RemoteRequest> TakeAll();

 private:
  std::mutex mutex_;
  std::vector<RemoteRequest> requests_;
};

RemoteQueue& PlayerRemote();

// The player's state in the words of a media remote. User-interface thread.
struct RemoteStatus {
  enum class Playback { Playing, Paused, Stopped };
  Playback playback = Playback::Stopped;
  int playMode = 0;  // SOUNDSET LOOP: 0 once, 1 loop, 2 series, 3 random
  std::string path;  // the current file; empty when there is none
  int trackNumber = 0;  // index in the file list, counted from 1
  std::string title;    // the tag title, else the file name
  std::string artist;
  std::string album;
  double length = 0.0;    // seconds; 0 when unknown
  double position = 0.0;  // seconds
  double volume = 0.0;    // master volume, 0.0 to 1.0
  bool canSeek = false;
};

RemoteStatus CurrentRemoteStatus();

// file:// address of an absolute path, every byte outside the unreserved set
// and "/" percent-encoded.
std::string FileUrl(const std::string& path);

}  // namespace qorve
