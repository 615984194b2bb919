// platform/mci/: the MCI stand-in, its devices and the DirectShow graph.
//
// The media control interface: devices opened by type name ("MPEGVideo",
// "sequencer", "CDAudio") or by a file's extension, driven by command
// messages with flags and parameter blocks, answering MCIERR_* codes, in the
// shape of mciSendCommand.
//
// Devices (one file each):
//   "MPEGVideo", by extension   MIDI files (.mid, .midi, .rmi, or by their
//                               first bytes): our Standard MIDI File reader and
//                               FluidSynth (mci_synthesizer.cpp); other files:
//                               GStreamer playbin (mci_gstreamer.cpp)
//   "sequencer"                 our Standard MIDI File player to an ALSA
//                               sequencer port (mci_sequencer.cpp)
//   "CDAudio"                   audio-CD tracks through GStreamer
//                               (mci_cdaudio.cpp); not ready without a disc
// Sound follows QORVE_AUDIO as the wave-out layer does: unset or "alsa" the
// ALSA PCM ("default" or QORVE_AUDIO_DEVICE), "wav:PATH" and "wav-fast:PATH"
// the capture file of the wave-out layer (S16LE, 44100 Hz, stereo).
//
// Time is in milliseconds (the only time format). Every command waits until
// it is carried out, with or without MCI_WAIT; MCI_NOTIFY is not supported.
// Threads: one thread at a time (the user-interface thread).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qorve {

using MCIDEVICEID = uint32_t;
using MCIERROR = uint32_t;

// Command messages.
constexpr uint32_t MCI_OPEN = 0x0803;
constexpr uint32_t MCI_CLOSE = 0x0804;
constexpr uint32_t MCI_PLAY = 0x0806;
constexpr uint32_t MCI_SEEK = 0x0807;
constexpr uint32_t MCI_STOP = 0x0808;
constexpr uint32_t MCI_PAUSE = 0x0809;
constexpr uint32_t MCI_SET = 0x080D;
constexpr uint32_t MCI_STATUS = 0x0814;
constexpr uint32_t MCI_WINDOW = 0x0841;
constexpr uint32_t MCI_PUT = 0x0842;
constexpr uint32_t MCI_WHERE = 0x0843;
constexpr uint32_t MCI_RESUME = 0x0855;

// Flags of every command.
constexpr uint32_t MCI_NOTIFY = 0x00000001;
constexpr uint32_t MCI_WAIT = 0x00000002;
constexpr uint32_t MCI_FROM = 0x00000004;
constexpr uint32_t MCI_TO = 0x00000008;
// MCI_OPEN
constexpr uint32_t MCI_OPEN_SHAREABLE = 0x00000100;
constexpr uint32_t MCI_OPEN_ELEMENT = 0x00000200;
constexpr uint32_t MCI_OPEN_ALIAS = 0x00000400;
constexpr uint32_t MCI_OPEN_TYPE = 0x00002000;
// MCI_SEEK
constexpr uint32_t MCI_SEEK_TO_START = 0x00000100;
constexpr uint32_t MCI_SEEK_TO_END = 0x00000200;
// MCI_STATUS
constexpr uint32_t MCI_STATUS_ITEM = 0x00000100;
// MCI_SET
constexpr uint32_t MCI_SET_TIME_FORMAT = 0x00000400;
constexpr uint32_t MCI_SEQ_SET_PORT = 0x00020000;    // sequencer: MCI_SEQ_SET_PARMS::dwPort
constexpr uint32_t MCI_DGV_SET_SPEED = 0x00020000;   // digital video: MCI_DGV_SET_PARMS::dwSpeed
// MIDI synthesizer (this layer's own): MCI_MIDI_SET_RESET_PARMS, the reset
// message the synthesizer takes before the song, see that block.
constexpr uint32_t MCI_MIDI_SET_RESET = 0x00100000;
// MCI_WINDOW, MCI_PUT, MCI_WHERE (digital video)
constexpr uint32_t MCI_DGV_WINDOW_HWND = 0x00010000;
constexpr uint32_t MCI_DGV_WINDOW_STATE = 0x00040000;
constexpr uint32_t MCI_DGV_RECT = 0x00010000;
constexpr uint32_t MCI_DGV_PUT_DESTINATION = 0x00040000;
constexpr uint32_t MCI_DGV_WHERE_SOURCE = 0x00020000;
constexpr uint32_t MCI_DGV_WHERE_DESTINATION = 0x00040000;

// Status items.
constexpr uint32_t MCI_STATUS_LENGTH = 1;
constexpr uint32_t MCI_STATUS_POSITION = 2;
constexpr uint32_t MCI_STATUS_MODE = 4;
constexpr uint32_t MCI_STATUS_MEDIA_PRESENT = 5;
constexpr uint32_t MCI_STATUS_TIME_FORMAT = 6;
constexpr uint32_t MCI_STATUS_READY = 7;

constexpr uint32_t MCI_FORMAT_MILLISECONDS = 0;

// Modes (MCI_STATUS_MODE).
constexpr uint32_t MCI_MODE_NOT_READY = 524;
constexpr uint32_t MCI_MODE_STOP = 525;
constexpr uint32_t MCI_MODE_PLAY = 526;
constexpr uint32_t MCI_MODE_SEEK = 528;
constexpr uint32_t MCI_MODE_PAUSE = 529;
constexpr uint32_t MCI_MODE_OPEN = 530;

// Sequencer ports: the MIDI mapper, and no port at all.
constexpr uint32_t MIDI_MAPPER_PORT = 0xFFFFFFFF;
constexpr uint32_t MIDI_NO_PORT = 0x0000FFFE;

// Error codes.
constexpr MCIERROR MCIERR_NO_ERROR = 0;
constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = 257;
constexpr MCIERROR MCIERR_UNRECOGNIZED_COMMAND = 261;
constexpr MCIERROR MCIERR_HARDWARE = 262;
constexpr MCIERROR MCIERR_INVALID_DEVICE_NAME = 263;
constexpr MCIERROR MCIERR_OUT_OF_MEMORY = 264;
constexpr MCIERROR MCIERR_CANNOT_LOAD_DRIVER = 266;
constexpr MCIERROR MCIERR_UNSUPPORTED_FUNCTION = 274;
constexpr MCIERROR MCIERR_FILE_NOT_FOUND = 275;
constexpr MCIERROR MCIERR_DEVICE_NOT_READY = 276;
constexpr MCIERROR MCIERR_INTERNAL = 277;
constexpr MCIERROR MCIERR_DRIVER = 278;
constexpr MCIERROR MCIERR_EXTENSION_NOT_FOUND = 281;
constexpr MCIERROR MCIERR_OUTOFRANGE = 282;
constexpr MCIERROR MCIERR_FLAGS_NOT_COMPATIBLE = 284;
constexpr MCIERROR MCIERR_MUST_USE_SHAREABLE = 291;
constexpr MCIERROR MCIERR_BAD_TIME_FORMAT = 293;
constexpr MCIERROR MCIERR_INVALID_FILE = 296;
constexpr MCIERROR MCIERR_NULL_PARAMETER_BLOCK = 297;
constexpr MCIERROR MCIERR_FILENAME_REQUIRED = 304;
constexpr MCIERROR MCIERR_SEQ_PORT_INUSE = 336;
constexpr MCIERROR MCIERR_SEQ_PORT_NONEXISTENT = 338;
constexpr MCIERROR MCIERR_SEQ_NOMIDIPRESENT = 343;
constexpr MCIERROR MCIERR_FILE_READ = 348;

// Parameter blocks. Each starts with the callback word of its command.
struct MCI_GENERIC_PARMS {
  uintptr_t dwCallback;
};
struct MCI_OPEN_PARMS {
  uintptr_t dwCallback;
  MCIDEVICEID wDeviceID;          // out: the new device
  const char* lpstrDeviceType;    // with MCI_OPEN_TYPE
  const char* lpstrElementName;   // with MCI_OPEN_ELEMENT: the file (UTF-8 path)
  const char* lpstrAlias;
};
struct MCI_PLAY_PARMS {
  uintptr_t dwCallback;
  uint32_t dwFrom;  // milliseconds, with MCI_FROM
  uint32_t dwTo;    // milliseconds, with MCI_TO
};
struct MCI_SEEK_PARMS {
  uintptr_t dwCallback;
  uint32_t dwTo;  // milliseconds, with MCI_TO
};
struct MCI_STATUS_PARMS {
  uintptr_t dwCallback;
  uintptr_t dwReturn;  // out
  uint32_t dwItem;
  uint32_t dwTrack;
};
struct MCI_SET_PARMS {
  uintptr_t dwCallback;
  uint32_t dwTimeFormat;
  uint32_t dwAudio;
};
struct MCI_SEQ_SET_PARMS {
  uintptr_t dwCallback;
  uint32_t dwTimeFormat;
  uint32_t dwAudio;
  uint32_t dwTempo;
  uint32_t dwPort;  // MIDI output port index, MIDI_MAPPER_PORT or MIDI_NO_PORT
  uint32_t dwSlave;
  uint32_t dwMaster;
  uint32_t dwOffset;
};
// A system-exclusive message (F0 ... F7, at most kMaxMidiResetBytes) that the
// MIDI synthesizer sends itself before the song's first message and again
// whenever it starts over at another place (a seek), so that a GM, GS or XG
// reset reaches the synthesizer that sounds the file. A null message or a
// length of 0 sends none; anything not framed by F0 and F7 gives
// MCIERR_OUTOFRANGE. It takes effect from the next sound rendered.
constexpr uint32_t kMaxMidiResetBytes = 256;
struct MCI_MIDI_SET_RESET_PARMS {
  uintptr_t dwCallback;
  uint32_t dwTimeFormat;
  uint32_t dwAudio;
  const uint8_t* lpMessage;
  uint32_t dwLength;
};
struct MCI_DGV_SET_PARMS {
  uintptr_t dwCallback;
  uint32_t dwTimeFormat;
  uint32_t dwAudio;
  uint32_t dwFileFormat;
  uint32_t dwSpeed;  // thousandths of normal speed
};
struct MCI_RECT {
  int32_t left, top, right, bottom;
};
// MCI_PUT takes left, top, width and height (width in right, height in
// bottom); MCI_WHERE answers the source rectangle (0, 0, width, height).
struct MCI_DGV_RECT_PARMS {
  uintptr_t dwCallback;
  MCI_RECT rc;
};
struct MCI_DGV_WINDOW_PARMS {
  uintptr_t dwCallback;
  uintptr_t hWnd;  // the VideoSurface (video_surface.h) to draw through; 0: none
  uint32_t nCmdShow;
  const char* lpstrText;
};

// Sends one command. MCI_OPEN takes device 0 and returns the new device in
// the open block; every other command needs an open device
// (MCIERR_INVALID_DEVICE_ID otherwise). Commands the device does not know
// give MCIERR_UNRECOGNIZED_COMMAND or MCIERR_UNSUPPORTED_FUNCTION.
MCIERROR mciSendCommand(MCIDEVICEID device, uint32_t message, uintptr_t flags, void* params);

// After an MCI_OPEN that failed because the device's sound output could not
// be opened (MCIERR_DEVICE_NOT_READY, MCIERR_MUST_USE_SHAREABLE): which output
// and why, for the log (`ALSA PCM "default": Host is down`). Empty
// after any other open, or when the output gave no account.
std::string MciOpenFailure();

// The video output a device took for the window it was last given, and why
// (`映像出力: ximagesink (OpenGL はソフトウェア描画: llvmpipe、XVideo なし)`),
// for the log; emptied by the call. Empty when no window was given since.
std::string TakeVideoOutputNote();

// Tests replace the whole driver (null restores the real one).
using MciDriver = std::function<MCIERROR(MCIDEVICEID, uint32_t, uintptr_t, void*)>;
void SetMciDriverForTesting(MciDriver driver);

}  // namespace qorve
