// A MIDI port system for tests: named ports that record every message sent
// to them, with the time it arrived.
#pragma once

#include "platform/midi/midi_out.h"

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

namespace qorve::test {

struct ReceivedMessage {
  std::size_t port;
  std::vector<uint8_t> bytes;
  std::chrono::steady_clock::time_point at;
};

class RecordingMidiPorts final : public MidiPortSystem {
 public:
  explicit RecordingMidiPorts(std::vector<std::string> names) : names_(std::move(names)) {}

  std::vector<std::string> OutputPorts() override { return names_; }

  std::unique_ptr<MidiPortConnection> Connect(std::size_t index, MMRESULT& error) override {
    if (index >= names_.size()) {
      error = MMSYSERR_BADDEVICEID;
      return nullptr;
    }
    std::lock_guard lock(mutex_);
    ++connections_;
    return std::make_unique<Connection>(*this, index);
  }

  std::vector<ReceivedMessage> Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  std::vector<std::vector<uint8_t>> BytesSentTo(std::size_t port) {
    std::vector<std::vector<uint8_t>> out;
    for (const ReceivedMessage& message : Messages()) {
      if (message.port == port) out.push_back(message.bytes);
    }
    return out;
  }
  int Connections() {
    std::lock_guard lock(mutex_);
    return connections_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
  }

 private:
  class Connection final : public MidiPortConnection {
   public:
    Connection(RecordingMidiPorts& owner, std::size_t port) : owner_(owner), port_(port) {}
    MMRESULT Send(const uint8_t* bytes, std::size_t count) override {
      std::lock_guard lock(owner_.mutex_);
      owner_.messages_.push_back({port_, std::vector<uint8_t>(bytes, bytes + count), std::chrono::steady_clock::now()});
      return MMSYSERR_NOERROR;
    }

   private:
    RecordingMidiPorts& owner_;
    std::size_t port_;
  };

  std::vector<std::string> names_;
  std::mutex mutex_;
  std::vector<ReceivedMessage> messages_;
  int connections_ = 0;
};

}  // namespace qorve::test
