// The login form and the recovery dialog, driven as a user drives them, over a real credential store in a scratch
// registry file; the gate's messages and questions are answered by a script.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "app/AppCoreHarness.h"
#include "ui/LoginForm.h"
#include "ui/RecoveryDialogForm.h"

namespace velkor {
namespace {

using test::ClickButton;
using test::Find;
using test::SaveShot;
using test::TFakeClock;
using test::TModalDriver;
using test::TScriptedPrompts;
using test::TTempDir;
using test::TypeText;

const QString LoginForm = QStringLiteral("frmLogin");
const QString RecoveryDialog = QStringLiteral("frmRecoveryDialog");

void Type(QWidget& form, const char* field, const QString& text) {
  auto* edit = Find<QLineEdit>(form, field);
  edit->clear();
  TypeText(edit, text);
}

// Types the password and presses Enter in the password field, which logs in.
std::function<void(QWidget&)> EnterPassword(QString password) {
  return [=](QWidget& form) {
    Type(form, "edtPassword", password);
    QTest::keyClick(Find<QLineEdit>(form, "edtPassword"), Qt::Key_Return);
  };
}

class LoginFormTest : public ::testing::Test {
protected:
  TTempDir FDir;
  TScriptedPrompts FPrompts;
  TFakeClock FClock;
  TWindowLogin FLogin{FPrompts, FClock, FDir / "registry.json"};
  TModalDriver FDriver;
};

TEST_F(LoginFormTest, WrongPasswordsCountThenHintThenCountAgain) {
  FLogin.Auth().SetupDefaultUser("admin", "gizli");
  std::vector<std::string> attempts;
  bool passwordCleared = true;
  FDriver.Expect(LoginForm, [&](QWidget& form) {
    EXPECT_TRUE(Find<QLineEdit>(form, "edtUsername")->hasFocus());
    EXPECT_EQ(Find<QLabel>(form, "lblAttempts")->text(), QString());
    Type(form, "edtUsername", QStringLiteral("admin"));
    // Enter in the user-name field only moves on to the password.
    QTest::keyClick(Find<QLineEdit>(form, "edtUsername"), Qt::Key_Return);
    EXPECT_TRUE(Find<QLineEdit>(form, "edtPassword")->hasFocus());
    for (const char* wrong : {"a", "b", "c", "d"}) {
      Type(form, "edtPassword", QString::fromUtf8(wrong));
      ClickButton(form, QStringLiteral("✅ Giriş"));
      attempts.push_back(Find<QLabel>(form, "lblAttempts")->text().toStdString());
      passwordCleared &= Find<QLineEdit>(form, "edtPassword")->text().isEmpty();
    }
    EXPECT_NE(Find<QLabel>(form, "lblAttempts")->styleSheet().indexOf(QStringLiteral("#FF0000")), -1);
    SaveShot(form, "login-form-attempts");
    EnterPassword(QStringLiteral("gizli"))(form);
  });
  EXPECT_TRUE(FLogin.ShowLogin(false));
  EXPECT_TRUE(FDriver.Done());
  EXPECT_EQ(attempts, (std::vector<std::string>{"Hatalı giriş! Deneme: 1/3", "Hatalı giriş! Deneme: 2/3",
                                                "Kurtarma için \"Bilgilerimi Unuttum?\" baglantısını kullanın.",
                                                "Hatalı giriş! Deneme: 1/3"}));
  EXPECT_TRUE(passwordCleared);
  ASSERT_EQ(FPrompts.Messages.size(), 1u);  // the hint after the third
}

TEST_F(LoginFormTest, RememberMeAndTheGraceWindow) {
  FLogin.Auth().SetupDefaultUser("Ayşe", "gizli");
  FDriver.Expect(LoginForm, [&](QWidget& form) {
    SaveShot(form, "login-form");
    Type(form, "edtUsername", QStringLiteral("Ayşe"));
    QTest::mouseClick(Find<QCheckBox>(form, "chkRememberMe"), Qt::LeftButton, {}, QPoint(8, 11));
    EnterPassword(QStringLiteral("gizli"))(form);
  });
  EXPECT_TRUE(FLogin.ShowLogin(false));
  FClock.Advance(4000);
  EXPECT_TRUE(FLogin.ShowLogin(false));  // within five seconds: no form
  EXPECT_TRUE(FDriver.Done());

  // Forced: the form again, with the remembered name and the focus on the password.
  FDriver.Expect(LoginForm, [&](QWidget& form) {
    EXPECT_EQ(Find<QLineEdit>(form, "edtUsername")->text(), QStringLiteral("Ayşe"));
    EXPECT_TRUE(Find<QCheckBox>(form, "chkRememberMe")->isChecked());
    EXPECT_TRUE(Find<QLineEdit>(form, "edtPassword")->hasFocus());
    ClickButton(form, QStringLiteral("❌ İptal"));
  });
  EXPECT_FALSE(FLogin.ShowLogin(true));
  EXPECT_TRUE(FDriver.Done());
}

TEST_F(LoginFormTest, FirstRunThenLogin) {
  FPrompts.YesNoAnswers = {true, false};
  FPrompts.Texts = {std::string(" admin ")};
  FPrompts.Passwords = {std::string("gizli")};
  FDriver.Expect(LoginForm, [&](QWidget& form) {
    Type(form, "edtUsername", QStringLiteral("admin"));
    EnterPassword(QStringLiteral("gizli"))(form);  // refused: the name was set up with its spaces
    EXPECT_EQ(Find<QLabel>(form, "lblAttempts")->text(), QStringLiteral("Hatalı giriş! Deneme: 1/3"));
    Type(form, "edtUsername", QStringLiteral(" admin "));
    EnterPassword(QStringLiteral("gizli"))(form);
  });
  EXPECT_TRUE(FLogin.ShowLogin(false));
  EXPECT_TRUE(FDriver.Done());
  EXPECT_EQ(FLogin.Auth().GetCurrentUsername(), " admin ");
}

TEST_F(LoginFormTest, RecoveryThroughTheSecurityQuestion) {
  FLogin.Auth().SetupDefaultUser("admin", "eski");
  FLogin.Auth().SetSecurityQuestion("Doğum yeri?", "Ankara");
  FDriver
      .Expect(LoginForm,
              [&](QWidget& form) {
                QTest::mouseClick(Find<QLabel>(form, "lblForgotPassword"), Qt::LeftButton);
                // Back in the form after the recovery: the name filled in, the focus on the password.
                EXPECT_EQ(Find<QLineEdit>(form, "edtUsername")->text(), QStringLiteral("admin"));
                EXPECT_EQ(form.focusWidget(), Find<QLineEdit>(form, "edtPassword"));
                EnterPassword(QStringLiteral("yeni şifre"))(form);
              })
      .Expect(RecoveryDialog, [&](QWidget& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Şifre Sıfırlama"));
        EXPECT_EQ(Find<QLabel>(dialog, "lblQuestionValue")->text(), QStringLiteral("Doğum yeri?"));
        Type(dialog, "edtAnswer", QStringLiteral(" Ankara "));  // trimmed
        Type(dialog, "edtPassword", QStringLiteral("yeni şifre"));
        Type(dialog, "edtConfirm", QStringLiteral("yeni şifre"));
        SaveShot(dialog, "recovery-reset-with-security");
        ClickButton(dialog, QStringLiteral("Şifreyi Sıfırla"));
      });
  EXPECT_TRUE(FLogin.ShowLogin(false));
  EXPECT_TRUE(FDriver.Done()) << (FDriver.Unexpected().empty() ? "" : FDriver.Unexpected()[0]);
  EXPECT_EQ(FPrompts.Messages.at(0).first,
            "Şifreniz başarıyla sıfırlandı!\r\nŞimdi yeni şifrenizle giriş yapabilirsiniz.");
}

TEST_F(LoginFormTest, EmergencyResetCancelledLeavesTheFirstRunSetup) {
  FLogin.Auth().SetupDefaultUser("admin", "eski");
  FPrompts.YesNoAnswers = {true, true};
  FDriver
      .Expect(LoginForm,
              [&](QWidget& form) {
                QTest::mouseClick(Find<QLabel>(form, "lblForgotPassword"), Qt::LeftButton);
                ClickButton(form, QStringLiteral("❌ İptal"));
              })
      .Expect(RecoveryDialog, [&](QWidget& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Acil Sıfırlama"));
        EXPECT_EQ(Find<QLineEdit>(dialog, "edtUsername")->text(), QStringLiteral("admin"));
        SaveShot(dialog, "recovery-emergency-reset");
        ClickButton(dialog, QStringLiteral("İptal"));
      });
  EXPECT_FALSE(FLogin.ShowLogin(false));
  EXPECT_TRUE(FDriver.Done());
  EXPECT_TRUE(FLogin.Auth().IsFirstRun());
  // The next login asks for the first-run setup, which is declined here.
  EXPECT_FALSE(FLogin.ShowLogin(true));
  EXPECT_EQ(FPrompts.Questions.back().rfind("Programı ilk kez kullanıyorsunuz.", 0), 0u);
}

TEST_F(LoginFormTest, RecoveryDialogModes) {
  const struct {
    TRecoveryDialogMode Mode;
    const char* Caption;
    const char* Ok;
    std::vector<const char*> Shown;
    std::vector<const char*> Hidden;
    const char* Shot;
  } cases[] = {
      {rdResetWithSecurity,
       "Şifre Sıfırlama",
       "Şifreyi Sıfırla",
       {"lblQuestionValue", "edtAnswer", "edtPassword", "edtConfirm"},
       {"edtUsername", "edtQuestion"},
       ""},
      {rdEmergencyReset,
       "Acil Sıfırlama",
       "Yeni Kullanıcı Oluştur",
       {"edtUsername", "edtPassword", "edtConfirm"},
       {"lblQuestionValue", "edtAnswer", "edtQuestion"},
       ""},
      {rdSetupSecurityQuestion,
       "Güvenlik Sorusu",
       "Kaydet",
       {"edtQuestion", "edtAnswer", "edtConfirm"},
       {"lblQuestionValue", "edtUsername", "edtPassword"},
       "recovery-setup-security-question"},
  };
  for (const auto& c : cases) {
    TfrmRecoveryDialog dialog(c.Mode, FPrompts);
    dialog.show();
    EXPECT_EQ(dialog.size(), QSize(484, 404));
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(c.Caption));
    EXPECT_EQ(Find<QLabel>(dialog, "lblTitle")->text(), QString::fromUtf8(c.Caption));
    EXPECT_EQ(Find<QPushButton>(dialog, "btnOK")->text(), QString::fromUtf8(c.Ok));
    for (const char* name : c.Shown) EXPECT_TRUE(Find<QWidget>(dialog, name)->isVisible()) << name;
    for (const char* name : c.Hidden) EXPECT_FALSE(Find<QWidget>(dialog, name)->isVisible()) << name;
    EXPECT_EQ(Find<QLineEdit>(dialog, "edtConfirm")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Find<QLineEdit>(dialog, "edtAnswer")->echoMode(), QLineEdit::Normal);
    if (*c.Shot != '\0') SaveShot(dialog, c.Shot);
  }

  // "Ankara" and "Ankara " differ: the dialog says so and stays open; the same answer twice closes it.
  std::string question, answer;
  FDriver.Expect(RecoveryDialog, [&](QWidget& dialog) {
    Type(dialog, "edtQuestion", QStringLiteral(" Doğum yeri? "));
    Type(dialog, "edtAnswer", QStringLiteral("Ankara"));
    Type(dialog, "edtConfirm", QStringLiteral("Ankara "));
    ClickButton(dialog, QStringLiteral("Kaydet"));
    EXPECT_TRUE(dialog.isVisible());
    Type(dialog, "edtConfirm", QStringLiteral("Ankara"));
    ClickButton(dialog, QStringLiteral("Kaydet"));
  });
  EXPECT_TRUE(TfrmRecoveryDialog::ExecuteSetupSecurityQuestion(nullptr, FPrompts, question, answer));
  EXPECT_TRUE(FDriver.Done());
  EXPECT_EQ(FPrompts.Messages,
            (std::vector<std::pair<std::string, TAppMessageKind>>{{"Cevaplar eşleşmiyor.", amError}}));
  EXPECT_EQ(question, "Doğum yeri?");
  EXPECT_EQ(answer, "Ankara");
}

}  // namespace
}  // namespace velkor
