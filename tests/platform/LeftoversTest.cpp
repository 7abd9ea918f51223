#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "platform/AtomicFile.h"
#include "platform/Leftovers.h"
#include "support/TempDir.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;
using test::WriteFile;

bool IsOurs(std::string_view name) { return IsWorkEntryName(name) || IsAtomicWriteTemporaryName(name); }

std::vector<std::string> Names(const std::vector<fs::path>& paths) {
  std::vector<std::string> names;
  for (const auto& path : paths) names.push_back(path.filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Leftovers, RemovesOnlyUnlockedEntriesOfOurPatterns) {
  TTempDir dir;
  WriteFile(dir / ".velkor-tmp-aaaaaa", "half an archive");
  fs::create_directories(dir / ".velkor-tmp-bbbbbb/sub");
  WriteFile(dir / ".velkor-tmp-bbbbbb/sub/a.txt", "x");
  fs::permissions(dir / ".velkor-tmp-bbbbbb/sub", fs::perms::owner_read | fs::perms::owner_exec);
  WriteFile(dir / "config.json.tmp-cccccc", "{");
  WriteFile(dir / ".velkor-tmp-dddddd", "still being written");
  WriteFile(dir / "Gorev_2024-05-01_10-00-00.zip", "a finished backup");
  WriteFile(dir / ".velkor-tmp-toolong", "not our name");
  fs::create_symlink("/", dir / ".velkor-tmp-eeeeee");

  TWorkLock living(dir / ".velkor-tmp-dddddd");
  ASSERT_TRUE(living.Held());
  EXPECT_EQ(Names(RemoveAbandonedWork(dir.Path(), IsOurs)),
            (std::vector<std::string>{".velkor-tmp-aaaaaa", ".velkor-tmp-bbbbbb", "config.json.tmp-cccccc"}));
  for (const char* kept : {".velkor-tmp-dddddd", "Gorev_2024-05-01_10-00-00.zip", ".velkor-tmp-toolong"})
    EXPECT_TRUE(fs::exists(dir / kept)) << kept;
  EXPECT_TRUE(fs::is_symlink(dir / ".velkor-tmp-eeeeee"));

  living.Release();
  EXPECT_EQ(Names(RemoveAbandonedWork(dir.Path(), IsOurs)), (std::vector<std::string>{".velkor-tmp-dddddd"}));
}

TEST(Leftovers, TheLockOfAKilledProcessIsGoneAndAnAtomicWriteInProgressIsKept) {
  TTempDir dir;
  WriteFile(dir / ".velkor-tmp-killed", "");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    TWorkLock lock(dir / ".velkor-tmp-killed");
    const char held = lock.Held() ? '1' : '0';
    [[maybe_unused]] const ssize_t n = ::write(ready[1], &held, 1);
    ::pause();
    ::_exit(0);
  }
  char held = 0;
  ASSERT_EQ(::read(ready[0], &held, 1), 1);
  ASSERT_EQ(held, '1');
  EXPECT_TRUE(RemoveAbandonedWork(dir.Path(), IsWorkEntryName).empty());
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_EQ(RemoveAbandonedWork(dir.Path(), IsWorkEntryName).size(), 1u);

  {
    TAtomicFileWriter writer(dir / "history.json");
    writer.Write("[");
    EXPECT_TRUE(RemoveAbandonedWork(dir.Path(), IsAtomicWriteTemporaryName).empty());
    writer.Write("]");
    writer.Commit();
  }
  EXPECT_EQ(test::ReadFile(dir / "history.json"), "[]");
}

}  // namespace
}  // namespace velkor
