#pragma once
// The account recovery dialog in its three modes: a new password after the security question, a new account after
// an emergency reset, and the setup of the security question. OK checks the fields (app/LoginGate) and, on the
// first failure, shows its message and stays open. GUI thread only.
#include <QDialog>
#include <string>

#include "app/IAppPrompts.h"
#include "app/LoginGate.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace velkor {

class TfrmRecoveryDialog final : public QDialog {
  Q_OBJECT
public:
  TfrmRecoveryDialog(TRecoveryDialogMode mode, IAppPrompts& prompts, QWidget* owner = nullptr);

  static bool ExecuteResetWithSecurity(QWidget* owner, IAppPrompts& prompts, const std::string& securityQuestion,
                                       std::string& newPassword, std::string& answer,
                                       const std::string& currentUsername);
  static bool ExecuteEmergencyReset(QWidget* owner, IAppPrompts& prompts, std::string& newUsername,
                                    std::string& newPassword);
  static bool ExecuteSetupSecurityQuestion(QWidget* owner, IAppPrompts& prompts, std::string& question,
                                           std::string& answer);

  TRecoveryInput Input() const;
  void btnOKClick();

private:
  void SetMode(TRecoveryDialogMode mode);
  void ApplyMode();

  IAppPrompts& FPrompts;
  QWidget* pnlTop;
  QLabel* lblTitle;
  QLabel* lblSubtitle;
  QWidget* pnlMain;
  QLabel* lblInfo;
  QLabel* lblQuestionCaption;
  QLabel* lblQuestionValue;
  QLabel* lblUsername;
  QLineEdit* edtUsername;
  QLabel* lblAnswer;
  QLineEdit* edtAnswer;
  QLabel* lblQuestion;
  QLineEdit* edtQuestion;
  QLabel* lblPassword;
  QLineEdit* edtPassword;
  QLabel* lblConfirm;
  QLineEdit* edtConfirm;
  QPushButton* btnOK;
  QPushButton* btnCancel;
  TRecoveryDialogMode FMode = rdResetWithSecurity;
};

}  // namespace velkor
