#include "app/TaskEditorStates.h"

#include "app/RunDestination.h"

namespace velkor {

TEditorStates EditorStates(const TEditorChoices& choices) {
  TEditorStates states;
  states.EncryptionSettingsEnabled = choices.Encrypt;
  for (int i = 0; i < 3; ++i) states.SubScheduleListsEnabled[i] = choices.ScheduleEnabled && choices.SubSchedule[i];
  // Nothing selected counts as the local disk, as the task then stores it.
  const int mode = choices.StorageMode < 0 ? smLocalDisk : choices.StorageMode;
  states.LocalDestinationEnabled = mode == smLocalDisk || mode == smHybrid;
  states.DestinationLabel = states.LocalDestinationEnabled ? LocalDestinationLabel : PassiveLocalDestinationLabel;
  states.CloudFieldsEnabled = mode == smCloud || mode == smHybrid;
  states.CloudBrowseEnabled = states.CloudFieldsEnabled && IsFolderCopyProvider(choices.CloudProvider);
  return states;
}

std::string TwoDigitItem(int value) { return (value >= 0 && value < 10 ? "0" : "") + std::to_string(value); }

std::optional<TRgbColor> CapacityToneColor(TCapacityTone tone) {
  switch (tone) {
    case ctFits: return TRgbColor{0, 128, 0};
    case ctProblem: return TRgbColor{255, 0, 0};
    case ctNeutral: break;
  }
  return std::nullopt;
}

}  // namespace velkor
