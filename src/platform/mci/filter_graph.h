// The DirectShow filter graph's stand-in: one file rendered through the
// GStreamer playbin of the "MPEGVideo" device (sound as QORVE_AUDIO says,
// pictures into a VideoSurface), driven as the graph's control, seeking,
// position and video-window interfaces drive it.
//
// States: after RenderFile the graph stands stopped at 0. Run plays from the
// current position; Stop holds the picture and keeps the position; a seek
// while running goes on running from the new place; at the end of the file
// the graph stays running with its position at the duration, so a seek back
// plays again. User-interface thread only (GStreamer's own threads stay
// inside).
#pragma once

#include "platform/mci/mci_device.h"
#include "platform/mci/video_surface.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qorve {

class FilterGraph {
 public:
  // A graph, or null when GStreamer cannot be initialised (no DirectShow).
  static std::unique_ptr<FilterGraph> Create();

  // Sets the file and prerolls it. False when nothing in it can be played;
  // every later call is then harmless and reports nothing.
  bool RenderFile(const std::string& path);
  // Why the last RenderFile failed, as the MCI device's open error
  // (MCIERR_DEVICE_NOT_READY or MCIERR_MUST_USE_SHAREABLE: the sound output
  // could not be opened); MCIERR_NO_ERROR after one that succeeded.
  MCIERROR RenderError() const { return renderError_; }
  // With a sound output that could not be opened: which and why, for the log.
  const std::string& OutputFailure() const { return outputFailure_; }
  void Run();
  void Stop();
  // Moves the current position, in 100-nanosecond units from the start. A
  // negative position leaves it where it is (so "resume" keeps its place).
  void SetPositions(int64_t current);
  double CurrentPosition();  // seconds
  double Duration();         // seconds; 0 when not known
  // The picture's size; false (and 0 × 0) for a file without pictures.
  bool GetVideoSize(int& width, int& height);
  // Draws the pictures through `surface` from now on (null: nowhere).
  void SetOwner(VideoSurface* surface);
  // Places the picture in the owner: left, top, width, height in pixels.
  void SetWindowPosition(int left, int top, int width, int height);
  bool Running() const { return running_; }

 private:
  FilterGraph() = default;

  std::unique_ptr<MciDevice> device_;
  bool running_ = false;
  MCIERROR renderError_ = MCIERR_NO_ERROR;
  std::string outputFailure_;
};

// Tests make the graph unavailable (false) as if GStreamer could not be
// initialised; true restores the real check.
void SetFilterGraphAvailableForTesting(bool available);

}  // namespace qorve
