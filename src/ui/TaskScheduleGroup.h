#pragma once
// The task editor's schedule group " Zamanlanmış Yedek Türleri ve Saatleri ": the master switch and, for the full,
// differential and incremental sub-schedules, a check box, an hour list, a minute list and a day list. It shows and
// reads the values; the editor decides when they are stored. Programmatic changes never signal, as the user's do.
// GUI thread only.
#include <QGroupBox>

#include "app/TaskEditorStates.h"
#include "app/TaskRules.h"

class QCheckBox;
class QComboBox;
class QListWidget;

namespace velkor {

class TTaskScheduleGroup final : public QGroupBox {
  Q_OBJECT
public:
  explicit TTaskScheduleGroup(QWidget* parent = nullptr);

  // Sets the boxes, the hour and minute items and the day checks from `schedule`.
  void Load(const TTaskSchedule& schedule);
  // What the controls hold: an hour or minute without a selected item is 0.
  TScheduleSettings Read() const;
  // Enables each sub-schedule's lists as `states` says; a list switched off shows no day and "00".
  void ApplyStates(const TEditorStates& states);

  bool ScheduleEnabled() const;
  bool SubScheduleChecked(int index) const;  // 0 full, 1 differential, 2 incremental

signals:
  // The user clicked the master switch or one of the three sub-schedule boxes.
  void EnableClicked();
  // The user chose an hour or a minute, or checked or unchecked a day.
  void ControlChanged();

private:
  struct TSubControls {
    QCheckBox* Check;
    QComboBox* Hour;
    QComboBox* Minute;
    QListWidget* Days;
  };
  QWidget* BuildSubSchedule(int index, const char* key);
  void FillScheduleLists();
  static void SetDayChecks(QListWidget* list, TScheduleDays days);
  static TScheduleDays GetDayChecks(const QListWidget* list);

  QCheckBox* chkEnableSchedule;
  TSubControls FSub[3];
};

}  // namespace velkor
