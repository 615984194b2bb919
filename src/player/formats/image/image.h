// player/formats/image/: the media class of still pictures.
//
// IMAGE: the media class of still pictures. Open decodes the file into a
// memory bitmap (through an image plug-in, else by extension: BMP, PNG, or
// the picture loader for GIF, JPEG, ICO, DIB, WMF); Draw and DrawStretched
// paint it where the display window asks. It has no time line and never ends.
// User-interface thread only.
#pragma once

#include "platform/picture/bitmap.h"
#include "player/core/media_file.h"

#include <string>

namespace qorve {

class IMAGE : public MediaFile {
 public:
  IMAGE();            // logs "IMAGE コンストラクタ"
  ~IMAGE() override;  // logs "IMAGE デストラクタ", then Close

  // 0, or 2 the file cannot be opened, 4 nothing reads this extension, 5 not
  // a loadable bitmap (also a PNG that libpng refuses), 8 out of memory,
  // 11 the picture loader finds the file damaged.
  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;
  int Close() override;
  // Copies the picture's rectangle at (sourceX, sourceY) 1:1 to (x, y).
  int Draw(DrawContext* dc, int x, int y, int width, int height, int sourceX, int sourceY) override;
  // Stretches the source rectangle onto the destination, smoothly when
  // IMAGESET SCALEALG is 1, fast when 0; logs "画像処理時間" with the
  // milliseconds it took.
  int DrawStretched(DrawContext* dc, int x, int y, int width, int height, int sourceX, int sourceY,
                    int sourceWidth, int sourceHeight) override;

  // The decoded picture (empty before a successful Open and after Close).
  const Bitmap& Picture() const { return bitmap_; }

 private:
  int LoadThroughPlugin(const std::string& path);
  int LoadBitmap(const std::string& path);
  int LoadPng(const std::string& path);
  int LoadPicture(const std::string& path);
  // Takes the bitmap as the picture and its size into MediaInfo.
  void Select(Bitmap&& bitmap);

  Bitmap bitmap_;
};

}  // namespace qorve
