#pragma once
// velkor-cli's e-mail commands: the settings with the dialog's checks and its test mail, and the mail of one
// history entry. Each takes its arguments as given after the command and returns the exit status.
#include <string>
#include <vector>

namespace velkor {

// email-settings [--server HOST] [--port N] [--tls|--no-tls] [--ssl|--no-ssl] [--user NAME] [--password-stdin]
//                [--from ADDRESS] [--from-name NAME] [--to ADDRESS]... [--enable|--disable] [--test]
int EmailSettingsCommand(const std::vector<std::string>& args);
// history --mail INDEX
int RunHistoryMailCommand(const std::string& index);

}  // namespace velkor
