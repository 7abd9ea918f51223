#pragma once
// The login that guards the main window: the five-second grace after a successful login, the first-run setup of
// the one account, the login form's checks and attempt counter, recovery through the security question and the
// emergency reset. Every rule and text is here; the window only draws the login form and the recovery dialog and
// hands over what was typed. Main thread only.
#include <cstdint>
#include <optional>
#include <string>

#include "app/IAppPrompts.h"
#include "auth/AuthManager.h"
#include "platform/Clock.h"

namespace velkor {

// The dialogs of the gate, shown modally by the window (scripted by tests). Each is true when closed with OK, with
// its results filled in.
class ILoginDialogs {
public:
  virtual ~ILoginDialogs() = default;
  // The login form; it calls back into the gate for its commands.
  virtual bool ShowLoginForm() = 0;
  // Answer trimmed, new password as typed.
  virtual bool ExecuteResetWithSecurity(const std::string& question, const std::string& currentUsername,
                                        std::string& newPassword, std::string& answer) = 0;
  // New user name trimmed, new password as typed.
  virtual bool ExecuteEmergencyReset(std::string& newUsername, std::string& newPassword) = 0;
  // Question and answer trimmed.
  virtual bool ExecuteSetupSecurityQuestion(std::string& question, std::string& answer) = 0;
};

enum TLoginFocus : int { lfUsername, lfPassword };

// What the login form shows when it opens.
struct TLoginFormStart {
  std::string Username;
  bool RememberMe = false;
  TLoginFocus Focus = lfUsername;
};

// What the form does after "Giriş" or a recovery.
struct TLoginFormUpdate {
  bool Close = false;                   // logged in: close with OK
  std::optional<std::string> Username;  // put into the user-name field
  std::optional<std::string> AttemptsText;
  bool AttemptsInRed = false;
  bool ClearPassword = false;
  std::optional<TLoginFocus> Focus;
};

// The recovery dialog's modes and the checks of its OK button.
enum TRecoveryDialogMode : int { rdResetWithSecurity, rdEmergencyReset, rdSetupSecurityQuestion };
struct TRecoveryInput {
  std::string Username, Answer, Question, Password, Confirm;
};
// The message of the first failing check, or nothing when the dialog may close.
std::optional<std::string> ValidateRecoveryInput(TRecoveryDialogMode mode, const TRecoveryInput& input);

class TLoginGate {
public:
  TLoginGate(TAuthManager& auth, IAppPrompts& prompts, IClock& clock, ILoginDialogs& dialogs);

  // True when the user is logged in. Without `forcePrompt`, a login less than 5000 ms ago counts.
  bool ShowLogin(bool forcePrompt);
  void OfferSecurityQuestionSetup();

  // The login form's commands.
  TLoginFormStart FormCreate();
  TLoginFormUpdate LoginClick(const std::string& username, const std::string& password, bool rememberMe);
  TLoginFormUpdate ForgotPasswordClick();
  int Attempts() const { return FAttempts; }

private:
  bool RunFirstRunSetup();
  TLoginFormUpdate RecoverWithSecurityQuestion();
  TLoginFormUpdate PerformEmergencyReset();

  TAuthManager& FAuth;
  IAppPrompts& FPrompts;
  IClock& FClock;
  ILoginDialogs& FDialogs;
  uint64_t FLastLoginTick = 0;  // 0: never
  int FAttempts = 0;
};

}  // namespace velkor
