#pragma once
// A POSIX file descriptor closed on every way out, so an error in the middle of a copy leaks nothing.
#include <unistd.h>

#include <utility>

namespace velkor {

class TFileHandle {
public:
  explicit TFileHandle(int fd = -1) : FFd(fd) {}
  ~TFileHandle() {
    if (FFd >= 0) ::close(FFd);
  }
  TFileHandle(TFileHandle&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}
  TFileHandle& operator=(TFileHandle&& other) noexcept {
    if (this != &other) {
      if (FFd >= 0) ::close(FFd);
      FFd = std::exchange(other.FFd, -1);
    }
    return *this;
  }
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;

  int Get() const { return FFd; }
  bool IsOpen() const { return FFd >= 0; }
  // Closes now and reports the result: a late write error can surface only here.
  int Close() {
    const int result = FFd >= 0 ? ::close(FFd) : 0;
    FFd = -1;
    return result;
  }

private:
  int FFd;
};

}  // namespace velkor
