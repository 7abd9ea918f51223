// The main window's life: the start in its order, the hidden start in the tray, the login on the way back, closing
// and exiting, a second start raising the window, the desktop without a tray, and the splash window.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>

#include "MainFormFixture.h"
#include "ui/AppMessageForm.h"
#include "ui/SettingsPage.h"
#include "ui/SplashForm.h"
#include "ui/TaskCentrePage.h"
#include "ui/TrayIcon.h"

namespace velkor {
namespace {

using test::Find;
using test::SaveShot;

class MainFormStart : public test::MainFormFixture {};

TEST_F(MainFormStart, FirstStartShowsTheDefaultTaskAndLogsInOrder) {
  Open({"/tray"});  // the switch alone starts nothing hidden
  EXPECT_EQ(FSplashes, 1);
  EXPECT_EQ(FLogins, std::vector<bool>{false});
  EXPECT_TRUE(Form().isVisible());
  EXPECT_TRUE(Form().Core().StartupComplete());
  EXPECT_EQ(Log(), (std::vector<std::string>{"Windows long path desteği etkin.",
                                             "Program başlatıldı. Görev zamanlayıcı aktif."}));

  EXPECT_EQ(Form().windowTitle(), QStringLiteral("Velkor - Profesyonel Yedekleme Çözümü"));
  EXPECT_EQ(Find<QLabel>(Form(), "lblTitleBar")->text(), Form().windowTitle());
  EXPECT_EQ(Form().CurrentPage(), 0);
  EXPECT_TRUE(Find<QWidget>(Form(), "pnlHome")->isVisible());
  auto* tasks = Find<QTreeWidget>(Form(), "lvTasks");
  ASSERT_EQ(tasks->topLevelItemCount(), 1);
  EXPECT_EQ(tasks->topLevelItem(0)->text(1), QStringLiteral("Yeni Görev"));
  EXPECT_EQ(tasks->topLevelItem(0)->text(0), QStringLiteral("✅"));

  const std::vector<std::pair<const char*, const char*>> captions = {{"btnStartBackup", "Seçili Görevi Başlat"},
                                                                     {"btnPauseBackup", "Duraklat"},
                                                                     {"btnCancelBackup", "İptal Et"},
                                                                     {"btnTestBackup", "Test Yedekleme"},
                                                                     {"btnMinimizeToTray", "Tray'e Küçült"},
                                                                     {"btnExit", "Tam Çıkış"}};
  for (const auto& [name, caption] : captions)
    EXPECT_EQ(Find<QPushButton>(Form(), name)->text(), QString::fromUtf8(caption));
  EXPECT_TRUE(Find<QPushButton>(Form(), "btnStartBackup")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>(Form(), "btnPauseBackup")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>(Form(), "btnCancelBackup")->isEnabled());
  EXPECT_EQ(Find<QLabel>(Form(), "lblProgress")->text(), QStringLiteral("Hazır"));
  EXPECT_FALSE(Form().TrayIcon().IsVisible());
  EXPECT_EQ(Form().TrayIcon().Hint(), QStringLiteral("Velkor çalışıyor"));
  // The status bar is hidden but written to.
  EXPECT_FALSE(Find<QStatusBar>(Form(), "StatusBar1")->isVisible());
  EXPECT_EQ(Find<QLabel>(Form(), "StatusPanel1")->text(), QStringLiteral("Planlanmış görev yok"));
  EXPECT_EQ(Find<QLabel>(Form(), "StatusPanel0")->text(),
            QStringLiteral("Program başlatıldı. Görev zamanlayıcı aktif."));
}

TEST_F(MainFormStart, HiddenStartNeedsBothSettingsAndTheSwitch) {
  const struct {
    std::string Switch;
    bool StartWithWindows, MinimizeToTray, Hidden;
  } cases[] = {
      {"/TRAY", true, true, true},
      {"-tray", true, true, true},
      {"/tray", false, true, false},
      {"-Tray", true, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Switch + (c.StartWithWindows ? " start" : "") + (c.MinimizeToTray ? " tray" : ""));
    WriteConfig([&](TBackupConfig& config) {
      config.StartWithWindows = c.StartWithWindows;
      config.MinimizeToTray = c.MinimizeToTray;
    });
    FSplashes = 0;
    FLogins.clear();
    Open({c.Switch});
    EXPECT_EQ(FSplashes, c.Hidden ? 0 : 1);
    EXPECT_EQ(FLogins.size(), c.Hidden ? 0u : 1u);
    EXPECT_EQ(Form().isVisible(), !c.Hidden);
    EXPECT_EQ(Form().TrayIcon().IsVisible(), c.Hidden);
    EXPECT_EQ(Logged("Windows başlangıcında sessiz modda başlatıldı; görev zamanlayıcı arka planda çalışıyor."),
              c.Hidden);
    EXPECT_TRUE(Logged("Program başlatıldı. Görev zamanlayıcı aktif."));
    if (!c.Hidden) continue;
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "Windows long path desteği etkin.", "Program tray alanına küçültüldü.",
                         "Windows başlangıcında sessiz modda başlatıldı; görev zamanlayıcı arka planda çalışıyor.",
                         "Program başlatıldı. Görev zamanlayıcı aktif."}));
    // The first return from the tray asks for the login, through the tray menu's "Göster".
    FLoginAnswers = {false, true};
    Form().TrayIcon().mnuShow->trigger();
    EXPECT_FALSE(Form().isVisible());
    Form().TrayIcon().mnuShow->trigger();
    EXPECT_EQ(FLogins, (std::vector<bool>{true, true}));
    EXPECT_TRUE(Form().isVisible());
    EXPECT_FALSE(Form().TrayIcon().IsVisible());
    EXPECT_EQ(Log().back(), "Program tray alanından geri getirildi.");
  }
}

TEST_F(MainFormStart, AFailedLoginEndsTheProgramWithoutAMessage) {
  FLoginAnswers = {false};
  Open();
  QSignalSpy closed(&Form(), &TfrmMain::Closed);
  EXPECT_FALSE(Form().isVisible());
  EXPECT_EQ(Form().Core().Config(), nullptr);
  QApplication::processEvents();
  EXPECT_EQ(closed.count(), 1);
  EXPECT_TRUE(FPrompts.Messages.empty());
  Form().Core().Timer1Timer();  // every later handler does nothing
  EXPECT_TRUE(Log().empty());
}

TEST_F(MainFormStart, ClosingFollowsTheTrayCheckBoxAndExitAsks) {
  Open();
  QSignalSpy closed(&Form(), &TfrmMain::Closed);
  auto* minimizeToTray = Find<QCheckBox>(Form(), "chkMinimizeToTray");

  minimizeToTray->setChecked(true);  // the box as it stands, not the saved setting
  QTest::mouseClick(Find<QPushButton>(Form(), "btnTitleClose"), Qt::LeftButton);
  EXPECT_FALSE(Form().isVisible());
  EXPECT_TRUE(Form().TrayIcon().IsVisible());
  EXPECT_EQ(closed.count(), 0);
  EXPECT_TRUE(FPrompts.Questions.empty());
  FLoginAnswers = {true};
  Form().Tray().RestoreFromTray();
  ASSERT_TRUE(Form().isVisible());

  // "Hayır" keeps the program running.
  QTest::mouseClick(Find<QPushButton>(Form(), "btnExit"), Qt::LeftButton);
  EXPECT_EQ(FPrompts.Questions, std::vector<std::string>{"Programdan çıkmak istediğinizden emin misiniz?"});
  EXPECT_TRUE(Form().isVisible());
  EXPECT_EQ(closed.count(), 0);

  minimizeToTray->setChecked(false);
  Form().close();  // Alt+F4: ends at once, without a question and without saving
  EXPECT_EQ(closed.count(), 1);
  EXPECT_EQ(FPrompts.Questions.size(), 1u);
  EXPECT_FALSE(Logged("Tüm ayarlar ve görevler kaydedildi."));
}

TEST_F(MainFormStart, ExitFromTheTrayMenuSavesAndCloses) {
  Open();
  QSignalSpy closed(&Form(), &TfrmMain::Closed);
  Find<QCheckBox>(Form(), "chkMinimizeToTray")->setChecked(true);
  FPrompts.YesNoAnswers = {true};
  Form().TrayIcon().mnuExit->trigger();
  EXPECT_EQ(closed.count(), 1);
  EXPECT_FALSE(Form().TrayIcon().IsVisible());
  EXPECT_TRUE(Logged("Tüm ayarlar ve görevler kaydedildi."));
  EXPECT_TRUE(TConfigManager(ConfigDir(), FClock).LoadConfig()->MinimizeToTray);
}

TEST_F(MainFormStart, ASecondStartRaisesTheWindowThroughTheLogin) {
  WriteConfig([](TBackupConfig& config) { config.StartWithWindows = config.MinimizeToTray = true; });
  Open({"-tray"});
  ASSERT_FALSE(Form().isVisible());
  TSingleInstanceGuard first(FDir / "instance.lock");
  ASSERT_TRUE(first.Acquire());
  ForwardRaiseRequests(first, FMain, Form());
  TSingleInstanceGuard second(FDir / "instance.lock");
  EXPECT_FALSE(second.Acquire());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!Form().isVisible() && std::chrono::steady_clock::now() < deadline) {
    QApplication::processEvents();
    QThread::msleep(5);
  }
  EXPECT_TRUE(Form().isVisible());
  EXPECT_EQ(FLogins, std::vector<bool>{true});
}

TEST_F(MainFormStart, WithoutATrayTheWindowStaysReachable) {
  FTray = false;
  Open();
  QTest::mouseClick(Find<QPushButton>(Form(), "btnMinimizeToTray"), Qt::LeftButton);
  QTest::mouseClick(Find<QPushButton>(Form(), "btnMinimizeToTray"), Qt::LeftButton);
  EXPECT_TRUE(Form().isVisible());
  EXPECT_TRUE(Form().isMinimized());
  EXPECT_FALSE(Form().TrayIcon().IsVisible());
  int notes = 0;
  for (const std::string& line : Log())
    notes += line == "Sistem tepsisi bulunamadı; pencere tray alanı yerine görev çubuğuna küçültülüyor.";
  EXPECT_EQ(notes, 1);
  EXPECT_TRUE(Logged("Tüm ayarlar ve görevler kaydedildi."));
}

TEST(SplashForm, PictureBesideTheProgramReplacesTheBuiltInOne) {
  test::TTempDir dir;
  TfrmSplash builtIn(dir.Path());
  EXPECT_EQ(builtIn.size(), QSize(998, 598));
  SaveShot(builtIn, "splash");

  QImage picture(400, 300, QImage::Format_RGB32);
  picture.fill(Qt::darkCyan);
  ASSERT_TRUE(picture.save(QString::fromStdString((dir / "splash.png").string())));
  EXPECT_EQ(TfrmSplash(dir.Path()).size(), QSize(400, 300));

  test::WriteFile(dir / "splash.png", "not a picture");
  EXPECT_EQ(TfrmSplash(dir.Path()).size(), QSize(998, 598));
}

}  // namespace
}  // namespace velkor
