// Geometry of the display window as plain functions: where the window goes for
// each media kind, which buttons show and where, the seek bar, the image zoom,
// the scroll bar, the transparency, and the hit test over the result.
// No window system here: WndSet feeds in what it reads from the screen.
#pragma once

#include "common/settings.h"

#include <array>

namespace qorve {

// A rectangle in pixels; right and bottom are exclusive (x + width, y + height).
struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int right() const { return x + width; }
  int bottom() const { return y + height; }
  bool operator==(const Rect&) const = default;
};

constexpr int kButtonSlotCount = 15;
constexpr int kButtonSize = 32;      // every button cell is 32 x 32 pixels
constexpr int kTrackbarHeight = 28;  // the seek bar strip under the text
constexpr int kMinimumImageWindowWidth = 170;
constexpr int kMinimumImageWindowHeight = 37;
constexpr int kDocumentWindowWidth = 640;
constexpr int kDocumentWindowHeight = 480;

// One row of the button table.
struct ButtonSlotInfo {
  int bitmapId;                // 0: the slot has no button
  int columns;                 // icon columns in the bitmap (1 or 2)
  int Settings::*key;          // the BUTTON key that must be 1 to show it
  unsigned kindMask;           // bit k set: media kind k shows it
};

// The table of the fifteen slots (12 to 14 never show).
const std::array<ButtonSlotInfo, kButtonSlotCount>& ButtonTable();

// A button after layout: position relative to the window's top-left corner.
struct ButtonPlace {
  bool visible = false;
  int x = 0;
  int y = 0;
};
using ButtonPlaces = std::array<ButtonPlace, kButtonSlotCount>;

// What the window system tells the layout.
struct LayoutInput {
  int kind = 0;
  int pictureWidth = -1;  // MediaInfo Width and Height
  int pictureHeight = 0;
  int screenWidth = 0;
  int screenHeight = 0;
  Rect workArea;  // the desktop without panels
  int lineHeight = 0;
  int edgeWidth = 1;  // the window's border edge, horizontal and vertical
  int edgeHeight = 1;
  int scrollBarWidth = 0;  // extent of the vertical scroll bar
  int previousKind = 0;    // kind of the previous layout, 0 = none
  Rect currentWindow;      // the window's outer rectangle now
};

enum class TrackbarAction { Keep, Place, Destroy };

// What the window code carries out, in this order: alpha, scroll bar, window
// rectangle, seek bar, buttons.
struct LayoutResult {
  // False for a full-screen video: nothing is changed but the buttons, which
  // all disappear, and the previous layout kind is not updated.
  bool applies = true;
  int alpha = -1;  // -1: leave the transparency as it is; else 0..255 opacity
  // The vertical scroll bar: maximum 0 hides it.
  int scrollMaximum = 0;
  int scrollPage = 0;
  bool moveWindow = false;
  Rect window;  // outer rectangle to give the window
  TrackbarAction trackbar = TrackbarAction::Keep;
  int trackbarWidth = 0;  // PlaceTrackbar arguments
  int trackbarY = 0;
  double zoom = 1.0;  // image zoom, 1.0 = natural size
  ButtonPlaces buttons;
  int buttonCounter = 1;  // the visible buttons plus one
  // Images: the buttons move into the strip under the picture once the
  // window's final size is known (PlaceButtonsInBottomStrip).
  bool buttonsInBottomStrip = false;
};

// The whole geometry for one layout of `input.kind` under `settings`.
LayoutResult ComputeLayout(const LayoutInput& input, const Settings& settings);

// Moves the row of buttons laid out from the right edge into the bottom-left
// strip of an image window whose outer size is windowWidth x windowHeight.
void PlaceButtonsInBottomStrip(ButtonPlaces& buttons, int buttonCounter, int windowWidth, int windowHeight);

// The image zoom for a picture: shrinks to the available area when SCALEMATCH
// is 1 (to the screen height in slideshow mode), capped at SHOWSCALE percent.
double ImageZoom(int pictureWidth, int pictureHeight, int screenWidth, int screenHeight, const Rect& workArea,
                 const Settings& settings);

// Opacity 0..255 for a transparency percentage (0 = opaque, 100 = invisible).
int AlphaForTransparency(int percent);

// Trackbar units per second for a media length; 0 when the length is not a
// positive number (the seek bar then has the range 0..0).
int TrackbarScale(double length);

// What lies under the cursor, as a HitCode (see display_port.h). Edges are
// outside. `pointerOnVideo` is the media object's answer, asked first.
int HitTestAt(int cursorX, int cursorY, const Rect& window, bool pointerOnVideo, bool trackbarPresent,
              const ButtonPlaces& buttons);

// The media time for a cursor over the seek bar strip, or -1 outside it.
double TimeAtPoint(int cursorX, int cursorY, const Rect& window, double length);

// Which icon column a button shows: 1 is the second face (play, full screen
// off, fit off, slideshow running), 0 the first.
struct IconState {
  int kind = 0;
  int playState = 0;
  int slideshowRunning = 0;
  int videoFull = 0;
  int scaleMatch = 0;
  int show = 0;
};
int IconColumn(int slot, const IconState& state);

// The row of the bitmap for a button: 0 normal, 32 under the mouse, 64 under
// the mouse while pressed.
int IconRow(int slot, int hit, bool pressed);

}  // namespace qorve
