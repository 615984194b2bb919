// The record the installation worker writes and the dialog's 25 ms timer
// reads. Numbers are atomics; the status text is behind `statusMutex`. Any
// thread may read; only the worker writes, except `cancel`, which the dialog
// sets when the user closes it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace qorve {

constexpr int kLibraryCount = 12;

struct InstallState {
  std::atomic<uint64_t> downloadTotal{0};     // content length of the current download (0: not sent)
  std::atomic<uint64_t> downloadReceived{0};  // bytes of it received so far
  std::atomic<uint32_t> startTime{0};         // TimeGetTime() when the libraries began
  std::atomic<uint32_t> estimate{0};          // estimated total time in ms, 0 = not yet known
  std::atomic<int> reserved{0};
  std::atomic<int> count{0};                  // libraries processed, 0..kLibraryCount
  std::atomic<bool> cancel{false};            // the user closed the dialog: stop soon

  void SetStatus(std::string text) {
    std::lock_guard lock(statusMutex);
    status = std::move(text);
  }
  std::string Status() const {
    std::lock_guard lock(statusMutex);
    return status;
  }

 private:
  mutable std::mutex statusMutex;
  std::string status;
};

}  // namespace qorve
