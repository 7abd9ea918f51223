#include "support/Unprivileged.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>

namespace velkor::test {

namespace {

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

TChildOutcome RunUnprivileged(const std::function<std::string()>& action) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return {false, "pipe"};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeFds[0]);
    if (::geteuid() == 0) {
      __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
      __user_cap_data_struct data[2]{};
      ::syscall(SYS_capget, &header, data);
      for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
        data[cap / 32].effective &= ~(1u << (cap % 32));
      if (::syscall(SYS_capset, &header, data) != 0) ::_exit(3);
    }
    int status = 0;
    std::string text;
    try {
      text = action();
    } catch (const std::exception& e) {
      text = e.what();
      status = 2;
    } catch (...) {
      status = 2;
    }
    WriteAll(pipeFds[1], text);
    ::_exit(status);
  }
  ::close(pipeFds[1]);
  TChildOutcome outcome;
  char buf[4096];
  for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) outcome.Text.append(buf, static_cast<size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  outcome.Returned = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return outcome;
}

}  // namespace velkor::test
