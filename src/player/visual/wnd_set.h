// player/visual/: the display window, the video window and ERRORFILE.
//
// WndSet: lays out and paints the display window for the current media object
// (information lines, error text, picture, buttons), owns its seek bar, its
// vertical scroll bar and its transparency, and tells what lies under the
// cursor. One program-wide instance (DisplayWindowSet); user-interface thread.
#pragma once

#include "player/core/media_file.h"
#include "player/visual/display_layout.h"
#include "player/visual/info_lines.h"
#include "player/visual/seek_bar.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QScrollBar>
#include <QSlider>
#include <QWidget>

#include <optional>
#include <string>

class QPainter;

namespace qorve {

class WndSet {
 public:
  WndSet();  // logs "WndSet コンストラクタ"
  WndSet(const WndSet&) = delete;
  WndSet& operator=(const WndSet&) = delete;

  // Takes the display window, lays it out and shows it (sound and video stay
  // hidden with WINSET MODE 2); starts the slideshow flag from IMAGESET SHOW.
  // Does nothing without a current media object.
  void Attach(QWidget* window);
  // The display font (FONTSET) and background colour (WINSET BACKCOCLOR),
  // and the line height they give.
  void CreateFontAndBrush();
  // Places the window, buttons, seek bar and scroll bar for the current media.
  void Layout();
  // The window's paint handler: brings the window content up to date as the
  // dirty flags ask and draws it whole with `painter`.
  void Paint(QPainter& painter);
  // Asks for a paint without erasing anything.
  void Invalidate();
  void MarkAllDirty();
  void MarkTextDirty(int value);
  void MarkButtonsDirty(int value);
  void SetPressed(int value);
  // HitCode for the system-wide cursor position (display_port.h).
  int HitTest();
  // The media time under the cursor on the seek bar strip, or -1.
  double TimeAtCursor(double length);
  // Creates the seek bar or moves it to (0, y), (width - 2) x 28.
  void PlaceTrackbar(int width, int y);
  void SetTrackbarTime(double seconds);
  // Whether the window shows (not hidden by WINSET MODE 2 nor in the tray).
  bool OnScreen() const;
  // Media seconds per pixel of the seek bar thumb's travel; 0 without one on screen.
  double TrackbarSecondsPerPixel(double length) const;
  // 0 (invisible) to 255 (opaque).
  void SetAlpha(int alpha);

  // For the window code and tests.
  QWidget* Window() const { return window_; }
  const QFont& Font() const;
  QColor BackgroundColor() const { return background_; }
  int LineHeight() const { return lineHeight_; }
  double Zoom() const { return zoom_; }
  bool TrackbarPresent() const { return trackbarPresent_; }
  int TrackbarScaleValue() const { return trackbarScale_; }
  QSlider* Trackbar() const { return trackbar_; }
  QScrollBar* VerticalScrollBar() const { return scrollBar_; }
  const ButtonPlaces& Buttons() const { return buttons_; }
  int PreviousLayoutKind() const { return previousKind_; }

 private:
  void Forget();
  void MoveWindow(const Rect& rect);
  void ApplyScrollBar(int maximum, int page);
  void DestroyTrackbar();
  void PaintError(QPainter& p, int width, int height);
  void PaintInfoLines(QPainter& p, const MediaInfo& info, const MediaState& state, int width,
                      int height);
  void PaintImage(QPainter& p, const MediaInfo& info, int width, int height);
  // What the information lines are made from, for the current media.
  InfoLineInput InfoLineInputFor(const MediaInfo& info, const MediaState& state) const;
  // The status line (the third) from the left margin to x = `right`.
  QRect StatusBand(int right) const;
  void PaintButtons(QPainter& p, const MediaInfo& info, const MediaState& state, int hit);

  QPointer<QWidget> window_;
  const QObject* attachedWindow_ = nullptr;  // compared only, never used
  QPointer<SeekBar> trackbar_;
  QPointer<QScrollBar> scrollBar_;
  std::optional<QFont> font_;
  QColor background_{Qt::white};
  QColor textColor_{Qt::black};
  QImage content_;  // the window's pixels; Paint updates it and draws it whole
  int lineHeight_ = 0;
  bool eraseNeeded_ = false;
  bool textDirty_ = false;
  bool buttonsDirty_ = false;
  bool pressed_ = false;
  int trackbarScale_ = 0;  // trackbar units per second of media
  double zoom_ = 1.0;
  bool trackbarPresent_ = false;
  ButtonPlaces buttons_{};
  int previousKind_ = 0;  // kind of the previous layout, 0 = none
  int lastFullWidth_ = -1;  // last slideshow picture size; screen size at first use
  int lastFullHeight_ = -1;
  bool layingOut_ = false;
  int statusRight_ = -1;     // where the status line's text last ended; -1: not drawn yet
  std::string drawnStatus_;  // the status line's text as last drawn (valid while statusRight_ >= 0)
  int statusBandRight_ = 0;  // how far the last repaint asked for reaches  // moving the window re-enters Layout through its resize
};

// The one WndSet of the program, made on first use.
WndSet& DisplayWindowSet();

}  // namespace qorve
