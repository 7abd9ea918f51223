#pragma once
// Permission bits do not stop a privileged user, and the test machines may run tests as one: faults such as an
// unreadable stored file are made real by running the code under test in a child process that has given up the
// right to ignore them.
#include <functional>
#include <string>

namespace velkor::test {

struct TChildOutcome {
  bool Returned = false;  // the action returned normally; otherwise it threw (or the child failed)
  std::string Text;       // what the action returned, or the message of what it threw
};

// Runs `action` in a forked child without CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH and CAP_FOWNER.
TChildOutcome RunUnprivileged(const std::function<std::string()>& action);

}  // namespace velkor::test
