// The desktop program as installed and as a session starts it: cmake --install into a scratch prefix, the menu
// entry, the icon and the session's autostart entry; then under a real X server without a screen (Xvfb) the
// installed program started hidden with the session, its scheduler running the backups that fall due — a local
// one, a hybrid one to the real S3 server and a cloud-only one to a "NAS / WebDAV" folder, each reported by mail to
// the real SMTP server — and a picture of the screen afterwards. That one waits for the schedule's minute and the
// window's minute timer: a minute or two.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <set>

#include "cli/CliHarness.h"
#include "crypto/SecureStorage.h"
#include "integration/S3Peer.h"
#include "integration/SmtpPeer.h"
#include "platform/Clock.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

using namespace std::chrono_literals;

class DesktopProgram : public test::CliHarness {
protected:
  std::filesystem::path FPrefix = FDir / "prefix";

  void Install() {
    std::string output;
    ASSERT_EQ(test::RunCommand(test::ShellQuote(VELKOR_CMAKE) + " --install " + test::ShellQuote(VELKOR_BUILD_DIR) +
                                   " --prefix " + test::ShellQuote(FPrefix.string()),
                               &output),
              0)
        << output;
  }
};

TEST_F(DesktopProgram, InstallsWithItsMenuEntryAndIconAndStartsWithTheSessionFromThere) {
  Install();
  const std::string program = (FPrefix / "bin" / "velkor").string();
  for (const char* file : {"bin/velkor", "bin/velkor-cli"})
    EXPECT_EQ(std::filesystem::status(FPrefix / file).permissions() & std::filesystem::perms::owner_exec,
              std::filesystem::perms::owner_exec)
        << file;
  const std::string entry = test::ReadFile(FPrefix / "share/applications/velkor.desktop");
  EXPECT_NE(entry.find("\nExec=\"" + program + "\"\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nIcon=velkor\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nName=Velkor\n"), std::string::npos) << entry;
  const QImage icon(QString::fromStdString((FPrefix / "share/icons/hicolor/256x256/apps/velkor.png").string()));
  EXPECT_EQ(icon.size(), QSize(256, 256));

  // The settings switch the session's autostart on with the installed desktop program, in the tray.
  test::TCliProcess settings(FPrefix / "bin" / "velkor-cli", {"settings", "--start-with-session", "on"}, FDir.Path());
  ASSERT_EQ(settings.Wait(), 0) << settings.Err();
  const std::string autostart = test::ReadFile(FDir / "xdg" / "autostart" / "velkor.desktop");
  EXPECT_NE(autostart.find("\nExec=\"" + program + "\" /tray\n"), std::string::npos) << autostart;
}

TEST_F(DesktopProgram, AHiddenStartRunsTheDueBackupsWithEveryStepAndShowsItsWindow) {
  Install();
  test::TSmtpPeer smtp;
  test::TTempDir serverDir;
  test::TS3Peer s3(serverDir.Path());
  test::TCliProcess mailSettings(
      FPrefix / "bin" / "velkor-cli",
      {"email-settings", "--server", "127.0.0.1", "--port", std::to_string(smtp.Port("starttls")), "--tls", "--no-ssl",
       "--user", test::SmtpUser, "--password-stdin", "--from", "yedek@ornek.test", "--to", "ali@ornek.test"},
      FDir.Path(), std::string(test::SmtpPassword) + "\n");
  ASSERT_EQ(mailSettings.Wait(), 0) << mailSettings.Err();

  ASSERT_TRUE(std::filesystem::exists("/usr/bin/Xvfb")) << "the X server is not installed: run scripts/install-deps";
  // Far enough from the minute's end that the program is up before the schedule falls due.
  if (std::fmod(SystemClock().Now() * MinsPerDay, 1.0) > 50.0 / 60.0) std::this_thread::sleep_for(12s);
  const TDateTime dueTime = std::ceil(SystemClock().Now() * MinsPerDay) / MinsPerDay;
  const TCivilDateTime at = DecodeDateTime(dueTime);
  test::WriteTree(FDir / "src" / "Docs", {{"a.txt", "alfa"}, {"alt/b.txt", "beta"}});
  auto due = [&](const std::string& name, const std::function<void(TBackupTask&)>& more) {
    return [&, name, more](TBackupTask& task) {
      Task(name)(task);
      task.DestinationFolder = (FDir / "dest" / name).string();
      task.Schedule.SetEnabled(true);
      task.Schedule.FullSchedule().SetEnabled(true);
      task.Schedule.FullSchedule().SetIntervalHours(at.Hour);
      task.Schedule.FullSchedule().SetIntervalMinutes(at.Minute);
      more(task);
    };
  };
  SaveTasks({due("Zamanlı", [](TBackupTask&) {}),
             due("Karma",
                 [&](TBackupTask& task) {
                   task.StorageMode = smHybrid;
                   task.CloudAccountName = test::S3PeerKey;
                   task.CloudPasswordProtected = ProtectString(test::S3PeerKey);
                   task.CloudDestinationFolder = s3.Endpoint() + "/qelt-backup/masaustu";
                 }),
             due("Ağ",
                 [&](TBackupTask& task) {
                   task.StorageMode = smCloud;
                   task.CloudProvider = "NAS / WebDAV";
                   task.CloudDestinationFolder = (FDir / "nas").string();
                 })},
            [](TBackupConfig& config) { config.StartWithWindows = config.MinimizeToTray = true; });

  test::TCliProcess xserver("/usr/bin/Xvfb", {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"},
                            FDir.Path());
  ASSERT_TRUE(xserver.WaitForOutput("\n", 20s)) << xserver.Err();
  test::TScopedEnv display("DISPLAY", ":" + Trim(xserver.Out()));
  test::TScopedEnv platform("QT_QPA_PLATFORM", "xcb");
  test::TScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);

  test::TCliProcess program(FPrefix / "bin" / "velkor", {"/tray"}, FDir.Path());
  std::vector<TBackupHistoryItem> history;
  for (auto deadline = std::chrono::steady_clock::now() + 180s; history.size() < 3;) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << program.Err();
    std::this_thread::sleep_for(500ms);
    history = Manager().LoadHistory();
  }
  ASSERT_EQ(history.size(), 3u);
  const char* names[] = {"Zamanlı", "Karma", "Ağ"};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(history[i].Success) << history[i].Details;
    EXPECT_EQ(history[i].TaskName, names[i]);
    EXPECT_GE(history[i].BackupTime, dueTime);
    EXPECT_EQ(history[i].FileCount, 2);
  }
  EXPECT_EQ(history[0].CloudStatus, "");
  // The hybrid run's archive is in the bucket byte for byte.
  EXPECT_EQ(history[1].CloudStatus, "Tamamlandı");
  const std::string archive = std::filesystem::path(history[1].OutputPath).filename().string();
  EXPECT_EQ(history[1].CloudOutputPath, "s3://qelt-backup/masaustu/" + archive);
  const auto objects = s3.Objects("qelt-backup");
  ASSERT_EQ(objects.count("masaustu/" + archive), 1u) << "the bucket holds " << objects.size() << " objects";
  EXPECT_EQ(objects.at("masaustu/" + archive), test::ReadFile(history[1].OutputPath));
  // The cloud-only run's archive is in the folder, the same bytes as its output.
  EXPECT_EQ(history[2].CloudStatus, "Tamamlandı");
  const std::filesystem::path copy = FDir / "nas" / std::filesystem::path(history[2].OutputPath).filename();
  EXPECT_EQ(history[2].CloudOutputPath, copy.string());
  ASSERT_TRUE(std::filesystem::exists(copy));
  EXPECT_EQ(test::ReadFile(copy), test::ReadFile(history[2].OutputPath));
  // One report per run, each naming its task.
  const std::vector<test::TReceivedMail> mails = smtp.WaitForMails(0, 3, 60s);
  ASSERT_EQ(mails.size(), 3u);
  std::multiset<std::string> reported;
  for (const test::TReceivedMail& mail : mails) {
    EXPECT_TRUE(mail.Envelope["tls"].is_string()) << mail.Envelope.dump();
    for (const char* name : names)
      if (mail.Body().find(name) != std::string::npos) reported.insert(name);
  }
  EXPECT_EQ(reported, (std::multiset<std::string>{"Zamanlı", "Karma", "Ağ"}));

  // Without a tray on this screen the hidden start keeps the window reachable: it is there to be seen.
  const std::filesystem::path shot = std::filesystem::path(VELKOR_UI_SHOTS_DIR) / "desktop-xvfb.png";
  std::filesystem::create_directories(shot.parent_path());
  test::TCliProcess screenshot(std::filesystem::path(VELKOR_BUILD_DIR) / "tests" / "velkor_x_screenshot",
                               {shot.string()}, FDir.Path());
  ASSERT_EQ(screenshot.Wait(30s), 0) << screenshot.Err();
  const QImage picture(QString::fromStdString(shot.string()));
  ASSERT_EQ(picture.size(), QSize(1280, 800));
  int titleBar = 0;
  for (int y = 0; y < picture.height(); y += 2)
    for (int x = 0; x < picture.width(); x += 2) titleBar += picture.pixelColor(x, y) == QColor(0x0E, 0x22, 0x37);
  EXPECT_GT(titleBar, 5000) << "the window's title bar is on the screen";

  program.Signal(SIGTERM);
  program.Wait(30s);
  xserver.Signal(SIGTERM);
  xserver.Wait(30s);
}

}  // namespace
}  // namespace velkor
