// The midiOut calls over the port system: handles, running status, header
// bookkeeping and the notes a handle leaves sounding.
#include "platform/midi/midi_out.h"

#include "platform/system/text.h"

#include <array>
#include <bitset>
#include <mutex>
#include <set>

namespace qorve {

struct MidiOutHandle {
  std::unique_ptr<MidiPortConnection> connection;
  uint8_t runningStatus = 0;
  std::array<std::bitset<128>, 16> sounding;  // notes on, per channel
  std::bitset<16> sustained;                  // channels whose sustain pedal is down
};

namespace {

std::mutex systemMutex;
std::shared_ptr<MidiPortSystem> installed;
std::set<MidiOutHandle*> liveHandles;  // under systemMutex

std::shared_ptr<MidiPortSystem> System() {
  std::lock_guard lock(systemMutex);
  if (!installed) installed = CreateAlsaMidiPorts();
  return installed;
}

bool Live(HMIDIOUT handle) {
  std::lock_guard lock(systemMutex);
  return handle && liveHandles.count(handle) > 0;
}

// Bytes in a channel or system-common message with this status.
std::size_t MessageBytes(uint8_t status) {
  if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 2 : 3;  // program change and channel pressure: 2
  if (status == 0xF1 || status == 0xF3) return 2;
  if (status == 0xF2) return 3;
  return 1;
}

void Track(MidiOutHandle& handle, const uint8_t* bytes) {
  const uint8_t kind = bytes[0] & 0xF0;
  const int channel = bytes[0] & 0x0F;
  if (kind == 0x90 && bytes[2] > 0) handle.sounding[channel].set(bytes[1] & 0x7F);
  if (kind == 0x80 || (kind == 0x90 && bytes[2] == 0)) handle.sounding[channel].reset(bytes[1] & 0x7F);
  if (kind == 0xB0 && bytes[1] == 64) handle.sustained.set(channel, bytes[2] >= 64);
  if (kind == 0xB0 && (bytes[1] == 120 || bytes[1] == 123)) handle.sounding[channel].reset();
}

}  // namespace

uint32_t midiOutGetNumDevs() { return static_cast<uint32_t>(System()->OutputPorts().size()); }

MMRESULT midiOutGetDevCaps(uint32_t deviceId, MIDIOUTCAPS* caps, uint32_t size) {
  if (!caps || size < sizeof(MIDIOUTCAPS)) return MMSYSERR_INVALPARAM;
  const std::vector<std::string> ports = System()->OutputPorts();
  if (deviceId == MIDI_MAPPER && !ports.empty()) deviceId = 0;
  if (deviceId >= ports.size()) return MMSYSERR_BADDEVICEID;
  CopyToBuffer(ports[deviceId], caps->szPname, sizeof caps->szPname);
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutOpen(HMIDIOUT* handle, uint32_t deviceId, uintptr_t callback, uintptr_t, uint32_t) {
  if (!handle) return MMSYSERR_INVALPARAM;
  *handle = nullptr;
  if (callback != 0) return MMSYSERR_INVALPARAM;
  const std::shared_ptr<MidiPortSystem> system = System();
  const std::size_t count = system->OutputPorts().size();
  if (deviceId == MIDI_MAPPER) {
    if (count == 0) return MIDIERR_NODEVICE;
    deviceId = 0;
  }
  if (deviceId >= count) return MMSYSERR_BADDEVICEID;
  MMRESULT error = MMSYSERR_NOERROR;
  std::unique_ptr<MidiPortConnection> connection = system->Connect(deviceId, error);
  if (!connection) return error != MMSYSERR_NOERROR ? error : MMSYSERR_ERROR;
  auto* opened = new MidiOutHandle;
  opened->connection = std::move(connection);
  std::lock_guard lock(systemMutex);
  liveHandles.insert(opened);
  *handle = opened;
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutShortMsg(HMIDIOUT handle, uint32_t message) {
  if (!Live(handle)) return MMSYSERR_INVALHANDLE;
  uint8_t bytes[3] = {static_cast<uint8_t>(message), static_cast<uint8_t>(message >> 8),
                      static_cast<uint8_t>(message >> 16)};
  const uint8_t* start = bytes;
  uint8_t withStatus[3];
  if (bytes[0] < 0x80) {  // running status: the bytes are the data bytes
    if (handle->runningStatus == 0) return MMSYSERR_INVALPARAM;
    withStatus[0] = handle->runningStatus;
    withStatus[1] = bytes[0];
    withStatus[2] = bytes[1];
    start = withStatus;
  } else if (bytes[0] == 0xF0 || bytes[0] == 0xF7) {
    return MMSYSERR_INVALPARAM;  // system exclusive goes through midiOutLongMsg
  }
  if (start[0] < 0xF0) handle->runningStatus = start[0];
  const std::size_t count = MessageBytes(start[0]);
  if (start[0] < 0xF0) Track(*handle, start);
  return handle->connection->Send(start, count);
}

MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR* header, uint32_t size) {
  if (!Live(handle)) return MMSYSERR_INVALHANDLE;
  if (!header || size < sizeof(MIDIHDR) || !header->lpData) return MMSYSERR_INVALPARAM;
  header->dwFlags |= MHDR_PREPARED;
  header->dwFlags &= ~(MHDR_DONE | MHDR_INQUEUE);
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR* header, uint32_t size) {
  if (!Live(handle)) return MMSYSERR_INVALHANDLE;
  if (!header || size < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
  if ((header->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
  const MMRESULT sent =
      header->dwBufferLength == 0
          ? MMSYSERR_NOERROR
          : handle->connection->Send(reinterpret_cast<const uint8_t*>(header->lpData), header->dwBufferLength);
  header->dwFlags |= MHDR_DONE;
  return sent;
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR* header, uint32_t size) {
  if (!Live(handle)) return MMSYSERR_INVALHANDLE;
  if (!header || size < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
  if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  header->dwFlags &= ~MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutReset(HMIDIOUT handle) {
  if (!Live(handle)) return MMSYSERR_INVALHANDLE;
  MMRESULT result = MMSYSERR_NOERROR;
  for (int channel = 0; channel < 16; ++channel) {
    for (int note = 0; note < 128; ++note) {
      if (!handle->sounding[channel].test(note)) continue;
      const uint8_t off[3] = {static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(note), 0};
      if (const MMRESULT sent = handle->connection->Send(off, 3)) result = sent;
    }
    handle->sounding[channel].reset();
    if (handle->sustained.test(channel)) {
      const uint8_t release[3] = {static_cast<uint8_t>(0xB0 | channel), 64, 0};
      if (const MMRESULT sent = handle->connection->Send(release, 3)) result = sent;
    }
  }
  handle->sustained.reset();
  handle->runningStatus = 0;
  return result;
}

MMRESULT midiOutClose(HMIDIOUT handle) {
  {
    std::lock_guard lock(systemMutex);
    if (!handle || liveHandles.erase(handle) == 0) return MMSYSERR_INVALHANDLE;
  }
  delete handle;
  return MMSYSERR_NOERROR;
}

void SetMidiPortSystemForTesting(std::shared_ptr<MidiPortSystem> system) {
  std::lock_guard lock(systemMutex);
  installed = std::move(system);
}

}  // namespace qorve
