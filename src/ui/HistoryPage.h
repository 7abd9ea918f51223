#pragma once
// The "Geçmiş" page: the history list lvHistory with a row per history entry (cells, colours and pictures computed
// in app/HistoryList) and its popup menu pmHistory. Deleting an entry and clearing the history go to the core; the
// other commands open dialogs of their own through IHistoryCommands. GUI thread only.
#include <QIcon>
#include <QWidget>
#include <array>
#include <optional>

#include "app/AppCore.h"

class QAction;
class QMenu;
class QTableWidget;

namespace velkor {

// The history commands that open dialogs of their own. Each gets the history index of the selected row, or
// nullopt when no row is selected (the command then says so itself).
class IHistoryCommands {
public:
  virtual ~IHistoryCommands() = default;
  virtual void ShowHistoryDetails(std::optional<int> index) = 0;  // double click
  virtual void RestoreHistoryItem(std::optional<int> index) = 0;  // "Geri yükle"
  virtual void SendHistoryMail(std::optional<int> index) = 0;     // "Log Dosyasını Mail Gönder"
  virtual void ExportHistoryPdf(std::optional<int> index) = 0;    // "Log Dosyasını PDF Olarak Kaydet"
  virtual void VerifyHistoryItem(std::optional<int> index) = 0;   // "Doğrula"
};

class THistoryPage final : public QWidget {
  Q_OBJECT
public:
  THistoryPage(TAppCore& core, QWidget* parent = nullptr);

  // Until commands are set, their menu items stay disabled and a double click does nothing.
  void SetCommands(IHistoryCommands* commands);

  // Reloads the list from history.json.
  void RefreshHistoryList();
  // The history index of the selected row (the focused one when none is selected).
  std::optional<int> GetSelectedHistoryIndex() const;

  void lvHistoryDblClick();
  void mnuHistoryDeleteClick();
  void LogGemiiniTemizle1Click();

private:
  void Run(void (IHistoryCommands::*command)(std::optional<int>));

  TAppCore& FCore;
  IHistoryCommands* FCommands = nullptr;
  std::array<QIcon, 3> FStatusImages;  // by THistoryPicture
  QTableWidget* lvHistory;
  QMenu* pmHistory;
  QAction* mnuHistoryRestore;
  QAction* mnuHistoryDelete;
  QAction* mnuHistorySendMail;
  QAction* mnuHistoryExportPdf;
  QAction* mnuHistoryVerify;
  QAction* mnuHistoryClear;
};

}  // namespace velkor
