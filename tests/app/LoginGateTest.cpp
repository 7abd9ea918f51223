// The login gate over a real credential store in a scratch registry file: first-run setup, the grace window on the
// fake clock, the attempt counter, remember-me, recovery with the security question and the emergency reset, with
// the dialogs and prompts scripted.
#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "AppCoreHarness.h"
#include "app/LoginGate.h"

namespace velkor {
namespace {

using test::TFakeClock;
using test::TScriptedPrompts;
using test::TTempDir;

struct TScriptedDialogs final : ILoginDialogs {
  TLoginGate* Gate = nullptr;
  // What the user does in each login form that opens: true closes it with OK.
  std::deque<std::function<bool(TLoginGate&)>> LoginForms;
  int LoginFormsShown = 0;
  std::optional<std::pair<std::string, std::string>> Reset;      // new password, answer
  std::optional<std::pair<std::string, std::string>> Emergency;  // new user name, new password
  std::optional<std::pair<std::string, std::string>> Question;   // question, answer
  std::vector<std::string> Shown;

  bool ShowLoginForm() override {
    ++LoginFormsShown;
    if (LoginForms.empty()) return false;
    auto form = std::move(LoginForms.front());
    LoginForms.pop_front();
    Gate->FormCreate();
    return form(*Gate);
  }
  bool ExecuteResetWithSecurity(const std::string& question, const std::string& username, std::string& newPassword,
                                std::string& answer) override {
    Shown.push_back("reset:" + question + ":" + username);
    if (!Reset) return false;
    std::tie(newPassword, answer) = *Reset;
    return true;
  }
  bool ExecuteEmergencyReset(std::string& username, std::string& password) override {
    Shown.push_back("emergency");
    if (!Emergency) return false;
    std::tie(username, password) = *Emergency;
    return true;
  }
  bool ExecuteSetupSecurityQuestion(std::string& question, std::string& answer) override {
    Shown.push_back("question");
    if (!Question) return false;
    std::tie(question, answer) = *Question;
    return true;
  }
};

class LoginGateTest : public ::testing::Test {
protected:
  TTempDir FDir;
  TAuthManager FAuth{FDir / "registry.json"};
  TScriptedPrompts FPrompts;
  TFakeClock FClock;
  TScriptedDialogs FDialogs;
  TLoginGate FGate{FAuth, FPrompts, FClock, FDialogs};

  LoginGateTest() { FDialogs.Gate = &FGate; }

  void Login(const std::string& username, const std::string& password, bool remember = false) {
    FDialogs.LoginForms.push_back(
        [=](TLoginGate& gate) { return gate.LoginClick(username, password, remember).Close; });
  }
  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& message : FPrompts.Messages) texts.push_back(message.first);
    return texts;
  }
};

TEST_F(LoginGateTest, FirstRunDeclinedStoresNothingAndAsksAgain) {
  EXPECT_FALSE(FGate.ShowLogin(false));
  EXPECT_TRUE(FAuth.IsFirstRun());
  EXPECT_EQ(FPrompts.Questions.size(), 1u);
  EXPECT_EQ(FDialogs.LoginFormsShown, 0);
  EXPECT_FALSE(FGate.ShowLogin(false));
  EXPECT_EQ(FPrompts.Questions.size(), 2u);
}

TEST_F(LoginGateTest, FirstRunKeepsTheNameAsTyped) {
  FPrompts.YesNoAnswers = {true, false};  // create an account; no security question
  FPrompts.Texts = {std::string(" admin ")};
  FPrompts.Passwords = {std::string("gizli")};
  Login("admin", "gizli");    // the name without its spaces is another name
  Login(" ADMIN ", "gizli");  // letter case aside, as typed at setup
  FDialogs.LoginForms.front() = [](TLoginGate& gate) {
    EXPECT_FALSE(gate.LoginClick("admin", "gizli", false).Close);
    return gate.LoginClick(" ADMIN ", "gizli", false).Close;
  };
  EXPECT_TRUE(FGate.ShowLogin(false));
  EXPECT_EQ(FPrompts.TextPrompts.at(0),
            (std::vector<std::string>{"İlk Kurulum", "Kullanıcı adı belirleyin:", "admin"}));
  EXPECT_EQ(FPrompts.PasswordPrompts.at(0),
            (std::vector<std::string>{"İlk Kurulum", "Şifre belirleyin:", "Şifreyi tekrar girin:"}));
  EXPECT_EQ(FAuth.GetCurrentUsername(), " admin ");
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Şimdi giriş yapabilirsiniz."});
  EXPECT_TRUE(FDialogs.Shown.empty());  // "Hayır" to the security question
}

TEST_F(LoginGateTest, FirstRunRefusals) {
  // A cancelled name box keeps "admin"; a cancelled password prompt ends the setup without an account.
  FPrompts.YesNoAnswers = {true};
  EXPECT_FALSE(FGate.ShowLogin(false));
  EXPECT_TRUE(FAuth.IsFirstRun());
  EXPECT_EQ(FPrompts.PasswordPrompts.size(), 1u);

  FPrompts.YesNoAnswers = {true};
  FPrompts.Texts = {std::string("   ")};
  EXPECT_FALSE(FGate.ShowLogin(false));
  EXPECT_EQ(FPrompts.Messages.back(), std::make_pair(std::string("Kullanıcı adı boş olamaz!"), amError));
  EXPECT_EQ(FPrompts.PasswordPrompts.size(), 1u);  // not asked
  EXPECT_TRUE(FAuth.IsFirstRun());
}

TEST_F(LoginGateTest, FirstRunOffersTheSecurityQuestion) {
  FPrompts.YesNoAnswers = {true, true};
  FPrompts.Passwords = {std::string("gizli")};
  FDialogs.Question = {"İlk okul?", "Atatürk İlkokulu"};
  Login("admin", "gizli");
  EXPECT_TRUE(FGate.ShowLogin(false));
  EXPECT_EQ(FAuth.GetSecurityQuestion(), "İlk okul?");
  EXPECT_TRUE(FAuth.ValidateSecurityAnswer("Atatürk İlkokulu"));
  EXPECT_EQ(MessageTexts(),
            (std::vector<std::string>{"Güvenlik sorusu başarıyla kaydedildi!", "Şimdi giriş yapabilirsiniz."}));
}

TEST_F(LoginGateTest, GraceWindowOfFiveSeconds) {
  FAuth.SetupDefaultUser("admin", "gizli");
  for (int i = 0; i < 4; ++i) Login("admin", "gizli");
  EXPECT_TRUE(FGate.ShowLogin(false));
  FClock.Advance(4999);
  EXPECT_TRUE(FGate.ShowLogin(false));  // no form
  EXPECT_EQ(FDialogs.LoginFormsShown, 1);
  EXPECT_TRUE(FGate.ShowLogin(true));  // always asks
  EXPECT_EQ(FDialogs.LoginFormsShown, 2);
  FClock.Advance(5000);
  EXPECT_TRUE(FGate.ShowLogin(false));
  EXPECT_EQ(FDialogs.LoginFormsShown, 3);
  // A cancelled form is no login, and the last successful one still counts.
  FDialogs.LoginForms.clear();
  EXPECT_FALSE(FGate.ShowLogin(true));
  EXPECT_TRUE(FGate.ShowLogin(false));
  EXPECT_EQ(FDialogs.LoginFormsShown, 4);
}

TEST_F(LoginGateTest, AttemptsCountToThreeThenHintAndStartAgain) {
  FAuth.SetupDefaultUser("admin", "gizli");
  FGate.FormCreate();
  const struct {
    std::string Password;
    std::string Attempts;
    int Counter;
  } steps[] = {
      {"yanlış", "Hatalı giriş! Deneme: 1/3", 1},
      {" gizli", "Hatalı giriş! Deneme: 2/3", 2},  // never trimmed
      {"GIZLI", "Kurtarma için \"Bilgilerimi Unuttum?\" baglantısını kullanın.", 0},
      {"x", "Hatalı giriş! Deneme: 1/3", 1},
  };
  for (const auto& step : steps) {
    const TLoginFormUpdate update = FGate.LoginClick("admin", step.Password, false);
    EXPECT_FALSE(update.Close);
    EXPECT_EQ(update.AttemptsText, step.Attempts);
    EXPECT_TRUE(update.AttemptsInRed);
    EXPECT_TRUE(update.ClearPassword);
    EXPECT_EQ(update.Focus, lfPassword);
    EXPECT_EQ(FGate.Attempts(), step.Counter);
  }
  ASSERT_EQ(FPrompts.Messages.size(), 1u);
  EXPECT_EQ(FPrompts.Messages[0].first.rfind("Cok sayıda hatalı giriş yapıldı.\r\n\r\n", 0), 0u);

  // Blank fields are asked for before the store is.
  const TLoginFormUpdate noName = FGate.LoginClick("  ", "gizli", false);
  EXPECT_EQ(noName.Focus, lfUsername);
  const TLoginFormUpdate noPassword = FGate.LoginClick("admin", " ", false);
  EXPECT_EQ(noPassword.Focus, lfPassword);
  EXPECT_EQ(MessageTexts().back(), "Lütfen şifre girin!");
  EXPECT_EQ(FGate.Attempts(), 1);
  EXPECT_TRUE(FGate.LoginClick("admin", "gizli", false).Close);
}

TEST_F(LoginGateTest, RememberMeFillsTheNameNextTime) {
  FAuth.SetupDefaultUser("Ayşe", "gizli");
  EXPECT_EQ(FGate.FormCreate().Username, "");
  EXPECT_TRUE(FGate.LoginClick("ayşe", "gizli", true).Close);
  const TLoginFormStart remembered = FGate.FormCreate();
  EXPECT_EQ(remembered.Username, "ayşe");
  EXPECT_TRUE(remembered.RememberMe);
  EXPECT_EQ(remembered.Focus, lfPassword);
  EXPECT_TRUE(FGate.LoginClick("ayşe", "gizli", false).Close);  // forgets the name
  EXPECT_FALSE(FGate.FormCreate().RememberMe);
}

TEST_F(LoginGateTest, RecoveryWithTheSecurityQuestion) {
  FAuth.SetupDefaultUser("admin", "eski");
  FAuth.SetSecurityQuestion("Doğum yeri?", "Ankara");
  const struct {
    std::string Answer;
    bool Reset;
    std::string Message;
  } cases[] = {
      {"ankara", false, "Güvenlik sorusunun cevabı yanlış!\r\nŞifre sıfırlama işlemi iptal edildi."},
      {"Ankara", true, "Şifreniz başarıyla sıfırlandı!\r\nŞimdi yeni şifrenizle giriş yapabilirsiniz."},
  };
  for (const auto& c : cases) {
    FDialogs.Reset = {"yeni şifre", c.Answer};
    const TLoginFormUpdate update = FGate.ForgotPasswordClick();
    EXPECT_EQ(FDialogs.Shown.back(), "reset:Doğum yeri?:admin");
    EXPECT_EQ(FPrompts.Messages.back().first, c.Message);
    EXPECT_EQ(update.Username, c.Reset ? std::optional<std::string>("admin") : std::nullopt);
    EXPECT_EQ(FAuth.ValidateUser("admin", "yeni şifre"), c.Reset);
  }
  EXPECT_TRUE(FPrompts.Questions.empty());  // a stored question offers no emergency reset
}

TEST_F(LoginGateTest, EmergencyResetCancelledLeavesNoAccount) {
  FAuth.SetupDefaultUser("admin", "eski");
  FPrompts.YesNoAnswers = {true, true};  // start the reset, sure
  const TLoginFormUpdate update = FGate.ForgotPasswordClick();
  EXPECT_EQ(FPrompts.Questions.size(), 2u);
  EXPECT_EQ(FPrompts.Questions[1].rfind("⚠ DİKKAT! ⚠", 0), 0u);
  EXPECT_EQ(FDialogs.Shown, std::vector<std::string>{"emergency"});
  EXPECT_FALSE(update.Username.has_value());
  EXPECT_TRUE(FAuth.IsFirstRun());
  // The next login starts the first-run setup.
  EXPECT_FALSE(FGate.ShowLogin(true));
  EXPECT_EQ(FPrompts.Questions.back().rfind("Programı ilk kez kullanıyorsunuz.", 0), 0u);
}

TEST_F(LoginGateTest, EmergencyResetCreatesTheNewAccount) {
  FAuth.SetupDefaultUser("admin", "eski");
  FAuth.SetSecurityQuestion("Soru?", "Cevap");
  FAuth.ClearCredentials();
  FAuth.SetupDefaultUser("admin", "eski");  // an account without a question
  FPrompts.YesNoAnswers = {true, true, false};
  FDialogs.Emergency = {"yönetici", "yeni"};
  const TLoginFormUpdate update = FGate.ForgotPasswordClick();
  EXPECT_EQ(update.Username, "yönetici");
  EXPECT_TRUE(update.ClearPassword);
  EXPECT_TRUE(FAuth.ValidateUser("yönetici", "yeni"));
  EXPECT_FALSE(FAuth.ValidateUser("admin", "eski"));
  EXPECT_EQ(MessageTexts().back(),
            "Acil sıfırlama tamamlandı!\r\nŞimdi yeni kullanıcı bilgilerinizle giriş yapabilirsiniz.");

  // "Hayır" to the first question changes nothing.
  FPrompts.YesNoAnswers = {false};
  FGate.ForgotPasswordClick();
  EXPECT_TRUE(FAuth.ValidateUser("yönetici", "yeni"));
}

TEST(RecoveryDialog, ChecksInOrderPerMode) {
  const struct {
    TRecoveryDialogMode Mode;
    TRecoveryInput Input;  // user name, answer, question, password, confirm
    std::optional<std::string> Message;
  } cases[] = {
      {rdResetWithSecurity, {"", " ", "", "", ""}, "Güvenlik sorusu cevabı boş olamaz."},
      {rdResetWithSecurity, {"", "a", "", "  ", "  "}, "Yeni şifre boş olamaz."},
      {rdResetWithSecurity, {"", "a", "", "p", "p "}, "Şifreler eşleşmiyor."},
      {rdResetWithSecurity, {"", "a", "", " p", " p"}, std::nullopt},
      {rdEmergencyReset, {" ", "", "", "p", "p"}, "Yeni kullanıcı adı boş olamaz."},
      {rdEmergencyReset, {"u", "", "", "", ""}, "Yeni şifre boş olamaz."},
      {rdEmergencyReset, {"u", "", "", "p", "P"}, "Şifreler eşleşmiyor."},
      {rdEmergencyReset, {"u", "", "", "p", "p"}, std::nullopt},
      {rdSetupSecurityQuestion, {"", "Ankara", "", "", "Ankara"}, "Güvenlik sorusu boş olamaz."},
      {rdSetupSecurityQuestion, {"", "", "Şehir?", "", ""}, "Güvenlik sorusu cevabı boş olamaz."},
      {rdSetupSecurityQuestion, {"", "Ankara", "Şehir?", "", "Ankara "}, "Cevaplar eşleşmiyor."},
      {rdSetupSecurityQuestion, {"", "Ankara", "Şehir?", "", "Ankara"}, std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ValidateRecoveryInput(c.Mode, c.Input), c.Message) << c.Mode << " " << c.Input.Confirm;
}

}  // namespace
}  // namespace velkor
