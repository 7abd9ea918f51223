#pragma once
// The history page's commands that open windows of their own, as the main window offers them: the details view
// on a double click, and the restore, the mail, the PDF report and "Doğrula" of app/HistoryCommands, each on the
// entry read afresh from the history behind the selected row. GUI thread only.
#include <QWidget>
#include <filesystem>

#include "app/AppCore.h"
#include "app/HistoryCommands.h"
#include "ui/HistoryPage.h"
#include "ui/QtHistoryCommandWindows.h"

namespace velkor {

struct TWindowHistoryServices {
  IAppPrompts& Prompts;
  IClock& Clock;
  IMainThread& MainThread;
  std::filesystem::path RegistryFile;  // empty: the user's (e-mail settings)
};

class TWindowHistoryCommands final : public IHistoryCommands {
public:
  // `window`: the main window, which owns the dialogs and is disabled while a command works.
  TWindowHistoryCommands(QWidget* window, TAppCore& core, const TWindowHistoryServices& services);

  void ShowHistoryDetails(std::optional<int> index) override;
  void RestoreHistoryItem(std::optional<int> index) override;
  void SendHistoryMail(std::optional<int> index) override;
  void ExportHistoryPdf(std::optional<int> index) override;
  void VerifyHistoryItem(std::optional<int> index) override;

  THistoryCommands& Commands() { return FCommands; }
  TQtHistoryCommandWindows& Windows() { return FWindows; }

private:
  // GetSelectedHistoryItem: the entry behind the row, nullopt without a row or when the history has changed.
  std::optional<TBackupHistoryItem> GetSelectedHistoryItem(std::optional<int> index);

  QWidget* FWindow;
  TAppCore& FCore;
  TQtHistoryCommandWindows FWindows;
  THistoryCommands FCommands;
};

}  // namespace velkor
