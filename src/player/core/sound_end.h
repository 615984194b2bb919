// The exact end of a sound that its media class decodes itself: MediaInfo's
// Length gives it only to the millisecond, while the class knows its last
// sample frame. Implemented beside MediaFile; found with dynamic_cast.
#pragma once

#include "player/core/media_file.h"

namespace qorve {

class SoundEnd {
 public:
  // Seconds from the start to the end of the last sample frame (frames ÷
  // rate, not rounded); 0 when the class does not know it.
  virtual double SoundEndSeconds() const = 0;

 protected:
  ~SoundEnd() = default;
};

// Where `media` has played to its end: its exact end when it knows one,
// else its Length.
inline double EndOfSound(const MediaFile& media, double length) {
  if (const auto* exact = dynamic_cast<const SoundEnd*>(&media)) {
    if (const double end = exact->SoundEndSeconds(); end > 0.0) return end;
  }
  return length;
}

}  // namespace qorve
