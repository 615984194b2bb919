// The "sequencer" MCI device: plays a Standard MIDI File to a MIDI output
// port (midi_out.h), sending each message when its time comes. One worker
// thread sends while the device plays; the user-interface thread's commands
// and the worker share every field under `mutex_`.
//
// Starting anywhere but at the beginning first sends the channel state the
// song has built up before that point (midi_chase.h), so the song sounds as
// it would have there, after the reset message (GM, GS or XG) given by
// MCI_MIDI_SET_RESET when there is one: a seek, to the start as well, and a
// change of port rebuild the port's state from that reset. Pause, stop and
// seek silence what was sounding (midiOutReset).
#include "platform/mci/mci_device.h"
#include "platform/mci/mci_midi_song.h"
#include "platform/midi/midi_chase.h"
#include "platform/midi/midi_out.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace qorve {
namespace {

using Clock = std::chrono::steady_clock;

class SequencerDevice final : public MciDevice {
 public:
  explicit SequencerDevice(MidiSong song) : song_(std::move(song)) {}

  ~SequencerDevice() override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
    CloseOutput();
  }

  // Opens the MIDI mapper; fails when the system has no MIDI port at all.
  MCIERROR Start() {
    if (midiOutGetNumDevs() == 0) return MCIERR_SEQ_NOMIDIPRESENT;
    if (midiOutOpen(&output_, MIDI_MAPPER, CALLBACK_NULL, 0, 0) != MMSYSERR_NOERROR) return MCIERR_SEQ_PORT_INUSE;
    worker_ = std::thread([this] { Run(); });
    return MCIERR_NO_ERROR;
  }

  MCIERROR Play() override {
    std::lock_guard lock(mutex_);
    if (mode_ == MCI_MODE_PLAY) return MCIERR_NO_ERROR;
    if (!output_) return MCIERR_SEQ_PORT_NONEXISTENT;
    if (positionMs_ >= song_.lengthMilliseconds) return MCIERR_NO_ERROR;  // at the end
    if (needsChase_) Chase();
    anchor_ = Clock::now();
    anchorMs_ = positionMs_;
    mode_ = MCI_MODE_PLAY;
    wake_.notify_all();
    return MCIERR_NO_ERROR;
  }

  MCIERROR Pause() override {
    std::lock_guard lock(mutex_);
    Hold(MCI_MODE_PAUSE);
    return MCIERR_NO_ERROR;
  }

  MCIERROR Stop() override {
    std::lock_guard lock(mutex_);
    Hold(MCI_MODE_STOP);
    return MCIERR_NO_ERROR;
  }

  MCIERROR Seek(uint32_t milliseconds) override {
    std::lock_guard lock(mutex_);
    Hold(mode_ == MCI_MODE_PLAY ? MCI_MODE_STOP : mode_);
    positionMs_ = std::min<double>(milliseconds, song_.lengthMilliseconds);
    next_ = 0;
    while (next_ < song_.events.size() && song_.events[next_].milliseconds < positionMs_) ++next_;
    needsChase_ = next_ > 0 || !reset_.empty();
    return MCIERR_NO_ERROR;
  }

  // The message that starts every rebuild of the port's state. The port has
  // already had it at the open, so it is sent from the next seek on.
  MCIERROR SetResetMessage(std::span<const uint8_t> message) override {
    std::lock_guard lock(mutex_);
    reset_.assign(message.begin(), message.end());
    return MCIERR_NO_ERROR;
  }

  uint32_t Position() override {
    std::lock_guard lock(mutex_);
    return static_cast<uint32_t>(CurrentMs());
  }
  uint32_t Length() override { return static_cast<uint32_t>(song_.lengthMilliseconds); }
  uint32_t Mode() override {
    std::lock_guard lock(mutex_);
    return mode_;
  }

  MCIERROR SetPort(uint32_t port) override {
    std::lock_guard lock(mutex_);
    const uint32_t resumeMode = mode_;
    Hold(mode_ == MCI_MODE_PLAY ? MCI_MODE_PAUSE : mode_);
    if (port == MIDI_NO_PORT) {
      CloseOutput();
      return MCIERR_NO_ERROR;
    }
    HMIDIOUT opened = nullptr;
    const uint32_t id = port == MIDI_MAPPER_PORT ? MIDI_MAPPER : port;
    const MMRESULT result = midiOutOpen(&opened, id, CALLBACK_NULL, 0, 0);
    if (result != MMSYSERR_NOERROR) {
      if (resumeMode == MCI_MODE_PLAY) Resume();
      return result == MMSYSERR_ALLOCATED ? MCIERR_SEQ_PORT_INUSE : MCIERR_SEQ_PORT_NONEXISTENT;
    }
    CloseOutput();
    output_ = opened;
    needsChase_ = next_ > 0 || !reset_.empty();
    if (resumeMode == MCI_MODE_PLAY) Resume();
    return MCIERR_NO_ERROR;
  }

 private:
  double CurrentMs() const {
    if (mode_ != MCI_MODE_PLAY) return positionMs_;
    const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - anchor_).count();
    return std::min(anchorMs_ + elapsed, song_.lengthMilliseconds);
  }

  // Under mutex_: stops sending, keeps the position, silences the port.
  void Hold(uint32_t mode) {
    positionMs_ = CurrentMs();
    if (mode_ == MCI_MODE_PLAY && output_) midiOutReset(output_);
    mode_ = mode;
  }

  void Resume() {
    if (needsChase_) Chase();
    anchor_ = Clock::now();
    anchorMs_ = positionMs_;
    mode_ = MCI_MODE_PLAY;
    wake_.notify_all();
  }

  // Under mutex_: the reset, then the channel state every message before
  // next_ left behind.
  void Chase() {
    needsChase_ = false;
    if (!output_) return;
    if (!reset_.empty()) Send(reset_);
    for (const MidiFileEvent* event : ChaseEvents(song_, next_)) Send(event->bytes);
  }

  void Send(const std::vector<uint8_t>& bytes) {
    if (!output_) return;
    if (bytes[0] == 0xF0) {
      std::vector<char> data(bytes.begin(), bytes.end());
      MIDIHDR header{};
      header.lpData = data.data();
      header.dwBufferLength = static_cast<uint32_t>(data.size());
      if (midiOutPrepareHeader(output_, &header, sizeof header) == MMSYSERR_NOERROR) {
        midiOutLongMsg(output_, &header, sizeof header);
        midiOutUnprepareHeader(output_, &header, sizeof header);
      }
      return;
    }
    uint32_t packed = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 3; ++i) packed |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    midiOutShortMsg(output_, packed);
  }

  void CloseOutput() {
    if (!output_) return;
    midiOutReset(output_);
    midiOutClose(output_);
    output_ = nullptr;
  }

  // The worker: sends every message whose time has come, sleeps until the
  // next one (or a command), and stops the device at the song's end.
  void Run() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
      if (mode_ != MCI_MODE_PLAY) {
        wake_.wait(lock);
        continue;
      }
      const double now = CurrentMs();
      while (next_ < song_.events.size() && song_.events[next_].milliseconds <= now) Send(song_.events[next_++].bytes);
      if (now >= song_.lengthMilliseconds) {
        positionMs_ = song_.lengthMilliseconds;
        if (output_) midiOutReset(output_);
        mode_ = MCI_MODE_STOP;
        continue;
      }
      const double due = next_ < song_.events.size() ? song_.events[next_].milliseconds : song_.lengthMilliseconds;
      const auto wait = std::chrono::duration<double, std::milli>(std::max(due - now, 0.0));
      wake_.wait_until(lock, Clock::now() + std::chrono::duration_cast<Clock::duration>(wait));
    }
  }

  const MidiSong song_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread worker_;
  bool quit_ = false;
  HMIDIOUT output_ = nullptr;
  uint32_t mode_ = MCI_MODE_STOP;
  double positionMs_ = 0;  // while not playing
  double anchorMs_ = 0;    // position when playing last started
  Clock::time_point anchor_;
  std::size_t next_ = 0;  // the first event not yet sent
  bool needsChase_ = false;
  std::vector<uint8_t> reset_;  // MCI_MIDI_SET_RESET's message; empty: none
};

}  // namespace

std::unique_ptr<MciDevice> OpenSequencerDevice(const std::string& path, MCIERROR& error) {
  std::optional<MidiSong> song = ReadMidiSongFile(path, error);
  if (!song) return nullptr;
  auto device = std::make_unique<SequencerDevice>(std::move(*song));
  error = device->Start();
  if (error != MCIERR_NO_ERROR) return nullptr;
  return device;
}

}  // namespace qorve
