#include "ui/QtHistoryCommandWindows.h"

#include "ui/RestoreWizardForm.h"

namespace velkor {

TQtHistoryCommandWindows::~TQtHistoryCommandWindows() { CloseWaitWindow(); }

bool TQtHistoryCommandWindows::ExecuteRestoreWizard(const TBackupHistoryItem& item, bool showPassword,
                                                    const std::string& password, const std::string& asOfCaption,
                                                    TRestoreWizardOptions& options) {
  return TRestoreWizard::Execute(FOwner, FPrompts, FClock, item, options, showPassword, password, asOfCaption);
}

void TQtHistoryCommandWindows::ShowWaitWindow(const TWaitWindowText& text) {
  CloseWaitWindow();
  FWait = std::make_unique<TfrmWait>(FOwner, text);
  FWait->show();
  if (FOwner) FOwner->window()->setEnabled(false);
  FWait->repaint();
}

void TQtHistoryCommandWindows::ShowWaitProgress(int percent, const std::string& text) {
  if (FWait) FWait->ShowProgress(percent, text);
}

void TQtHistoryCommandWindows::CloseWaitWindow() {
  if (FOwner) FOwner->window()->setEnabled(true);
  FWait.reset();
}

}  // namespace velkor
