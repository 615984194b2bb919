// DIRECTSHOW: video files played through the filter graph's stand-in
// (GStreamer playbin), the picture shown in the video window.
#pragma once

#include "platform/mci/filter_graph.h"
#include "player/core/media_file.h"

#include <memory>

namespace qorve {

class DIRECTSHOW final : public MediaFile {
 public:
  DIRECTSHOW();
  ~DIRECTSHOW() override;

  // 0, 15 without GStreamer, 6 when the sound output cannot be opened, 4 when
  // the file cannot be rendered.
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;
  int Close() override;
  // from >= 0 moves there (running on if running); from < 0 runs the graph
  // from where it stands.
  int Play(double from) override;
  int Rewind(double position) override;
  // Stops the graph, which keeps its position (play state 2).
  int Pause() override;
  int Stop() override;
  int TogglePause() override;
  int SetVideoSize(int mode, int a, int b) override;
  int CenterVideo() override;
  int FitPicture() override;
  int IsPointerOnVideo() override;
  int ShowVideo() override;
  void GetStatus(MediaState& out) override;

 private:
  WindowHandle window_ = nullptr;
  int playMode_ = kPlaying;  // 0 stopped, 1 playing, 2 paused
  std::unique_ptr<FilterGraph> graph_;
};

}  // namespace qorve
