// The Japanese time text of the display window.
#pragma once

#include <string>

namespace qorve {

// form 0: "65秒"; form 1: " 1分  5秒"; form 2: hours, minutes and seconds with
// only the leading units that are not zero, with three decimals when `decimal`
// is 1 (" 1時間  2分 5.500秒") and full-width colons when it is 0 and there are
// hours (" 1： 2： 5"). Any other form gives an empty text. Seconds that are not
// a number, or beyond what a 32-bit count of seconds holds, are held to its range.
std::string FormatTime(double seconds, int form, int decimal);

}  // namespace qorve
