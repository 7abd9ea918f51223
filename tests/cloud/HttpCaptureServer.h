#pragma once
// A bare HTTP/1.1 listener on 127.0.0.1 that records exactly what a client puts on the wire (request line, every
// header as sent, the body) and answers with a fixed status and body, one connection after the other, or stays
// silent after reading a request, to show how long the client waits.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "util/StringUtils.h"

namespace velkor::test {

class THttpCaptureServer {
public:
  enum TMode {
    hmAnswer,  // read the request, answer it
    hmSilent,  // read the request, then say nothing until stopped
  };

  struct TRequest {
    std::string RequestLine;
    std::vector<std::pair<std::string, std::string>> Headers;  // as sent, in order
    std::string Body;

    // The value of the header named `name` (letter case ignored), "" when absent.
    std::string Header(const std::string& name) const {
      for (const auto& [key, value] : Headers)
        if (SameText(key, name)) return value;
      return {};
    }
  };

  explicit THttpCaptureServer(TMode mode = hmAnswer, int status = 200, std::string body = "")
      : FMode(mode), FStatus(status), FAnswer(std::move(body)) {
    FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (FListener < 0 || ::bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(FListener, 8) != 0 || ::getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("capture server: cannot listen");
    FPort = ntohs(address.sin_port);
    FThread = std::thread([this] { Serve(); });
  }
  ~THttpCaptureServer() {
    FStop = true;
    FThread.join();
    ::close(FListener);
  }
  THttpCaptureServer(const THttpCaptureServer&) = delete;
  THttpCaptureServer& operator=(const THttpCaptureServer&) = delete;

  int Port() const { return FPort; }
  std::string Endpoint() const { return "http://127.0.0.1:" + std::to_string(FPort); }

  std::vector<TRequest> Requests() const {
    std::lock_guard lock(FMutex);
    return FRequests;
  }
  // Waits until `count` requests have been read whole (headers and body).
  bool WaitForRequests(size_t count, std::chrono::seconds timeout) {
    std::unique_lock lock(FMutex);
    return FChanged.wait_for(lock, timeout, [&] { return FRequests.size() >= count; });
  }

private:
  // Waits up to 100 ms for the descriptor to become readable; false when it did not (or the server stops).
  bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return !FStop && ::poll(&p, 1, 100) > 0;
  }

  void Serve() {
    while (!FStop) {
      if (!Readable(FListener)) continue;
      const int client = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      Handle(client);
      ::close(client);
    }
  }

  // Reads into `data` until it holds at least `size` bytes; false when the client went away or the server stops.
  bool ReadUntil(int client, std::string& data, size_t size) {
    char buffer[65536];
    while (data.size() < size) {
      if (!Readable(client)) {
        if (FStop) return false;
        continue;
      }
      const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) return false;
      data.append(buffer, static_cast<size_t>(n));
    }
    return true;
  }

  void Handle(int client) {
    std::string data;
    size_t end;
    while ((end = data.find("\r\n\r\n")) == std::string::npos)
      if (!ReadUntil(client, data, data.size() + 1)) return;
    TRequest request;
    const std::vector<std::string> lines = SplitString(data.substr(0, end), '\n');
    request.RequestLine = Trim(lines.front());
    size_t length = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
      const size_t colon = lines[i].find(':');
      if (colon == std::string::npos) continue;
      request.Headers.emplace_back(lines[i].substr(0, colon), Trim(lines[i].substr(colon + 1)));
      if (SameText(request.Headers.back().first, "Content-Length")) length = std::stoul(request.Headers.back().second);
    }
    std::string body = data.substr(end + 4);
    if (!ReadUntil(client, body, length)) return;
    request.Body = std::move(body);
    {
      std::lock_guard lock(FMutex);
      FRequests.push_back(std::move(request));
    }
    FChanged.notify_all();
    if (FMode == hmSilent) {
      while (!FStop) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return;
    }
    const std::string answer = "HTTP/1.1 " + std::to_string(FStatus) +
                               " Status\r\nContent-Length: " + std::to_string(FAnswer.size()) +
                               "\r\nConnection: close\r\n\r\n" + FAnswer;
    (void)!::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
  }

  TMode FMode;
  int FStatus;
  std::string FAnswer;
  int FListener = -1;
  int FPort = 0;
  std::atomic<bool> FStop{false};
  mutable std::mutex FMutex;
  std::condition_variable FChanged;
  std::vector<TRequest> FRequests;
  std::thread FThread;
};

}  // namespace velkor::test
