// Minimising to the tray and coming back, closing and exiting, over a recorded window and the real core.
#include <gtest/gtest.h>

#include "AppCoreHarness.h"
#include "app/TrayResidency.h"

namespace velkor {
namespace {

class TRecordedWindow final : public ITrayWindow {
public:
  bool Tray = true;
  bool Shown = true;
  bool Minimized = false;
  bool Closed = false;
  bool IconVisible = false;
  int IconAdds = 0;
  std::deque<bool> Logins;  // missing answers fail
  int LoginPrompts = 0;
  std::vector<std::string> Balloons;

  bool TrayAvailable() const override { return Tray; }
  bool WindowShown() const override { return Shown && !Minimized; }
  void HideWindow() override { Shown = false, Minimized = true; }
  void MinimizeWindow() override { Shown = true, Minimized = true; }
  void ShowWindow() override { Shown = true, Minimized = false; }
  void CloseWindow() override { Closed = true, Shown = false; }
  void ShowTrayIcon(bool visible) override {
    IconAdds += visible;
    IconVisible = visible;
  }
  void ShowTrayBalloon(const std::string& title, const std::string& text) override {
    Balloons.push_back(title + ": " + text);
  }
  bool ShowLogin(bool forcePrompt) override {
    EXPECT_TRUE(forcePrompt);
    ++LoginPrompts;
    if (Logins.empty()) return false;
    const bool ok = Logins.front();
    Logins.pop_front();
    return ok;
  }
};

class TrayResidency : public test::AppCoreHarness {
protected:
  TRecordedWindow FWindow;
  std::unique_ptr<TTrayResidency> FTray;
  void SetUp() override {
    StartCore();
    FTray = std::make_unique<TTrayResidency>(FWindow, *FCore, FPrompts);
    FView.LogLines.clear();
  }
};

TEST_F(TrayResidency, EveryReturnFromTheTrayAsksForTheLogin) {
  FTray->MinimizeToTray(true);
  EXPECT_FALSE(FWindow.Shown);
  EXPECT_TRUE(FWindow.IconVisible);
  EXPECT_EQ(FWindow.Balloons, std::vector<std::string>{"Velkor: Program tray alanında çalışmaya devam ediyor."});
  EXPECT_EQ(FView.LogLines, std::vector<std::string>{"Program tray alanına küçültüldü."});

  FTray->RestoreFromTray();  // login cancelled: still in the tray
  EXPECT_EQ(FWindow.LoginPrompts, 1);
  EXPECT_FALSE(FWindow.Shown);
  EXPECT_TRUE(FWindow.IconVisible);

  FWindow.Logins = {true};
  FTray->RestoreFromTray();
  EXPECT_TRUE(FWindow.WindowShown());
  EXPECT_FALSE(FWindow.IconVisible);
  EXPECT_EQ(FView.LogLines.back(), "Program tray alanından geri getirildi.");

  FTray->RestoreFromTray();  // already shown: no second login
  FTray->RaiseRequested();
  EXPECT_EQ(FWindow.LoginPrompts, 2);
  FWindow.MinimizeWindow();  // to the task bar by hand: a second start raises it without a login
  FTray->RaiseRequested();
  EXPECT_TRUE(FWindow.WindowShown());
  EXPECT_EQ(FWindow.LoginPrompts, 2);

  FTray->MinimizeToTray(false);
  FTray->MinimizeToTray(false);
  EXPECT_EQ(FWindow.IconAdds, 3) << "the icon is added anew each time";
  EXPECT_EQ(FWindow.Balloons.size(), 1u);
  FTray->RaiseRequested();  // a second start while in the tray: the login as from the tray
  EXPECT_EQ(FWindow.LoginPrompts, 3);
  EXPECT_FALSE(FWindow.Shown);
  FWindow.Logins = {true};
  FTray->RestoreFromTray();
  EXPECT_EQ(FWindow.LoginPrompts, 4);
  EXPECT_TRUE(FWindow.WindowShown());
}

TEST_F(TrayResidency, WithoutATrayTheWindowGoesToTheTaskBar) {
  FWindow.Tray = false;
  FTray->MinimizeToTray(true);
  FTray->MinimizeToTray(true);
  EXPECT_TRUE(FWindow.Shown && FWindow.Minimized);
  EXPECT_FALSE(FWindow.IconVisible);
  EXPECT_TRUE(FWindow.Balloons.empty());
  EXPECT_EQ(FView.Count("Sistem tepsisi bulunamadı; pencere tray alanı yerine görev çubuğuna küçültülüyor."), 1);

  // Brought back from the task bar: hidden until the login passes.
  FTray->RestoredFromTaskBar();
  EXPECT_EQ(FWindow.LoginPrompts, 1);
  EXPECT_TRUE(FWindow.Shown && FWindow.Minimized);
  FWindow.Logins = {true};
  FTray->RestoredFromTaskBar();
  EXPECT_TRUE(FWindow.WindowShown());
  FTray->RestoredFromTaskBar();  // a plain minimise and restore asks nothing
  EXPECT_EQ(FWindow.LoginPrompts, 2);
}

TEST_F(TrayResidency, CloseAndExit) {
  EXPECT_TRUE(FTray->CloseQuery(false));
  EXPECT_FALSE(FTray->CloseQuery(true)) << "to the tray instead";
  EXPECT_FALSE(FWindow.Shown);
  FWindow.ShowWindow();

  FTray->ExitClick();  // "Hayır"
  EXPECT_EQ(FPrompts.Questions, std::vector<std::string>{"Programdan çıkmak istediğinizden emin misiniz?"});
  EXPECT_FALSE(FWindow.Closed);
  EXPECT_FALSE(FCore->AllowClose());

  FPrompts.YesNoAnswers = {true};
  FTray->ExitClick();
  EXPECT_TRUE(FWindow.Closed);
  EXPECT_TRUE(FCore->AllowClose());
  EXPECT_TRUE(FView.Logged("Tüm ayarlar ve görevler kaydedildi."));
  EXPECT_TRUE(FTray->CloseQuery(true)) << "an exit really closes";
}

}  // namespace
}  // namespace velkor
