#pragma once
// The application core's view on a terminal: activity log lines on standard output, the progress line on standard
// error when that is a terminal. Everything else the window would draw has no place here.
#include <cstdio>
#include <string>
#include <vector>

#include "app/IAppView.h"

namespace velkor {

class TCliView final : public IAppView {
public:
  // `showProgress`: standard error is a terminal.
  explicit TCliView(bool showProgress);
  ~TCliView() override;

  void AppendLogLines(const std::vector<std::string>& lines) override;
  void SetStatusText(int, const std::string&) override {}
  void SetProgressPosition(int) override {}
  void SetProgressText(const std::string& text) override;
  void ShowRunState(const TRunUiState&) override {}
  void ShowBalloon(const std::string&, const std::string&) override {}
  void RefreshTaskList() override {}
  void RefreshHistoryList() override {}
  void ShowChainCard(const TChainCard&) override {}
  void ShowCapacity(const TCapacityLabels&) override {}

private:
  void ClearProgress();

  bool FShowProgress;
  std::string FProgress;  // the progress line on screen, empty when none
};

}  // namespace velkor
