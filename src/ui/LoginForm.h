#pragma once
// The login form that guards the main window, and the window's login as a whole: the credential store, the gate
// of app/LoginGate and the dialogs it shows. The form draws what the gate decides and hands over what was typed.
// GUI thread only.
#include <QDialog>
#include <filesystem>

#include "app/LoginGate.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velkor {

class TfrmLogin final : public QDialog {
  Q_OBJECT
public:
  explicit TfrmLogin(TLoginGate& gate, QWidget* parent = nullptr);

  void btnLoginClick();
  void lblForgotPasswordClick();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void FormCreate();
  void Apply(const TLoginFormUpdate& update);
  void Focus(TLoginFocus focus);

  TLoginGate& FGate;
  QWidget* pnlTop;
  QLabel* lblTitle;
  QLabel* lblSubtitle;
  QWidget* pnlMain;
  QLabel* lblUsername;
  QLineEdit* edtUsername;
  QLabel* lblPassword;
  QLineEdit* edtPassword;
  QCheckBox* chkRememberMe;
  QPushButton* btnLogin;
  QPushButton* btnCancel;
  QLabel* lblAttempts;
  QLabel* imgLogo;
  QLabel* lblForgotPassword;
};

// The gate's dialogs as the window shows them. The recovery dialogs belong to the login form that is open.
class TQtLoginDialogs final : public ILoginDialogs {
public:
  explicit TQtLoginDialogs(IAppPrompts& prompts) : FPrompts(prompts) {}
  void SetGate(TLoginGate* gate) { FGate = gate; }

  bool ShowLoginForm() override;
  bool ExecuteResetWithSecurity(const std::string& question, const std::string& currentUsername,
                                std::string& newPassword, std::string& answer) override;
  bool ExecuteEmergencyReset(std::string& newUsername, std::string& newPassword) override;
  bool ExecuteSetupSecurityQuestion(std::string& question, std::string& answer) override;

private:
  IAppPrompts& FPrompts;
  TLoginGate* FGate = nullptr;
};

// The window's login for the life of the process: the last successful login counts for five seconds.
class TWindowLogin {
public:
  // `registryFile` empty: the user's store.
  TWindowLogin(IAppPrompts& prompts, IClock& clock, const std::filesystem::path& registryFile = {});

  bool ShowLogin(bool forcePrompt) { return FGate.ShowLogin(forcePrompt); }
  TLoginGate& Gate() { return FGate; }
  TAuthManager& Auth() { return FAuth; }

private:
  TAuthManager FAuth;
  TQtLoginDialogs FDialogs;
  TLoginGate FGate;
};

}  // namespace velkor
