// In-memory master volume for tests: it remembers what was set.
#include "platform/audio/mixer.h"

namespace qorve {
namespace {

class VirtualMixer final : public Mixer {
 public:
  explicit VirtualMixer(uint16_t start) : value_(start) {}
  bool ReadMaster(uint16_t& value) override {
    value = value_;
    return true;
  }
  bool WriteMaster(uint16_t value) override {
    value_ = value;
    return true;
  }

 private:
  uint16_t value_;
};

}  // namespace

std::unique_ptr<Mixer> CreateVirtualMixer(uint16_t start) {
  return std::make_unique<VirtualMixer>(start);
}

}  // namespace qorve
