// player/formats/video/: the media classes of video files.
//
// What DIRECTSHOW and MCIVIDEO do alike with the video window: SetVideoSize,
// CenterVideo, the placing of a newly opened video (keeping a reused
// window's centre) and the pointer test. User-interface thread only.
#pragma once

#include "player/core/media_file.h"

namespace qorve {

// The size of the previous video a class opened (each class keeps its own).
struct PreviousVideoSize {
  int width = 0;
  int height = 0;
};

// Sizes the video window for `mode` (see video_geometry.h) for a video of
// that size and has `media` fit its picture; `updateNow` repaints at once.
void ApplyVideoSize(MediaFile& media, int mode, int videoWidth, int videoHeight, bool updateNow);

// Centres the video window on the screen, size unchanged.
void CenterVideoWindow();

// After Open sized the window: a reused window moves so that the new video
// is centred where the previous one was, a new one is centred on the screen;
// `previous` then holds this video's size.
void PlaceOpenedVideo(bool reused, PreviousVideoSize& previous, int width, int height);

}  // namespace qorve
