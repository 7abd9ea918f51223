// The password prompts and the window's answers to the core's prompts: what is typed comes back exactly as typed,
// a blank or mismatching entry is refused with its warning, and questions count as accepted only on "Evet".
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/PasswordPromptForm.h"
#include "ui/QtAppPrompts.h"

namespace velkor {
namespace {

using test::ClickButton;
using test::Find;
using test::ReadMessageDialog;
using test::SaveShot;
using test::TModalDriver;
using test::TShownMessage;
using test::TypeText;

const QString Prompt = QStringLiteral("frmPasswordPrompt");
const QString MessageDialog = QStringLiteral("frmAppMessage");

// Types into the prompt's fields as a user does and presses Enter, which is "Tamam".
std::function<void(QWidget&)> TypeAndConfirm(QString first, std::optional<QString> second, std::string shot = {}) {
  return [=](QWidget& prompt) {
    TypeText(Find<QLineEdit>(prompt, "edtPassword"), first);
    if (second) TypeText(Find<QLineEdit>(prompt, "edtConfirm"), *second);
    if (!shot.empty()) SaveShot(prompt, shot);
    QTest::keyClick(Find<QLineEdit>(prompt, "edtPassword"), Qt::Key_Return);
  };
}

TEST(PasswordPromptForm, ChecksWhatWasTyped) {
  const struct {
    bool TwoFields;
    QString First, Second;
    bool Accepted;
    std::string Password;
    std::string Warning;  // empty: none
  } cases[] = {
      {false, QStringLiteral(" gizli "), {}, true, " gizli ", ""},  // never trimmed
      {false, QStringLiteral("   "), {}, false, "", "Şifre boş olamaz!"},
      {false, {}, {}, false, "", "Şifre boş olamaz!"},
      {true, QStringLiteral("Parola 1"), QStringLiteral("Parola 1"), true, "Parola 1", ""},
      {true, QStringLiteral("Parola 1"), QStringLiteral("Parola 1 "), false, "", "Şifreler eşleşmiyor!"},
      {true, QStringLiteral("  "), QStringLiteral("  "), false, "", "Şifre boş olamaz!"},
  };
  for (const auto& c : cases) {
    TShownMessage warning;
    TModalDriver driver;
    driver.Expect(Prompt, TypeAndConfirm(c.First, c.TwoFields ? std::optional(c.Second) : std::nullopt));
    if (!c.Warning.empty()) {
      driver.Expect(MessageDialog, [&](QWidget& dialog) {
        warning = ReadMessageDialog(dialog);
        ClickButton(dialog, QStringLiteral("Tamam"));
      });
    }
    std::string password = "eski";
    const bool accepted = c.TwoFields
                              ? PromptNewPassword("İlk Kurulum", "Şifre belirleyin:", "Şifreyi tekrar girin:", password)
                              : PromptPassword("Şifre Çözme", "Şifreyi girin:", password);
    EXPECT_TRUE(driver.Done()) << c.First.toStdString();
    EXPECT_EQ(accepted, c.Accepted) << c.First.toStdString();
    EXPECT_EQ(password, c.Password) << c.First.toStdString();
    EXPECT_EQ(warning.Text, c.Warning) << c.First.toStdString();
    if (!c.Warning.empty()) {
      EXPECT_EQ(warning.Title, "Uyarı");
    }
  }
}

TEST(PasswordPromptForm, CancelReturnsNothingWithoutAWarning) {
  TModalDriver driver;
  driver.Expect(Prompt, [](QWidget& prompt) {
    TypeText(Find<QLineEdit>(prompt, "edtPassword"), QStringLiteral("yazıldı"));
    ClickButton(prompt, QStringLiteral("İptal"));
  });
  std::string password = "eski";
  EXPECT_FALSE(PromptPassword("Şifre Çözme", "Şifreyi girin:", password));
  EXPECT_EQ(password, "");
  EXPECT_TRUE(driver.Done());  // no warning dialog followed
}

TEST(PasswordPromptForm, LayoutOfOneAndTwoFields) {
  const struct {
    bool TwoFields;
    int Height;
    const char* Shot;
  } cases[] = {{false, 140, "password-prompt"}, {true, 188, "password-prompt-new"}};
  for (const auto& c : cases) {
    TModalDriver driver;
    driver.Expect(Prompt, [&](QWidget& prompt) {
      EXPECT_EQ(prompt.size(), QSize(430, c.Height));
      EXPECT_EQ(prompt.windowTitle(), QStringLiteral("Şifreleme Şifresi"));
      auto* first = Find<QLineEdit>(prompt, "edtPassword");
      EXPECT_EQ(first->geometry().topLeft(), QPoint(16, 42));
      EXPECT_EQ(first->width(), 430 - 32);
      EXPECT_EQ(first->echoMode(), QLineEdit::Password);
      EXPECT_TRUE(first->hasFocus());
      auto* second = prompt.findChild<QLineEdit*>(QStringLiteral("edtConfirm"));
      EXPECT_EQ(second != nullptr, c.TwoFields);
      if (second != nullptr) {
        EXPECT_EQ(second->geometry().topLeft(), QPoint(16, 102));
        EXPECT_EQ(second->echoMode(), QLineEdit::Password);
      }
      auto* ok = Find<QPushButton>(prompt, "btnOK");
      auto* cancel = Find<QPushButton>(prompt, "btnCancel");
      EXPECT_EQ(ok->geometry().topLeft(), QPoint(430 - 208, c.Height - 42));
      EXPECT_EQ(cancel->geometry().topLeft(), QPoint(430 - 108, c.Height - 42));
      EXPECT_TRUE(ok->isDefault());
      TypeAndConfirm(QStringLiteral("gizli parola"),
                     c.TwoFields ? std::optional(QStringLiteral("gizli parola")) : std::nullopt, c.Shot)(prompt);
    });
    std::string password;
    const bool accepted = c.TwoFields
                              ? PromptNewPassword("Şifreleme Şifresi",
                                                  "Yeni şifreleme şifresini girin:", "Şifreyi tekrar girin:", password)
                              : PromptPassword("Şifreleme Şifresi", "Şifreleme şifresini girin:", password);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(password, "gizli parola");
    EXPECT_TRUE(driver.Done());
  }
}

TEST(QtAppPrompts, QuestionsAndMessagesGoThroughTheStyledDialog) {
  TQtAppPrompts prompts;
  const struct {
    const char* Button;
    bool Yes;
  } answers[] = {{"Evet", true}, {"Hayır", false}};
  for (const auto& a : answers) {
    TShownMessage question;
    TModalDriver driver;
    driver.Expect(MessageDialog, [&](QWidget& dialog) {
      question = ReadMessageDialog(dialog);
      ClickButton(dialog, QString::fromUtf8(a.Button));
    });
    EXPECT_EQ(prompts.AskYesNo("Mevcut işlem iptal edilsin mi?"), a.Yes);
    EXPECT_EQ(question.Title, "Onay");
    EXPECT_EQ(question.Buttons, (std::vector<std::string>{"Evet", "Hayır"}));
    EXPECT_EQ(question.DefaultButton, "Hayır");
  }

  TShownMessage message;
  TModalDriver driver;
  driver.Expect(MessageDialog, [&](QWidget& dialog) {
    message = ReadMessageDialog(dialog);
    ClickButton(dialog, QStringLiteral("Tamam"));
  });
  prompts.ShowMessage("Yedekleme tamamlandı.", amError);  // the kind given wins over the words
  EXPECT_EQ(message.Title, "Hata");
}

TEST(QtAppPrompts, FileFiltersInTheToolkitsForm) {
  const struct {
    const char* Filter;
    const char* Expected;
  } cases[] = {
      {"PDF Dosyası (*.pdf)|*.pdf", "PDF Dosyası (*.pdf)"},
      {"Şifreli Yedek|*.mbe|Tüm Dosyalar (*.*)|*.*", "Şifreli Yedek (*.mbe);;Tüm Dosyalar (*.*)"},
      {"Arşivler|*.zip;*.mbe", "Arşivler (*.zip *.mbe)"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ToQtFileFilter(c.Filter).toStdString(), c.Expected) << c.Filter;
}

}  // namespace
}  // namespace velkor
