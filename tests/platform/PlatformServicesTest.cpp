#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <thread>

#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/MainThread.h"
#include "platform/Startup.h"
#include "support/TempDir.h"
#include "util/Error.h"

namespace velkor {
namespace {

using test::TScopedEnv;
using test::TTempDir;

TEST(AppPaths, AppDataThenXdgThenHome) {
  TScopedEnv home("HOME", "/home/ayse");
  {
    TScopedEnv appData("APPDATA", "/data/app");
    TScopedEnv xdg("XDG_CONFIG_HOME", "/xdg");
    EXPECT_EQ(GetConfigDirectory(), "/data/app/Pardex");
    EXPECT_EQ(GetRegistryFile(), "/data/app/QeltBackup/registry.json");
    EXPECT_EQ(GetAutostartDirectory(), "/xdg/autostart");
  }
  TScopedEnv appData("APPDATA", std::nullopt);
  {
    TScopedEnv xdg("XDG_CONFIG_HOME", "/xdg");
    EXPECT_EQ(GetConfigDirectory(), "/xdg/Pardex");
  }
  TScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_EQ(GetConfigDirectory(), "/home/ayse/.config/Pardex");
  EXPECT_EQ(GetAutostartDirectory(), "/home/ayse/.config/autostart");
}

TEST(Startup, EntryStartsTheProgramInTheTrayAndIsRemoved) {
  TTempDir dir;
  TScopedEnv xdg("XDG_CONFIG_HOME", dir.Path().string());
  RegisterStartWithSession("/opt/Velkor Yedek/velkor");
  const std::string entry = test::ReadFile(dir / "autostart" / "velkor.desktop");
  EXPECT_NE(entry.find("[Desktop Entry]\n"), std::string::npos);
  EXPECT_NE(entry.find("Exec=\"/opt/Velkor Yedek/velkor\" /tray\n"), std::string::npos);
  UnregisterStartWithSession();
  EXPECT_FALSE(std::filesystem::exists(dir / "autostart" / "velkor.desktop"));
  UnregisterStartWithSession();  // nothing to remove: still silent
}

TEST(Startup, UnwritableAutostartFolderIsSilent) {
  TTempDir dir;
  test::WriteFile(dir / "autostart", "a file where the folder should be");
  TScopedEnv xdg("XDG_CONFIG_HOME", dir.Path().string());
  EXPECT_NO_THROW(RegisterStartWithSession("/usr/bin/velkor"));
}

TEST(AtomicFile, UncommittedWriteLeavesTheOldFileAndNoTemporary) {
  TTempDir dir;
  const auto target = dir / "config.json";
  test::WriteFile(target, "old");
  {
    TAtomicFileWriter writer(target);
    writer.Write("half of the new");
  }  // destroyed without Commit, as when serialisation throws half-way
  EXPECT_EQ(test::ReadFile(target), "old");
  WriteFileAtomic(target, std::string(600000, 'x'));  // larger than the write buffer
  EXPECT_EQ(test::ReadFile(target).size(), 600000u);
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 1);
}

TEST(AtomicFile, MissingFolderAndFullDiskAreReportedWithTheSystemMessage) {
  TTempDir dir;
  try {
    WriteFileAtomic(dir / "missing" / "config.json", "{}");
    FAIL() << "expected an error";
  } catch (const EVelkorError& e) {
    EXPECT_NE(std::string(e.what()).find("config.json"), std::string::npos);
  }
}

TEST(AtomicFile, FullDiskFailsLoudlyAndKeepsTheOldFile) {
  TTempDir dir;
  const auto target = dir / "history.json";
  test::WriteFile(target, "old");
  // A file-size limit makes write() fail the way a full disk does (EFBIG instead of ENOSPC).
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_THROW(WriteFileAtomic(target, std::string(600000, 'x')), EVelkorError);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(test::ReadFile(target), "old");
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 1);
}

TEST(MainThread, WorkerInvokeRunsOnTheMainThreadAndWaits) {
  TQueuedMainThread main;
  std::atomic<bool> ranOnMain{false};
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    main.Invoke([&] { ranOnMain = main.IsMainThread(); });
    returned = true;
  });
  while (!returned) {
    main.WaitForWork(100);
    main.ProcessPending();
  }
  worker.join();
  EXPECT_TRUE(ranOnMain);
}

TEST(MainThread, InvokeRethrowsTheHandlersErrorToTheWorker) {
  TQueuedMainThread main;
  std::atomic<bool> caught{false};
  std::atomic<bool> done{false};
  std::thread worker([&] {
    try {
      main.Invoke([] { throw EVelkorError("boom"); });
    } catch (const EVelkorError&) {
      caught = true;
    }
    done = true;
  });
  while (!done) {
    main.WaitForWork(100);
    main.ProcessPending();
  }
  worker.join();
  EXPECT_TRUE(caught);
}

}  // namespace
}  // namespace velkor
