// The master volume of the output device, 0..65535.
//
// Backends: ALSA (the simple-mixer element "Master", else "PCM", of the default
// control, or of the control QORVE_MIXER_DEVICE names) and an in-memory mixer
// for tests. QORVE_MIXER=virtual picks the
// virtual one, starting at 65535 or at QORVE_MIXER_START; otherwise ALSA. Every
// call is made on the user-interface thread.
#pragma once

#include <cstdint>
#include <memory>

namespace qorve {

class Mixer {
 public:
  virtual ~Mixer() = default;
  // False when there is no mixer or no volume control; `value` is then unchanged.
  virtual bool ReadMaster(uint16_t& value) = 0;
  virtual bool WriteMaster(uint16_t value) = 0;
};

std::unique_ptr<Mixer> CreateAlsaMixer();
std::unique_ptr<Mixer> CreateVirtualMixer(uint16_t start);

// The mixer the program uses, chosen by the environment at the first call.
Mixer& SystemMixer();
// Replaces the program's mixer (tests); null chooses by the environment again.
void SetSystemMixerForTesting(std::unique_ptr<Mixer> mixer);

}  // namespace qorve
