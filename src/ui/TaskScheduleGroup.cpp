#include "ui/TaskScheduleGroup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "ui/UiStyle.h"

namespace velkor {

namespace {

constexpr int DayCount = 7;

QString Name(const char* prefix, const char* key, const char* suffix = "") {
  return QString::fromLatin1(prefix) + QString::fromLatin1(key) + QString::fromLatin1(suffix);
}

// Selects item `index` of `list` when it has one; otherwise the selection stays as it was.
bool SelectItem(QComboBox* list, int index) {
  if (index < 0 || index >= list->count()) return false;
  const QSignalBlocker quiet(list);
  list->setCurrentIndex(index);
  return true;
}

}  // namespace

TTaskScheduleGroup::TTaskScheduleGroup(QWidget* parent) : QGroupBox(parent) {
  setObjectName(QStringLiteral("grpSchedule"));
  setTitle(QStringLiteral(" Zamanlanmış Yedek Türleri ve Saatleri "));
  auto* layout = new QVBoxLayout(this);
  chkEnableSchedule = new QCheckBox(QStringLiteral("Zamanlanmış yedeklemeyi etkinleştir"), this);
  chkEnableSchedule->setObjectName(QStringLiteral("chkEnableSchedule"));
  connect(chkEnableSchedule, &QCheckBox::clicked, this, &TTaskScheduleGroup::EnableClicked);
  layout->addWidget(chkEnableSchedule);

  auto* columns = new QHBoxLayout;
  const char* keys[] = {"Full", "Diff", "Inc"};
  for (int i = 0; i < 3; ++i) columns->addWidget(BuildSubSchedule(i, keys[i]));
  layout->addLayout(columns);
  FillScheduleLists();
}

QWidget* TTaskScheduleGroup::BuildSubSchedule(int index, const char* key) {
  auto* column = new QWidget(this);
  auto* grid = new QGridLayout(column);
  grid->setContentsMargins(0, 0, 0, 0);
  TSubControls& sub = FSub[index];
  sub.Check = new QCheckBox(Qs(SubScheduleCaptions[index]), column);
  sub.Check->setObjectName(Name("chkSched", key));
  sub.Hour = new QComboBox(column);
  sub.Hour->setObjectName(Name("cmbSched", key, "H"));
  sub.Minute = new QComboBox(column);
  sub.Minute->setObjectName(Name("cmbSched", key, "M"));
  sub.Days = new QListWidget(column);
  sub.Days->setObjectName(Name("clbSched", key, "Days"));
  for (const char* day : ScheduleDayNames) {
    auto* item = new QListWidgetItem(Qs(day), sub.Days);
    item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
    item->setCheckState(Qt::Unchecked);
  }
  // Every day visible without scrolling.
  sub.Days->setFixedHeight(sub.Days->sizeHintForRow(0) * DayCount + 2 * sub.Days->frameWidth() + 2);
  sub.Days->setMinimumWidth(100);
  sub.Days->setMaximumWidth(160);

  grid->addWidget(sub.Check, 0, 0, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Saat"), column), 1, 0);
  grid->addWidget(new QLabel(QStringLiteral("Dakika"), column), 1, 1);
  grid->addWidget(sub.Hour, 2, 0);
  grid->addWidget(sub.Minute, 2, 1);
  grid->addWidget(sub.Days, 3, 0, 1, 2);
  grid->setRowStretch(4, 1);

  connect(sub.Check, &QCheckBox::clicked, this, &TTaskScheduleGroup::EnableClicked);
  connect(sub.Hour, &QComboBox::activated, this, &TTaskScheduleGroup::ControlChanged);
  connect(sub.Minute, &QComboBox::activated, this, &TTaskScheduleGroup::ControlChanged);
  connect(sub.Days, &QListWidget::itemChanged, this, &TTaskScheduleGroup::ControlChanged);
  return column;
}

void TTaskScheduleGroup::FillScheduleLists() {
  for (TSubControls& sub : FSub) {
    const QSignalBlocker quietHour(sub.Hour);
    const QSignalBlocker quietMinute(sub.Minute);
    for (int hour = 0; hour < 24; ++hour) sub.Hour->addItem(Qs(TwoDigitItem(hour)));
    for (int minute = 0; minute < 60; ++minute) sub.Minute->addItem(Qs(TwoDigitItem(minute)));
    sub.Hour->setCurrentIndex(0);
    sub.Minute->setCurrentIndex(0);
  }
}

void TTaskScheduleGroup::Load(const TTaskSchedule& schedule) {
  chkEnableSchedule->setChecked(schedule.Enabled());
  for (int i = 0; i < 3; ++i) {
    const TSubSchedule& from = *schedule.SubSchedule(stFull + i);
    TSubControls& sub = FSub[i];
    sub.Check->setChecked(from.Enabled());
    SelectItem(sub.Hour, from.IntervalHours());
    SelectItem(sub.Minute, from.IntervalMinutes());
    SetDayChecks(sub.Days, from.Days());
  }
}

TScheduleSettings TTaskScheduleGroup::Read() const {
  TScheduleSettings settings;
  settings.Enabled = chkEnableSchedule->isChecked();
  for (int i = 0; i < 3; ++i) {
    const TSubControls& sub = FSub[i];
    TSubScheduleSettings& to = settings.Sub[i];
    to.Enabled = sub.Check->isChecked();
    to.Hour = std::max(sub.Hour->currentIndex(), 0);
    to.Minute = std::max(sub.Minute->currentIndex(), 0);
    to.Days = to.Enabled ? GetDayChecks(sub.Days) : TScheduleDays::None();
  }
  return settings;
}

void TTaskScheduleGroup::ApplyStates(const TEditorStates& states) {
  for (int i = 0; i < 3; ++i) {
    const TSubControls& sub = FSub[i];
    const bool enabled = states.SubScheduleListsEnabled[i];
    sub.Days->setEnabled(enabled);
    sub.Hour->setEnabled(enabled);
    sub.Minute->setEnabled(enabled);
    if (enabled) continue;
    SetDayChecks(sub.Days, TScheduleDays::None());
    SelectItem(sub.Hour, 0);
    SelectItem(sub.Minute, 0);
  }
}

bool TTaskScheduleGroup::ScheduleEnabled() const { return chkEnableSchedule->isChecked(); }

bool TTaskScheduleGroup::SubScheduleChecked(int index) const { return FSub[index].Check->isChecked(); }

void TTaskScheduleGroup::SetDayChecks(QListWidget* list, TScheduleDays days) {
  const QSignalBlocker quiet(list);
  for (int day = 0; day < std::min(list->count(), DayCount); ++day)
    list->item(day)->setCheckState(days.Contains(day) ? Qt::Checked : Qt::Unchecked);
}

TScheduleDays TTaskScheduleGroup::GetDayChecks(const QListWidget* list) {
  TScheduleDays days;
  for (int day = 0; day < std::min(list->count(), DayCount); ++day)
    if (list->item(day)->checkState() == Qt::Checked) days.Include(day);
  return days;
}

}  // namespace velkor
