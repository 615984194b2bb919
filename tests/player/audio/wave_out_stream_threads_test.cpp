// The engine with its worker running, on the virtual clock: every tick is
// placed by the test to the byte.
#include "player/audio/recording_decoder.h"
#include "player/audio/wave_out_stream.h"
#include "player/audio/wave_out_stream_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace qorve {
namespace {

using test::Pcm;
using test::RecordingDecoder;
using namespace std::chrono_literals;

// Long enough for the worker to poll a few times (it polls every millisecond).
void LetTheWorkerPoll() { std::this_thread::sleep_for(5ms); }

class WaveOutStreamThreadsTest : public test::WaveOutStreamTest {
 protected:
  // Moves the card's clock to `total` bytes played since the last reset,
  // waiting for the worker whenever the queue has run dry.
  void AdvanceTo(uint64_t total) {
    for (int tries = 0; played_ < total && tries < 20000; ++tries) {
      const uint64_t done = card->Advance(total - played_);
      played_ += done;
      if (done == 0) std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(played_, total) << "the device ran dry: nothing was queued";
  }
  void ClockWasReset() { played_ = 0; }

  // The N calls that fill the whole ring on the test's thread, in ring order.
  static void ExpectWholeRingFilled(const std::vector<RecordingDecoder::Call>& calls, size_t first, int count,
                                    uint32_t size) {
    ASSERT_GE(calls.size(), first + count);
    for (int i = 0; i < count; ++i) {
      const RecordingDecoder::Call& call = calls[first + i];
      EXPECT_EQ(call.buffer, calls[first].buffer + static_cast<size_t>(i) * size) << "buffer " << i;
      EXPECT_EQ(call.bytes, size);
      EXPECT_EQ(call.thread, std::this_thread::get_id());
    }
  }

  uint64_t played_ = 0;
};

struct TickSchedule {
  const char* name;
  int count;
  int bytes;
  std::vector<uint32_t> positions;  // device positions at which the ticks fire
  std::vector<int> refilled;        // the buffer each of them refills
  std::vector<bool> wraps;          // whether it queues the next pass
  friend void PrintTo(const TickSchedule& schedule, std::ostream* out) { *out << schedule.name; }
};

class WaveOutTickTest : public WaveOutStreamThreadsTest, public ::testing::WithParamInterface<TickSchedule> {};

TEST_P(WaveOutTickTest, TicksFireAtTheirBytePositionsAndTheWrapTickQueuesTheNextPass) {
  const TickSchedule& schedule = GetParam();
  RecordingDecoder decoder(card.get());
  WaveOutStream stream;
  stream.SetBuffers(schedule.count, schedule.bytes);
  ASSERT_EQ(stream.Open(Pcm(44100, 2, 16), decoder.Proc()), 0);
  const int n = schedule.count == 0 ? 8 : schedule.count;
  const uint32_t s = schedule.bytes == 0 ? 176400 : schedule.bytes;
  stream.Seek(0);
  const std::vector<RecordingDecoder::Call> filled = decoder.Calls();
  ExpectWholeRingFilled(filled, 0, n, s);
  ExpectWholeRingFilled(filled, n, n, s);
  uint8_t* const ring = filled[0].buffer;
  ASSERT_EQ(card->Writes().size(), 1u);
  EXPECT_EQ(card->Writes()[0].source, ring);
  EXPECT_EQ(card->Writes()[0].bytes, n * s);

  size_t calls = 2 * n;
  size_t writes = 1;
  for (size_t tick = 0; tick < schedule.positions.size(); ++tick) {
    const uint32_t at = schedule.positions[tick];
    AdvanceTo(at - 1);
    LetTheWorkerPoll();
    ASSERT_EQ(decoder.CallCount(), calls) << "tick " << tick << " fired before " << at;
    AdvanceTo(at);
    ASSERT_TRUE(decoder.WaitForCalls(++calls)) << "tick " << tick << " did not fire at " << at;
    const RecordingDecoder::Call call = decoder.Calls().back();
    EXPECT_EQ(call.devicePosition, at);
    EXPECT_EQ(call.buffer, ring + static_cast<size_t>(schedule.refilled[tick]) * s) << "tick " << tick;
    EXPECT_EQ(call.bytes, s);
    EXPECT_NE(call.thread, std::this_thread::get_id());
    // At the wrap the next pass goes in as the buffers before the last, then
    // the last one, which the worker queues right after its fill has returned.
    if (schedule.wraps[tick]) writes += n > 1 ? 2 : 1;
    for (int i = 0; i < 5000 && card->Writes().size() < writes; ++i) std::this_thread::sleep_for(1ms);
    const auto written = card->Writes();
    ASSERT_EQ(written.size(), writes) << "tick " << tick;
    if (schedule.wraps[tick]) {
      if (n > 1) {
        const VirtualSoundCard::WriteRecord& first = written[written.size() - 2];
        EXPECT_EQ(first.source, ring);
        EXPECT_EQ(first.bytes, (n - 1) * s);
        EXPECT_EQ(first.position, at);
      }
      EXPECT_EQ(written.back().source, ring + static_cast<size_t>(n - 1) * s);
      EXPECT_EQ(written.back().bytes, s);
      EXPECT_EQ(written.back().position, at);
    }
  }
  stream.Stop();
  stream.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Rings, WaveOutTickTest,
    ::testing::Values(
        TickSchedule{"DefaultEightSeconds",
                     0,
                     0,
                     {176400, 352800, 529200, 705600, 882000, 1058400, 1234800, 1405688, 1587600, 1764000},
                     {0, 1, 2, 3, 4, 5, 6, 7, 0, 1},
                     {false, false, false, false, false, false, false, true, false, false}},
        TickSchedule{"OneBufferWrapsEveryTick",
                     1,
                     176400,
                     {170888, 347288, 523688},
                     {0, 0, 0},
                     {true, true, true}},
        TickSchedule{"TwoBuffers",
                     2,
                     64000,
                     {64000, 126000, 192000, 254000},
                     {0, 1, 0, 1},
                     {false, true, false, true}}),
    [](const auto& info) { return std::string(info.param.name); });

struct BufferSetting {
  const char* name;
  int count;
  int bytes;
  int expectedCount;
  uint32_t expectedBytes;
  friend void PrintTo(const BufferSetting& setting, std::ostream* out) { *out << setting.name; }
};

class WaveOutBufferSettingTest : public WaveOutStreamThreadsTest,
                                 public ::testing::WithParamInterface<BufferSetting> {};

TEST_P(WaveOutBufferSettingTest, OpenSizesTheRingAndLaterSettingsAreIgnored) {
  RecordingDecoder decoder(card.get());
  WaveOutStream stream;
  stream.SetBuffers(GetParam().count, GetParam().bytes);
  ASSERT_EQ(stream.Open(Pcm(44100, 2, 16), decoder.Proc()), 0);
  const int n = GetParam().expectedCount;
  ASSERT_EQ(decoder.CallCount(), static_cast<size_t>(n));
  ExpectWholeRingFilled(decoder.Calls(), 0, n, GetParam().expectedBytes);

  stream.SetBuffers(3, 500);
  stream.Seek(1.0);
  ASSERT_EQ(decoder.CallCount(), static_cast<size_t>(2 * n));
  ExpectWholeRingFilled(decoder.Calls(), n, n, GetParam().expectedBytes);
  EXPECT_EQ(card->Writes().back().bytes, n * GetParam().expectedBytes);
  EXPECT_TRUE(EventuallyLogged("WAVEOUTスレッド開始", GetParam().expectedBytes));
}

INSTANTIATE_TEST_SUITE_P(Settings, WaveOutBufferSettingTest,
                         ::testing::Values(BufferSetting{"Defaults", 0, 0, 8, 176400},
                                           BufferSetting{"Chosen", 2, 1000, 2, 1000},
                                           BufferSetting{"CountAboveEight", 12, 1000, 8, 1000},
                                           BufferSetting{"Negative", -3, -1, 8, 176400}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WaveOutStreamThreadsTest, DecodedBytesReachTheDeviceInOrderPassAfterPass) {
  RecordingDecoder decoder(card.get());
  WaveOutStream stream;
  stream.SetBuffers(4, 1000);  // 8000 Hz mono 16-bit: 1000 bytes are 62.5 ms
  ASSERT_EQ(stream.Open(Pcm(8000, 1, 16), decoder.Proc()), 0);
  stream.Seek(0);  // the ring now holds counter bytes 4000 … 7999
  std::mt19937 random(7);
  const uint64_t total = 6 * 4000 + 123;
  while (played_ < total) {
    AdvanceTo(std::min<uint64_t>(total, played_ + std::uniform_int_distribution<uint64_t>(1, 900)(random)));
  }
  EXPECT_EQ(card->TakePlayed(), RecordingDecoder::CounterStream(4000, total));
  const auto calls = decoder.Calls();
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].buffer, calls[0].buffer + (i % 4) * 1000) << "call " << i << " out of ring order";
    EXPECT_EQ(calls[i].bytes, 1000u);
  }
  stream.Stop();
  stream.Close();
}

TEST_F(WaveOutStreamThreadsTest, PositionAndStateFollowTheOperations) {
  RecordingDecoder decoder(card.get());
  WaveOutStream stream;
  ASSERT_EQ(stream.Open(Pcm(44100, 2, 16), decoder.Proc()), 0);
  EXPECT_EQ(stream.GetState(), WaveOutStream::Stopped);
  EXPECT_EQ(stream.GetPos(), 0.0);
  EXPECT_EQ(card->QueuedBytes(), 0u) << "Open makes no sound";

  stream.Seek(12.5);
  EXPECT_EQ(stream.GetState(), WaveOutStream::Playing);
  EXPECT_EQ(stream.GetPos(), 12.5);
  EXPECT_TRUE(Logged("WAVEOUT - SEEK", 12));
  AdvanceTo(88200);
  EXPECT_EQ(stream.GetPos(), 13.0);

  stream.Pause();
  EXPECT_EQ(stream.GetState(), WaveOutStream::Paused);
  EXPECT_TRUE(card->IsPaused());
  EXPECT_EQ(card->Advance(44100), 0u);
  LetTheWorkerPoll();
  EXPECT_EQ(stream.GetPos(), 13.0);

  stream.Seek(3.0);  // a seek while paused resumes
  ClockWasReset();
  EXPECT_EQ(stream.GetState(), WaveOutStream::Playing);
  EXPECT_FALSE(card->IsPaused());
  EXPECT_EQ(stream.GetPos(), 3.0);
  AdvanceTo(176400);
  EXPECT_EQ(stream.GetPos(), 4.0);
  EXPECT_TRUE(EventuallyLogged("RESETTICK", 0));

  stream.Stop();
  EXPECT_EQ(stream.GetState(), WaveOutStream::Stopped);
  EXPECT_EQ(stream.GetPos(), 0.0);
  EXPECT_EQ(card->QueuedBytes(), 0u);
  EXPECT_TRUE(Logged("WAVEOUT - STOP", 0));
  stream.Close();
  EXPECT_FALSE(card->IsOpen());
  EXPECT_TRUE(Logged("WAVEOUTスレッド終了", 0));
}

TEST_F(WaveOutStreamThreadsTest, ByteCounterAndTicksWrapAfterFourGiB) {
  card = std::make_unique<VirtualSoundCard>(/*keepBytes=*/false);
  RecordingDecoder decoder(card.get(), /*writeCounter=*/false);
  constexpr uint32_t s = 30000000;  // large buffers keep the tick count small
  constexpr uint64_t wrap = uint64_t{1} << 32;
  WaveOutStream stream;
  stream.SetBuffers(8, s);
  ASSERT_EQ(stream.Open(Pcm(44100, 2, 16), decoder.Proc()), 0);
  stream.Seek(100.0);

  // The tick rule in 64-bit arithmetic, to compare the engine's 32-bit one with.
  std::vector<uint64_t> due;
  for (uint64_t played = 0, early = 0, index = 0; played < wrap + 3 * uint64_t{s};) {
    due.push_back(played + s - early);
    played += s;
    index = (index + 1) % 8;
    early = index == 7 ? s >> 5 : 0;
  }
  size_t calls = 16;
  bool crossed = false;
  for (uint64_t at : due) {
    if (at > wrap && !crossed) {
      // The next tick is due beyond 2^32, so its 32-bit target is small while
      // the position is still near the top: the worker must wait all the same.
      AdvanceTo(wrap - 1);
      LetTheWorkerPoll();
      ASSERT_EQ(decoder.CallCount(), calls) << "tick before the counter wrapped";
      EXPECT_DOUBLE_EQ(stream.GetPos(), static_cast<double>(wrap - 1) / 176400 + 100.0);
      crossed = true;
    }
    if (at + 3 * uint64_t{s} > wrap && at < wrap + 3 * uint64_t{s}) {
      AdvanceTo(at - 1);
      LetTheWorkerPoll();
      ASSERT_EQ(decoder.CallCount(), calls) << "early tick before " << at;
    }
    AdvanceTo(at);
    ASSERT_TRUE(decoder.WaitForCalls(++calls)) << "no tick at " << at;
    ASSERT_EQ(decoder.Calls().back().devicePosition, static_cast<uint32_t>(at));
  }
  EXPECT_TRUE(crossed);
  EXPECT_DOUBLE_EQ(stream.GetPos(), static_cast<uint32_t>(played_) / 176400.0 + 100.0) << "the position wraps too";
  LetTheWorkerPoll();
  EXPECT_EQ(decoder.CallCount(), calls) << "no extra ticks after the wrap";
  stream.Stop();
  stream.Close();
}

TEST_F(WaveOutStreamThreadsTest, PauseWaitsForAFillAndHoldsOffTicksUntilTheNextSeek) {
  RecordingDecoder decoder(card.get());
  WaveOutStream stream;
  stream.SetBuffers(8, 1600);
  ASSERT_EQ(stream.Open(Pcm(8000, 1, 16), decoder.Proc()), 0);
  stream.Seek(0);
  decoder.SetDelay(50ms);
  AdvanceTo(1600);
  while (!decoder.Inside()) std::this_thread::sleep_for(100us);
  stream.Pause();
  EXPECT_FALSE(decoder.Inside()) << "Pause returned while the worker was still decoding";
  const size_t atPause = decoder.CallCount();
  LetTheWorkerPoll();
  EXPECT_EQ(decoder.CallCount(), atPause);

  // A tick due at the moment of pausing is not carried out while paused.
  decoder.SetDelay(0ms);
  stream.Seek(0);
  ClockWasReset();
  AdvanceTo(1600);
  stream.Pause();
  const size_t afterSecondPause = decoder.CallCount();
  LetTheWorkerPoll();
  EXPECT_EQ(decoder.CallCount(), afterSecondPause);
  EXPECT_EQ(decoder.MostAtOnce(), 1);
  stream.Stop();
  stream.Close();
}

TEST_F(WaveOutStreamThreadsTest, SeekDuringATickWaitsForTheWorkersFill) {
  RecordingDecoder decoder(card.get());
  WaveOutStream stream;
  stream.SetBuffers(8, 1600);
  ASSERT_EQ(stream.Open(Pcm(8000, 1, 16), decoder.Proc()), 0);
  stream.Seek(0);
  decoder.SetDelay(40ms);
  AdvanceTo(1600);
  while (!decoder.Inside()) std::this_thread::sleep_for(100us);
  stream.Seek(2.0);
  EXPECT_EQ(decoder.MostAtOnce(), 1) << "the fill procedure ran on two threads at once";
  const auto calls = decoder.Calls();
  ASSERT_EQ(calls.size(), 8u + 8u + 1u + 8u);
  EXPECT_NE(calls[16].thread, std::this_thread::get_id());
  EXPECT_EQ(calls[17].thread, std::this_thread::get_id());
  EXPECT_EQ(stream.GetPos(), 2.0);
  decoder.SetDelay(0ms);
  stream.Stop();
  stream.Close();
}

TEST_F(WaveOutStreamThreadsTest, CloseOutwaitsAFillInProgressBeforeFreeingTheRing) {
  RecordingDecoder decoder(card.get());
  WaveOutStream stream;
  stream.SetBuffers(8, 1600);
  ASSERT_EQ(stream.Open(Pcm(8000, 1, 16), decoder.Proc()), 0);
  stream.Seek(0);
  decoder.SetDelay(200ms);  // far beyond the 50 ms Close waits at first
  AdvanceTo(1600);
  while (!decoder.Inside()) std::this_thread::sleep_for(100us);
  decoder.RaiseFlag();
  stream.Close();
  EXPECT_FALSE(decoder.Inside());
  EXPECT_EQ(decoder.CallsReturnedAfterFlag(), 1) << "Close returned before the fill did";
  const size_t calls = decoder.CallCount();
  LetTheWorkerPoll();
  EXPECT_EQ(decoder.CallCount(), calls);
  const std::string log = LogText();
  EXPECT_NE(log.find("\"スレッド終了待ち\""), std::string::npos);
  const size_t ended = log.find(LogLine("WAVEOUTスレッド終了", 0));
  ASSERT_NE(ended, std::string::npos);
  EXPECT_LT(log.find(LogLine("スレッド終了設定", 0)), ended);
  EXPECT_GT(log.find(LogLine("スレッド終了設定", 2)), ended);
  EXPECT_GT(log.find(LogLine("スレッド終了設定", 6)), log.find(LogLine("スレッド終了設定", 5)));
  EXPECT_FALSE(Logged("waveOutClose Error", MMSYSERR_INVALHANDLE));
}

TEST_F(WaveOutStreamThreadsTest, SecondOpenOfAnOpenStreamIsRefused) {
  RecordingDecoder decoder(card.get());
  WaveOutStream stream;
  ASSERT_EQ(stream.Open(Pcm(44100, 2, 16), decoder.Proc()), 0);
  EXPECT_EQ(stream.Open(Pcm(44100, 2, 16), decoder.Proc()), -1);
  EXPECT_TRUE(Logged("waveOutOpen Error", MMSYSERR_ALLOCATED));
  EXPECT_EQ(card->OpenCount(), 1);
  stream.Seek(0);
  EXPECT_EQ(stream.GetState(), WaveOutStream::Playing);
  stream.Stop();
  stream.Close();
  ASSERT_EQ(stream.Open(Pcm(44100, 2, 16), decoder.Proc()), 0) << "a closed stream opens again";
}  // the destructor closes the second opening

// Many seeks, pauses, stops and closes while the card plays on its own thread
// and the worker ticks: no race, deadlock, use after free or overlapping fill.
TEST_F(WaveOutStreamThreadsTest, StressOfOperationsWhileTheWorkerTicks) {
  RecordingDecoder decoder(card.get());
  std::atomic<bool> done{false};
  std::thread soundCard([&] {
    std::mt19937 random(1);
    while (!done.load()) {
      card->Advance(std::uniform_int_distribution<uint64_t>(1, 1200)(random));
      std::this_thread::sleep_for(200us);
    }
  });
  std::mt19937 random(2);
  auto stream = std::make_unique<WaveOutStream>();
  stream->SetBuffers(8, 800);  // 50 ms buffers at 8000 Hz mono 16-bit: ticks every few polls
  ASSERT_EQ(stream->Open(Pcm(8000, 1, 16), decoder.Proc()), 0);
  int reopened = 0;
  for (int step = 0; step < 600; ++step) {
    switch (std::uniform_int_distribution<int>(0, 9)(random)) {
      case 0:
      case 1:
      case 2: stream->Seek(std::uniform_real_distribution<double>(0, 300)(random)); break;
      case 3: stream->Pause(); break;
      case 4: stream->Stop(); break;
      case 5: {
        stream->Stop();
        stream->Close();
        const size_t calls = decoder.CallCount();
        stream = std::make_unique<WaveOutStream>();
        EXPECT_EQ(decoder.CallCount(), calls) << "a fill after Close";
        stream->SetBuffers(8, 800);
        ASSERT_EQ(stream->Open(Pcm(8000, 1, 16), decoder.Proc()), 0);
        ++reopened;
        break;
      }
      default: {
        const double position = stream->GetPos();
        EXPECT_GE(position, 0.0);
        EXPECT_LE(stream->GetState(), 2);
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 3000)(random)));
      }
    }
  }
  stream.reset();  // the destructor closes an open stream
  done.store(true);
  soundCard.join();
  EXPECT_EQ(decoder.MostAtOnce(), 1);
  EXPECT_GT(reopened, 10);
  EXPECT_GT(decoder.CallCount(), 600u);
}

// A device of the virtual card that claims to keep real time, counting how
// often it is asked for its position.
class RealTimeDevice final : public WaveOutDevice {
 public:
  RealTimeDevice(std::unique_ptr<WaveOutDevice> inner, std::atomic<int>& polls)
      : inner_(std::move(inner)), polls_(polls) {}
  MMRESULT Open(const WAVEFORMATEX& format) override { return inner_->Open(format); }
  MMRESULT Write(const uint8_t* data, uint32_t bytes) override { return inner_->Write(data, bytes); }
  MMRESULT Pause() override { return inner_->Pause(); }
  MMRESULT Restart() override { return inner_->Restart(); }
  MMRESULT Reset() override { return inner_->Reset(); }
  MMRESULT GetPosition(uint32_t& bytes) override {
    ++polls_;
    return inner_->GetPosition(bytes);
  }
  MMRESULT Close() override { return inner_->Close(); }
  bool KeepsRealTime() const override { return true; }

 private:
  std::unique_ptr<WaveOutDevice> inner_;
  std::atomic<int>& polls_;
};

// A decoder far slower than the 31 ms that the device still holds at the
// tick that wraps a ring of one-second buffers (a second of the slowest
// decoders takes up to that), on a card that plays by the wall clock: the
// device must never run out of sound.
TEST_F(WaveOutStreamThreadsTest, ASlowFillAtTheWrapTickLeavesTheDeviceSoundToPlay) {
  std::atomic<int> polls{0};
  SetWaveOutFactory([&] { return std::make_unique<RealTimeDevice>(card->NewDevice(), polls); });
  RecordingDecoder decoder(card.get());
  WaveOutStream stream;
  constexpr uint64_t kBytesPerSecond = 16000;  // 8000 Hz mono 16-bit
  stream.SetBuffers(2, kBytesPerSecond);
  ASSERT_EQ(stream.Open(Pcm(8000, 1, 16), decoder.Proc()), 0);
  stream.Seek(0);
  const size_t filled = decoder.CallCount();
  decoder.SetDelay(300ms);

  // The card's clock: what is due by the wall clock is played; what is due
  // but was not queued is silence the listener hears.
  std::atomic<bool> done{false};
  std::atomic<uint64_t> missing{0};
  std::thread soundCard([&] {
    using std::chrono::steady_clock;
    const steady_clock::time_point start = steady_clock::now();
    uint64_t heard = 0;
    while (!done.load()) {
      const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(steady_clock::now() - start);
      const uint64_t due = static_cast<uint64_t>(elapsed.count()) * kBytesPerSecond / 1000000;
      if (due > heard) {
        missing += due - heard - card->Advance(due - heard);
        heard = due;
      }
      std::this_thread::sleep_for(1ms);
    }
  });
  // The tick at 1 s, then the one that wraps the ring, 31 ms before 2 s.
  const bool ticked = decoder.WaitForCalls(filled + 2, 10s);
  std::this_thread::sleep_for(50ms);
  done.store(true);
  soundCard.join();
  ASSERT_TRUE(ticked);
  EXPECT_EQ(missing.load(), 0u) << "the device ran dry at the wrap tick";
  decoder.SetDelay(0ms);
  stream.Stop();
  stream.Close();
}

// On a device that keeps real time the worker sleeps until a tick can be due
// (looking again at least every 200 ms) instead of every millisecond, still
// ticks once the position gets there, and wakes at once for Close.
TEST_F(WaveOutStreamThreadsTest, OnARealTimeDeviceTheWorkerSleepsUntilATickIsDue) {
  std::atomic<int> polls{0};
  SetWaveOutFactory([&] { return std::make_unique<RealTimeDevice>(card->NewDevice(), polls); });
  RecordingDecoder decoder(card.get());
  WaveOutStream stream;
  stream.SetBuffers(2, 88200);  // 44100 Hz stereo 16-bit: half a second each
  ASSERT_EQ(stream.Open(Pcm(44100, 2, 16), decoder.Proc()), 0);
  stream.Seek(0);
  const size_t filled = decoder.CallCount();
  std::this_thread::sleep_for(300ms);
  EXPECT_LT(polls.load(), 30) << "polled every millisecond";

  AdvanceTo(88200);
  EXPECT_TRUE(decoder.WaitForCalls(filled + 1)) << "the tick at the end of the first buffer";
  AdvanceTo(176400 - 88200 / 32);
  EXPECT_TRUE(decoder.WaitForCalls(filled + 2)) << "the early tick that wraps the ring";

  stream.Close();
  EXPECT_EQ(LogText().find("スレッド終了待ち"), std::string::npos) << "Close waited for a sleeping worker";
}

}  // namespace
}  // namespace qorve
