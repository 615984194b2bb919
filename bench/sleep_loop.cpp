// The cheapest possible polling program: sleeps 1 ms in a loop until it is
// terminated. The idle benchmark measures the player against it.
#include "platform/system/clock.h"

int main() {
  for (;;) qorve::SleepMs(1);
}
