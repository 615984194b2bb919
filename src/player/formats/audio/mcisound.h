// MCISOUND: audio that the media control interface plays (WAV, MIDI, MP3,
// WMA, AU, AIFF, RMI and audio-CD tracks), one MCI device per object.
#pragma once

#include "player/formats/transport/mci_media.h"

namespace qorve {

class MCISOUND final : public MciMedia {
 public:
  MCISOUND();
  ~MCISOUND() override;

  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;

 private:
  // Hands the reset message for MIDISET RESET `reset` to the open device.
  void SendResetToDevice(int reset);
};

}  // namespace qorve
