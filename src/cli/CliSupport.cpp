#include "cli/CliSupport.h"

#include <cstdio>

#include "cli/CliPrompts.h"
#include "cli/SignalWatcher.h"
#include "util/StringUtils.h"

namespace velkor {

void PrintError(const std::string& text) {
  std::fputs(TerminalText(text).c_str(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

void ReportDamagedFiles(const TConfigManager& manager) {
  for (const std::string& line : manager.DamageReport()) PrintError("velkor-cli: " + line);
}

std::string HistoryStatusText(const TBackupHistoryItem& item) {
  bool anyFailedFile = false;
  for (const TBackupFileDetail& file : item.Files) anyFailedFile |= !file.Success;
  return HistoryStatusText(item, anyFailedFile);
}

std::string HistoryStatusText(const TBackupHistoryItem& item, bool anyFailedFile) {
  if (item.Success) return PosText("Değişiklik bulunamadı", item.Details) != std::string::npos ? "Bilgi" : "Başarılı";
  if (!anyFailedFile && (item.StorageMode == smCloud || item.StorageMode == smHybrid) &&
      SameText(item.CloudStatus, "Başarısız"))
    return "Cloud Hatası";
  return "Hatalı";
}

bool AskSecret(TTerminalInput& terminal, const std::string& prompt, std::string& value) {
  TSignalWatcher signals([&terminal](int) { terminal.Interrupt(); });
  return terminal.ReadSecret(prompt, value);
}

}  // namespace velkor
