// The face the programs' icons share: the blue rounded square each draws its
// own sign on.
#pragma once

#include <QImage>

namespace qorve {

// A size × size transparent image holding the square, drawn on a 16 × 16
// grid (the caller scales its painter by size / 16 to draw on it); a null
// image for sizes below 1.
QImage IconSquare(int size);

}  // namespace qorve
