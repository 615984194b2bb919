// The common ground of the wave-out engine tests: a private settings folder with
// the log on, and a virtual sound card that every stream opened in the test gets.
#pragma once

#include "common/log.h"
#include "common/settings.h"
#include "platform/audio/wave_out.h"
#include "platform/audio/wave_out_virtual.h"
#include "support/temp_home.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace qorve::test {

inline WAVEFORMATEX Pcm(uint32_t rate, uint16_t channels, uint16_t bits) {
  return {WAVE_FORMAT_PCM, channels, rate, rate * channels * (bits / 8u), static_cast<uint16_t>(channels * (bits / 8)),
          bits, 0};
}

class WaveOutStreamTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    ProgramSettings().kestravoxLog = 1;
    SetWaveOutFactory([this] { return card->NewDevice(); });
  }
  void TearDown() override {
    SetWaveOutFactory(nullptr);
    CloseLog();
    TempHome::TearDown();
  }

  std::string LogText() const { return ReadFile(settingsFolder() / "LOG.TXT"); }
  static std::string LogLine(const std::string& text, long number) {
    return "\"" + text + "\" , \"" + std::to_string(number) + "\" \r\n";
  }
  bool Logged(const std::string& text, long number) const {
    return LogText().find(LogLine(text, number)) != std::string::npos;
  }
  // Waits (up to a few seconds) for a line the worker writes.
  bool EventuallyLogged(const std::string& text, long number) const {
    for (int i = 0; i < 2000; ++i) {
      if (Logged(text, number)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  std::unique_ptr<VirtualSoundCard> card = std::make_unique<VirtualSoundCard>();
};

}  // namespace qorve::test
