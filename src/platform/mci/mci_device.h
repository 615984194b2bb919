// One open MCI device, as the command layer (mci.cpp) drives it. Each device
// kind fills this table in its own file; times are milliseconds.
//
// Modes: a device starts stopped at position 0. Play starts or resumes at the
// current position; Pause holds it; Seek moves it (a playing device stops
// there, a paused one stays paused); at the end of the media the device stops
// with its position at the length. Threads: one thread at a time.
#pragma once

#include "platform/mci/mci.h"

#include <memory>
#include <span>
#include <string>

namespace qorve {

class MciDevice {
 public:
  virtual ~MciDevice() = default;
  virtual MCIERROR Play() = 0;
  virtual MCIERROR Pause() = 0;
  virtual MCIERROR Stop() = 0;
  virtual MCIERROR Seek(uint32_t milliseconds) = 0;
  virtual uint32_t Position() = 0;
  virtual uint32_t Length() = 0;
  virtual uint32_t Mode() = 0;  // MCI_MODE_*
  // Thousandths of normal speed.
  virtual MCIERROR SetSpeed(uint32_t) { return MCIERR_UNSUPPORTED_FUNCTION; }
  // Sequencer output port.
  virtual MCIERROR SetPort(uint32_t) { return MCIERR_UNSUPPORTED_FUNCTION; }
  // MIDI synthesizer: the reset message sent before the song and after every
  // seek (MCI_MIDI_SET_RESET_PARMS); empty: none.
  virtual MCIERROR SetResetMessage(std::span<const uint8_t>) { return MCIERR_UNSUPPORTED_FUNCTION; }
  // Video: the window to draw into, the destination rectangle in it, and the
  // picture's size.
  virtual MCIERROR SetWindow(uintptr_t) { return MCIERR_UNSUPPORTED_FUNCTION; }
  virtual MCIERROR PutDestination(const MCI_RECT&) { return MCIERR_UNSUPPORTED_FUNCTION; }
  virtual MCIERROR Source(MCI_RECT&) { return MCIERR_UNSUPPORTED_FUNCTION; }
};

// A device whose sound output cannot be opened notes which output and why
// before it fails (MciOpenFailure gives it to the caller); every MCI_OPEN
// starts with a clean slate.
void NoteSoundOutputFailure(std::string description);
void ClearSoundOutputFailure();
// A device that made a sink for a window notes which and why
// (TakeVideoOutputNote gives it to the caller).
void NoteVideoOutput(std::string description);

// The device kinds. Each returns null and sets `error` when it cannot open.
// A file GStreamer cannot demultiplex, or whose pictures it cannot decode,
// opens through libavformat and libavcodec (OpenLibavDevice) when they can.
std::unique_ptr<MciDevice> OpenGstreamerDevice(const std::string& path, MCIERROR& error);
std::unique_ptr<MciDevice> OpenLibavDevice(const std::string& path, MCIERROR& error);
std::unique_ptr<MciDevice> OpenSequencerDevice(const std::string& path, MCIERROR& error);
// MIDI files ("MPEGVideo" and by extension): FluidSynth into the wave-out layer.
std::unique_ptr<MciDevice> OpenSynthesizerDevice(const std::string& path, MCIERROR& error);
std::unique_ptr<MciDevice> OpenCdAudioDevice(MCIERROR& error);

}  // namespace qorve
