// velkor-cli's e-mail: the settings command, the test mail, a run's notification and the history mail, against
// the real SMTP servers.
#include <gtest/gtest.h>

#include "SmtpPeer.h"
#include "cli/CliHarness.h"
#include "crypto/SecureStorage.h"
#include "notify/EmailNotifier.h"
#include "platform/Registry.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

using namespace std::chrono_literals;

test::TSmtpPeer& Peer() {
  static test::TSmtpPeer peer;
  return peer;
}

class CliEmail : public test::CliHarness {
protected:
  // Before any test points TMPDIR at its own scratch folder, so the peer's folder outlives each test.
  static void SetUpTestSuite() { Peer(); }

  // Mail settings for the STARTTLS server with AUTH LOGIN, and `recipients`.
  TResult Configure(const std::vector<std::string>& recipients, int port = 0) {
    std::vector<std::string> args{"email-settings",
                                  "--server",
                                  "127.0.0.1",
                                  "--port",
                                  std::to_string(port != 0 ? port : Peer().Port("starttls")),
                                  "--tls",
                                  "--no-ssl",
                                  "--user",
                                  test::SmtpUser,
                                  "--password-stdin",
                                  "--from",
                                  "yedek@ornek.test",
                                  "--from-name",
                                  "Sunucu Yedeği"};
    for (const std::string& r : recipients) args.insert(args.end(), {"--to", r});
    return RunCli(args, std::string(test::SmtpPassword) + "\n");
  }
};

TEST_F(CliEmail, SettingsAreShownChangedAndChecked) {
  const TResult defaults = RunCli({"email-settings"});
  EXPECT_EQ(defaults.Exit, 0);
  EXPECT_NE(defaults.Out.find(std::string("Sunucu: ") + DefaultSmtpServer + "\nPort: 587\nTLS Kullan: evet\n"),
            std::string::npos)
      << defaults.Out;
  // An empty recipient list is a question; without a terminal to answer it, the answer is "Hayır".
  const TResult unanswered = RunCli({"email-settings", "--from", "yedek@ornek.test"});
  EXPECT_EQ(unanswered.Exit, 1);
  EXPECT_NE(unanswered.Err.find("E-posta ayarları kaydedilmedi"), std::string::npos) << unanswered.Err;
  EXPECT_FALSE(TRegistry().KeyExists("Software\\QeltBackup\\Email"));

  const TResult saved = Configure({"ali@ornek.test", "veli@ornek.test"});
  EXPECT_EQ(saved.Exit, 0) << saved.Err;
  EXPECT_NE(saved.Out.find("] E-posta ayarları güncellendi."), std::string::npos) << saved.Out;
  TEmailNotifier stored;
  stored.LoadSettings();
  EXPECT_EQ(stored.Settings().Password, test::SmtpPassword);
  EXPECT_EQ(stored.Settings().FromName, "Sunucu Yedeği");
  EXPECT_EQ(stored.Recipients(), (std::vector<std::string>{"ali@ornek.test", "veli@ornek.test"}));
  TRegistry registry;
  ASSERT_TRUE(registry.OpenKeyReadOnly("Software\\QeltBackup\\Email"));
  EXPECT_TRUE(StartsText("dpapi:", registry.ReadString("Password")));

  const TResult shown = RunCli({"email-settings"});
  EXPECT_NE(shown.Out.find("Şifre: ********\n"), std::string::npos) << shown.Out;
  EXPECT_EQ(shown.Out.find(test::SmtpPassword), std::string::npos) << "the password is never shown";
  EXPECT_NE(shown.Out.find("Alıcılar: ali@ornek.test, veli@ornek.test\n"), std::string::npos);

  // The dialog's checks, each refusing without saving.
  const struct {
    std::vector<std::string> Args;
    const char* Message;
  } refusals[] = {
      {{"--server", " "}, "SMTP sunucusu boş olamaz!"},
      {{"--port", "0"}, "Geçersiz port numarası!"},
      {{"--port", "abc"}, "Geçersiz port numarası!"},
      {{"--from", ""}, "Gönderen e-posta adresi boş olamaz!"},
      {{"--to", "geçersiz"}, "Geçersiz e-posta adresi!"},
      {{"--to", "a@x", "--to", "A@X"}, "Bu e-posta adresi zaten listede!"},
      {{"--to", ""}, "Lütfen e-posta adresi girin!"},
  };
  for (const auto& r : refusals) {
    std::vector<std::string> args{"email-settings"};
    args.insert(args.end(), r.Args.begin(), r.Args.end());
    const TResult refused = RunCli(args);
    EXPECT_EQ(refused.Exit, 1) << r.Message;
    EXPECT_NE(refused.Err.find(r.Message), std::string::npos) << refused.Err;
  }
  TEmailNotifier after;
  after.LoadSettings();
  EXPECT_EQ(after.Settings(), stored.Settings());
  EXPECT_EQ(after.Recipients(), stored.Recipients());

  EXPECT_EQ(RunCli({"email-settings", "--bilinmeyen"}).Exit, 2);
  EXPECT_EQ(RunCli({"email-settings", "--port"}).Exit, 2);
  const TResult off = RunCli({"email-settings", "--disable"});
  EXPECT_EQ(off.Exit, 0) << off.Err;
  EXPECT_NE(RunCli({"email-settings"}).Out.find("Çalışma bildirimleri: kapalı"), std::string::npos);
}

TEST_F(CliEmail, TestMailGoesToTheFirstRecipient) {
  ASSERT_EQ(Configure({"ilk@ornek.test", "ikinci@ornek.test"}).Exit, 0);
  const size_t before = Peer().Count();
  const TResult sent = RunCli({"email-settings", "--test"});
  EXPECT_EQ(sent.Exit, 0) << sent.Err;
  EXPECT_NE(sent.Err.find("Test e-postası başarıyla gönderildi!\nAlıcı: ilk@ornek.test"), std::string::npos)
      << sent.Err;
  const auto mails = Peer().WaitForMails(before, 1);
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].Envelope["rcpt_tos"], nlohmann::json({"ilk@ornek.test"}));
  EXPECT_EQ(mails[0].Envelope["auth_mechanism"], "LOGIN");

  // Options given with --test are tried, not saved.
  const TResult failed = RunCli({"email-settings", "--test", "--port", "1"});
  EXPECT_EQ(failed.Exit, 1);
  EXPECT_NE(failed.Err.find("Test e-postası gönderilemedi!\n\nHata: E-posta gönderme hatası: "), std::string::npos)
      << failed.Err;
  TEmailNotifier stored;
  stored.LoadSettings();
  EXPECT_EQ(stored.Settings().Port, Peer().Port("starttls"));
}

TEST_F(CliEmail, RunSendsOneMailAndACancelledRunNone) {
  test::WriteTree(FDir / "src" / "Docs", {{"a.txt", "alfa"}, {"b.txt", "beta"}});
  SaveTasks({Task("Belgeler")});
  ASSERT_EQ(Configure({"ali@ornek.test"}).Exit, 0);

  size_t before = Peer().Count();
  const TResult run = RunCli({"run", "Belgeler"});
  EXPECT_EQ(run.Exit, 0) << run.Out << run.Err;
  // The command waited for its mail: it is there when the command has ended, and it is the only one.
  EXPECT_EQ(Peer().Count(), before + 1);
  std::this_thread::sleep_for(1s);
  const auto mails = Peer().WaitForMails(before, 1, 1s);
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].Message["subject"], "Yedekleme Başarılı: Belgeler");
  EXPECT_NE(mails[0].Body().find("/Docs/a.txt</td></tr>\r\n"), std::string::npos);

  // A cancelled run sends none.
  test::WriteTree(FDir / "src" / "Docs", {{"büyük.bin", std::string(24 << 20, 'x')}});
  Manager().SaveConfig(*[&] {
    auto config = Manager().LoadConfig();
    config->SpeedLimitMBPerSec = 2;
    return config;
  }());
  before = Peer().Count();
  test::TCliProcess cancelled(Program(), {"run", "Belgeler"}, FDir.Path());
  ASSERT_TRUE(cancelled.WaitForOutput("StartBackup çağrıldı, thread başlatıldı.", 30s)) << cancelled.Err();
  std::this_thread::sleep_for(500ms);
  cancelled.Signal(SIGINT);
  EXPECT_EQ(cancelled.Wait(60s), 1) << cancelled.Out();
  EXPECT_NE(cancelled.Out().find("! İptal: "), std::string::npos) << cancelled.Out();
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(Peer().Count(), before);
}

TEST_F(CliEmail, RunWhoseMailServerIsDownSucceedsAndLogsTheFailure) {
  test::WriteTree(FDir / "src" / "Docs", {{"a.txt", "alfa"}});
  SaveTasks({Task("Belgeler")});
  ASSERT_EQ(Configure({"ali@ornek.test"}, 1).Exit, 0);
  const TResult run = RunCli({"run", "Belgeler"});
  EXPECT_EQ(run.Exit, 0) << run.Out << run.Err;
  EXPECT_NE(run.Out.find("] ✓ Tamamlandı: "), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("] E-posta bildirimi gönderilemedi: E-posta gönderme hatası: "), std::string::npos) << run.Out;
  EXPECT_EQ(Manager().LoadHistory().size(), 1u);
}

TEST_F(CliEmail, HistoryEntryIsMailed) {
  test::WriteTree(FDir / "src" / "Docs", {{"a.txt", "alfa"}});
  SaveTasks({Task("Belgeler")});
  ASSERT_EQ(RunCli({"run", "Belgeler"}).Exit, 0) << "no mail settings yet: nothing is sent";
  const TResult none = RunCli({"history", "--mail", "1"});
  EXPECT_EQ(none.Exit, 1);
  EXPECT_NE(none.Err.find("Mail gönderme hatası: E-posta alıcısı tanımlı değil."), std::string::npos) << none.Err;

  ASSERT_EQ(Configure({"ali@ornek.test", "veli@ornek.test"}).Exit, 0);
  const size_t before = Peer().Count();
  const TResult mailed = RunCli({"history", "--mail", "1"});
  EXPECT_EQ(mailed.Exit, 0) << mailed.Err;
  EXPECT_NE(mailed.Out.find("] Seçili history kaydı e-posta ile gönderildi."), std::string::npos) << mailed.Out;
  const auto mails = Peer().WaitForMails(before, 1);
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].Message["subject"], "Yedekleme Detayı: Belgeler");
  EXPECT_EQ(mails[0].Envelope["rcpt_tos"].size(), 2u);

  const TResult missing = RunCli({"history", "--mail", "2"});
  EXPECT_EQ(missing.Exit, 2);
  EXPECT_NE(missing.Err.find("no history entry 2"), std::string::npos);
  EXPECT_EQ(RunCli({"history", "--mail"}).Exit, 2);
}

}  // namespace
}  // namespace velkor
