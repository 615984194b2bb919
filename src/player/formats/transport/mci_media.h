// MciMedia: play, pause, stop, speed and status of a media class that an MCI
// device plays (MCISOUND, MCIVIDEO). The class opens `device_` in Open; the
// device gives the position in milliseconds and the mode.
#pragma once

#include "platform/mci/mci.h"
#include "player/core/media_file.h"

namespace qorve {

class MciMedia : public MediaFile {
 public:
  // Closes the device.
  ~MciMedia() override;

  // Stops and closes the device; nothing without one.
  int Close() override;
  // from < 0 plays on from where the device stands; from >= 0 plays from that
  // time, held to the largest millisecond the device takes (about 49 days).
  // A NaN or infinite `from` is no position and does nothing.
  int Play(double from) override;
  // Seeks to the start, whatever the position.
  int Rewind(double position) override;
  int Pause() override;
  // Pauses and seeks to the start.
  int Stop() override;
  // Pauses while playing, else plays on from where the device stands.
  int TogglePause() override;
  // percent of the normal speed; a negative speed is none, a huge one is held
  // to what the device takes.
  int SetSpeed(int percent) override;
  void GetStatus(MediaState& out) override;

 protected:
  // Opens `path` on the device of `type` (a device that plays no file, when
  // `typeOnly`, is not handed the path) and, when that fails, once more on the
  // device the file's extension chooses; `retried` tells whether it came to
  // that. 0 with device_ open, else the Open result of the last error (13 when
  // the driver throws) and device_ 0.
  int OpenDevice(const char* type, const std::string& path, bool typeOnly, bool& retried);
  // Sets the device's time format to milliseconds and returns its length in
  // seconds.
  double ReadLengthSeconds();

  MCIDEVICEID device_ = 0;  // 0: no device open
};

// The Open result for an MCI open error.
int OpenResultFromMciError(MCIERROR error);

// Logs which sound output could not be opened and why (`failure`, from
// MciOpenFailure) with the MCI error, after an open that failed for it;
// nothing when the output gave no account.
void LogSoundOutputFailure(const std::string& failure, MCIERROR error);

// Logs why `path` failed to open when it is a playlist or manifest that names
// other files or addresses (which no device reads); nothing for other files.
void LogReferencingFile(const std::string& path);

}  // namespace qorve
