#include "cli/TerminalInput.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace velkor {

namespace {

// Echo off for the life of the object; the terminal's settings come back however the read ends.
class TEchoOff {
public:
  TEchoOff() {
    if (::tcgetattr(STDIN_FILENO, &FSaved) != 0) return;
    termios quiet = FSaved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    // At once and without discarding input: what the user types or pastes as soon as the prompt shows is the
    // answer.
    FActive = ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
  }
  ~TEchoOff() {
    if (FActive) ::tcsetattr(STDIN_FILENO, TCSANOW, &FSaved);
  }
  TEchoOff(const TEchoOff&) = delete;
  TEchoOff& operator=(const TEchoOff&) = delete;

private:
  termios FSaved{};
  bool FActive = false;
};

}  // namespace

TTerminalInput::TTerminalInput() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    FWakeRead = fds[0];
    FWakeWrite = fds[1];
  }
}

TTerminalInput::~TTerminalInput() {
  if (FWakeRead >= 0) ::close(FWakeRead);
  if (FWakeWrite >= 0) ::close(FWakeWrite);
}

bool TTerminalInput::IsTerminal() const { return ::isatty(STDIN_FILENO) == 1; }

bool TTerminalInput::ReadSecret(const std::string& prompt, std::string& value) {
  value.clear();
  if (!IsTerminal()) return false;
  bool read;
  {
    // Echo goes off before the prompt shows, so nothing typed after it appears can be echoed.
    TEchoOff echoOff;
    std::fputs(prompt.c_str(), stderr);
    std::fputc(' ', stderr);
    std::fflush(stderr);
    read = ReadLineInterruptibly(value);
  }
  if (!read) std::fputc('\n', stderr);
  return read;
}

bool TTerminalInput::ReadLine(std::string& value) {
  value.clear();
  return ReadLineInterruptibly(value);
}

void TTerminalInput::Interrupt() {
  FInterrupted = true;
  if (FWakeWrite >= 0) {
    [[maybe_unused]] const ssize_t n = ::write(FWakeWrite, "x", 1);
  }
}

bool TTerminalInput::ReadLineInterruptibly(std::string& value) {
  // Byte by byte, so nothing after the line is taken from the input that a later read may need.
  for (;;) {
    if (FInterrupted) return false;
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {FWakeRead, POLLIN, 0}};
    const int ready = ::poll(fds, FWakeRead >= 0 ? 2 : 1, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (fds[1].revents & POLLIN) != 0) return false;
    char c;
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return !value.empty();
    if (c == '\n') break;
    value += c;
  }
  if (!value.empty() && value.back() == '\r') value.pop_back();
  return true;
}

}  // namespace velkor
