// The MCI command layer: the table of open devices, the opening by type name
// or extension, and the translation of command messages into device calls.
#include "platform/mci/mci.h"

#include "platform/mci/mci_device.h"
#include "platform/mci/mci_midi_song.h"
#include "platform/system/text.h"

#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <utility>

namespace qorve {
namespace {

struct DeviceTable {
  std::mutex mutex;
  std::map<MCIDEVICEID, std::unique_ptr<MciDevice>> devices;
  MCIDEVICEID next = 1;
  MciDriver testDriver;
};

DeviceTable& Table() {
  static DeviceTable table;
  return table;
}

// Its own lock: devices note it while an open holds the table's.
struct OutputFailure {
  std::mutex mutex;
  std::string description;
  std::string videoOutput;  // the latest video output taken (NoteVideoOutput)
};

OutputFailure& LastOutputFailure() {
  static OutputFailure failure;
  return failure;
}

std::string ExtensionOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

// "MPEGVideo" knows a file by its contents: MIDI files go to our synthesizer
// (GStreamer's MIDI parser refuses valid files), everything else to GStreamer.
std::unique_ptr<MciDevice> OpenByType(const std::string& type, const std::string& element, MCIERROR& error) {
  if (EqualsIgnoreCase(type, "MPEGVideo")) {
    return HasMidiContent(element) ? OpenSynthesizerDevice(element, error) : OpenGstreamerDevice(element, error);
  }
  if (EqualsIgnoreCase(type, "sequencer")) return OpenSequencerDevice(element, error);
  if (EqualsIgnoreCase(type, "CDAudio")) return OpenCdAudioDevice(error);
  error = MCIERR_INVALID_DEVICE_NAME;
  return nullptr;
}

// The device an element opens without a type: CD tracks the CD device, MIDI
// files (by extension or contents) the synthesizer, everything else
// GStreamer, which knows the file by its contents.
std::unique_ptr<MciDevice> OpenByExtension(const std::string& element, MCIERROR& error) {
  if (EqualsIgnoreCase(ExtensionOf(element), "cda")) return OpenCdAudioDevice(error);
  if (HasMidiExtension(element) || HasMidiContent(element)) return OpenSynthesizerDevice(element, error);
  return OpenGstreamerDevice(element, error);
}

MCIERROR Open(uintptr_t flags, MCI_OPEN_PARMS* open) {
  const bool typed = (flags & MCI_OPEN_TYPE) != 0;
  const bool withElement = (flags & MCI_OPEN_ELEMENT) != 0;
  const std::string type = typed && open->lpstrDeviceType ? open->lpstrDeviceType : "";
  const std::string element = withElement && open->lpstrElementName ? open->lpstrElementName : "";
  if (!typed && !withElement) return MCIERR_INVALID_DEVICE_NAME;
  if (withElement && element.empty()) return MCIERR_FILENAME_REQUIRED;
  if (typed && type.empty()) return MCIERR_INVALID_DEVICE_NAME;

  MCIERROR error = MCIERR_NO_ERROR;
  ClearSoundOutputFailure();
  std::unique_ptr<MciDevice> device = typed ? OpenByType(type, element, error) : OpenByExtension(element, error);
  if (!device) return error != MCIERR_NO_ERROR ? error : MCIERR_INTERNAL;
  DeviceTable& table = Table();
  const MCIDEVICEID id = table.next++;
  if (table.next == 0) table.next = 1;
  table.devices[id] = std::move(device);
  open->wDeviceID = id;
  return MCIERR_NO_ERROR;
}

MCIERROR Status(MciDevice& device, uintptr_t flags, MCI_STATUS_PARMS* status) {
  if ((flags & MCI_STATUS_ITEM) == 0) return MCIERR_UNRECOGNIZED_COMMAND;
  switch (status->dwItem) {
    case MCI_STATUS_LENGTH:
      status->dwReturn = device.Length();
      return MCIERR_NO_ERROR;
    case MCI_STATUS_POSITION:
      status->dwReturn = device.Position();
      return MCIERR_NO_ERROR;
    case MCI_STATUS_MODE:
      status->dwReturn = device.Mode();
      return MCIERR_NO_ERROR;
    case MCI_STATUS_TIME_FORMAT:
      status->dwReturn = MCI_FORMAT_MILLISECONDS;
      return MCIERR_NO_ERROR;
    case MCI_STATUS_MEDIA_PRESENT:
    case MCI_STATUS_READY:
      status->dwReturn = 1;
      return MCIERR_NO_ERROR;
    default:
      return MCIERR_UNSUPPORTED_FUNCTION;
  }
}

MCIERROR Set(MciDevice& device, uintptr_t flags, void* params) {
  MCIERROR result = MCIERR_NO_ERROR;
  const auto* set = static_cast<const MCI_SET_PARMS*>(params);
  if ((flags & MCI_SET_TIME_FORMAT) && set->dwTimeFormat != MCI_FORMAT_MILLISECONDS) return MCIERR_BAD_TIME_FORMAT;
  if (flags & MCI_MIDI_SET_RESET) {
    const auto* reset = static_cast<const MCI_MIDI_SET_RESET_PARMS*>(params);
    std::span<const uint8_t> message;
    if (reset->lpMessage && reset->dwLength > 0) {
      if (reset->dwLength < 2 || reset->dwLength > kMaxMidiResetBytes) return MCIERR_OUTOFRANGE;
      message = {reset->lpMessage, reset->dwLength};
      if (message.front() != 0xF0 || message.back() != 0xF7) return MCIERR_OUTOFRANGE;
    }
    if (const MCIERROR error = device.SetResetMessage(message)) return error;
  }
  // The same flag bit is the sequencer's port and digital video's speed; the
  // device kind tells which it is.
  if (flags & MCI_SEQ_SET_PORT) {
    const MCIERROR port = device.SetPort(static_cast<const MCI_SEQ_SET_PARMS*>(params)->dwPort);
    if (port != MCIERR_UNSUPPORTED_FUNCTION) return port;
    result = device.SetSpeed(static_cast<const MCI_DGV_SET_PARMS*>(params)->dwSpeed);
  }
  return result;
}

MCIERROR Dispatch(MCIDEVICEID id, uint32_t message, uintptr_t flags, void* params) {
  if (message == MCI_OPEN) {
    if (!params) return MCIERR_NULL_PARAMETER_BLOCK;
    return Open(flags, static_cast<MCI_OPEN_PARMS*>(params));
  }
  DeviceTable& table = Table();
  const auto found = table.devices.find(id);
  if (found == table.devices.end()) return MCIERR_INVALID_DEVICE_ID;
  MciDevice& device = *found->second;
  const bool needsParams = message == MCI_STATUS || message == MCI_SET || message == MCI_WHERE ||
                           message == MCI_PUT || message == MCI_WINDOW ||
                           (message == MCI_PLAY && (flags & (MCI_FROM | MCI_TO))) ||
                           (message == MCI_SEEK && (flags & MCI_TO));
  if (needsParams && !params) return MCIERR_NULL_PARAMETER_BLOCK;

  switch (message) {
    case MCI_CLOSE:
      table.devices.erase(found);
      return MCIERR_NO_ERROR;
    case MCI_PLAY: {
      const auto* play = static_cast<const MCI_PLAY_PARMS*>(params);
      if (flags & MCI_TO) return MCIERR_UNSUPPORTED_FUNCTION;
      if (flags & MCI_FROM) {
        const uint32_t length = device.Length();  // 0: not known (yet)
        if (length > 0 && play->dwFrom > length) return MCIERR_OUTOFRANGE;
        if (const MCIERROR error = device.Seek(play->dwFrom)) return error;
      }
      return device.Play();
    }
    case MCI_SEEK: {
      const int targets = ((flags & MCI_SEEK_TO_START) != 0) + ((flags & MCI_SEEK_TO_END) != 0) + ((flags & MCI_TO) != 0);
      if (targets != 1) return MCIERR_FLAGS_NOT_COMPATIBLE;
      if (flags & MCI_SEEK_TO_START) return device.Seek(0);
      if (flags & MCI_SEEK_TO_END) return device.Seek(device.Length());
      const uint32_t to = static_cast<const MCI_SEEK_PARMS*>(params)->dwTo;
      const uint32_t length = device.Length();
      if (length > 0 && to > length) return MCIERR_OUTOFRANGE;
      return device.Seek(to);
    }
    case MCI_STOP:
      return device.Stop();
    case MCI_PAUSE:
      return device.Pause();
    case MCI_RESUME:
      return device.Mode() == MCI_MODE_PAUSE ? device.Play() : MCIERR_NO_ERROR;
    case MCI_STATUS:
      return Status(device, flags, static_cast<MCI_STATUS_PARMS*>(params));
    case MCI_SET:
      return Set(device, flags, params);
    case MCI_WINDOW: {
      const auto* window = static_cast<const MCI_DGV_WINDOW_PARMS*>(params);
      return (flags & MCI_DGV_WINDOW_HWND) ? device.SetWindow(window->hWnd) : MCIERR_NO_ERROR;
    }
    case MCI_PUT:
      if (!(flags & MCI_DGV_RECT) || !(flags & MCI_DGV_PUT_DESTINATION)) return MCIERR_UNSUPPORTED_FUNCTION;
      return device.PutDestination(static_cast<const MCI_DGV_RECT_PARMS*>(params)->rc);
    case MCI_WHERE:
      if (!(flags & MCI_DGV_WHERE_SOURCE)) return MCIERR_UNSUPPORTED_FUNCTION;
      return device.Source(static_cast<MCI_DGV_RECT_PARMS*>(params)->rc);
    default:
      return MCIERR_UNRECOGNIZED_COMMAND;
  }
}

}  // namespace

MCIERROR mciSendCommand(MCIDEVICEID device, uint32_t message, uintptr_t flags, void* params) {
  MciDriver driver;
  {
    std::lock_guard lock(Table().mutex);
    driver = Table().testDriver;
  }
  if (driver) return driver(device, message, flags, params);
  std::lock_guard lock(Table().mutex);
  return Dispatch(device, message, flags, params);
}

void NoteSoundOutputFailure(std::string description) {
  std::lock_guard lock(LastOutputFailure().mutex);
  LastOutputFailure().description = std::move(description);
}

void ClearSoundOutputFailure() { NoteSoundOutputFailure({}); }

std::string MciOpenFailure() {
  std::lock_guard lock(LastOutputFailure().mutex);
  return LastOutputFailure().description;
}

void NoteVideoOutput(std::string description) {
  std::lock_guard lock(LastOutputFailure().mutex);
  LastOutputFailure().videoOutput = std::move(description);
}

std::string TakeVideoOutputNote() {
  std::lock_guard lock(LastOutputFailure().mutex);
  return std::exchange(LastOutputFailure().videoOutput, {});
}

void SetMciDriverForTesting(MciDriver driver) {
  std::lock_guard lock(Table().mutex);
  Table().testDriver = std::move(driver);
}

}  // namespace qorve
