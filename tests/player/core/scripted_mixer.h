// A master volume for tests that can refuse to be read while it still takes
// new values (as a sound server that is restarting may), and that records
// every value set.
#pragma once

#include "platform/audio/mixer.h"

#include <cstdint>
#include <vector>

namespace qorve::test {

class ScriptedMixer final : public Mixer {
 public:
  explicit ScriptedMixer(uint16_t start) : value(start) {}
  bool ReadMaster(uint16_t& out) override {
    if (!readable) return false;
    out = value;
    return true;
  }
  bool WriteMaster(uint16_t in) override {
    writes.push_back(in);
    value = in;
    return true;
  }

  uint16_t value;
  bool readable = true;
  std::vector<uint16_t> writes;
};

}  // namespace qorve::test
