#pragma once
// The history commands' own windows in the window: the restore wizard and the wait window over the main window,
// which stays disabled while the wait window is up. GUI thread only.
#include <QPointer>
#include <memory>

#include "app/HistoryCommands.h"
#include "ui/WaitForm.h"

namespace velkor {

class TQtHistoryCommandWindows final : public IHistoryCommandWindows {
public:
  // `owner`: the main window. The wizard's folder picker goes through `prompts`.
  TQtHistoryCommandWindows(QWidget* owner, IAppPrompts& prompts, IClock& clock)
      : FOwner(owner), FPrompts(prompts), FClock(clock) {}
  ~TQtHistoryCommandWindows() override;

  bool ExecuteRestoreWizard(const TBackupHistoryItem& item, bool showPassword, const std::string& password,
                            const std::string& asOfCaption, TRestoreWizardOptions& options) override;
  void ShowWaitWindow(const TWaitWindowText& text) override;
  void ShowWaitProgress(int percent, const std::string& text) override;
  void CloseWaitWindow() override;

  TfrmWait* WaitWindow() const { return FWait.get(); }

private:
  QPointer<QWidget> FOwner;
  IAppPrompts& FPrompts;
  IClock& FClock;
  std::unique_ptr<TfrmWait> FWait;
};

}  // namespace velkor
