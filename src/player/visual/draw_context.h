// The drawing target the still-image operations (MediaFile::Draw and
// DrawStretched) receive: the painter of the display window's content.
#pragma once

class QPainter;

namespace qorve {

struct DrawContext {
  QPainter* painter;
};

}  // namespace qorve
