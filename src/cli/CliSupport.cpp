#include "cli/CliSupport.h"

#include <cstdio>

#include "cli/CliPrompts.h"
#include "cli/SignalWatcher.h"

namespace velkor {

void PrintError(const std::string& text) {
  std::fputs(TerminalText(text).c_str(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

void ReportDamagedFiles(const TConfigManager& manager) {
  for (const std::string& line : manager.DamageReport()) PrintError("velkor-cli: " + line);
}

bool AskSecret(TTerminalInput& terminal, const std::string& prompt, std::string& value) {
  TSignalWatcher signals([&terminal](int) { terminal.Interrupt(); });
  return terminal.ReadSecret(prompt, value);
}

}  // namespace velkor
