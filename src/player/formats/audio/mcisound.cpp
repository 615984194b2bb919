#include "player/formats/audio/mcisound.h"

#include "common/log.h"
#include "common/settings.h"
#include "player/formats/audio/midi_reset.h"
#include "player/formats/tags/tag_files.h"
#include "player/visual/video_window.h"

#include <cstdint>
#include <filesystem>

namespace qorve {
namespace {

constexpr std::string_view kCdName = "音楽ＣＤ";

bool IsMidi(const std::string& extension) { return extension == "MID" || extension == "MIDI"; }

}  // namespace

MCISOUND::MCISOUND() {
  Log("MCISOUND コンストラクタ", 0);
  info_.Kind = kKindSound;
}

MCISOUND::~MCISOUND() { Log("MCISOUND デストラクタ", 0); }

int MCISOUND::Open(const std::string& path, const std::string& extension, WindowHandle) {
  DestroyVideoWindow();
  const int port = ProgramSettings().midisetDevice;
  const int reset = ProgramSettings().midisetReset;
  ReadTagsForExtension(path, extension, info_);
  // A chosen port gets the reset now; with the mapper the file plays through
  // the synthesizer device, which takes the reset itself (below).
  if (IsMidi(extension) && port != -1) SendMidiReset(port, reset);

  const bool cd = extension == "CDA";
  const bool wantsSequencer = IsMidi(extension) && port != -1;
  std::string shownPath = cd ? std::string(kCdName) : path;
  bool retried = false;
  const int result = OpenDevice(cd ? "CDAudio" : wantsSequencer ? "sequencer" : "MPEGVideo", path, cd, retried);
  if (result != kResultSuccess) return result;
  const bool openedAsSequencer = wantsSequencer && !retried;

  if (openedAsSequencer) {
    MCI_SEQ_SET_PARMS set{};
    set.dwPort = static_cast<uint32_t>(port);
    mciSendCommand(device_, MCI_SET, MCI_WAIT | MCI_SEQ_SET_PORT, &set);
  }
  info_.Length = ReadLengthSeconds();
  // The device that plays a MIDI file sends the reset again after every seek;
  // the synthesizer (the mapper, or a file that did not open on the
  // sequencer) also ahead of the song, which a chosen port had above.
  if (IsMidi(extension)) SendResetToDevice(reset);

  SetInfoText(info_.FileName, cd ? shownPath : std::filesystem::path(path).filename().string());
  SetInfoText(info_.Format, extension);
  return kResultSuccess;
}

void MCISOUND::SendResetToDevice(int reset) {
  if (reset == kNoMidiReset) return;
  const std::span<const uint8_t> message = MidiResetMessage(reset);
  MCI_MIDI_SET_RESET_PARMS set{};
  set.lpMessage = message.data();
  set.dwLength = static_cast<uint32_t>(message.size());
  mciSendCommand(device_, MCI_SET, MCI_WAIT | MCI_MIDI_SET_RESET, &set);
}

}  // namespace qorve
