#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/AppPaths.h"

namespace velkor {

namespace {

// An abstract-namespace socket named after the lock file: no file to clean up, no path-length limit.
sockaddr_un RaiseAddress(const std::filesystem::path& lockFile, socklen_t& length) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string name =
      "velkor-" + std::to_string(getuid()) + "-" + std::to_string(std::hash<std::string>{}(lockFile.string()));
  addr.sun_path[0] = '\0';
  std::memcpy(addr.sun_path + 1, name.data(), name.size());
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  return addr;
}

void AskRunningInstanceToRaise(const std::filesystem::path& lockFile) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  socklen_t length;
  const sockaddr_un addr = RaiseAddress(lockFile, length);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0) {
    const char request[] = "raise\n";
    [[maybe_unused]] ssize_t n = ::write(fd, request, sizeof request - 1);
  }
  ::close(fd);
}

}  // namespace

TSingleInstanceGuard::TSingleInstanceGuard(std::filesystem::path lockFile)
    : FLockFile(lockFile.empty() ? GetAppDataRoot() / "QeltBackup" / "instance.lock" : std::move(lockFile)) {}

TSingleInstanceGuard::~TSingleInstanceGuard() {
  StopListening();
  if (FLockFd >= 0) ::close(FLockFd);
}

bool TSingleInstanceGuard::Acquire() {
  if (FLockFd >= 0) return true;
  std::error_code ec;
  std::filesystem::create_directories(FLockFile.parent_path(), ec);
  const int fd = ::open(FLockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return true;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    AskRunningInstanceToRaise(FLockFile);
    return false;
  }
  FLockFd = fd;
  return true;
}

void TSingleInstanceGuard::ListenForRaiseRequests(std::function<void()> onRaise) {
  if (FLockFd < 0 || FListener.joinable()) return;
  FListenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (FListenFd < 0) return;
  socklen_t length;
  const sockaddr_un addr = RaiseAddress(FLockFile, length);
  if (::bind(FListenFd, reinterpret_cast<const sockaddr*>(&addr), length) != 0 || ::listen(FListenFd, 4) != 0) {
    ::close(FListenFd);
    FListenFd = -1;
    return;
  }
  FListener = std::thread([this, onRaise = std::move(onRaise)] {
    while (!FStopping) {
      pollfd p{FListenFd, POLLIN, 0};
      if (::poll(&p, 1, 200) <= 0) continue;
      const int client = ::accept4(FListenFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      char buf[16];
      pollfd c{client, POLLIN, 0};
      const bool asked = ::poll(&c, 1, 1000) > 0 && ::read(client, buf, sizeof buf) > 0;
      ::close(client);
      if (asked && !FStopping) onRaise();
    }
  });
}

void TSingleInstanceGuard::StopListening() {
  FStopping = true;
  if (FListener.joinable()) FListener.join();
  if (FListenFd >= 0) ::close(FListenFd);
  FListenFd = -1;
}

}  // namespace velkor
