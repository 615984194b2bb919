// X11 input backend: filled in by the input work; until then no display input.
#include "platform/input.h"

namespace qorve {

std::unique_ptr<InputPoller> CreateX11Input() {
  return nullptr;
}

}  // namespace qorve
