#include "player/visual/wnd_set.h"

#include "common/log.h"
#include "common/settings.h"
#include "common/volume.h"
#include "platform/input/input.h"
#include "player/core/display_port.h"
#include "player/core/player_state.h"
#include "player/core/string_table.h"
#include "player/visual/button_art.h"
#include "player/visual/draw_context.h"
#include "player/visual/info_lines.h"
#include "player/visual/seek_bar.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace qorve {
namespace {

// The display window is frameless; a one-pixel edge keeps the button row off
// the window's border line, as the system edge of a bordered window did.
constexpr int kEdge = 1;
constexpr int kTextMargin = 5;
// The tallest font the display draws: a line about as high as a screen.
constexpr int64_t kLargestFontPixels = 1024;

QColor FromColorRef(int colorRef) {
  const unsigned value = static_cast<unsigned>(colorRef);
  return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

Rect ToRect(const QRect& rect) { return Rect{rect.x(), rect.y(), rect.width(), rect.height()}; }

// The window's outer rectangle on the screen, where the layout places it and
// the pointer is tested against the buttons drawn in it. The window asks for
// no frame, so this is its own geometry: a frame a window manager puts round
// it all the same (Weston keeps a 32-pixel shadow margin round every X
// window) is the manager's, and counting it would move the buttons' hit
// areas off the drawn buttons and shrink the window at every placement.
Rect OuterRect(const QWidget& window) { return ToRect(window.geometry()); }

// FONTWEIGHT is on the 0..1000 scale where 0 means "the default" (normal).
int QtWeight(int weight) {
  if (weight <= 0) return QFont::Normal;
  return std::min(weight, 1000);
}

int Truncate(double value) {
  if (!(value > -2147483648.0)) return 0;
  if (value >= 2147483647.0) return 2147483647;
  return static_cast<int>(value);
}

// The content image for a window of width x height logical pixels: as many
// pixels as the screen shows there (the ratio times the size), so text,
// buttons and pictures are drawn at the screen's resolution rather than
// drawn small and stretched. The painter works in logical pixels all the same.
QSize ContentPixels(int width, int height, qreal ratio) {
  if (ratio == 1.0 || !(ratio > 0.0)) return QSize(std::max(width, 1), std::max(height, 1));
  return QSize(std::max(static_cast<int>(std::ceil(width * ratio)), 1),
               std::max(static_cast<int>(std::ceil(height * ratio)), 1));
}

QScreen* ScreenOf(QWidget* window) {
  QScreen* screen = window ? window->screen() : nullptr;
  return screen ? screen : QGuiApplication::primaryScreen();
}

}  // namespace

WndSet::WndSet() { Log("WndSet コンストラクタ", 0); }

WndSet& DisplayWindowSet() {
  static WndSet instance;
  return instance;
}

const QFont& WndSet::Font() const {
  static const QFont none;
  return font_ ? *font_ : none;
}

void WndSet::Forget() {
  // The window (and with it the seek bar and scroll bar) is gone; Qt objects
  // that would outlive the application are dropped with it.
  font_.reset();
  content_ = QImage();
  trackbarPresent_ = false;
  previousKind_ = 0;
}

void WndSet::Attach(QWidget* window) {
  if (!Player().media || !window) return;
  if (window_ != window) {
    window_ = window;
    attachedWindow_ = window;
    // Only the window attached last counts: an earlier one going away later
    // must not touch the current one.
    QObject::connect(window, &QObject::destroyed, [this](QObject* gone) {
      if (gone != attachedWindow_) return;
      attachedWindow_ = nullptr;
      Forget();
    });
  }
  window->setAttribute(Qt::WA_OpaquePaintEvent);
  if (!scrollBar_) {
    scrollBar_ = new QScrollBar(Qt::Vertical, window);
    scrollBar_->setRange(0, 0);
    scrollBar_->setSingleStep(10);
    scrollBar_->setPageStep(100);
    scrollBar_->hide();
    QObject::connect(scrollBar_, &QScrollBar::valueChanged, [this](int) {
      MarkAllDirty();
      Invalidate();
    });
  }
  CreateFontAndBrush();
  Layout();
  MediaInfo info{};
  Player().media->GetInfo(info);
  const Settings& settings = ProgramSettings();
  const bool staysHidden = (info.Kind == kKindSound || info.Kind == kKindVideo) && settings.winsetMode == 2;
  if (!staysHidden) {
    window->show();
    window->repaint();
  }
  Player().slideshowRunning = settings.imagesetShow;
}

void WndSet::CreateFontAndBrush() {
  const Settings& settings = ProgramSettings();
  const int dpi = window_ ? window_->logicalDpiY() : 96;
  // Integer multiply-divide rounded to the nearest pixel, in 64 bits; a size
  // from an edited settings file is held to what a screen can show.
  const int64_t product = int64_t{settings.fontsetFontSize} * dpi;
  const int64_t pixels = (product + (product >= 0 ? 36 : -36)) / 72;
  QFont font(QString::fromStdString(settings.fontsetFontFace));
  font.setPixelSize(static_cast<int>(std::clamp<int64_t>(pixels, 1, kLargestFontPixels)));
  font.setWeight(static_cast<QFont::Weight>(QtWeight(settings.fontsetFontWeight)));
  font.setItalic(settings.fontsetFontItalic != 0);
  font.setUnderline(false);
  font.setStrikeOut(false);
  font.setStyleStrategy(QFont::PreferAntialias);
  font_ = font;
  background_ = FromColorRef(settings.winsetBackColor);
  textColor_ = FromColorRef(settings.fontsetFontColor);
  lineHeight_ = window_ ? QFontMetrics(font, window_).height() : QFontMetrics(font).height();
  statusRight_ = -1;  // the status line is drawn anew in the new font and colour
}

void WndSet::MoveWindow(const Rect& rect) {
  window_->setGeometry(rect.x, rect.y, std::max(rect.width, 1), std::max(rect.height, 1));
}

void WndSet::ApplyScrollBar(int maximum, int page) {
  if (!scrollBar_) return;
  if (maximum <= 0 || maximum <= page) {
    scrollBar_->setRange(0, 0);
    scrollBar_->hide();
    return;
  }
  // The whole picture is maximum pixels high and page of them show at once.
  scrollBar_->setRange(0, maximum - page);
  const int extent = scrollBar_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  scrollBar_->setGeometry(window_->width() - extent, 0, extent, window_->height());
  scrollBar_->show();
  scrollBar_->raise();
}

void WndSet::DestroyTrackbar() {
  delete trackbar_.data();
  trackbar_ = nullptr;
  trackbarPresent_ = false;
}

void WndSet::Layout() {
  if (!Player().media || !window_ || layingOut_) return;
  layingOut_ = true;
  buttons_ = ButtonPlaces{};
  MediaInfo info{};
  Player().media->GetInfo(info);
  const Settings& settings = ProgramSettings();

  QScreen* screen = ScreenOf(window_);
  LayoutInput input;
  input.kind = info.Kind;
  input.pictureWidth = info.Width;
  input.pictureHeight = info.Height;
  if (screen) {
    input.screenWidth = screen->geometry().width();
    input.screenHeight = screen->geometry().height();
    input.workArea = ToRect(screen->availableGeometry());
  }
  input.lineHeight = lineHeight_;
  input.edgeWidth = kEdge;
  input.edgeHeight = kEdge;
  input.scrollBarWidth = window_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  input.previousKind = previousKind_;
  input.currentWindow = OuterRect(*window_);
  const LayoutResult result = ComputeLayout(input, settings);
  if (!result.applies) {
    layingOut_ = false;
    return;
  }

  if (result.alpha >= 0) SetAlpha(result.alpha);
  ApplyScrollBar(0, 0);
  zoom_ = result.zoom;
  if (result.moveWindow) MoveWindow(result.window);
  switch (result.trackbar) {
    case TrackbarAction::Place: PlaceTrackbar(result.trackbarWidth, result.trackbarY); break;
    case TrackbarAction::Destroy: DestroyTrackbar(); break;
    case TrackbarAction::Keep: break;
  }
  ApplyScrollBar(result.scrollMaximum, result.scrollPage);
  buttons_ = result.buttons;
  if (result.buttonsInBottomStrip) {
    const Rect outer = OuterRect(*window_);
    PlaceButtonsInBottomStrip(buttons_, result.buttonCounter, outer.width, outer.height);
  }
  previousKind_ = info.Kind;
  layingOut_ = false;
}

void WndSet::PlaceTrackbar(int width, int y) {
  if (!window_) return;
  if (!trackbar_) {
    trackbar_ = new SeekBar(window_);
    trackbar_->setObjectName(QStringLiteral("trackbar1000"));
    trackbar_->setTickPosition(QSlider::NoTicks);
    // The seek bar only shows the position: clicks on it reach the window and
    // the controller reads them through HitTest and TimeAtCursor.
    trackbar_->setAttribute(Qt::WA_TransparentForMouseEvents);
    trackbar_->setFocusPolicy(Qt::NoFocus);
    trackbar_->setPageStep(0);
  }
  trackbar_->SetGround(background_);
  trackbar_->setGeometry(0, y, std::max(width - 2, 1), kTrackbarHeight);
  trackbar_->show();
  MediaInfo info{};
  if (Player().media) Player().media->GetInfo(info);
  trackbarScale_ = TrackbarScale(info.Length);
  trackbar_->setRange(0, trackbarScale_ == 0 ? 0 : Truncate(trackbarScale_ * info.Length));
  trackbarPresent_ = true;
}

void WndSet::SetTrackbarTime(double seconds) {
  if (!trackbar_) return;
  const int position = Truncate(trackbarScale_ * seconds);
  trackbar_->setValue(std::clamp(position, trackbar_->minimum(), trackbar_->maximum()));
}

bool WndSet::OnScreen() const { return window_ && window_->isVisible(); }

double WndSet::TrackbarSecondsPerPixel(double length) const {
  if (!trackbar_ || !trackbarPresent_ || !OnScreen() || length <= 0.0) return 0.0;
  return length / std::max(trackbar_->ThumbTravel(), 1);
}

void WndSet::SetAlpha(int alpha) {
  if (!window_) return;
  window_->setWindowOpacity(std::clamp(alpha, 0, 255) / 255.0);
}

void WndSet::Invalidate() {
  if (!window_) return;
  // While a sound or video plays only its status line changes, a few times a
  // second: only that band is drawn and sent to the screen.
  MediaInfo info{};
  if (Player().media) Player().media->GetInfo(info);
  const int kind = Player().media ? info.Kind : 0;
  if (textDirty_ && !eraseNeeded_ && !buttonsDirty_ && (kind == kKindSound || kind == kKindVideo) &&
      content_.size() == ContentPixels(window_->width(), window_->height(), window_->devicePixelRatio())) {
    // A refresh that would draw the text already on the screen (the time
    // line's shown digits have not turned) draws and sends nothing.
    MediaState state{};
    Player().media->GetStatus(state);
    if (statusRight_ >= 0 && BuildStatusLine(InfoLineInputFor(info, state), ProgramSettings()) == drawnStatus_) {
      textDirty_ = false;
      return;
    }
    // As far as the line's text reached, and room for a few more characters;
    // a longer text asks for the rest when it is drawn. Drawn and sent at
    // once, so that the message loop's wait after the step blocks.
    statusBandRight_ = statusRight_ < 0 ? window_->width() : std::min(window_->width(), statusRight_ + 4 * lineHeight_);
    window_->repaint(StatusBand(statusBandRight_));
    return;
  }
  statusBandRight_ = window_->width();
  window_->update();
}

void WndSet::MarkAllDirty() {
  eraseNeeded_ = true;
  textDirty_ = true;
  buttonsDirty_ = true;
}

void WndSet::MarkTextDirty(int value) { textDirty_ = value != 0; }
void WndSet::MarkButtonsDirty(int value) { buttonsDirty_ = value != 0; }
void WndSet::SetPressed(int value) { pressed_ = value != 0; }

int WndSet::HitTest() {
  if (!Player().media) return kHitOutside;
  const bool onVideo = Player().media->IsPointerOnVideo() == 1;
  if (onVideo) return kHitVideo;
  // A hidden window (WINSET MODE 2, the tray) has nothing under the cursor.
  if (!window_ || !window_->isVisible()) return kHitOutside;
  int x = 0, y = 0;
  if (!SystemInput().GetCursorPos(x, y)) return kHitOutside;
  return HitTestAt(x, y, OuterRect(*window_), false, trackbarPresent_, buttons_);
}

double WndSet::TimeAtCursor(double length) {
  if (!window_) return -1.0;
  int x = 0, y = 0;
  if (!SystemInput().GetCursorPos(x, y)) return -1.0;
  return TimeAtPoint(x, y, OuterRect(*window_), length);
}

void WndSet::Paint(QPainter& painter) {
  if (!window_) return;
  const int width = window_->width();
  const int height = window_->height();
  const qreal ratio = window_->devicePixelRatio() > 0.0 ? window_->devicePixelRatio() : 1.0;
  const QSize pixels = ContentPixels(width, height, ratio);
  if (content_.size() != pixels || content_.devicePixelRatio() != ratio) {
    // New pixels start as background and everything is drawn onto them.
    content_ = QImage(pixels, QImage::Format_RGB32);
    content_.setDevicePixelRatio(ratio);
    content_.fill(background_);
    MarkAllDirty();
  }
  if (Player().media) {
    if (!font_) CreateFontAndBrush();
    MediaInfo info{};
    MediaState state{};
    Player().media->GetInfo(info);
    Player().media->GetStatus(state);
    // Where the pointer is matters only to the buttons (and may ask the server).
    const int hit = buttonsDirty_ ? HitTest() : kHitOutside;
    QPainter p(&content_);
    p.setRenderHint(QPainter::TextAntialiasing);
    switch (info.Kind) {
      case kKindUnplayable: PaintError(p, width, height); break;
      case kKindSound:
      case kKindVideo: PaintInfoLines(p, info, state, width, height); break;
      case kKindImage: PaintImage(p, info, width, height); break;
      default: break;  // documents and archives show no more than buttons
    }
    PaintButtons(p, info, state, hit);
  }
  painter.drawImage(0, 0, content_);
}

void WndSet::PaintError(QPainter& p, int width, int height) {
  if (eraseNeeded_) {
    p.fillRect(0, 0, width, height, background_);
    eraseNeeded_ = false;
  }
  if (!textDirty_) return;
  // The text is drawn afresh on a clean ground, never over itself.
  p.fillRect(0, 0, width, height, background_);
  char buffer[256] = {};
  Player().media->GetErrorText(buffer, sizeof buffer);
  buffer[sizeof buffer - 1] = '\0';
  MediaInfo info{};
  Player().media->GetInfo(info);
  const ErrorText text = BuildErrorText(buffer, info.Codec, CurrentUiLanguage());
  p.setFont(Font());
  p.setPen(textColor_);
  QRect area(kTextMargin, kTextMargin, std::max(width - kTextMargin, 1), std::max(height - kTextMargin, 1));
  QRect used;
  p.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, QString::fromStdString(text.message), &used);
  if (!text.hint.empty()) {
    // Two line heights under the message's top, or a line below a message
    // that wrapped further down.
    const int top = kTextMargin + std::max(2 * lineHeight_, used.height() + lineHeight_);
    area.setTop(top);
    p.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, QString::fromStdString(text.hint));
  }
  textDirty_ = false;
}

void WndSet::PaintInfoLines(QPainter& p, const MediaInfo& info, const MediaState& state, int width, int height) {
  const bool fullRedraw = eraseNeeded_;
  if (fullRedraw) {
    p.fillRect(0, 0, width, height, background_);
    eraseNeeded_ = false;
  }
  if (!textDirty_) return;
  const InfoLines lines = BuildInfoLines(InfoLineInputFor(info, state), ProgramSettings());
  if (!fullRedraw && statusRight_ >= 0 && lines.status == drawnStatus_) {
    textDirty_ = false;  // the status line on the screen is this text already
    return;
  }

  p.setFont(Font());
  p.setPen(textColor_);
  p.setBackgroundMode(Qt::TransparentMode);
  const auto drawLine = [&](int index, const std::string& text) {
    const QRect band(kTextMargin, index * lineHeight_ + kTextMargin, std::max(width - kTextMargin, 1), lineHeight_);
    p.drawText(band, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, QString::fromStdString(text));
  };
  if (fullRedraw) {
    drawLine(0, lines.info);
    drawLine(1, lines.detail);
  }
  p.fillRect(StatusBand(width), background_);
  QRect used;
  p.drawText(StatusBand(width), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, QString::fromStdString(lines.status),
             &used);
  statusRight_ = used.right() + 1;
  drawnStatus_ = lines.status;
  if (statusRight_ > statusBandRight_) window_->update(StatusBand(width).adjusted(statusBandRight_ - kTextMargin, 0, 0, 0));
  textDirty_ = false;
}

InfoLineInput WndSet::InfoLineInputFor(const MediaInfo& info, const MediaState& state) const {
  InfoLineInput input;
  input.info = info;
  input.state = state;
  const FileList& list = Player().fileList;
  input.listIndex = list.index;
  input.listCount = static_cast<int>(list.entries.size());
  input.listSource = list.source;
  GetVolume(input.volume);
  input.language = CurrentUiLanguage();
  return input;
}

QRect WndSet::StatusBand(int right) const {
  return QRect(kTextMargin, 2 * lineHeight_ + kTextMargin, std::max(right - kTextMargin, 1), lineHeight_);
}

void WndSet::PaintImage(QPainter& p, const MediaInfo& info, int width, int height) {
  if (!eraseNeeded_) return;
  const Settings& settings = ProgramSettings();
  // Around the picture lies black: the button strip and whatever the picture
  // does not cover.
  p.fillRect(0, 0, width, height, Qt::black);
  const int scaledWidth = Truncate(info.Width * zoom_);
  const int scaledHeight = Truncate(info.Height * zoom_);
  int x0 = 0, y0 = 0;
  int screenWidth = width, screenHeight = height;
  if (QScreen* screen = ScreenOf(window_)) {
    screenWidth = screen->geometry().width();
    screenHeight = screen->geometry().height();
  }
  if (settings.imagesetShow == 1) {
    x0 = (screenWidth - scaledWidth) / 2;
    y0 = (screenHeight - scaledHeight) / 2;
    Log("x", x0);
    Log("y", y0);
  }
  DrawContext dc{&p};
  if (zoom_ != 1.0) {
    Player().media->DrawStretched(&dc, x0, y0, scaledWidth, scaledHeight, 0, 0, info.Width, info.Height);
  } else {
    const int scroll = scrollBar_ ? scrollBar_->value() : 0;
    if (scroll != 0) y0 = 0;
    Player().media->Draw(&dc, x0, y0 - scroll, info.Width, info.Height, 0, 0);
  }
  if (settings.imagesetShow == 1) {
    if (lastFullWidth_ < 0) {
      lastFullWidth_ = screenWidth;
      lastFullHeight_ = screenHeight;
    }
    if (scaledWidth < lastFullWidth_ || scaledHeight < lastFullHeight_) {
      p.fillRect(0, 0, screenWidth, y0, Qt::black);
      p.fillRect(0, screenHeight - y0, screenWidth, y0, Qt::black);
      p.fillRect(0, 0, x0, height, Qt::black);
      p.fillRect(screenWidth - x0, 0, x0, height, Qt::black);
    }
    lastFullWidth_ = scaledWidth;
    lastFullHeight_ = scaledHeight;
  }
  eraseNeeded_ = false;
}

void WndSet::PaintButtons(QPainter& p, const MediaInfo& info, const MediaState& state, int hit) {
  if (!buttonsDirty_) return;
  const Settings& settings = ProgramSettings();
  IconState icons;
  icons.kind = info.Kind;
  icons.playState = state.PlayState;
  icons.slideshowRunning = Player().slideshowRunning;
  icons.videoFull = settings.videosetFull;
  icons.scaleMatch = settings.imagesetScaleMatch;
  icons.show = settings.imagesetShow;
  // Each cell is replaced whole, as an opaque bitmap would be: the ground
  // under the rounded plate is the window's (black in the image strip).
  const QColor ground = info.Kind == kKindImage ? QColor(Qt::black) : background_;
  for (int slot = 0; slot < kButtonSlotCount; ++slot) {
    const ButtonPlace& place = buttons_[slot];
    if (!place.visible) continue;
    // The art is drawn for the screen's resolution; its cells are the
    // button's logical size times the ratio.
    const QImage& bitmap = ButtonBitmap(ButtonTable()[slot].bitmapId, content_.devicePixelRatio());
    if (bitmap.isNull()) continue;
    const int column = IconColumn(slot, icons);
    const int row = IconRow(slot, hit, pressed_);
    p.fillRect(place.x, place.y, kButtonSize, kButtonSize, ground);
    const qreal ratio = bitmap.devicePixelRatio();
    if (ratio == 1.0) {
      p.drawImage(QPoint(place.x, place.y), bitmap, QRect(kButtonSize * column, row, kButtonSize, kButtonSize));
    } else {
      p.drawImage(QPointF(place.x, place.y), bitmap,
                  QRectF(kButtonSize * column * ratio, row * ratio, kButtonSize * ratio, kButtonSize * ratio));
    }
  }
  buttonsDirty_ = false;
}

}  // namespace qorve
