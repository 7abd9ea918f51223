#include "ui/WindowHistoryCommands.h"

#include <QStandardPaths>

#include "ui/HistoryDetailDialog.h"
#include "ui/HistoryPdfExport.h"
#include "ui/UiStyle.h"

namespace velkor {

namespace {

THistoryCommandServices CommandServices(TAppCore& core, const TWindowHistoryServices& s,
                                        IHistoryCommandWindows& windows) {
  THistoryCommandServices services{core, s.Prompts, windows, s.MainThread, s.Clock, {}, {}, s.RegistryFile};
  services.ExportPdf = [](const std::filesystem::path& file, const TBackupHistoryItem& item) {
    ExportHistoryItemToPdf(file, item);
  };
  services.SaveFolder = Std(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
  return services;
}

}  // namespace

TWindowHistoryCommands::TWindowHistoryCommands(QWidget* window, TAppCore& core, const TWindowHistoryServices& services)
    : FWindow(window),
      FCore(core),
      FWindows(window, services.Prompts, services.Clock),
      FCommands(CommandServices(core, services, FWindows)) {}

std::optional<TBackupHistoryItem> TWindowHistoryCommands::GetSelectedHistoryItem(std::optional<int> index) {
  return index ? FCore.HistoryItem(*index) : std::nullopt;
}

void TWindowHistoryCommands::ShowHistoryDetails(std::optional<int> index) {
  const std::optional<TBackupHistoryItem> item = GetSelectedHistoryItem(index);
  if (!item) return;
  ShowHistoryDetailDialog(FWindow, *item, [this](const std::string& line) { FCore.AddLog(line); });
}

void TWindowHistoryCommands::RestoreHistoryItem(std::optional<int> index) {
  FCommands.mnuHistoryRestoreClick(GetSelectedHistoryItem(index));
}

void TWindowHistoryCommands::SendHistoryMail(std::optional<int> index) {
  FCommands.mnuHistorySendMailClick(GetSelectedHistoryItem(index));
}

void TWindowHistoryCommands::ExportHistoryPdf(std::optional<int> index) {
  FCommands.mnuHistoryExportPdfClick(GetSelectedHistoryItem(index));
}

void TWindowHistoryCommands::VerifyHistoryItem(std::optional<int> index) {
  FCommands.mnuHistoryVerifyClick(GetSelectedHistoryItem(index));
}

}  // namespace velkor
