#include "player/visual/display_layout.h"

#include "player/core/display_port.h"
#include "player/core/media_file.h"

#include <algorithm>
#include <cmath>

namespace qorve {
namespace {

constexpr unsigned Kinds(std::initializer_list<int> kinds) {
  unsigned mask = 0;
  for (int kind : kinds) mask |= 1u << kind;
  return mask;
}

// Slots in the order the row fills from the right edge leftwards. Slots that
// a kind does not show are skipped by their kind mask.
constexpr int kVisitOrder[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 6};

bool IsSoundOrVideo(int kind) { return kind == kKindSound || kind == kKindVideo; }

int Truncate(double value) {
  if (!(value > -2147483648.0)) return value != value ? 0 : -2147483647 - 1;
  if (value >= 2147483647.0) return 2147483647;
  return static_cast<int>(value);
}

// Window positions and sizes from the settings file, or scaled from a picture,
// are held to what a screen can show (Qt's widget limit, 2^24 pixels), so that
// the sums of the layout and right() and bottom() of the result never leave
// the range of an int.
constexpr int kLargestExtent = 1 << 24;
int HeldPosition(int value) { return std::clamp(value, -kLargestExtent, kLargestExtent); }
int HeldSize(int value) { return std::clamp(value, 0, kLargestExtent); }

}  // namespace

const std::array<ButtonSlotInfo, kButtonSlotCount>& ButtonTable() {
  static const std::array<ButtonSlotInfo, kButtonSlotCount> table{{
      {117, 1, &Settings::buttonExit, Kinds({1, 2, 3})},
      {106, 2, &Settings::buttonPause, Kinds({1, 2, 3})},
      {116, 1, &Settings::buttonOnce, Kinds({1, 2})},
      {104, 1, &Settings::buttonLoop, Kinds({1, 2})},
      {114, 1, &Settings::buttonList, Kinds({1, 2})},
      {115, 1, &Settings::buttonRand, Kinds({1, 2})},
      {107, 2, &Settings::buttonFull, Kinds({2})},
      {108, 2, &Settings::buttonZoom, Kinds({3})},
      {110, 1, &Settings::buttonNext, Kinds({1, 2, 3})},
      {111, 1, &Settings::buttonBack, Kinds({1, 2, 3})},
      {109, 2, &Settings::buttonShow, Kinds({3})},
      {113, 1, &Settings::buttonHide, Kinds({1, 2})},
      {0, 0, nullptr, 0},
      {0, 0, nullptr, 0},
      {0, 0, nullptr, 0},
  }};
  return table;
}

int AlphaForTransparency(int percent) {
  const int alpha = Truncate((100.0 - percent) * 0.01 * 255);
  return std::clamp(alpha, 0, 255);
}

double ImageZoom(int pictureWidth, int pictureHeight, int screenWidth, int screenHeight, const Rect& workArea,
                 const Settings& settings) {
  double zoom = 1.0;
  // A picture without a size cannot be scaled; it is shown as it is.
  if (settings.imagesetScaleMatch != 1 || pictureWidth <= 0 || pictureHeight <= 0) return zoom;
  const bool show = settings.imagesetShow == 1;
  const int availableWidth = show ? screenWidth : workArea.width - 8;
  const int availableHeight = show ? screenHeight : workArea.height - 40;
  if (pictureWidth > availableWidth) zoom = static_cast<double>(availableWidth) / pictureWidth;
  // The height ratio wins over the width ratio, and in slideshow mode it also
  // enlarges a small picture to the screen height.
  if (pictureHeight > availableHeight || show) zoom = static_cast<double>(availableHeight) / pictureHeight;
  // A limit of no size or less would leave no picture (or a mirrored one):
  // one percent is the least there is.
  const int showScale = std::max(settings.imagesetShowScale, 1);
  if (zoom * 100 > showScale) zoom = showScale * 0.01;
  return zoom;
}

int TrackbarScale(double length) {
  if (!(length > 0) || !std::isfinite(length)) return 0;
  // A very short medium would need more units than the control can hold;
  // 10^6 units per second keeps scale x length inside the range.
  const double scale = 32765.0 / length;
  return scale >= 1e6 ? 1000000 : static_cast<int>(scale);
}

LayoutResult ComputeLayout(const LayoutInput& input, const Settings& settings) {
  LayoutResult result;
  const int kind = input.kind;
  if (kind == kKindVideo && settings.videosetFull == 1) {
    result.applies = false;
    return result;
  }

  if (IsSoundOrVideo(kind) && settings.winsetAlpha != 0) {
    result.alpha = AlphaForTransparency(settings.winsetAlpha);
  } else if (kind == kKindImage && settings.imagesetAlpha != 0) {
    result.alpha = AlphaForTransparency(settings.imagesetAlpha);
  }

  const Rect& work = input.workArea;
  Rect current = input.currentWindow;
  int x = 0, y = 0, width = 0, height = 0;
  if (kind == kKindImage) {
    result.zoom = ImageZoom(input.pictureWidth, input.pictureHeight, input.screenWidth, input.screenHeight, work,
                            settings);
    if (settings.imagesetShow == 1) {
      // The slideshow covers the screen; the window is there before anything
      // below measures it.
      width = input.screenWidth;
      height = input.screenHeight;
      current = Rect{0, 0, width, height};
    } else {
      const int pictureWidth = std::max(input.pictureWidth, 0);
      const int pictureHeight = std::max(input.pictureHeight, 0);
      x = 12;
      width = std::max(HeldSize(Truncate(pictureWidth * result.zoom)), kMinimumImageWindowWidth);
      const int scaledHeight = HeldSize(Truncate(pictureHeight * result.zoom));
      height = std::max(scaledHeight + kButtonSize, kMinimumImageWindowHeight);
      y = work.bottom() - (scaledHeight + kButtonSize) - 5;
    }
  } else if (kind == kKindDocument) {
    width = kDocumentWindowWidth;
    height = kDocumentWindowHeight;
    x = (input.screenWidth - kDocumentWindowWidth) / 2;
    y = (input.screenHeight - kDocumentWindowHeight) / 2;
  } else if (settings.winsetMode == 0 || settings.winsetMode == 2) {
    x = 12;
    width = work.right() - 24;
    height = 3 * HeldSize(input.lineHeight) + 13;
    y = work.bottom() - height - 5;
  } else if (settings.winsetMode == 1) {
    x = HeldPosition(settings.winsetX);
    y = HeldPosition(settings.winsetY);
    width = HeldSize(settings.winsetWidth);
    height = HeldSize(settings.winsetHeight);
  } else {
    // Undefined window modes keep the window where it is.
    x = current.x;
    y = current.y;
    width = current.width;
    height = current.height;
  }

  int counter = 1;
  for (int slot : kVisitOrder) {
    const ButtonSlotInfo& info = ButtonTable()[slot];
    if ((info.kindMask & (1u << kind)) == 0 || settings.*info.key != 1) continue;
    ButtonPlace& place = result.buttons[slot];
    place.x = width - kButtonSize * counter - input.edgeWidth - 2;
    place.y = input.edgeHeight;
    place.visible = true;
    ++counter;
  }
  result.buttonCounter = counter;

  const bool sameKind = input.previousKind != 0 && input.previousKind == kind;
  // An image after an image without buttons has no re-layout rule of its own;
  // it is laid out afresh.
  const bool relayout = sameKind && !(kind == kKindImage && counter == 1);
  if (!relayout) {
    if (settings.winsetScroll == 1 && IsSoundOrVideo(kind)) {
      result.trackbar = TrackbarAction::Place;
      result.trackbarWidth = width;
      result.trackbarY = height;
      height += kTrackbarHeight;
      y -= kTrackbarHeight;
    }
    if (kind == kKindImage && counter == 1) {
      y += kButtonSize;
      height -= kButtonSize;
    }
    result.moveWindow = true;
    result.window = Rect{x, y, width, height};
  } else if (IsSoundOrVideo(kind)) {
    // The user may have moved or resized the window: it stays as it is, and
    // the button row stays at its right edge.
    for (ButtonPlace& place : result.buttons) {
      if (place.visible) place.x += current.width - width;
    }
    if (settings.winsetScroll == 1) {
      result.trackbar = TrackbarAction::Place;
      result.trackbarWidth = current.width;
      result.trackbarY = current.height - kTrackbarHeight;
    }
  } else {
    if (input.screenHeight < height + kButtonSize && settings.imagesetShow != 1) {
      height = input.screenHeight - kButtonSize;
      width += input.scrollBarWidth;
      result.scrollMaximum = std::max(input.pictureHeight, 0);
      result.scrollPage = height;
    }
    result.moveWindow = true;
    result.window = Rect{current.x, current.bottom() - height, width, height};
  }

  if (kind == kKindImage) {
    result.buttonsInBottomStrip = true;
    result.trackbar = TrackbarAction::Destroy;
  } else if (!IsSoundOrVideo(kind)) {
    // The seek bar belongs to sound and video; left over it would lie across
    // an error text or a document.
    result.trackbar = TrackbarAction::Destroy;
  }
  return result;
}

void PlaceButtonsInBottomStrip(ButtonPlaces& buttons, int buttonCounter, int windowWidth, int windowHeight) {
  for (ButtonPlace& place : buttons) {
    if (!place.visible) continue;
    place.x += kButtonSize * buttonCounter - windowWidth - 27;
    place.y += windowHeight - kButtonSize;
  }
}

int HitTestAt(int cursorX, int cursorY, const Rect& window, bool pointerOnVideo, bool trackbarPresent,
              const ButtonPlaces& buttons) {
  if (pointerOnVideo) return kHitVideo;
  const auto inside = [&](int left, int top, int right, int bottom) {
    return cursorX > left && cursorX < right && cursorY > top && cursorY < bottom;
  };
  if (!inside(window.x, window.y, window.right(), window.bottom())) return kHitOutside;
  if (trackbarPresent && cursorY > window.bottom() - kTrackbarHeight) return kHitSeekBar;
  for (int slot = 0; slot < kButtonSlotCount; ++slot) {
    const ButtonPlace& place = buttons[slot];
    if (!place.visible) continue;
    const int left = window.x + place.x;
    const int top = window.y + place.y;
    if (inside(left, top, left + kButtonSize, top + kButtonSize)) return kHitButtonBase + slot;
  }
  return kHitWindow;
}

double TimeAtPoint(int cursorX, int cursorY, const Rect& window, double length) {
  if (!(cursorY > window.bottom() - kTrackbarHeight && cursorY < window.bottom())) return -1.0;
  if (cursorX < window.x || cursorX > window.right()) return -1.0;
  // The track runs 8 pixels inside each end; a window too narrow for a track
  // has no time under the cursor.
  const int track = window.width - 16;
  if (track <= 0 || !(length >= 0)) return -1.0;
  const double time = static_cast<double>(cursorX - window.x - 8) / track * length;
  return std::clamp(time, 0.0, length);
}

int IconColumn(int slot, const IconState& state) {
  switch (slot) {
    case 1:
      // The pause button shows the play face while nothing advances: for an
      // image that is the slideshow, for everything else the media.
      if (state.kind == kKindImage) return state.slideshowRunning ? 0 : 1;
      return state.playState != kPlaying ? 1 : 0;
    case 6:
      return state.videoFull == 1 ? 1 : 0;
    case 7:
      return state.scaleMatch == 0 ? 1 : 0;
    case 10:
      return state.show == 1 ? 1 : 0;
    default:
      return 0;
  }
}

int IconRow(int slot, int hit, bool pressed) {
  if (hit != kHitButtonBase + slot) return 0;
  return pressed ? 2 * kButtonSize : kButtonSize;
}

}  // namespace qorve
