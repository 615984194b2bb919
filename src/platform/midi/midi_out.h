// platform/midi/: the midiOut stand-in and the reading of MIDI files.
//
// MIDI output in the shape of the midiOut calls (ports, open, short and long
// messages, reset, close), over a system of MIDI ports: the ALSA sequencer
// (midi_out_alsa.cpp), or one a test installs.
//
// Ports are the writable sequencer ports in client order; the MIDI mapper
// (MIDI_MAPPER) is the first of them; with no port every open fails. Messages
// are sent synchronously: when a call returns, its bytes have left for the
// port, so a reset right after a long message never cuts it short.
// Threads: a handle is used by one thread at a time; different handles may be
// used on different threads.
#pragma once

#include "platform/audio/wave_out.h"  // MMRESULT and the MMSYSERR_* codes

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qorve {

struct MidiOutHandle;
using HMIDIOUT = MidiOutHandle*;

constexpr uint32_t MIDI_MAPPER = 0xFFFFFFFF;
constexpr uint32_t CALLBACK_NULL = 0;

constexpr MMRESULT MIDIERR_UNPREPARED = 64;
constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
constexpr MMRESULT MIDIERR_NODEVICE = 68;

constexpr uint32_t MHDR_DONE = 0x1;
constexpr uint32_t MHDR_PREPARED = 0x2;
constexpr uint32_t MHDR_INQUEUE = 0x4;

// One long (system-exclusive) message.
struct MIDIHDR {
  char* lpData;
  uint32_t dwBufferLength;
  uint32_t dwBytesRecorded;
  uintptr_t dwUser;
  uint32_t dwFlags;
  MIDIHDR* lpNext;
  uintptr_t reserved;
  uint32_t dwOffset;
  uintptr_t dwReserved[8];
};

struct MIDIOUTCAPS {
  char szPname[32];  // the port's name, cut at a character boundary
};

uint32_t midiOutGetNumDevs();
MMRESULT midiOutGetDevCaps(uint32_t deviceId, MIDIOUTCAPS* caps, uint32_t size);
// deviceId: a port index or MIDI_MAPPER. No callback is supported.
MMRESULT midiOutOpen(HMIDIOUT* handle, uint32_t deviceId, uintptr_t callback, uintptr_t instance, uint32_t flags);
// A channel message packed low byte first (status, data 1, data 2); a first
// byte below 0x80 uses the status of the previous message (running status).
MMRESULT midiOutShortMsg(HMIDIOUT handle, uint32_t message);
MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR* header, uint32_t size);
MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR* header, uint32_t size);
MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR* header, uint32_t size);
// Silences what this handle left sounding: a note-off for every note it
// started and did not end, and the sustain pedal released where it pressed it.
MMRESULT midiOutReset(HMIDIOUT handle);
MMRESULT midiOutClose(HMIDIOUT handle);

// The port system behind the calls.
class MidiPortConnection {
 public:
  virtual ~MidiPortConnection() = default;
  // One complete MIDI message; returns once it has left for the port.
  virtual MMRESULT Send(const uint8_t* bytes, std::size_t count) = 0;
};

class MidiPortSystem {
 public:
  virtual ~MidiPortSystem() = default;
  virtual std::vector<std::string> OutputPorts() = 0;
  virtual std::unique_ptr<MidiPortConnection> Connect(std::size_t index, MMRESULT& error) = 0;
};

// The ALSA sequencer (a system without one has no ports).
std::unique_ptr<MidiPortSystem> CreateAlsaMidiPorts();

// Tests install a port system of their own; null goes back to ALSA.
void SetMidiPortSystemForTesting(std::shared_ptr<MidiPortSystem> system);

}  // namespace qorve
