#pragma once
// Small pieces the commands of velkor-cli share: error lines, the damage report of the stored files, the history
// list's status text and a password read that Ctrl+C ends cleanly.
#include <string>

#include "cli/TerminalInput.h"
#include "config/ConfigManager.h"

namespace velkor {

// One line on standard error, "\r\n" breaks made terminal line breaks.
void PrintError(const std::string& text);

// A stored file read from damage is named on standard error with where its copy was kept; otherwise its missing
// tasks or entries would look like none at all.
void ReportDamagedFiles(const TConfigManager& manager);

// A password read on the terminal where Ctrl+C ends the prompt as cancelled, with the terminal's echo restored,
// instead of ending the process with echo still off.
bool AskSecret(TTerminalInput& terminal, const std::string& prompt, std::string& value);

}  // namespace velkor
