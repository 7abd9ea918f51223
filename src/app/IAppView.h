#pragma once
// What the application core changes on screen. The window draws it; the command-line tool prints the log and
// the progress; tests record it. Called on the main thread only. The core computes every text and state; a view
// only shows what it is given.
#include <string>
#include <vector>

namespace velkor {

struct TRgbColor {
  int Red = 0;
  int Green = 0;
  int Blue = 0;
  bool operator==(const TRgbColor&) const = default;
};

// The action buttons, the activity indicator and the tray icon with its menu, for one moment of a run's life.
struct TRunUiState {
  bool ActivityVisible = false;  // the animated gear, shown while a run is active
  bool StartEnabled = true;      // start and test buttons
  bool PauseButtonEnabled = false;
  bool CancelButtonEnabled = false;       // also false while a cancel waits for the run to end
  std::string PauseCaption = "Duraklat";  // pause button and tray item: "Duraklat" or "Devam Et"
  std::string TrayStatusLine = "Durum: Hazır";
  bool TrayStartEnabled = true;
  bool TrayPauseEnabled = false;
  bool TrayCancelEnabled = false;
  std::string TrayHint = "Velkor çalışıyor";
  bool operator==(const TRunUiState&) const = default;
};

// The "Durum Özeti" card of the task editor: label values and the status chip.
struct TChainCard {
  std::string Effective = "-";    // "Etkin"
  std::string TotalSets = "-";    // "Toplam Set"
  std::string BaseFull = "-";     // "Temel Tam"
  std::string SetId = "-";        // "Set ID"
  std::string Next = "-";         // "Sonraki"
  std::string SetContents = "-";  // "Set İçeriği"
  std::string Cleanup = "-";      // "Temizlik"
  std::string Chip = "Görev Seçilmedi";
  TRgbColor ChipBackground{247, 244, 242};
  TRgbColor ChipText{128, 114, 100};
  bool operator==(const TChainCard&) const = default;
};

// The two labels under the task editor that tell whether the next backup fits its destination.
enum TCapacityTone : int { ctNeutral, ctFits, ctProblem };  // grey text, green (0,128,0), red (255,0,0)
struct TCapacityLabels {
  std::string Info = "Tahmini Boyut: - | Boş Alan: -";
  std::string State = "Alan durumu bekleniyor.";
  TCapacityTone Tone = ctNeutral;
  bool operator==(const TCapacityLabels&) const = default;
};

class IAppView {
public:
  virtual ~IAppView() = default;

  // Appends finished log lines ("[dd.mm.yyyy hh:nn:ss] message") to the log view in one update and scrolls to
  // the end.
  virtual void AppendLogLines(const std::vector<std::string>& lines) = 0;
  // Status bar: panel 0 takes the latest message or the progress, panel 1 the next-run text.
  virtual void SetStatusText(int panel, const std::string& text) = 0;
  virtual void SetProgressPosition(int percent) = 0;  // 0..100
  virtual void SetProgressText(const std::string& text) = 0;
  virtual void ShowRunState(const TRunUiState& state) = 0;
  // A tray balloon; the core calls it only when notifications are switched on.
  virtual void ShowBalloon(const std::string& title, const std::string& text) = 0;
  // The task list and the history list are out of date: refill them from the core's configuration and history.
  virtual void RefreshTaskList() = 0;
  virtual void RefreshHistoryList() = 0;
  virtual void ShowChainCard(const TChainCard& card) = 0;
  virtual void ShowCapacity(const TCapacityLabels& labels) = 0;
};

}  // namespace velkor
