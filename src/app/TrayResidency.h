#pragma once
// The main window's life beside the tray: minimising to the tray, coming back from it (with a fresh login), the
// close request and the confirmed exit. The rules and texts are here; the window only hides, shows and draws.
// Where the desktop has no tray, the window goes to the task bar instead of vanishing, and the login guards its
// return from there just the same. Main thread only.
#include <string>

#include "app/AppCore.h"

namespace velkor {

inline constexpr char MainWindowCaption[] = "Velkor - Profesyonel Yedekleme Çözümü";
inline constexpr char AlreadyRunningMessage[] = "Program zaten çalışıyor.\r\nİkinci kez açılmasına izin verilmedi.";
inline constexpr char ExitQuestion[] = "Programdan çıkmak istediğinizden emin misiniz?";
inline constexpr char TrayBalloonTitle[] = "Velkor";
inline constexpr char TrayBalloonText[] = "Program tray alanında çalışmaya devam ediyor.";
inline constexpr char MinimizedToTrayLog[] = "Program tray alanına küçültüldü.";
inline constexpr char RestoredFromTrayLog[] = "Program tray alanından geri getirildi.";
inline constexpr char NoTrayLog[] = "Sistem tepsisi bulunamadı; pencere tray alanı yerine görev çubuğuna küçültülüyor.";
inline constexpr char WebSiteAddress[] = "https://velkor.example";
inline constexpr char WebSiteOpenedLog[] = "Web sitesi açıldı: ";
inline constexpr char WebSiteNotOpenedLog[] = "Web sitesi açılamadı: ";

// What the residency asks of the window.
class ITrayWindow {
public:
  virtual ~ITrayWindow() = default;
  virtual bool TrayAvailable() const = 0;
  // Shown and not minimised.
  virtual bool WindowShown() const = 0;
  // Hidden and minimised: only the tray icon leads back.
  virtual void HideWindow() = 0;
  // Minimised to the task bar.
  virtual void MinimizeWindow() = 0;
  // Shown in its normal state, in front and active.
  virtual void ShowWindow() = 0;
  // Closes the window for good (the close request passes through CloseQuery).
  virtual void CloseWindow() = 0;
  // Showing the icon again adds it anew.
  virtual void ShowTrayIcon(bool visible) = 0;
  virtual void ShowTrayBalloon(const std::string& title, const std::string& text) = 0;
  // The login form; true when the user logged in.
  virtual bool ShowLogin(bool forcePrompt) = 0;
};

class TTrayResidency {
public:
  TTrayResidency(ITrayWindow& window, TAppCore& core, IAppPrompts& prompts)
      : FWindow(window), FCore(core), FPrompts(prompts) {}

  void MinimizeToTray(bool showBalloon);
  // The tray icon's double click, the tray menu's "Göster" and a second start of the program.
  void RestoreFromTray();
  // A second start of the program asks for the window: a hidden window returns as from the tray, with the login.
  void RaiseRequested();
  // The user brought the window back from the task bar (no tray): the login decides whether it stays.
  void RestoredFromTaskBar();
  // A close request: false when it is refused because the window goes to the tray instead.
  bool CloseQuery(bool minimizeToTrayChecked);
  // The exit button and the tray menu's "Çıkış": asks, then saves and closes.
  void ExitClick();

  // A hidden start logs in at the first return from the tray.
  bool RequireLoginOnRestore() const { return FRequireLoginOnRestore; }

private:
  ITrayWindow& FWindow;
  TAppCore& FCore;
  IAppPrompts& FPrompts;
  bool FRequireLoginOnRestore = false;
  bool FNoTrayLogged = false;
};

}  // namespace velkor
