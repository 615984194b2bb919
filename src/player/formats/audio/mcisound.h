// MCISOUND: audio that the media control interface plays (WAV, MIDI, MP3,
// WMA, AU, AIFF, RMI and audio-CD tracks), one MCI device per object.
#pragma once

#include "platform/mci/mci.h"
#include "player/core/media_file.h"

namespace qorve {

class MCISOUND final : public MediaFile {
 public:
  MCISOUND();
  ~MCISOUND() override;

  int Open(const std::string& path, const std::string& extension, WindowHandle owner) override;
  int Close() override;
  int Play(double from) override;
  int Rewind(double position) override;
  int Pause() override;
  int Stop() override;
  int TogglePause() override;
  int SetSpeed(int percent) override;
  void GetStatus(MediaState& out) override;

 private:
  // Hands the reset message for MIDISET RESET `reset` to the open device.
  void SendResetToDevice(int reset);

  MCIDEVICEID device_ = 0;  // 0: no device open
};

// The Open result for an MCI open error.
int OpenResultFromMciError(MCIERROR error);

}  // namespace qorve
