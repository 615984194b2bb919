#include "platform/input/screen_scale.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace qorve {
namespace {

bool Holds(const ScreenScale& screen, int x, int y) {
  return x >= screen.x && y >= screen.y && static_cast<int64_t>(x) < static_cast<int64_t>(screen.x) + screen.width &&
         static_cast<int64_t>(y) < static_cast<int64_t>(screen.y) + screen.height;
}

// Squared distance from the point to the nearest pixel of the screen.
int64_t DistanceSquared(const ScreenScale& screen, int x, int y) {
  const auto gap = [](int64_t at, int64_t from, int64_t size) -> int64_t {
    if (at < from) return from - at;
    if (at >= from + size) return at - (from + size - 1);
    return 0;
  };
  const int64_t dx = gap(x, screen.x, screen.width);
  const int64_t dy = gap(y, screen.y, screen.height);
  return dx * dx + dy * dy;
}

int64_t CornerDistanceSquared(const ScreenScale& screen, int x, int y) {
  const int64_t dx = static_cast<int64_t>(x) - screen.x;
  const int64_t dy = static_cast<int64_t>(y) - screen.y;
  return dx * dx + dy * dy;
}

// The logical pixel a device pixel lies in: the distance from the corner
// divided by the ratio, rounded down (the device pixels 2k and 2k + 1 of a
// ratio of 2 both lie in logical pixel k).
int ToLogical(int at, int corner, double ratio) {
  const double logical = corner + std::floor((static_cast<double>(at) - corner) / ratio);
  if (!(logical > std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  if (logical >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  return static_cast<int>(logical);
}

}  // namespace

void DeviceToLogical(int& x, int& y, std::span<const ScreenScale> screens) {
  const ScreenScale* chosen = nullptr;
  int64_t best = std::numeric_limits<int64_t>::max();
  for (const ScreenScale& screen : screens) {
    if (!Holds(screen, x, y)) continue;
    const int64_t distance = CornerDistanceSquared(screen, x, y);
    if (distance < best) {
      best = distance;
      chosen = &screen;
    }
  }
  if (!chosen) {
    for (const ScreenScale& screen : screens) {
      const int64_t distance = DistanceSquared(screen, x, y);
      if (distance < best) {
        best = distance;
        chosen = &screen;
      }
    }
  }
  if (!chosen || !(chosen->ratio > 0.0) || chosen->ratio == 1.0) return;
  x = ToLogical(x, chosen->x, chosen->ratio);
  y = ToLogical(y, chosen->y, chosen->ratio);
}

}  // namespace qorve
