#pragma once
// The commands of velkor-cli that create, change and show tasks and settings, store the encryption password and
// verify a backup's output. Exit status as in CliCommands.h: refused input is 2 and leaves every stored file as it
// was. A command that writes refuses to start while the window, a run or the daemon holds the program's
// single-instance lock, as that program would later write its own copy of the configuration over the change.
#include <string>
#include <vector>

namespace velkor {

// task add|set|schedule|show|rename|copy|remove ...
int RunTaskCommand(const std::vector<std::string>& args);
// Without options the general settings; with options they are changed and saved as the window's settings page does.
int RunSettingsCommand(const std::vector<std::string>& args);
// password set|clear: the stored encryption password.
int RunPasswordCommand(const std::vector<std::string>& args);
// verify INDEX: the history entry's output against the checksum its run recorded.
int RunVerifyCommand(const std::vector<std::string>& args);
// tasks --json, history --json: the lists for scripts, with stable field names.
int RunTasksJsonCommand();
int RunHistoryJsonCommand();

}  // namespace velkor
