// The engine's failure paths: none of them may start a worker.
#include "player/audio/recording_decoder.h"
#include "player/audio/wave_out_stream.h"
#include "player/audio/wave_out_stream_fixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>

namespace qorve {
namespace {

using test::Pcm;
using test::RecordingDecoder;

struct OpenFailure {
  const char* name;
  std::function<void(VirtualSoundCard&, WAVEFORMATEX&, bool& emptyFill)> arrange;
  long code;
  friend void PrintTo(const OpenFailure& failure, std::ostream* out) { *out << failure.name; }
};

class WaveOutOpenFailureTest : public test::WaveOutStreamTest, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(WaveOutOpenFailureTest, FailedOpenCreatesNothingAndStopAndCloseStaySafe) {
  WAVEFORMATEX format = Pcm(44100, 2, 16);
  bool emptyFill = false;
  GetParam().arrange(*card, format, emptyFill);
  RecordingDecoder decoder(card.get());
  WaveOutStream stream;

  EXPECT_EQ(stream.Open(format, emptyFill ? FillProc() : decoder.Proc()), -1);
  EXPECT_TRUE(Logged("waveOutOpen Error", GetParam().code)) << LogText();
  EXPECT_EQ(decoder.CallCount(), 0u);
  EXPECT_FALSE(card->IsOpen());
  EXPECT_EQ(LogText().find("WAVEOUTスレッド開始"), std::string::npos);

  stream.Seek(4.0);
  EXPECT_EQ(stream.GetState(), WaveOutStream::Stopped);
  EXPECT_EQ(stream.GetPos(), 0.0);
  stream.Stop();
  EXPECT_TRUE(Logged("WAVEOUT - STOP", 0));
  stream.Close();
  EXPECT_EQ(decoder.CallCount(), 0u);
  std::string closing;
  for (long step : {0, 2, 3, 4, 5}) closing += LogLine("スレッド終了設定", step);
  closing += LogLine("waveOutClose Error", MMSYSERR_INVALHANDLE) + LogLine("スレッド終了設定", 6);
  EXPECT_NE(LogText().find(closing), std::string::npos) << LogText();
}

INSTANTIATE_TEST_SUITE_P(
    Causes, WaveOutOpenFailureTest,
    ::testing::Values(
        OpenFailure{"DeviceInUse", [](VirtualSoundCard& card, WAVEFORMATEX&, bool&) { card.FailOpens(MMSYSERR_ALLOCATED); },
                    MMSYSERR_ALLOCATED},
        OpenFailure{"NoDriver", [](VirtualSoundCard& card, WAVEFORMATEX&, bool&) { card.FailOpens(MMSYSERR_NODRIVER); },
                    MMSYSERR_NODRIVER},
        OpenFailure{"FloatSamples", [](VirtualSoundCard&, WAVEFORMATEX& format, bool&) { format.wFormatTag = 3; },
                    WAVERR_BADFORMAT},
        OpenFailure{"NoSamplesPerSecond", [](VirtualSoundCard&, WAVEFORMATEX& format, bool&) { format.nSamplesPerSec = 0; },
                    WAVERR_BADFORMAT},
        OpenFailure{"UnknownBackend",
                    [](VirtualSoundCard&, WAVEFORMATEX&, bool&) { SetWaveOutFactory([] { return nullptr; }); },
                    MMSYSERR_BADDEVICEID},
        OpenFailure{"NoFillProcedure", [](VirtualSoundCard&, WAVEFORMATEX&, bool& emptyFill) { emptyFill = true; },
                    MMSYSERR_INVALPARAM}),
    [](const auto& info) { return std::string(info.param.name); });

using WaveOutRingTest = test::WaveOutStreamTest;

TEST_F(WaveOutRingTest, RingBeyondTheDevicesSpanLimitIsRefusedAndTheDeviceClosed) {
  RecordingDecoder decoder(card.get());
  WaveOutStream stream;
  stream.SetBuffers(8, INT_MAX);  // 16 GiB: more than one 32-bit span
  EXPECT_EQ(stream.Open(Pcm(44100, 2, 16), decoder.Proc()), -1);
  EXPECT_TRUE(Logged("HeapAlloc Error", 8L * INT_MAX)) << LogText();
  EXPECT_EQ(card->OpenCount(), 1);
  EXPECT_FALSE(card->IsOpen());
  EXPECT_EQ(decoder.CallCount(), 0u);
  stream.Stop();
  stream.Close();
}

}  // namespace
}  // namespace qorve
