#pragma once
// The restore wizard: for one history entry, the target folder (proposed on the desktop, or picked), what to do
// with files that exist there, and the password of an encrypted output. It only collects; the checks and the
// restore itself belong to the flow (app/HistoryCommands). GUI thread only.
#include <QDialog>

#include "app/IAppPrompts.h"
#include "app/RestoreFlow.h"
#include "platform/Clock.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velkor {

class TRestoreWizard final : public QDialog {
  Q_OBJECT
public:
  // Shows the wizard for `item` modally; true with `options` filled when the user pressed "Başlat". The password
  // field is shown, starting with `password`, only when `showPassword`; the choice of the state as of the entry's
  // run only with a caption. The folder picker goes through `prompts`.
  static bool Execute(QWidget* owner, IAppPrompts& prompts, IClock& clock, const TBackupHistoryItem& item,
                      TRestoreWizardOptions& options, bool showPassword, const std::string& password,
                      const std::string& asOfCaption = {});

  TRestoreWizard(QWidget* owner, IAppPrompts& prompts, IClock& clock, bool showPassword, const std::string& password,
                 const TBackupHistoryItem& item, const std::string& asOfCaption = {});

  void BrowseClick();

private:
  void SetupWizard(bool showPassword, const std::string& password, const TBackupHistoryItem& item,
                   const std::string& asOfCaption);

  IAppPrompts& FPrompts;
  IClock& FClock;
  QLabel* FInfoLabel;
  QLabel* FTargetLabel;
  QLabel* FPasswordLabel;
  QLineEdit* FTargetEdit;
  QPushButton* FBrowseButton;
  QGroupBox* FConflictGroup;
  QButtonGroup* FConflictButtons;
  QCheckBox* FAsOfCheck;
  QLineEdit* FPasswordEdit;
  QPushButton* FOkButton;
  QPushButton* FCancelButton;
};

}  // namespace velkor
