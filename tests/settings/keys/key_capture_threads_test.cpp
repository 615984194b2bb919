// The capture thread: what it reports, when, and that stopping it is prompt
// and final.
#include "settings/keys/key_capture.h"

#include "settings/key_input_fake.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace qorve {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Reports {
  std::atomic<int> count{0};
  std::atomic<int> code{0};
  std::promise<int> first;
  KeyCapture::Report Sink() {
    return [this](int reported) {
      code = reported;
      if (count.fetch_add(1) == 0) first.set_value(reported);
    };
  }
};

TEST(KeyCaptureThreads, KeyPressedAfterSettlingIsReportedOnceAndMouseAndModeKeysAreNot) {
  auto keys = std::make_shared<test::SharedKeys>();
  Reports reports;
  auto reported = reports.first.get_future();
  const auto start = Clock::now();
  KeyCapture capture(test::SharedKeysFactory(keys), reports.Sink());
  // A key tapped while settling (the click that started the capture) is not taken.
  keys->Tap('J');
  std::this_thread::sleep_for(600ms);
  for (int excluded : {1, 2, 4, 240, 242, 243}) keys->Press(excluded);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(reports.count.load(), 0);
  keys->Tap('Q');
  ASSERT_EQ(reported.wait_for(2s), std::future_status::ready);
  EXPECT_EQ(reported.get(), 'Q');
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(KeyCapture::kSettleMilliseconds));
  keys->Press('W');
  std::this_thread::sleep_for(20ms);
  capture.Stop();
  EXPECT_EQ(reports.count.load(), 1);
}

TEST(KeyCaptureThreads, KeyHeldSinceBeforeTheCaptureIsReportedAfterSettling) {
  auto keys = std::make_shared<test::SharedKeys>();
  keys->Press(0x0D);
  Reports reports;
  auto reported = reports.first.get_future();
  KeyCapture capture(test::SharedKeysFactory(keys), reports.Sink());
  EXPECT_EQ(reported.wait_for(300ms), std::future_status::timeout);
  ASSERT_EQ(reported.wait_for(2s), std::future_status::ready);
  EXPECT_EQ(reported.get(), 0x0D);
}

TEST(KeyCaptureThreads, StopWhileSettlingIsPromptAndNothingIsReportedAfterIt) {
  auto keys = std::make_shared<test::SharedKeys>();
  Reports reports;
  const auto start = Clock::now();
  {
    KeyCapture capture(test::SharedKeysFactory(keys), reports.Sink());
    std::this_thread::sleep_for(20ms);
    capture.Stop();
    EXPECT_LT(Clock::now() - start, 300ms);
    keys->Press('Z');
    std::this_thread::sleep_for(700ms);
  }
  EXPECT_EQ(reports.count.load(), 0);
}

}  // namespace
}  // namespace qorve
