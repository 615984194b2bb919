#include "player/formats/transport/wave_out_media.h"

namespace qorve {

int WaveOutMedia::Play(double from) {
  if (!stream_) return 0;
  if (!(from >= 0.0)) from = 0.0;  // -1.0 (start), any other negative, NaN
  stream_->Pause();
  SeekSource(from);
  stream_->Seek(from);
  return 0;
}

int WaveOutMedia::Pause() {
  if (stream_) stream_->Pause();
  return 0;
}

int WaveOutMedia::Stop() {
  if (stream_) stream_->Stop();
  return 0;
}

int WaveOutMedia::TogglePause() {
  if (!stream_) return 0;
  if (stream_->GetState() == WaveOutStream::Playing) return Pause();
  return Play(-1.0);
}

void WaveOutMedia::GetStatus(MediaState& out) {
  if (!stream_) return;
  out.TimePos = stream_->GetPos();
  out.PlayState = stream_->GetState();
}

int WaveOutMedia::OpenStream(const WAVEFORMATEX& format, int bufferBytes) {
  stream_ = std::make_unique<WaveOutStream>();
  if (bufferBytes > 0) stream_->SetBuffers(WaveOutStream::kMaxBuffers, bufferBytes);
  if (stream_->Open(format, [this](uint8_t* buffer, uint32_t bytes) { Fill(buffer, bytes); }) != -1) {
    return kResultSuccess;
  }
  // Only a device that cannot be opened is the device's fault: the factory
  // keeps that result over what later classes make of the file.
  switch (stream_->OpenError()) {
    case WAVERR_BADFORMAT:
      return kResultUnsupported;
    case MMSYSERR_NOMEM:
      return kResultOutOfMemory;
    case MMSYSERR_INVALPARAM:
      return kResultUnknownError;
    default:
      return kResultDeviceInUse;
  }
}

void WaveOutMedia::CloseStream() {
  if (!stream_) return;
  stream_->Stop();
  stream_->Close();
  stream_.reset();
}

}  // namespace qorve
