// The desktop program as installed and as a session starts it: cmake --install into a scratch prefix, the menu
// entry, the icon and the session's autostart entry; then under a real X server without a screen (Xvfb) the
// installed program started hidden with the session, its scheduler running a backup that falls due, and a picture
// of the screen afterwards. That one waits for the schedule's minute and the window's minute timer: a minute or two.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>

#include "cli/CliHarness.h"
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

TEST_F(DesktopProgram, AHiddenStartRunsTheDueBackupAndShowsItsWindow) {
  Install();
  ASSERT_TRUE(std::filesystem::exists("/usr/bin/Xvfb")) << "the X server is not installed: run scripts/install-deps";
  // Far enough from the minute's end that the program is up before the schedule falls due.
  if (std::fmod(SystemClock().Now() * MinsPerDay, 1.0) > 50.0 / 60.0) std::this_thread::sleep_for(12s);
  const TDateTime due = std::ceil(SystemClock().Now() * MinsPerDay) / MinsPerDay;
  const TCivilDateTime at = DecodeDateTime(due);
  test::WriteTree(FDir / "src" / "Docs", {{"a.txt", "alfa"}, {"alt/b.txt", "beta"}});
  SaveTasks({[&](TBackupTask& task) {
              Task("Zamanlı")(task);
              task.Schedule.SetEnabled(true);
              task.Schedule.FullSchedule().SetEnabled(true);
              task.Schedule.FullSchedule().SetIntervalHours(at.Hour);
              task.Schedule.FullSchedule().SetIntervalMinutes(at.Minute);
            }},
            [](TBackupConfig& config) { config.StartWithWindows = config.MinimizeToTray = true; });

  test::TCliProcess xserver("/usr/bin/Xvfb", {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"},
                            FDir.Path());
  ASSERT_TRUE(xserver.WaitForOutput("\n", 20s)) << xserver.Err();
  test::TScopedEnv display("DISPLAY", ":" + Trim(xserver.Out()));
  test::TScopedEnv platform("QT_QPA_PLATFORM", "xcb");
  test::TScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);

  test::TCliProcess program(FPrefix / "bin" / "velkor", {"/tray"}, FDir.Path());
  std::vector<TBackupHistoryItem> history;
  for (auto deadline = std::chrono::steady_clock::now() + 150s; history.empty();) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << program.Err();
    std::this_thread::sleep_for(500ms);
    history = Manager().LoadHistory();
  }
  ASSERT_EQ(history.size(), 1u);
  EXPECT_TRUE(history[0].Success) << history[0].Details;
  EXPECT_EQ(history[0].TaskName, "Zamanlı");
  EXPECT_GE(history[0].BackupTime, due);
  EXPECT_EQ(history[0].FileCount, 2);

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
