#include "app/TrayResidency.h"

namespace velkor {

void TTrayResidency::MinimizeToTray(bool showBalloon) {
  FRequireLoginOnRestore = true;
  const bool tray = FWindow.TrayAvailable();
  if (tray) {
    FWindow.HideWindow();
    FWindow.ShowTrayIcon(true);
  } else {
    // Hidden without a tray icon, the window could never be reached again.
    FWindow.MinimizeWindow();
    if (!FNoTrayLogged) FCore.AddLog(NoTrayLog);
    FNoTrayLogged = true;
  }
  FCore.UpdateTrayStatus();
  if (showBalloon && tray) FWindow.ShowTrayBalloon(TrayBalloonTitle, TrayBalloonText);
  FCore.AddLog(MinimizedToTrayLog);
}

void TTrayResidency::RestoreFromTray() {
  if (!FCore.StartupComplete()) {
    FWindow.ShowTrayIcon(false);
    FWindow.ShowWindow();
    return;
  }
  if (!FWindow.WindowShown() && FRequireLoginOnRestore) {
    if (!FWindow.ShowLogin(true)) return;
    FRequireLoginOnRestore = false;
  }
  FWindow.ShowTrayIcon(false);
  FWindow.ShowWindow();
  FCore.UpdateTrayStatus();
  FCore.AddLog(RestoredFromTrayLog);
}

void TTrayResidency::RaiseRequested() {
  // During the start the window shows itself once the login has passed.
  if (!FCore.StartupComplete()) return;
  if (FWindow.WindowShown() || !FRequireLoginOnRestore) return FWindow.ShowWindow();
  RestoreFromTray();
}

void TTrayResidency::RestoredFromTaskBar() {
  if (!FRequireLoginOnRestore || !FCore.StartupComplete()) return;
  // The window's content stays out of sight until the login has passed.
  FWindow.HideWindow();
  if (!FWindow.ShowLogin(true)) return FWindow.MinimizeWindow();
  FRequireLoginOnRestore = false;
  FWindow.ShowWindow();
  FCore.UpdateTrayStatus();
  FCore.AddLog(RestoredFromTrayLog);
}

bool TTrayResidency::CloseQuery(bool minimizeToTrayChecked) {
  if (FCore.AllowClose() || !minimizeToTrayChecked) return true;
  MinimizeToTray(true);
  return false;
}

void TTrayResidency::ExitClick() {
  if (!FPrompts.AskQuestion(ExitQuestion, amQuestion)) return;
  FCore.ExitApplication();
  FWindow.ShowTrayIcon(false);
  FWindow.CloseWindow();
}

}  // namespace velkor
