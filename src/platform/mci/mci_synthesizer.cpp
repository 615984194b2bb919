// The MIDI synthesizer MCI device: what "MPEGVideo" and the by-extension open
// give a MIDI file. Our Standard MIDI File reader times the messages,
// FluidSynth sounds them with the General MIDI sound font (sound_font.h), and
// the wave-out device layer (QORVE_AUDIO) plays the 16-bit stereo 44.1 kHz
// result, so the capture settings record it like every other MCI device.
//
// Timing is by sample: each message reaches the synthesizer at the frame its
// time falls on, whatever the tempo map, and the position is the song time
// of the frame being heard. Starting anywhere but at the beginning resets the
// synthesizer and sends it the channel state built up before that point
// (midi_chase.h). A reset message given by MCI_MIDI_SET_RESET (GM, GS or XG)
// reaches the synthesizer before the song's first message and again after
// every such reset, ahead of the chased state. Pause holds the wave-out
// device, so what was rendered ahead resumes seamlessly; a speed change
// applies from the next rendered frame.
//
// Threads: a worker renders while the device plays, keeping a quarter of a
// second queued ahead of what is heard. The user-interface thread's commands
// and the worker share the fields below under `mutex_`. The synthesizer is the
// worker's alone once it runs: the worker renders a block without the lock,
// and a block rendered for a timeline that a seek has since replaced is
// dropped, the synthesizer then being rebuilt for the new place.
#include "platform/audio/wave_out.h"
#include "platform/mci/mci_device.h"
#include "platform/mci/mci_midi_song.h"
#include "platform/midi/midi_chase.h"
#include "platform/midi/sound_font.h"

#include <fluidsynth.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace qorve {
namespace {

constexpr uint32_t kRate = 44100;
constexpr uint16_t kChannels = 2;
constexpr uint32_t kFrameBytes = kChannels * 2;
constexpr double kFramesPerMs = kRate / 1000.0;
constexpr uint64_t kBlockFrames = 1024;      // rendered at a time (23 ms)
constexpr uint64_t kLeadFrames = kRate / 4;  // queued ahead of what is heard
constexpr auto kPoll = std::chrono::milliseconds(5);
// FluidSynth's default gain (0.2) leaves the General MIDI font very quiet
// next to other media; this level keeps dense songs clear of clipping.
constexpr double kGain = 0.5;
// Roland GS and Yamaha XG messages address device 0x10 (the instruments'
// default); FluidSynth takes only those for its own device id, which is 0
// unless set, so GS and XG resets and parameters would pass unheard.
constexpr int kSysExDeviceId = 0x10;

void QuietenFluidSynth() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const int level : {FLUID_WARN, FLUID_INFO, FLUID_DBG}) fluid_set_log_function(level, nullptr, nullptr);
  });
}

class SynthesizerDevice final : public MciDevice {
 public:
  explicit SynthesizerDevice(MidiSong song) : song_(std::move(song)) {}

  ~SynthesizerDevice() override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
    if (output_) output_->Close();
    if (synth_) delete_fluid_synth(synth_);
    if (settings_) delete_fluid_settings(settings_);
  }

  MCIERROR Start(const std::filesystem::path& soundFont) {
    QuietenFluidSynth();
    settings_ = new_fluid_settings();
    if (!settings_) return MCIERR_CANNOT_LOAD_DRIVER;
    fluid_settings_setnum(settings_, "synth.sample-rate", kRate);
    fluid_settings_setnum(settings_, "synth.gain", kGain);
    fluid_settings_setint(settings_, "synth.threadsafe-api", 0);  // one thread at a time, see the top
    fluid_settings_setint(settings_, "synth.device-id", kSysExDeviceId);
    synth_ = new_fluid_synth(settings_);
    if (!synth_) return MCIERR_CANNOT_LOAD_DRIVER;
    if (fluid_synth_sfload(synth_, soundFont.c_str(), 1) == FLUID_FAILED) return MCIERR_DEVICE_NOT_READY;

    output_ = CreateWaveOutDevice();
    if (!output_) return MCIERR_DEVICE_NOT_READY;
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = kChannels;
    format.nSamplesPerSec = kRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = kFrameBytes;
    format.nAvgBytesPerSec = kRate * kFrameBytes;
    const MMRESULT opened = output_->Open(format);
    if (opened != MMSYSERR_NOERROR) {
      NoteSoundOutputFailure(output_->OpenFailure());
      output_.reset();
      return opened == MMSYSERR_ALLOCATED ? MCIERR_MUST_USE_SHAREABLE : MCIERR_DEVICE_NOT_READY;
    }
    output_->Pause();  // nothing is heard before Play
    spans_ = {Span{0, 0.0, 1.0}};
    worker_ = std::thread([this] { Run(); });
    return MCIERR_NO_ERROR;
  }

  MCIERROR Play() override {
    std::lock_guard lock(mutex_);
    Refresh();
    if (mode_ == MCI_MODE_PLAY || AtEnd()) return MCIERR_NO_ERROR;
    output_->Restart();
    mode_ = MCI_MODE_PLAY;
    wake_.notify_all();
    return MCIERR_NO_ERROR;
  }

  MCIERROR Pause() override {
    std::lock_guard lock(mutex_);
    Refresh();
    if (mode_ == MCI_MODE_STOP && AtEnd()) return MCIERR_NO_ERROR;  // ended: stays stopped
    output_->Pause();
    mode_ = MCI_MODE_PAUSE;
    return MCIERR_NO_ERROR;
  }

  MCIERROR Stop() override {
    std::lock_guard lock(mutex_);
    Refresh();
    output_->Pause();
    mode_ = MCI_MODE_STOP;
    return MCIERR_NO_ERROR;
  }

  MCIERROR Seek(uint32_t milliseconds) override {
    std::lock_guard lock(mutex_);
    Refresh();
    output_->Pause();
    if (mode_ == MCI_MODE_PLAY) mode_ = MCI_MODE_STOP;  // a seek stops playback
    output_->Reset();
    lastRawBytes_ = 0;
    playedBytes_ = 0;
    const double target = std::min<double>(milliseconds, song_.lengthMilliseconds);
    spans_ = {Span{0, target, speed_}};
    speedChanged_ = false;
    renderedFrames_ = 0;
    const auto first = std::lower_bound(song_.events.begin(), song_.events.end(), target,
                                        [](const MidiFileEvent& event, double ms) { return event.milliseconds < ms; });
    next_ = static_cast<std::size_t>(first - song_.events.begin());
    rebuild_ = true;
    ++generation_;
    return MCIERR_NO_ERROR;
  }

  uint32_t Position() override {
    std::lock_guard lock(mutex_);
    Refresh();
    return static_cast<uint32_t>(std::min(SongMsAt(PlayedFrames()), song_.lengthMilliseconds));
  }

  uint32_t Length() override { return static_cast<uint32_t>(song_.lengthMilliseconds); }

  uint32_t Mode() override {
    std::lock_guard lock(mutex_);
    Refresh();
    return mode_;
  }

  MCIERROR SetSpeed(uint32_t thousandths) override {
    if (thousandths == 0) return MCIERR_OUTOFRANGE;
    std::lock_guard lock(mutex_);
    speed_ = thousandths / 1000.0;
    speedChanged_ = true;
    return MCIERR_NO_ERROR;
  }

  MCIERROR SetResetMessage(std::span<const uint8_t> message) override {
    std::lock_guard lock(mutex_);
    reset_.assign(message.begin(), message.end());
    rebuild_ = true;  // the next block starts from a synthesizer that has taken it
    return MCIERR_NO_ERROR;
  }

  // Sound alone: no picture.
  MCIERROR Source(MCI_RECT& rect) override {
    rect = MCI_RECT{0, 0, 0, 0};
    return MCIERR_NO_ERROR;
  }

 private:
  // A stretch of the timeline since the wave-out device's last reset: from
  // `frame` on, the song runs from `songMs` at `speed` times normal.
  struct Span {
    uint64_t frame;
    double songMs;
    double speed;
  };

  // What the worker renders without the lock: frames [from, to) of `span`,
  // sending the song's messages from `next` on as their frames come.
  struct Block {
    uint64_t generation;
    Span span;
    uint64_t from;
    uint64_t to;
    std::size_t next;
    bool rebuild;  // reset the synthesizer and chase the state before `next` first
    std::vector<uint8_t> reset;  // with `rebuild`: the reset message sent first
  };

  static uint64_t FrameOf(const Span& span, double songMs) {
    if (songMs <= span.songMs) return span.frame;
    return span.frame + static_cast<uint64_t>(std::ceil((songMs - span.songMs) * kFramesPerMs / span.speed));
  }

  // Under mutex_ (as every helper below): the song time at a frame.
  double SongMsAt(uint64_t frame) const {
    auto span = spans_.rbegin();
    while (span + 1 != spans_.rend() && span->frame > frame) ++span;
    return span->songMs + static_cast<double>(frame - std::min(frame, span->frame)) / kFramesPerMs * span->speed;
  }

  uint64_t EndFrame() const { return FrameOf(spans_.back(), song_.lengthMilliseconds); }

  bool AtEnd() { return SongMsAt(PlayedFrames()) >= song_.lengthMilliseconds; }

  // Frames heard since the device's last reset (its byte count wraps at 2^32).
  uint64_t PlayedFrames() {
    uint32_t raw = 0;
    if (output_->GetPosition(raw) == MMSYSERR_NOERROR) {
      playedBytes_ += static_cast<uint32_t>(raw - lastRawBytes_);
      lastRawBytes_ = raw;
    }
    return playedBytes_ / kFrameBytes;
  }

  // Stops the device once the song's end has been heard, and forgets the
  // spans that lie wholly behind what is heard.
  void Refresh() {
    const uint64_t played = PlayedFrames();
    while (spans_.size() > 1 && spans_[1].frame <= played) spans_.erase(spans_.begin());
    if (mode_ == MCI_MODE_PLAY && played >= EndFrame()) {
      output_->Pause();
      mode_ = MCI_MODE_STOP;
    }
  }

  void Run() {
    std::vector<int16_t> pcm;
    std::unique_lock lock(mutex_);
    while (!quit_) {
      if (mode_ != MCI_MODE_PLAY) {
        wake_.wait(lock);
        continue;
      }
      Refresh();
      if (mode_ != MCI_MODE_PLAY) continue;
      if (speedChanged_) {
        const Span span{renderedFrames_, SongMsAt(renderedFrames_), speed_};
        if (spans_.back().frame == span.frame) spans_.back() = span;
        else spans_.push_back(span);
        speedChanged_ = false;
      }
      const uint64_t end = EndFrame();
      if (renderedFrames_ >= end || renderedFrames_ - std::min(renderedFrames_, PlayedFrames()) >= kLeadFrames) {
        wake_.wait_for(lock, kPoll);
        continue;
      }
      Block block{generation_, spans_.back(), renderedFrames_, std::min(renderedFrames_ + kBlockFrames, end), next_,
                  rebuild_, rebuild_ ? reset_ : std::vector<uint8_t>{}};
      rebuild_ = false;
      lock.unlock();
      Render(block, pcm);
      lock.lock();
      if (block.generation != generation_) {
        rebuild_ = true;  // the synthesizer holds the dropped block's messages
        continue;
      }
      output_->Write(reinterpret_cast<const uint8_t*>(pcm.data()), static_cast<uint32_t>(pcm.size() * 2));
      renderedFrames_ = block.to;
      next_ = block.next;
    }
  }

  // The worker, without the lock: renders the block into `pcm` (interleaved
  // stereo) and leaves in block.next the first message not yet sent.
  void Render(Block& block, std::vector<int16_t>& pcm) {
    if (block.rebuild) {
      fluid_synth_system_reset(synth_);
      if (!block.reset.empty()) Send(block.reset);
      for (const MidiFileEvent* event : ChaseEvents(song_, block.next)) Send(event->bytes);
    }
    pcm.assign((block.to - block.from) * kChannels, 0);
    uint64_t frame = block.from;
    while (true) {
      while (block.next < song_.events.size() && FrameOf(block.span, song_.events[block.next].milliseconds) <= frame) {
        Send(song_.events[block.next++].bytes);
      }
      if (frame >= block.to) break;
      uint64_t until = block.to;
      if (block.next < song_.events.size()) {
        until = std::min(until, FrameOf(block.span, song_.events[block.next].milliseconds));
      }
      const int offset = static_cast<int>((frame - block.from) * kChannels);
      fluid_synth_write_s16(synth_, static_cast<int>(until - frame), pcm.data(), offset, kChannels, pcm.data(),
                            offset + 1, kChannels);
      frame = until;
    }
  }

  void Send(const std::vector<uint8_t>& bytes) {
    const int channel = bytes[0] & 0x0F;
    const auto data = [&](std::size_t i) { return i < bytes.size() ? static_cast<int>(bytes[i]) : 0; };
    switch (bytes[0] & 0xF0) {
      case 0x80:
        fluid_synth_noteoff(synth_, channel, data(1));
        break;
      case 0x90:
        if (data(2) == 0) fluid_synth_noteoff(synth_, channel, data(1));
        else fluid_synth_noteon(synth_, channel, data(1), data(2));
        break;
      case 0xA0:
        fluid_synth_key_pressure(synth_, channel, data(1), data(2));
        break;
      case 0xB0:
        fluid_synth_cc(synth_, channel, data(1), data(2));
        break;
      case 0xC0:
        fluid_synth_program_change(synth_, channel, data(1));
        break;
      case 0xD0:
        fluid_synth_channel_pressure(synth_, channel, data(1));
        break;
      case 0xE0:
        fluid_synth_pitch_bend(synth_, channel, data(1) | data(2) << 7);
        break;
      case 0xF0:  // F0 ... F7: the synthesizer takes the bytes between
        if (bytes.size() > 2) {
          fluid_synth_sysex(synth_, reinterpret_cast<const char*>(bytes.data() + 1), static_cast<int>(bytes.size() - 2),
                            nullptr, nullptr, nullptr, 0);
        }
        break;
      default:
        break;
    }
  }

  const MidiSong song_;
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;  // the worker's while it runs
  std::unique_ptr<WaveOutDevice> output_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread worker_;
  bool quit_ = false;
  uint32_t mode_ = MCI_MODE_STOP;
  std::vector<Span> spans_;      // by frame; the last one is being rendered
  uint64_t renderedFrames_ = 0;  // written to the device since its last reset
  std::size_t next_ = 0;         // the first message not yet sent to the synthesizer
  bool rebuild_ = false;         // see Block::rebuild
  std::vector<uint8_t> reset_;   // MCI_MIDI_SET_RESET's message; empty: none
  uint64_t generation_ = 0;      // counts seeks: a block of an older one is dropped
  double speed_ = 1.0;
  bool speedChanged_ = false;    // speed_ applies from the next block
  uint32_t lastRawBytes_ = 0;    // the device's byte count when last read
  uint64_t playedBytes_ = 0;     // the same without wrapping
};

}  // namespace

std::unique_ptr<MciDevice> OpenSynthesizerDevice(const std::string& path, MCIERROR& error) {
  std::optional<MidiSong> song = ReadMidiSongFile(path, error);
  if (!song) return nullptr;
  const std::filesystem::path soundFont = FindSoundFont();
  if (soundFont.empty()) {
    error = MCIERR_DEVICE_NOT_READY;  // nothing to sound the notes with
    return nullptr;
  }
  auto device = std::make_unique<SynthesizerDevice>(std::move(*song));
  error = device->Start(soundFont);
  if (error != MCIERR_NO_ERROR) return nullptr;
  return device;
}

}  // namespace qorve
