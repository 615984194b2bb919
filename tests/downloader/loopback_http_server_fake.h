// A small HTTP server on 127.0.0.1 for the downloader's tests: it serves the
// files of one folder under "/archiver/lib/" and answers 404 for the rest.
#pragma once

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qorve::test {

class LoopbackHttpServer {
 public:
  // Each answer is held back `delayMs` (a slow site). Without `sendLength`
  // the answers carry no Content-Length and end when the connection closes.
  explicit LoopbackHttpServer(std::filesystem::path folder, int delayMs = 0, bool sendLength = true);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  // "127.0.0.1:<port>", usable as a host setting.
  std::string Host() const;
  // Request paths in the order they came.
  std::vector<std::string> Requests() const;

 private:
  void Serve();
  void Answer(int connection);

  std::filesystem::path folder_;
  int listener_ = -1;
  int port_ = 0;
  int delayMs_ = 0;
  bool sendLength_ = true;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace qorve::test
