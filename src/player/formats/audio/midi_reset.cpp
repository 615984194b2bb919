#include "player/formats/audio/midi_reset.h"

#include "platform/midi/midi_out.h"

#include <vector>

namespace qorve {
namespace {

constexpr uint8_t kGmSystemOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
constexpr uint8_t kGsReset[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
constexpr uint8_t kXgSystemOn[] = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};

}  // namespace

std::span<const uint8_t> MidiResetMessage(int reset) {
  if (reset == 0) return kGmSystemOn;
  if (reset == 1) return kGsReset;
  return kXgSystemOn;
}

void SendMidiReset(int device, int reset) {
  if (reset == kNoMidiReset) return;
  HMIDIOUT port = nullptr;
  const uint32_t id = device == -1 ? MIDI_MAPPER : static_cast<uint32_t>(device);
  if (midiOutOpen(&port, id, CALLBACK_NULL, 0, 0) != MMSYSERR_NOERROR) return;
  const std::span<const uint8_t> message = MidiResetMessage(reset);
  std::vector<char> bytes(message.begin(), message.end());
  MIDIHDR header{};
  header.lpData = bytes.data();
  header.dwBufferLength = static_cast<uint32_t>(bytes.size());
  header.dwBytesRecorded = header.dwBufferLength;
  midiOutPrepareHeader(port, &header, sizeof header);
  // The long message has left when the call returns, so the reset right
  // after it cannot cut it short.
  midiOutLongMsg(port, &header, sizeof header);
  midiOutReset(port);
  midiOutUnprepareHeader(port, &header, sizeof header);
  midiOutClose(port);
}

}  // namespace qorve
