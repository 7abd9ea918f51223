// The notifier against real SMTP servers on 127.0.0.1: every transport, authentication only where LOGIN is
// offered, the message as it arrives (subject, sender, recipients, body bytes, attachment), failures, and the run
// notification, history mail and test mail end to end.
#include <gtest/gtest.h>

#include "SmtpPeer.h"
#include "app/EmailCommands.h"
#include "crypto/CryptoUtils.h"
#include "notify/EmailReports.h"
#include "notify/EmailSettings.h"
#include "notify/RunNotification.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

using namespace std::chrono_literals;
using test::TScopedEnv;
using test::TSmtpPeer;
using test::TTempDir;

TSmtpPeer& Peer() {
  static TSmtpPeer peer;
  return peer;
}

std::string Sha256Hex(const std::string& data) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (const uint8_t b : Sha256Digest(data.data(), data.size())) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}

// Records what would be shown, answers nothing.
class TRecordingPrompts final : public IAppPrompts {
public:
  bool IsInteractive() const override { return false; }
  void ShowMessage(const std::string& text, TAppMessageKind) override { Shown.push_back(text); }
  bool AskYesNo(const std::string&) override { return false; }
  bool PromptPassword(const std::string&, const std::string&, std::string&) override { return false; }
  bool PromptNewPassword(const std::string&, const std::string&, const std::string&, std::string&) override {
    return false;
  }
  bool PromptText(const std::string&, const std::string&, std::string&) override { return false; }
  bool SelectFolder(const std::string&, std::string&) override { return false; }
  bool SelectOpenFile(const std::string&, const std::string&, std::string&) override { return false; }
  bool SelectSaveFile(const std::string&, const std::string&, std::string&) override { return false; }
  std::vector<std::string> Shown;
};

class EmailDeliveryTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { Peer(); }

  std::filesystem::path RegistryFile() const { return FDir / "user" / "QeltBackup" / "registry.json"; }

  TSMTPSettings Settings(const std::string& server, bool ssl, bool tls, const std::string& user = test::SmtpUser,
                         const std::string& password = test::SmtpPassword) {
    return {"127.0.0.1", Peer().Port(server), user, password, ssl, tls, "yedek@ornek.test", "Velkor Yedekleme"};
  }
  TEmailNotifier Notifier(const TSMTPSettings& settings, const std::vector<std::string>& recipients) {
    TEmailNotifier notifier(RegistryFile());
    notifier.SetSettings(settings);
    for (const std::string& r : recipients) notifier.AddRecipient(r);
    return notifier;
  }
  // Stores settings the way the settings dialog does, for the callers that load them.
  void SaveSettings(const TSMTPSettings& settings, const std::vector<std::string>& recipients) {
    Notifier(settings, recipients).SaveSettings();
  }

  TTempDir FDir;
  TScopedEnv FAppData{"APPDATA", (FDir / "user").string()};
};

TEST_F(EmailDeliveryTest, EveryTransportDelivers) {
  const std::string subject = "Yedekleme Başarılı: Belgeler ğüşıöç ĞÜŞİÖÇ — uzun bir konu satırı 😀";
  const std::string body = "<p>Merhaba & hoş geldiniz</p>\n<p>İkinci satır</p>";
  const struct {
    const char* What;
    const char* Server;
    bool Ssl, Tls;
    bool Encrypted;
    const char* Mechanism;  // nullptr: sent without authenticating
  } cases[] = {
      {"neither flag", "noauth", false, false, false, nullptr},
      // Before STARTTLS this server offers no AUTH: the mail goes without it.
      {"neither flag to a STARTTLS server", "starttls", false, false, false, nullptr},
      {"SSL alone: implicit TLS", "implicit", true, false, true, "LOGIN"},
      {"TLS alone: STARTTLS", "starttls", false, true, true, "LOGIN"},
      // Implicit TLS to this plain-text port would fail: STARTTLS it is.
      {"both flags: STARTTLS", "starttls", true, true, true, "LOGIN"},
      {"a server that offers PLAIN only", "plainonly", false, false, false, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    const size_t before = Peer().Count();
    TEmailNotifier notifier = Notifier(Settings(c.Server, c.Ssl, c.Tls), {"ali@ornek.test", "veli@ornek.test"});
    EXPECT_NO_THROW(notifier.SendNotification(subject, body, "", true));
    const auto mails = Peer().WaitForMails(before, 1);
    ASSERT_EQ(mails.size(), 1u);
    const test::TReceivedMail& mail = mails[0];
    EXPECT_EQ(mail.Envelope["server"], c.Server);
    EXPECT_EQ(mail.Envelope["tls"].is_string(), c.Encrypted) << mail.Envelope.dump();
    if (c.Encrypted) {
      EXPECT_TRUE(mail.Envelope["tls"] == "TLSv1.2" || mail.Envelope["tls"] == "TLSv1.3");
    }
    EXPECT_EQ(mail.Envelope["auth_mechanism"].is_null(), c.Mechanism == nullptr) << mail.Envelope.dump();
    if (c.Mechanism) {
      EXPECT_EQ(mail.Envelope["auth_login"], test::SmtpUser);
    }
    EXPECT_EQ(mail.Envelope["mail_from"], "yedek@ornek.test");
    EXPECT_EQ(mail.Envelope["rcpt_tos"], nlohmann::json({"ali@ornek.test", "veli@ornek.test"}));
    EXPECT_EQ(mail.Message["subject"], subject);
    EXPECT_EQ(mail.Message["from_name"], "Velkor Yedekleme");
    EXPECT_EQ(mail.Message["from_address"], "yedek@ornek.test");
    EXPECT_EQ(mail.Message["to"], nlohmann::json({"ali@ornek.test", "veli@ornek.test"}));
    EXPECT_EQ(mail.Message["body"]["content_type"], "text/html; charset=UTF-8");
    EXPECT_EQ(mail.Body(), "<p>Merhaba & hoş geldiniz</p>\r\n<p>İkinci satır</p>") << "lines end in CR LF";
    EXPECT_LE(mail.Message["longest_line"].get<int>(), 998);
  }
}

TEST_F(EmailDeliveryTest, FailuresAreWrappedAndDeliverNothing) {
  const size_t before = Peer().Count();
  const struct {
    const char* What;
    TSMTPSettings Settings;
    TSmtpTimeouts Timeouts;
  } cases[] = {
      {"wrong password", Settings("starttls", false, true, test::SmtpUser, "yanlış"), {}},
      {"wrong password over implicit TLS", Settings("implicit", true, false, test::SmtpUser, "yanlış"), {}},
      {"nothing listening", {"127.0.0.1", 1, "", "", false, false, "a@b", ""}, {}},
      {"TLS from the first byte to a plain-text server", Settings("noauth", true, false), {5, 2}},
      // A server that accepts the connection and then says nothing: bounded by the response time-out.
      {"silent server", Settings("silent", false, true), {5, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    TEmailNotifier notifier = Notifier(c.Settings, {"ali@ornek.test"});
    notifier.SetTimeouts(c.Timeouts);
    const auto started = std::chrono::steady_clock::now();
    try {
      notifier.SendNotification("Konu", "<p>x</p>", "", true);
      ADD_FAILURE() << "sent";
    } catch (const std::exception& e) {
      EXPECT_TRUE(StartsText("E-posta gönderme hatası: ", e.what())) << e.what();
      EXPECT_GT(std::string(e.what()).size(), std::string("E-posta gönderme hatası: ").size());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
  }
  EXPECT_EQ(Peer().Count(), before);
}

TEST_F(EmailDeliveryTest, AttachmentArrivesIntactWithAPlainTextBody) {
  std::string data;
  const TBytes random = GenerateRandomBytes(300000);  // several read chunks, and a part-filled last one
  data.assign(random.begin(), random.end());
  const std::filesystem::path file = FDir / "rapor ğüş.bin";
  test::WriteFile(file, data);
  const size_t before = Peer().Count();
  TEmailNotifier notifier = Notifier(Settings("starttls", false, true), {"ali@ornek.test"});
  notifier.SendNotification("Ekli rapor", "Düz metin\ngövde", file.string(), false);
  // A missing attachment is left out silently.
  notifier.SendNotification("Eksiz", "x", (FDir / "yok.bin").string(), false);
  const auto mails = Peer().WaitForMails(before, 2);
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[0].Message["body"]["content_type"], "text/plain; charset=UTF-8");
  EXPECT_EQ(mails[0].Body(), "Düz metin\r\ngövde");
  ASSERT_EQ(mails[0].Message["attachments"].size(), 1u);
  EXPECT_EQ(mails[0].Message["attachments"][0]["filename"], "rapor ğüş.bin");
  EXPECT_EQ(mails[0].Message["attachments"][0]["size"], data.size());
  EXPECT_EQ(mails[0].Message["attachments"][0]["sha256"], Sha256Hex(data));
  EXPECT_LE(mails[0].Message["longest_line"].get<int>(), 998);
  EXPECT_TRUE(mails[1].Message["attachments"].empty());
  EXPECT_EQ(mails[1].Message["top_content_type"], "text/plain");
}

TEST_F(EmailDeliveryTest, BuiltMailsArriveByteForByte) {
  SaveSettings(Settings("starttls", false, true), {"ali@ornek.test", "veli@ornek.test"});

  TRunReport report;
  report.BackupTime = EncodeDateTime(2024, 3, 5, 14, 7, 9);
  report.Success = true;
  report.Message = "Yedekleme tamamlandı: <3 dosya> & \"hepsi\"\rtamam";
  report.BackupName = "Belgeler";
  report.SuccessfulNames = {"/kaynak/a.txt", "/kaynak/ğ.txt"};
  report.FailedNames = {"/kaynak/b.txt (kilitli)"};
  const size_t before = Peer().Count();
  EXPECT_TRUE(SendRunNotification(report, RegistryFile()));

  TBackupHistoryItem item;
  item.BackupTime = report.BackupTime;
  item.TaskName = "";
  item.Details = "Hata & uyarı";
  item.Files = {{"/kaynak/a.txt", 12, true}};
  TRecordingPrompts prompts;
  std::vector<std::string> logged;
  EXPECT_TRUE(SendHistoryEntryMail(
      &item, prompts, [&](const std::string& line) { logged.push_back(line); }, RegistryFile()));
  EXPECT_TRUE(prompts.Shown.empty());
  EXPECT_EQ(logged, std::vector<std::string>{"Seçili history kaydı e-posta ile gönderildi."});

  const auto mails = Peer().WaitForMails(before, 2);
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[0].Message["subject"], "Yedekleme Başarılı: Belgeler");
  EXPECT_EQ(mails[0].Body(), RunNotificationBody(report));
  EXPECT_EQ(mails[1].Message["subject"], "Yedekleme Detayı: Adsız Görev");
  EXPECT_EQ(mails[1].Body(), BuildHistoryDetailHtml(item));
  EXPECT_EQ(mails[1].Envelope["rcpt_tos"].size(), 2u);
}

TEST_F(EmailDeliveryTest, HistoryMailAndTestMailReportTheirFailures) {
  TBackupHistoryItem item;
  item.TaskName = "Belgeler";
  const struct {
    const char* What;
    std::function<void()> Prepare;
    const TBackupHistoryItem* Item;
    const char* Shown;
  } cases[] = {
      {"nothing selected", [] {}, nullptr, "Lütfen e-posta göndermek istediğiniz log kaydını seçin."},
      {"no recipients", [&] { SaveSettings(Settings("noauth", false, false), {}); }, &item,
       "Mail gönderme hatası: E-posta alıcısı tanımlı değil."},
      {"blank server",
       [&] {
         TSMTPSettings s = Settings("noauth", false, false);
         s.Server = " ";
         SaveSettings(s, {"a@b"});
       },
       &item, "Mail gönderme hatası: SMTP sunucusu belirtilmemiş!"},
  };
  for (const auto& c : cases) {
    c.Prepare();
    TRecordingPrompts prompts;
    bool logged = false;
    EXPECT_FALSE(SendHistoryEntryMail(
        c.Item, prompts, [&](const std::string&) { logged = true; }, RegistryFile()));
    EXPECT_EQ(prompts.Shown, std::vector<std::string>{c.Shown}) << c.What;
    EXPECT_FALSE(logged);
  }

  // The test mail goes to the first listed address only.
  TEmailSettingsFields fields = FieldsFromNotifier(Notifier(Settings("implicit", true, false), {}));
  fields.Recipients = {"ilk@ornek.test", "ikinci@ornek.test", "üçüncü@ornek.test"};
  const size_t before = Peer().Count();
  const TTestMailOutcome sent = SendTestMail(fields, EncodeDateTime(2024, 3, 5, 14, 7, 9));
  EXPECT_EQ(sent.Message, "Test e-postası başarıyla gönderildi!\r\nAlıcı: ilk@ornek.test");
  const auto mails = Peer().WaitForMails(before, 1);
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].Envelope["rcpt_tos"], nlohmann::json({"ilk@ornek.test"}));
  EXPECT_EQ(mails[0].Message["subject"], TestMailSubject);
  EXPECT_EQ(mails[0].Body(), BuildTestMailHtml(EncodeDateTime(2024, 3, 5, 14, 7, 9)));
  fields.Password = "yanlış";
  const TTestMailOutcome refused = SendTestMail(fields, 0);
  EXPECT_TRUE(StartsText("Test e-postası gönderilemedi!\r\n\r\nHata: E-posta gönderme hatası: ", refused.Message))
      << refused.Message;
}

TEST_F(EmailDeliveryTest, RunNotificationsRunOnTheirOwnThreads) {
  std::mutex lock;
  std::vector<std::string> failures;
  auto report = [&](const std::string& line) {
    std::lock_guard<std::mutex> guard(lock);
    failures.push_back(line);
  };
  TRunReport run;
  run.Success = true;
  run.BackupName = "Belgeler";

  SaveSettings(Settings("starttls", false, true), {"ali@ornek.test"});
  size_t before = Peer().Count();
  {
    TRunNotificationThreads threads(RegistryFile(), report);
    for (int i = 0; i < 3; ++i) threads.Start(run);
    EXPECT_TRUE(threads.WaitForAll(60s));
  }
  EXPECT_EQ(Peer().WaitForMails(before, 3).size(), 3u);
  EXPECT_TRUE(failures.empty());

  // Turned off, or without recipients: nothing is sent and nothing reported.
  for (const bool enabled : {false, true}) {
    TEmailNotifier notifier = Notifier(Settings("starttls", false, true),
                                       enabled ? std::vector<std::string>{} : std::vector<std::string>{"a@b"});
    notifier.SetNotificationsEnabled(enabled);
    notifier.SaveSettings();
    before = Peer().Count();
    TRunNotificationThreads threads(RegistryFile(), report);
    threads.Start(run);
    EXPECT_TRUE(threads.WaitForAll(60s));
    EXPECT_EQ(Peer().Count(), before);
    EXPECT_TRUE(failures.empty());
  }

  // A server that is down: the failure is reported from the thread.
  SaveSettings({"127.0.0.1", 1, "", "", false, false, "a@b", ""}, {"ali@ornek.test"});
  TRunNotificationThreads threads(RegistryFile(), report);
  threads.Start(run);
  EXPECT_TRUE(threads.WaitForAll(60s));
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_TRUE(StartsText("E-posta bildirimi gönderilemedi: E-posta gönderme hatası: ", failures[0])) << failures[0];
}

}  // namespace
}  // namespace velkor
