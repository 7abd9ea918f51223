#pragma once
// The main window: a view of the application core. It implements IAppView, draws what the core computes and
// forwards the user's commands to TAppCore; no backup rule lives here. GUI thread only.
#include <QWidget>
#include <memory>

#include "app/AppCore.h"

class QPlainTextEdit;

namespace velkor {

struct TMainFormServices {
  IAppPrompts& Prompts;
  IClock& Clock;
  IMainThread& MainThread;
  std::filesystem::path ConfigDirectory;  // empty: the user's
  std::filesystem::path RegistryFile;     // empty: the user's
};

class TfrmMain final : public QWidget, public IAppView {
  Q_OBJECT
public:
  explicit TfrmMain(const TMainFormServices& services, QWidget* parent = nullptr);
  ~TfrmMain() override;

  TAppCore& Core() { return *FCore; }

  // IAppView
  void AppendLogLines(const std::vector<std::string>& lines) override;
  void SetStatusText(int, const std::string&) override {}
  void SetProgressPosition(int) override {}
  void SetProgressText(const std::string&) override {}
  void ShowRunState(const TRunUiState&) override {}
  void ShowBalloon(const std::string&, const std::string&) override {}
  void RefreshTaskList() override {}
  void RefreshHistoryList() override {}
  void ShowChainCard(const TChainCard&) override {}
  void ShowCapacity(const TCapacityLabels&) override {}

private:
  QPlainTextEdit* memoLog;
  std::unique_ptr<TAppCore> FCore;
};

}  // namespace velkor
