#include "player/formats/video/video_geometry.h"

#include <cmath>

namespace qorve {
namespace {

// A window within this many pixels of every screen edge covers the screen.
constexpr int kCoverSlack = 5;

bool CoversScreen(const VideoWindowRect& window, int screenWidth, int screenHeight) {
  return window.left < kCoverSlack && window.top < kCoverSlack && window.right > screenWidth - kCoverSlack &&
         window.bottom > screenHeight - kCoverSlack;
}

}  // namespace

VideoSizePlan PlanVideoSize(int mode, int videoWidth, int videoHeight, const VideoWindowRect& window,
                            int screenWidth, int screenHeight) {
  VideoSizePlan plan;
  if (mode == kVideoFullScreen) {
    if (CoversScreen(window, screenWidth, screenHeight)) {
      plan.onlyRefit = true;
      return plan;
    }
    plan.framed = false;
    plan.width = screenWidth;
    plan.height = screenHeight;
    return plan;
  }
  switch (mode) {
    case kVideoDouble:
      plan.width = videoWidth * 2;
      plan.height = videoHeight * 2;
      break;
    case kVideoHalf:
      plan.width = videoWidth / 2;
      plan.height = videoHeight / 2;
      break;
    case kVideoScreenSized:
      plan.width = screenWidth;
      plan.height = screenHeight;
      break;
    default:
      plan.width = videoWidth;
      plan.height = videoHeight;
      break;
  }
  plan.width += 4 * kVideoWindowEdge;
  plan.height += 4 * kVideoWindowEdge;
  return plan;
}

PictureRect FitPictureRect(int windowWidth, int windowHeight, int videoWidth, int videoHeight) {
  const int boxWidth = windowWidth - 4 * kVideoWindowEdge;
  const int boxHeight = windowHeight - 4 * kVideoWindowEdge;
  if (videoWidth <= 0 || videoHeight <= 0) return {0, 0, boxWidth, boxHeight};
  const double widthRatio = static_cast<double>(boxWidth) / videoWidth;
  const double heightRatio = static_cast<double>(boxHeight) / videoHeight;
  PictureRect rect;
  if (widthRatio > heightRatio) {
    rect.height = boxHeight;
    rect.width = static_cast<int>(std::trunc(videoWidth * heightRatio));
    rect.left = (boxWidth - rect.width) / 2;
  } else {
    rect.width = boxWidth;
    rect.height = static_cast<int>(std::trunc(videoHeight * widthRatio));
    rect.top = (boxHeight - rect.height) / 2;
  }
  return rect;
}

WindowPoint CenteredOnScreen(const VideoWindowRect& window, int screenWidth, int screenHeight) {
  return {(window.left + screenWidth - window.right) / 2, (window.top + screenHeight - window.bottom) / 2};
}

WindowPoint KeepCentre(const VideoWindowRect& window, int previousWidth, int previousHeight, int width,
                       int height) {
  return {window.left + (previousWidth - width) / 2, window.top + (previousHeight - height) / 2};
}

}  // namespace qorve
