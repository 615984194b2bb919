// The settings program's icon, drawn with vector shapes: the player's blue
// rounded square with a play sign, and a slider below it.
#pragma once

#include <QIcon>
#include <QImage>

namespace qorve {

QImage ProgramIconImage(int size);
// The icon at 16, 32 and 48 pixels.
QIcon ProgramIcon();

}  // namespace qorve
