#include "loopback_http_server_fake.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

namespace qorve::test {
namespace {

constexpr std::string_view kPrefix = "/archiver/lib/";

std::string PercentDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

void SendAll(int socket, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer(std::filesystem::path folder, int delayMs, bool sendLength)
    : folder_(std::move(folder)), delayMs_(delayMs), sendLength_(sendLength) {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener_, 16);
  socklen_t length = sizeof address;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  stopping_ = true;
  thread_.join();
  close(listener_);
}

std::string LoopbackHttpServer::Host() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> LoopbackHttpServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void LoopbackHttpServer::Serve() {
  while (!stopping_) {
    pollfd waiting{listener_, POLLIN, 0};
    if (poll(&waiting, 1, 20) <= 0) continue;
    const int connection = accept(listener_, nullptr, nullptr);
    if (connection < 0) continue;
    Answer(connection);
    close(connection);
  }
}

void LoopbackHttpServer::Answer(int connection) {
  std::string request;
  char buffer[2048];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
    pollfd readable{connection, POLLIN, 0};
    if (poll(&readable, 1, 2000) <= 0) return;
    const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  std::istringstream line(request.substr(0, request.find("\r\n")));
  std::string method, path;
  line >> method >> path;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(path);
  }
  std::string body;
  bool found = false;
  if (method == "GET" && path.starts_with(kPrefix)) {
    const std::string name = PercentDecode(path.substr(kPrefix.size()));
    const std::filesystem::path file = folder_ / name;
    if (name.find('/') == std::string::npos && std::filesystem::is_regular_file(file)) {
      std::ifstream in(file, std::ios::binary);
      body.assign(std::istreambuf_iterator<char>(in), {});
      found = true;
    }
  }
  if (!found) body = "<html>not here</html>";
  if (delayMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
  const std::string length = sendLength_ ? "\r\nContent-Length: " + std::to_string(body.size()) : "";
  SendAll(connection, std::string(found ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found") + length +
                          "\r\nConnection: close\r\n\r\n" + body);
}

}  // namespace qorve::test
