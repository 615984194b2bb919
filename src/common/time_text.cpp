#include "common/time_text.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

namespace qorve {
namespace {

// Whole seconds, truncated toward zero, kept inside int.
int WholeSeconds(double seconds) {
  if (std::isnan(seconds)) return 0;
  if (seconds >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (seconds <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(seconds);
}

template <typename... Args>
std::string Format(const char* pattern, Args... args) {
  char text[128];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

}  // namespace

std::string FormatTime(double seconds, int form, int decimal) {
  if (std::isnan(seconds)) seconds = 0.0;
  seconds = std::clamp(seconds, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX));
  const int whole = WholeSeconds(seconds);
  switch (form) {
    case 0:
      return Format("%d秒", whole);
    case 1:
      return Format("%2d分 %2d秒", whole / 60, whole % 60);
    case 2: {
      const int hours = whole / 3600;
      const int minutes = (whole - hours * 3600) / 60;
      const double rest = seconds - (static_cast<double>(hours) * 60 + minutes) * 60;
      if (hours > 0) {
        return decimal == 1 ? Format("%2d時間 %2d分 %5.3f秒", hours, minutes, rest)
                            : Format("%2d：%2d：%2d", hours, minutes, WholeSeconds(rest));
      }
      if (minutes > 0) {
        return decimal == 1 ? Format("%2d分 %5.3f秒", minutes, rest) : Format("%2d分 %2d秒", minutes, WholeSeconds(rest));
      }
      return decimal == 1 ? Format("%5.3f秒", rest) : Format("%2d秒", WholeSeconds(rest));
    }
    default:
      return {};
  }
}

}  // namespace qorve
