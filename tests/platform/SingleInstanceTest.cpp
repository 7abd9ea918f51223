#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/SingleInstance.h"
#include "support/TempDir.h"

namespace velkor {
namespace {

// flock() locks belong to the open file, so a second guard in the same process competes like a second program.
TEST(SingleInstance, SecondStartIsRefusedAndRaisesTheFirst) {
  test::TTempDir dir;
  const auto lock = dir / "instance.lock";
  TSingleInstanceGuard first(lock);
  ASSERT_TRUE(first.Acquire());
  std::atomic<int> raised{0};
  first.ListenForRaiseRequests([&] { ++raised; });

  TSingleInstanceGuard second(lock);
  EXPECT_FALSE(second.Acquire());
  for (int i = 0; i < 100 && raised == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(raised, 1);
}

TEST(SingleInstance, GuardIsFreeAgainWhenTheHolderEnds) {
  test::TTempDir dir;
  const auto lock = dir / "instance.lock";
  const pid_t child = fork();
  if (child == 0) {
    TSingleInstanceGuard holder(lock);
    _exit(holder.Acquire() ? 0 : 1);  // ends without any clean-up, like a crash
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  TSingleInstanceGuard next(lock);
  EXPECT_TRUE(next.Acquire());
}

}  // namespace
}  // namespace velkor
