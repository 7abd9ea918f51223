#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "cli/TerminalInput.h"

namespace velkor {
namespace {

using namespace std::chrono_literals;

// Everything the terminal shows within `timeout` (or until it shows `until`).
std::string ReadShown(int master, std::chrono::milliseconds timeout, const std::string& until = {}) {
  std::string shown;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline && (until.empty() || shown.find(until) == std::string::npos)) {
    pollfd fd{master, POLLIN, 0};
    if (::poll(&fd, 1, 20) <= 0) continue;
    char buffer[256];
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) break;
    shown.append(buffer, static_cast<size_t>(n));
  }
  return shown;
}

// The secret prompt on a real pseudo-terminal. The terminal's output is held while the prompt is written, so the
// prompt cannot have reached the screen yet: echo must already be off at that moment, or whatever the user types
// as soon as it appears would be shown (or thrown away by a late switch).
TEST(TerminalInput, EchoIsOffBeforeThePromptShowsAndTypedAheadInputIsKept) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  int answer[2];
  ASSERT_EQ(::pipe(answer), 0);
  ASSERT_EQ(::tcflow(slave, TCOOFF), 0);

  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(slave, STDIN_FILENO);
    ::dup2(slave, STDERR_FILENO);
    TTerminalInput terminal;
    std::string value;
    const bool read = terminal.ReadSecret("Parola:", value);
    const std::string reply = (read ? "1" : "0") + value;
    [[maybe_unused]] const ssize_t n = ::write(answer[1], reply.data(), reply.size());
    ::_exit(0);
  }

  bool echoOff = false;
  for (int i = 0; i < 150 && !echoOff; ++i) {
    termios state{};
    ASSERT_EQ(::tcgetattr(slave, &state), 0);
    echoOff = (state.c_lflag & ECHO) == 0;
    if (!echoOff) std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(echoOff) << "echo was still on while the prompt was being written";
  ASSERT_EQ(::tcflow(slave, TCOON), 0);
  const std::string prompt = ReadShown(master, 5s, "Parola:");
  EXPECT_NE(prompt.find("Parola:"), std::string::npos) << prompt;
  // Typed the moment the prompt shows.
  ASSERT_EQ(::write(master, "gizli-42\n", 9), 9);

  // A prompt that threw the typed line away would wait for input for ever.
  int status = 0;
  pid_t ended = 0;
  for (int i = 0; i < 250 && ended == 0; ++i) {
    ended = ::waitpid(child, &status, WNOHANG);
    if (ended == 0) std::this_thread::sleep_for(20ms);
  }
  if (ended == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    ADD_FAILURE() << "the line typed right after the prompt was not read";
  }
  EXPECT_EQ(ReadShown(master, 200ms).find("gizli"), std::string::npos) << "the secret was echoed";
  char reply[64] = {};
  ::close(answer[1]);
  const ssize_t got = ::read(answer[0], reply, sizeof reply - 1);
  EXPECT_EQ(std::string(reply, got > 0 ? static_cast<size_t>(got) : 0), "1gizli-42");
  termios after{};
  ASSERT_EQ(::tcgetattr(slave, &after), 0);
  EXPECT_NE(after.c_lflag & ECHO, 0u) << "echo comes back after the read";
  ::close(answer[0]);
  ::close(slave);
  ::close(master);
}

}  // namespace
}  // namespace velkor
