#pragma once
// The `restore INDEX TARGET [--skip]` command of velkor-cli: the restore flow of the window without its dialogs.
// It makes the same refusals (no target, a target that is one of the entry's source folders, encrypted content
// without a password), runs the analysis and prints its figures, then restores with rename (or skip) and prints
// the outcome line the window logs. There is no confirmation question: the command line is the confirmation.
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "config/BackupModel.h"
#include "config/HistoryItem.h"
#include "platform/Clock.h"

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

// Prints the analysis figures and the outcome to `out`, refusals and failures to `err`. Returns 0 after a
// successful restore, 1 after a refusal or a failure.
int RunRestoreCommand(const TBackupHistoryItem& item, const TBackupConfig& config, const std::string& targetFolder,
                      bool skipExisting, const TRestorePasswordSource& passwordSource, std::ostream& out,
                      std::ostream& err, IClock& clock = SystemClock());

}  // namespace velkor
