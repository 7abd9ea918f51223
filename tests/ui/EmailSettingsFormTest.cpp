// The e-mail settings dialog driven as a user drives it, over a scratch registry file: its checks and messages,
// the question for an empty recipient list, and the test mail arriving at a real SMTP server on 127.0.0.1.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "app/AppCoreHarness.h"
#include "integration/SmtpPeer.h"
#include "ui/EmailSettingsForm.h"
#include "ui/QtMainThread.h"

namespace velkor {
namespace {

using test::Find;
using test::SaveShot;
using test::TModalDriver;
using test::TypeText;

const QString Dialog = QStringLiteral("frmEmailSettings");

void Type(QWidget& form, const char* field, const QString& text) {
  auto* edit = Find<QLineEdit>(form, field);
  edit->clear();
  TypeText(edit, text);
}

void Click(QWidget& form, const char* button) { QTest::mouseClick(Find<QPushButton>(form, button), Qt::LeftButton); }

QStringList Listed(QWidget& form) {
  QStringList items;
  auto* list = Find<QListWidget>(form, "lstRecipients");
  for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
  return items;
}

class EmailSettingsFormTest : public ::testing::Test {
protected:
  test::TTempDir FDir;
  test::TScopedEnv FAppData{"APPDATA", (FDir / "appdata").string()};
  test::TScriptedPrompts FPrompts;
  test::TFakeClock FClock;
  TQtMainThread FMain;
  TModalDriver FDriver;
  std::vector<std::string> FLog;

  std::filesystem::path Registry() const { return FDir / "registry.json"; }
  TEmailSettingsServices Services() { return {FPrompts, FClock, FMain, {5, 10}}; }
  // Opens the dialog from the main window's button and runs `actions` in it.
  void Open(std::function<void(QWidget&)> actions) {
    FDriver.Expect(Dialog, std::move(actions));
    btnEmailSettingsClick(
        nullptr, Services(), [this](const std::string& line) { FLog.push_back(line); }, Registry());
    EXPECT_TRUE(FDriver.Done());
  }
  std::string LastMessage() const { return FPrompts.Messages.empty() ? "" : FPrompts.Messages.back().first; }
};

TEST_F(EmailSettingsFormTest, ChecksKeepTheDialogOpenUntilTheSettingsAreSaved) {
  std::vector<std::string> portMessages;
  std::vector<std::string> recipientMessages;
  Open([&](QWidget& form) {
    EXPECT_EQ(Find<QLineEdit>(form, "edtServer")->text(), QStringLiteral("smtp.gmail.com"));
    EXPECT_EQ(Find<QLineEdit>(form, "edtPort")->text(), QStringLiteral("587"));
    EXPECT_TRUE(Find<QCheckBox>(form, "chkUseTLS")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>(form, "chkUseSSL")->isChecked());
    EXPECT_EQ(Find<QLineEdit>(form, "edtFromName")->text(), QStringLiteral("QeltBackup"));
    EXPECT_EQ(Find<QLineEdit>(form, "edtPassword")->echoMode(), QLineEdit::Password);
    SaveShot(form, "email-settings");

    Type(form, "edtServer", QStringLiteral("  "));
    Click(form, "btnOK");
    EXPECT_EQ(LastMessage(), "SMTP sunucusu boş olamaz!");
    EXPECT_TRUE(Find<QLineEdit>(form, "edtServer")->hasFocus());
    Type(form, "edtServer", QStringLiteral("smtp.ornek.test"));
    for (const char* port : {"0", "-25", "abc"}) {
      Type(form, "edtPort", QString::fromUtf8(port));
      Click(form, "btnOK");
      portMessages.push_back(LastMessage());
      EXPECT_TRUE(Find<QLineEdit>(form, "edtPort")->hasFocus());
    }
    Type(form, "edtPort", QStringLiteral("2525"));
    Click(form, "btnOK");
    EXPECT_EQ(LastMessage(), "Gönderen e-posta adresi boş olamaz!");
    Type(form, "edtFromEmail", QStringLiteral("yedek@ornek.test"));

    for (const char* address : {"  ", "ali.ornek.test", "@", " Ali@Ornek.test ", "ali@ornek.TEST"}) {
      const size_t before = FPrompts.Messages.size();
      Type(form, "edtNewRecipient", QString::fromUtf8(address));
      Click(form, "btnAddRecipient");
      recipientMessages.push_back(FPrompts.Messages.size() > before ? LastMessage() : "eklendi");
    }
    EXPECT_EQ(Listed(form), (QStringList{QStringLiteral("@"), QStringLiteral("Ali@Ornek.test")}));
    Find<QListWidget>(form, "lstRecipients")->setCurrentRow(-1);
    Click(form, "btnRemoveRecipient");
    EXPECT_EQ(LastMessage(), "Lütfen silinecek e-posta adresini seçin!");
    for (int i = 0; i < 2; ++i) {
      Find<QListWidget>(form, "lstRecipients")->setCurrentRow(0);
      Click(form, "btnRemoveRecipient");
    }
    EXPECT_TRUE(Listed(form).isEmpty());

    FPrompts.YesNoAnswers = {false, true};
    Click(form, "btnOK");
    EXPECT_TRUE(form.isVisible()) << "No keeps the dialog open";
    EXPECT_FALSE(std::filesystem::exists(Registry())) << "nothing saved yet";
    Click(form, "btnOK");
  });
  EXPECT_EQ(portMessages, std::vector<std::string>(3, "Geçersiz port numarası!"));
  EXPECT_EQ(recipientMessages, (std::vector<std::string>{"Lütfen e-posta adresi girin!", "Geçersiz e-posta adresi!",
                                                         "eklendi", "eklendi", "Bu e-posta adresi zaten listede!"}));
  EXPECT_EQ(FPrompts.Questions, std::vector<std::string>(2, "Alıcı listesi boş! Devam etmek istiyor musunuz?"));
  EXPECT_EQ(FLog, std::vector<std::string>{"E-posta ayarları güncellendi."});

  TEmailNotifier saved(Registry());
  saved.LoadSettings();
  EXPECT_EQ(saved.Settings().Server, "smtp.ornek.test");
  EXPECT_EQ(saved.Settings().Port, 2525);
  EXPECT_EQ(saved.Settings().FromEmail, "yedek@ornek.test");
  EXPECT_TRUE(saved.Recipients().empty());
  EXPECT_NE(test::ReadFile(Registry()).find("\"RecipientCount\""), std::string::npos);

  // Cancel: nothing changes and nothing is logged.
  Open([&](QWidget& form) {
    EXPECT_EQ(Find<QLineEdit>(form, "edtPort")->text(), QStringLiteral("2525"));
    Type(form, "edtServer", QStringLiteral("baska.ornek.test"));
    Click(form, "btnCancel");
  });
  EXPECT_EQ(FLog.size(), 1u);
  saved.LoadSettings();
  EXPECT_EQ(saved.Settings().Server, "smtp.ornek.test");
}

TEST_F(EmailSettingsFormTest, TestMailGoesToTheFirstRecipientOnly) {
  test::TSmtpPeer peer;
  const size_t before = peer.Count();
  std::vector<std::string> messages;
  Open([&](QWidget& form) {
    Click(form, "btnTest");
    messages.push_back(LastMessage());
    for (const char* address : {"ilk@ornek.test", "ikinci@ornek.test", "ucuncu@ornek.test"}) {
      Type(form, "edtNewRecipient", QString::fromUtf8(address));
      Click(form, "btnAddRecipient");
    }
    Type(form, "edtServer", QString());
    Click(form, "btnTest");
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.isEnabled(); }, 30000));
    messages.push_back(LastMessage());

    Type(form, "edtServer", QStringLiteral("127.0.0.1"));
    Type(form, "edtPort", QString::number(peer.Port("starttls")));
    Type(form, "edtUsername", QString::fromUtf8(test::SmtpUser));
    Type(form, "edtPassword", QString::fromUtf8(test::SmtpPassword));
    Type(form, "edtFromEmail", QStringLiteral("yedek@ornek.test"));
    Click(form, "btnTest");
    EXPECT_FALSE(form.isEnabled()) << "the dialog waits for the test mail";
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.isEnabled(); }, 60000));
    messages.push_back(LastMessage());
    Click(form, "btnCancel");
  });
  EXPECT_EQ(messages, (std::vector<std::string>{
                          "Test için en az bir alıcı e-posta adresi ekleyin!",
                          "Test e-postası gönderilemedi!\r\n\r\nHata: SMTP sunucusu belirtilmemiş!",
                          "Test e-postası başarıyla gönderildi!\r\nAlıcı: ilk@ornek.test",
                      }));
  const auto mails = peer.WaitForMails(before, 1);
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].Envelope["rcpt_tos"], nlohmann::json::array({"ilk@ornek.test"}));
  EXPECT_EQ(mails[0].Message["subject"], "Velkor - Profesyonel Yedekleme Çözümü (Test Maili Gönderimi)");
  EXPECT_TRUE(FLog.empty());
  EXPECT_FALSE(std::filesystem::exists(Registry())) << "the test saves nothing";
}

}  // namespace
}  // namespace velkor
