// Times the history store on a large history: N entries of M file entries each (default 1000 x 1000): the summary
// pass of the history list, a full read, and one addition.
// Usage: history_bench [entries] [files-per-entry]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "HistoryEntries.h"
#include "config/ConfigManager.h"

using namespace velkor;
using Clock = std::chrono::steady_clock;

static double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

static TBackupHistoryItem MakeEntry(int index, int files) {
  return bench::MakeHistoryEntry(index, files, EncodeDateTime(2024, 1, 1, 0, 0, 0), 1.0 / 24.0);
}

int main(int argc, char** argv) {
  const int entries = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int files = argc > 2 ? std::atoi(argv[2]) : 1000;
  const auto dir = std::filesystem::temp_directory_path() / "velkor-history-bench";
  std::filesystem::remove_all(dir);
  TConfigManager manager(dir);

  auto t0 = Clock::now();
  bench::WriteHistoryFile(manager.HistoryFile(), entries, [files](int i) { return MakeEntry(i, files); });
  const double generate = Seconds(t0);
  const auto bytes = std::filesystem::file_size(manager.HistoryFile());

  t0 = Clock::now();
  const auto summary = manager.LoadHistorySummary();
  const double summarize = Seconds(t0);

  t0 = Clock::now();
  const auto items = manager.LoadHistory();
  const double load = Seconds(t0);

  t0 = Clock::now();
  manager.AddHistoryItem(MakeEntry(entries, files));
  const double add = Seconds(t0);

  std::printf("history.json: %d entries x %d files = %.1f MiB (generated in %.2f s)\n", entries, files,
              bytes / 1048576.0, generate);
  std::printf("LoadHistorySummary: %.2f s (%zu entries, %.0f MiB/s)\n", summarize, summary.size(),
              bytes / 1048576.0 / summarize);
  std::printf("LoadHistory:    %.2f s (%zu entries, %.0f MiB/s)\n", load, items.size(), bytes / 1048576.0 / load);
  std::printf("AddHistoryItem: %.2f s (load + append + atomic rewrite)\n", add);
  std::filesystem::remove_all(dir);
  return items.size() == static_cast<size_t>(entries) ? 0 : 1;
}
