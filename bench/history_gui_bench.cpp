// Times what the window's main thread waits for on a long history (default 365 entries of 3,000 files each, about
// a year of daily runs): one entry read for a history command, one run's history entry as the completion queues
// it, and one refresh of the history list.
// Usage: history_gui_bench generate|before|after|miss|item <config folder> [entries] [files-per-entry]
//   generate  writes <config folder>/history.json
//   before    the calls the window made before the history writer: a full read for one entry, a write on the
//             main thread
//   after     the same through the application core: one-entry read, queued write, the list refresh
//   miss      reads through the core once the file has changed behind its index (another process replaced it,
//             or its modification time changed in place), so the cost of the pass that rebuilds the index shows
//   item      one entry read through the core and nothing else, for its peak memory
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "HistoryEntries.h"
#include "app/AppCore.h"
#include "config/ConfigManager.h"

using namespace velkor;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

TBackupHistoryItem MakeEntry(int index, int files) {
  return bench::MakeHistoryEntry(index, files, EncodeDateTime(2024, 1, 1, 2, 0, 0), 1.0);
}

TBackupResultSnapshot MakeSnapshot(int index, int files) {
  const TBackupHistoryItem item = MakeEntry(index, files);
  TBackupResultSnapshot s;
  s.BackupTime = item.BackupTime;
  s.Success = true;
  s.TaskName = item.TaskName;
  s.Message = item.Details;
  s.OutputPath = s.LocalOutputPath = item.OutputPath;
  s.StorageModeText = item.StorageModeText;
  s.SourceFolders = item.SourceFolders;
  s.SourceCount = 1;
  s.FileCount = files;
  s.SuccessfulFiles = item.Files;
  return s;
}

class TQuietView final : public IAppView {
public:
  void AppendLogLines(const std::vector<std::string>& lines) override {
    for (const std::string& line : lines) std::printf("  log: %s\n", line.c_str());
  }
  void SetStatusText(int, const std::string&) override {}
  void SetProgressPosition(int) override {}
  void SetProgressText(const std::string&) override {}
  void ShowRunState(const TRunUiState&) override {}
  void ShowBalloon(const std::string&, const std::string&) override {}
  void RefreshTaskList() override {}
  void RefreshHistoryList() override { ++Refreshes; }
  void ShowChainCard(const TChainCard&) override {}
  void ShowCapacity(const TCapacityLabels&) override {}
  int Refreshes = 0;
};

class TNoPrompts final : public IAppPrompts {
public:
  bool IsInteractive() const override { return false; }
  void ShowMessage(const std::string&, TAppMessageKind) override {}
  bool AskYesNo(const std::string&) override { return false; }
  bool PromptPassword(const std::string&, const std::string&, std::string&) override { return false; }
  bool PromptNewPassword(const std::string&, const std::string&, const std::string&, std::string&) override {
    return false;
  }
  bool PromptText(const std::string&, const std::string&, std::string&) override { return false; }
  bool SelectFolder(const std::string&, std::string&) override { return false; }
  bool SelectOpenFile(const std::string&, const std::string&, std::string&) override { return false; }
  bool SelectSaveFile(const std::string&, const std::string&, std::string&) override { return false; }
};

int Generate(const std::filesystem::path& dir, int entries, int files) {
  TConfigManager manager(dir);
  bench::WriteHistoryFile(manager.HistoryFile(), entries, [files](int i) { return MakeEntry(i, files); });
  std::printf("history.json: %d entries x %d files = %.1f MiB\n", entries, files,
              std::filesystem::file_size(manager.HistoryFile()) / 1048576.0);
  return 0;
}

int Before(const std::filesystem::path& dir, int entries, int files) {
  TConfigManager manager(dir);
  auto t0 = Clock::now();
  {
    std::vector<TBackupHistoryItem> history = manager.LoadHistory();
    const TBackupHistoryItem item = history.at(static_cast<size_t>(entries / 2));
  }
  std::printf("HistoryItem(%d) as a full read:         %8.1f ms\n", entries / 2, Ms(t0));
  t0 = Clock::now();
  manager.AddHistoryItem(MakeEntry(entries, files));
  std::printf("completion's entry written on the spot: %8.1f ms\n", Ms(t0));
  t0 = Clock::now();
  const size_t rows = manager.LoadHistorySummary().size();
  std::printf("list refresh (summary pass, %zu rows):  %8.1f ms\n", rows, Ms(t0));
  return 0;
}

int After(const std::filesystem::path& dir, int entries, int files) {
  TQuietView view;
  TNoPrompts prompts;
  TQueuedMainThread mainThread;
  TAppCoreServices services(view, prompts, SystemClock(), mainThread);
  services.ConfigDirectory = dir;
  services.RegistryFile = dir / "registry.json";
  TAppCore core(services);
  core.LoadConfiguration();

  auto t0 = Clock::now();
  const bool found = core.HistoryItem(entries / 2).has_value();
  std::printf("HistoryItem(%d), the first read:        %8.1f ms%s\n", entries / 2, Ms(t0), found ? "" : " (none!)");

  const TBackupResultSnapshot snapshot = MakeSnapshot(entries, files);
  t0 = Clock::now();
  core.AddHistoryFromSnapshot(snapshot);
  const auto queued = Clock::now();
  std::printf("completion's entry queued:              %8.1f ms\n", Ms(t0));

  t0 = Clock::now();
  size_t rows = core.HistorySummary().size();
  std::printf("list refresh while it is written (%zu):%8.1f ms\n", rows, Ms(t0));
  t0 = Clock::now();
  const bool newest = core.HistoryItem(entries).has_value();
  std::printf("HistoryItem(%d) while it is written:    %8.1f ms%s\n", entries, Ms(t0), newest ? "" : " (none!)");
  t0 = Clock::now();
  const bool older = core.HistoryItem(entries / 2).has_value();
  std::printf("HistoryItem(%d) while it is written:    %8.1f ms%s\n", entries / 2, Ms(t0), older ? "" : " (none!)");

  while (core.HistoryWriteBusy())
    if (mainThread.ProcessPending() == 0) mainThread.WaitForWork(5);
  std::printf("  (the writer thread took %.1f ms for it; %d refresh after it)\n", Ms(queued), view.Refreshes);

  t0 = Clock::now();
  rows = core.HistorySummary().size();
  std::printf("list refresh once written (%zu rows):   %8.1f ms\n", rows, Ms(t0));
  t0 = Clock::now();
  core.HistoryItem(entries / 2);
  std::printf("HistoryItem(%d) again:                  %8.1f ms\n", entries / 2, Ms(t0));

  return found && newest && older ? 0 : 1;
}

int Miss(const std::filesystem::path& dir, int entries) {
  TQuietView view;
  TNoPrompts prompts;
  TQueuedMainThread mainThread;
  TAppCoreServices services(view, prompts, SystemClock(), mainThread);
  services.ConfigDirectory = dir;
  services.RegistryFile = dir / "registry.json";
  TAppCore core(services);
  core.LoadConfiguration();
  auto t0 = Clock::now();
  size_t rows = core.HistorySummary().size();
  std::printf("list refresh at start (%zu rows):       %8.1f ms\n", rows, Ms(t0));
  t0 = Clock::now();
  core.HistoryItem(entries / 2);
  std::printf("HistoryItem(%d):                        %8.1f ms\n", entries / 2, Ms(t0));

  // Another process (the command-line tool) replaces the file.
  const pid_t child = fork();
  if (child == 0) {
    TConfigManager(dir).DeleteHistoryItem(0);
    _exit(0);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || status != 0) return 1;
  t0 = Clock::now();
  const bool found = core.HistoryItem(entries / 2).has_value();
  std::printf("HistoryItem(%d), file replaced:         %8.1f ms%s\n", entries / 2, Ms(t0), found ? "" : " (none!)");
  t0 = Clock::now();
  rows = core.HistorySummary().size();
  std::printf("list refresh after it (%zu rows):       %8.1f ms\n", rows, Ms(t0));

  // Same inode, same size, another modification time.
  const std::filesystem::path file = dir / "history.json";
  std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) - std::chrono::seconds(5));
  t0 = Clock::now();
  rows = core.HistorySummary().size();
  std::printf("list refresh, file touched (%zu rows):  %8.1f ms\n", rows, Ms(t0));
  t0 = Clock::now();
  core.HistoryItem(entries / 2);
  std::printf("HistoryItem(%d) after it:               %8.1f ms\n", entries / 2, Ms(t0));
  return found ? 0 : 1;
}

int Item(const std::filesystem::path& dir, int entries) {
  TQuietView view;
  TNoPrompts prompts;
  TQueuedMainThread mainThread;
  TAppCoreServices services(view, prompts, SystemClock(), mainThread);
  services.ConfigDirectory = dir;
  services.RegistryFile = dir / "registry.json";
  TAppCore core(services);
  core.LoadConfiguration();
  const auto t0 = Clock::now();
  const std::optional<TBackupHistoryItem> item = core.HistoryItem(entries / 2);
  std::printf("HistoryItem(%d) alone:                  %8.1f ms (%zu files)\n", entries / 2, Ms(t0),
              item ? item->Files.size() : 0);
  return item ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: history_gui_bench generate|before|after|miss|item <config folder> [entries] [files]\n");
    return 2;
  }
  const std::filesystem::path dir = argv[2];
  const int entries = argc > 3 ? std::atoi(argv[3]) : 365;
  const int files = argc > 4 ? std::atoi(argv[4]) : 3000;
  if (std::strcmp(argv[1], "generate") == 0) return Generate(dir, entries, files);
  if (std::strcmp(argv[1], "before") == 0) return Before(dir, entries, files);
  if (std::strcmp(argv[1], "after") == 0) return After(dir, entries, files);
  if (std::strcmp(argv[1], "item") == 0) return Item(dir, entries);
  if (std::strcmp(argv[1], "miss") == 0) return Miss(dir, entries);
  return 2;
}
