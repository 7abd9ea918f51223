#pragma once
// Which of the task editor's controls the user may change, and what the destination label says, decided from the
// choices the editor shows; the window only applies the result. Main thread only, no state.
#include <optional>
#include <string>

#include "app/IAppView.h"
#include "config/BackupModel.h"

namespace velkor {

inline constexpr char LocalDestinationLabel[] = "Lokal Hedef";
inline constexpr char PassiveLocalDestinationLabel[] = "Lokal Hedef (pasif)";

struct TEditorChoices {
  bool Encrypt = false;           // "Şifrele"
  bool ScheduleEnabled = false;   // "Zamanlanmış yedeklemeyi etkinleştir"
  bool SubSchedule[3] = {};       // "Tam Yedek", "Fark Yedek", "Artımlı Yedek"
  int StorageMode = smLocalDisk;  // item index of the storage-mode list, -1 when none is selected
  std::string CloudProvider;      // as the provider list shows it
};

struct TEditorStates {
  bool EncryptionSettingsEnabled = false;  // "Şifre Ayarla"
  // The day, hour and minute lists of each sub-schedule. A list that is not enabled shows no day and "00".
  bool SubScheduleListsEnabled[3] = {};
  bool LocalDestinationEnabled = true;  // the destination field and its browse button
  std::string DestinationLabel = LocalDestinationLabel;
  bool CloudFieldsEnabled = false;  // provider, access key, secret and destination: only where a run uses them
  bool CloudBrowseEnabled = false;  // a folder is chosen only for the provider that copies into one
};

TEditorStates EditorStates(const TEditorChoices& choices);

// "00".."23" and "00".."59", the hour and minute items.
std::string TwoDigitItem(int value);

// The verdict colour of the capacity state label; none for the neutral texts, which use the system's grey.
std::optional<TRgbColor> CapacityToneColor(TCapacityTone tone);

}  // namespace velkor
