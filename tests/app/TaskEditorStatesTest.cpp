// The task editor's control states as the storage mode, the provider and the schedule boxes change.
#include <gtest/gtest.h>

#include "app/TaskEditorStates.h"

namespace velkor {
namespace {

TEST(TaskEditorStates, StorageModeDecidesWhichDestinationIsEdited) {
  const struct {
    int Mode;
    const char* Provider;
    bool Local;
    const char* Label;
    bool Cloud;
    bool CloudBrowse;
  } cases[] = {
      {smLocalDisk, "NAS / WebDAV", true, "Lokal Hedef", false, false},
      {-1, "", true, "Lokal Hedef", false, false},  // nothing selected stores the local disk
      {smCloud, "Cloud", false, "Lokal Hedef (pasif)", true, false},
      {smCloud, " nas / webdav ", false, "Lokal Hedef (pasif)", true, true},
      {smHybrid, "Genel Cloud", true, "Lokal Hedef", true, false},
      {smHybrid, "NAS / WebDAV", true, "Lokal Hedef", true, true},
  };
  for (const auto& c : cases) {
    TEditorChoices choices;
    choices.StorageMode = c.Mode;
    choices.CloudProvider = c.Provider;
    const TEditorStates states = EditorStates(choices);
    EXPECT_EQ(states.LocalDestinationEnabled, c.Local) << c.Mode << c.Provider;
    EXPECT_EQ(states.DestinationLabel, c.Label) << c.Mode << c.Provider;
    EXPECT_EQ(states.CloudFieldsEnabled, c.Cloud) << c.Mode << c.Provider;
    EXPECT_EQ(states.CloudBrowseEnabled, c.CloudBrowse) << c.Mode << c.Provider;
  }
}

TEST(TaskEditorStates, ScheduleListsNeedTheMasterSwitchAndTheirOwnBox) {
  TEditorChoices choices;
  choices.SubSchedule[0] = choices.SubSchedule[2] = true;
  TEditorStates states = EditorStates(choices);
  EXPECT_FALSE(states.SubScheduleListsEnabled[0] || states.SubScheduleListsEnabled[1] ||
               states.SubScheduleListsEnabled[2]);
  choices.ScheduleEnabled = true;
  states = EditorStates(choices);
  EXPECT_TRUE(states.SubScheduleListsEnabled[0]);
  EXPECT_FALSE(states.SubScheduleListsEnabled[1]);
  EXPECT_TRUE(states.SubScheduleListsEnabled[2]);

  EXPECT_FALSE(states.EncryptionSettingsEnabled);
  choices.Encrypt = true;
  EXPECT_TRUE(EditorStates(choices).EncryptionSettingsEnabled);
  EXPECT_EQ(TwoDigitItem(7), "07");
  EXPECT_EQ(TwoDigitItem(59), "59");
}

}  // namespace
}  // namespace velkor
