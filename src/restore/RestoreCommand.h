#pragma once
// The `restore INDEX TARGET [--skip]` command of velkor-cli: the restore flow of the window without its dialogs.
// It makes the same refusals (no target, a target that is one of the entry's source folders, encrypted content
// without a password), runs the analysis and prints its figures, then restores with rename (or skip) and prints
// the outcome line the window logs. There is no confirmation question: the command line is the confirmation.
// With --as-of it restores the entry's state from its backup chain instead (ChainRestore.h), printing the plan
// first and what each output gave at the end; --dry-run prints the plan alone.
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "config/BackupModel.h"
#include "config/HistoryItem.h"
#include "platform/Clock.h"
#include "restore/ChainRestore.h"

namespace velkor {

// Where the password of encrypted content comes from: the stored encryption password when there is one, else the
// prompt (which the front end asks without echo; it returns "" when nothing was entered or there is no terminal).
struct TRestorePasswordSource {
  std::string StoredPassword;
  std::function<std::string()> Prompt;
};

// The entry's non-blank source folders; when it names none, those of the task with the entry's task name (letter
// case ignored); empty when there is no such task.
std::vector<std::string> GetRestoreSourceFolders(const TBackupHistoryItem& item, const TBackupConfig& config);
// Both paths made full, trailing separators dropped, compared without regard to letter case.
bool IsSameFolder(const std::string& a, const std::string& b);

// "Geri yükleme tamamlandı: %d dosya geri yüklendi, %d dosya atlandı.", the outcome line of a restore.
std::string RestoreCompletedLogLine(int32_t restored, int32_t skipped);

// Prints the analysis figures and the outcome to `out`, refusals and failures to `err`. Returns 0 after a
// successful restore, 1 after a refusal or a failure.
int RunRestoreCommand(const TBackupHistoryItem& item, const TBackupConfig& config, const std::string& targetFolder,
                      bool skipExisting, const TRestorePasswordSource& passwordSource, std::ostream& out,
                      std::ostream& err, IClock& clock = SystemClock());

// The --as-of form: the plan (which outputs, in which order), then, unless `dryRun`, the same refusals, the
// analysis figures, the restore of the chain and its summary. `callbacks` carry the progress line and the cancel
// of the front end. Returns 0 after a successful restore or a plan printed for `dryRun`, 1 after a refusal, a
// failure or a cancel.
int RunChainRestoreCommand(const TBackupHistoryItem& item, const TBackupConfig& config,
                           const std::vector<TBackupHistoryItem>& history, const std::string& targetFolder,
                           bool skipExisting, bool dryRun, const TRestorePasswordSource& passwordSource,
                           const TChainRestoreCallbacks& callbacks, std::ostream& out, std::ostream& err,
                           IClock& clock = SystemClock());

}  // namespace velkor
