#pragma once
// The commands of velkor-cli. Each returns the process's exit status: 0 success, 1 a failed or cancelled run or
// command, 2 bad usage (reported on standard error).
#include <optional>
#include <string>

#include "config/BackupModel.h"

namespace velkor {

inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

// Tab-separated lines: name, "yes"/"no", next scheduled run, last successful run ("-" for none).
int RunTasksCommand();
// One manual run of the named task through the queue, completion, history, chain and retention.
int RunBackupCommand(const std::string& taskName, std::optional<TBackupType> type);
// Tab-separated lines, oldest first: number, time, status, task, output ("-" for none).
int RunHistoryCommand();
// The PDF report of the history entry numbered `index` into `file` (replaced when it exists).
int RunHistoryPdfCommand(const std::string& index, const std::string& file);
// The minute timer until SIGINT or SIGTERM.
int RunDaemonCommand();
// One .mbe file to `output`, or to the decrypt tool's name when `output` is empty.
int RunDecryptCommand(const std::string& file, const std::string& output);
struct TRestoreOptions {
  bool SkipExisting = false;  // existing names are left out instead of written as "name (n).ext"
  bool AsOf = false;          // the state of the run from its backup chain, not its one output
  bool DryRun = false;        // with AsOf: the plan only
};
// The history entry numbered `index` (as RunHistoryCommand prints it) into `target`.
int RunRestoreHistoryCommand(const std::string& index, const std::string& target, const TRestoreOptions& options);

}  // namespace velkor
