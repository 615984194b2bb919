#include "display_fake.h"

namespace qorve::test {

int RecordingDisplay::HitTest() {
  ++hitTests;
  return hit;
}

double RecordingDisplay::TimeAtCursor(double) { return timeAtCursor; }
void RecordingDisplay::Layout() { ++layouts; }
void RecordingDisplay::MarkAllDirty() { ++allDirty; }
void RecordingDisplay::MarkTextDirty(int value) { textDirty += value; }
void RecordingDisplay::MarkButtonsDirty(int value) { buttonsDirty += value; }
void RecordingDisplay::SetPressed(int) {}
void RecordingDisplay::Invalidate() { ++invalidates; }
void RecordingDisplay::SetTrackbarTime(double seconds) { trackbarTimes.push_back(seconds); }
void RecordingDisplay::HideToTray() { ++hides; }

}  // namespace qorve::test
