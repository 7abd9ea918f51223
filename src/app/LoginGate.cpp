#include "app/LoginGate.h"

#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr uint64_t LoginGraceMs = 5000;

}  // namespace

std::optional<std::string> ValidateRecoveryInput(TRecoveryDialogMode mode, const TRecoveryInput& input) {
  const auto blank = [](const std::string& text) { return Trim(text).empty(); };
  switch (mode) {
    case rdResetWithSecurity:
      if (blank(input.Answer)) return "Güvenlik sorusu cevabı boş olamaz.";
      if (blank(input.Password)) return "Yeni şifre boş olamaz.";
      if (input.Password != input.Confirm) return "Şifreler eşleşmiyor.";
      break;
    case rdEmergencyReset:
      if (blank(input.Username)) return "Yeni kullanıcı adı boş olamaz.";
      if (blank(input.Password)) return "Yeni şifre boş olamaz.";
      if (input.Password != input.Confirm) return "Şifreler eşleşmiyor.";
      break;
    case rdSetupSecurityQuestion:
      if (blank(input.Question)) return "Güvenlik sorusu boş olamaz.";
      if (blank(input.Answer)) return "Güvenlik sorusu cevabı boş olamaz.";
      // Untrimmed, although the stored answer is trimmed: what was typed twice must be the same.
      if (input.Answer != input.Confirm) return "Cevaplar eşleşmiyor.";
      break;
  }
  return std::nullopt;
}

TLoginGate::TLoginGate(TAuthManager& auth, IAppPrompts& prompts, IClock& clock, ILoginDialogs& dialogs)
    : FAuth(auth), FPrompts(prompts), FClock(clock), FDialogs(dialogs) {}

bool TLoginGate::ShowLogin(bool forcePrompt) {
  // 1. A login a moment ago still counts.
  if (!forcePrompt && FLastLoginTick != 0 && FClock.TickMs() - FLastLoginTick < LoginGraceMs) return true;
  // 2. No account yet.
  if (FAuth.IsFirstRun() && !RunFirstRunSetup()) return false;
  // 3. The form.
  if (!FDialogs.ShowLoginForm()) return false;
  FLastLoginTick = FClock.TickMs();
  return true;
}

bool TLoginGate::RunFirstRunSetup() {
  if (!FPrompts.AskQuestion("Programı ilk kez kullanıyorsunuz.\r\nKullanıcı adı ve şifre oluşturmak ister misiniz?",
                            amQuestion))
    return false;
  // Cancelling the box keeps the proposed name.
  std::string username = "admin";
  FPrompts.PromptText("İlk Kurulum", "Kullanıcı adı belirleyin:", username);
  if (Trim(username).empty()) {
    ShowAutoMessage(FPrompts, "Kullanıcı adı boş olamaz!");
    return false;
  }
  std::string password;
  if (!FPrompts.PromptNewPassword("İlk Kurulum", "Şifre belirleyin:", "Şifreyi tekrar girin:", password)) return false;
  // The name exactly as typed, spaces included.
  FAuth.SetupDefaultUser(username, password);
  if (FPrompts.AskQuestion("Kullanıcı başarıyla oluşturuldu!\r\n\r\nŞifrenizi unutmanız durumunda yardımcı olması "
                           "için\r\nbir güvenlik sorusu ayarlamak ister misiniz?",
                           amInfo))
    OfferSecurityQuestionSetup();
  ShowAutoMessage(FPrompts, "Şimdi giriş yapabilirsiniz.");
  return true;
}

void TLoginGate::OfferSecurityQuestionSetup() {
  std::string question;
  std::string answer;
  if (!FDialogs.ExecuteSetupSecurityQuestion(question, answer)) return;
  FAuth.SetSecurityQuestion(question, answer);
  ShowAutoMessage(FPrompts, "Güvenlik sorusu başarıyla kaydedildi!");
}

TLoginFormStart TLoginGate::FormCreate() {
  FAttempts = 0;
  TLoginFormStart start;
  const TCredentials remembered = FAuth.LoadCredentials();
  if (remembered.RememberMe) {
    start.Username = remembered.Username;
    start.RememberMe = true;
    start.Focus = lfPassword;
  }
  return start;
}

TLoginFormUpdate TLoginGate::LoginClick(const std::string& username, const std::string& password, bool rememberMe) {
  TLoginFormUpdate update;
  if (Trim(username).empty()) {
    ShowAutoMessage(FPrompts, "Lütfen kullanıcı adı girin!");
    update.Focus = lfUsername;
    return update;
  }
  if (Trim(password).empty()) {
    ShowAutoMessage(FPrompts, "Lütfen şifre girin!");
    update.Focus = lfPassword;
    return update;
  }
  // Both exactly as typed.
  if (FAuth.ValidateUser(username, password)) {
    if (rememberMe)
      FAuth.SaveCredentials(username, password, true);
    else
      FAuth.SaveCredentials("", "", false);
    update.Close = true;
    return update;
  }
  ++FAttempts;
  update.AttemptsText = "Hatalı giriş! Deneme: " + std::to_string(FAttempts) + "/3";
  update.AttemptsInRed = true;
  update.ClearPassword = true;
  update.Focus = lfPassword;
  // No lockout and no delay: after the hint the user may go on trying.
  if (FAttempts > 2) {
    ShowAutoMessage(FPrompts,
                    "Cok sayıda hatalı giriş yapıldı.\r\n\r\nKullanıcı adı veya şifrenizi unuttuysanız \"Bilgilerimi "
                    "Unuttum?\" baglantısını kullanabilirsiniz.");
    update.AttemptsText = "Kurtarma için \"Bilgilerimi Unuttum?\" baglantısını kullanın.";
    FAttempts = 0;
  }
  return update;
}

TLoginFormUpdate TLoginGate::ForgotPasswordClick() {
  if (FAuth.HasSecurityQuestion()) return RecoverWithSecurityQuestion();
  if (FPrompts.AskQuestion("Hesap kurtarma icin güvenlik sorusu ayarlanmamış.\r\n\r\nAcil sıfırlama ile yeni "
                           "kullanıcı oluşturabilirsiniz.\r\n(Yedekleme görevleri ve ayarlar korunur)\r\n\r\nAcil "
                           "sıfırlama işlemini şimdi başlatmak istiyor musunuz?",
                           amWarning))
    return PerformEmergencyReset();
  return {};
}

TLoginFormUpdate TLoginGate::RecoverWithSecurityQuestion() {
  TLoginFormUpdate update;
  const std::string question = FAuth.GetSecurityQuestion();
  const std::string username = FAuth.GetCurrentUsername();
  std::string newPassword;
  std::string answer;
  if (!FDialogs.ExecuteResetWithSecurity(question, username, newPassword, answer)) return update;
  // The number of answers is not limited.
  if (!FAuth.ValidateSecurityAnswer(answer)) {
    ShowAutoMessage(FPrompts, "Güvenlik sorusunun cevabı yanlış!\r\nŞifre sıfırlama işlemi iptal edildi.");
    return update;
  }
  FAuth.ResetPassword(newPassword);
  ShowAutoMessage(FPrompts, "Şifreniz başarıyla sıfırlandı!\r\nŞimdi yeni şifrenizle giriş yapabilirsiniz.");
  if (!username.empty()) update.Username = username;
  update.ClearPassword = true;
  update.Focus = lfPassword;
  return update;
}

TLoginFormUpdate TLoginGate::PerformEmergencyReset() {
  TLoginFormUpdate update;
  if (!FPrompts.AskQuestion("⚠ DİKKAT! ⚠\r\n\r\nBu işlem tüm kullanıcı bilgilerini silecek ve\r\nyeni bir kullanıcı "
                            "oluşturacaktır.\r\n\r\nYedekleme görevleri ve ayarlarınız korunacaktır.\r\n\r\nDevam "
                            "etmek istediğinizden emin misiniz?",
                            amWarning))
    return update;
  // At once: cancelling the next dialog leaves no account, so the next login starts the first-run setup.
  FAuth.ClearCredentials();
  std::string username;
  std::string password;
  if (!FDialogs.ExecuteEmergencyReset(username, password)) return update;
  FAuth.SetupDefaultUser(username, password);
  if (FPrompts.AskQuestion("Yeni kullanıcı başarıyla oluşturuldu!\r\n\r\nGelecekte şifrenizi unutmanız "
                           "durumunda\r\nbir güvenlik sorusu ayarlamak ister misiniz?",
                           amInfo))
    OfferSecurityQuestionSetup();
  ShowAutoMessage(FPrompts, "Acil sıfırlama tamamlandı!\r\nŞimdi yeni kullanıcı bilgilerinizle giriş yapabilirsiniz.");
  update.Username = username;
  update.ClearPassword = true;
  update.Focus = lfPassword;
  return update;
}

}  // namespace velkor
