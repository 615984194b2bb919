// player/formats/transport/: play, pause, stop and status the classes share.
//
// WaveOutMedia for the classes that decode into a WaveOutStream, MciMedia
// (mci_media.h) for those an MCI device plays.
//
// WaveOutMedia: play, pause, stop and status of a class whose decoder fills
// the wave-out ring. The class opens the stream in Open (OpenStream), fills it
// in Fill and moves its decoder in SeekSource; the stream gives the position
// and the play state.
#pragma once

#include "player/audio/wave_out_stream.h"
#include "player/core/media_file.h"

#include <cstdint>
#include <memory>

namespace qorve {

class WaveOutMedia : public MediaFile {
 public:
  // Nothing: the class releases the stream and its decoder when it is deleted.
  int Close() override { return 0; }
  // Any negative `from` (-1.0: the start) or NaN plays from 0. The stream is
  // held while SeekSource moves the decoder, then runs from `from`.
  int Play(double from) override;
  int Pause() override;
  int Stop() override;
  // Pauses while playing, else plays again from 0.
  int TogglePause() override;
  // The stream's position and state; untouched before Open made the stream.
  void GetStatus(MediaState& out) override;

 protected:
  // Makes and opens the stream in `format`, with buffers of `bufferBytes`
  // (0: the stream's default) filled by Fill. The Open result: 0, or
  // kResultDeviceInUse when the output device cannot be opened (no sound
  // server or card, held by another program), kResultUnsupported for a
  // format no device plays, kResultOutOfMemory when the ring cannot be had.
  int OpenStream(const WAVEFORMATEX& format, int bufferBytes = 0);
  // The fill procedure: `bytes` bytes of PCM from where the decoder stands,
  // silence after the end. Runs on whichever thread the stream calls it; the
  // stream never runs it on two at once.
  virtual void Fill(uint8_t* buffer, uint32_t bytes) = 0;
  // Moves the decoder so that its next fill starts `from` seconds (>= 0) into
  // the sound; past the end it must fill silence.
  virtual void SeekSource(double from) = 0;
  // Stops and closes the stream, ending its worker. A class calls it in its
  // destructor before it frees what the fill procedure reads.
  void CloseStream();

  std::unique_ptr<WaveOutStream> stream_;
};

}  // namespace qorve
