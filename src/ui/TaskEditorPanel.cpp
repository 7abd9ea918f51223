#include "ui/TaskEditorPanel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/ChainCardView.h"
#include "ui/TaskScheduleGroup.h"
#include "ui/TaskStorageGroup.h"
#include "ui/UiStyle.h"

namespace velkor {

namespace {

constexpr char AddSourceDialogTitle[] = "Yedeklenecek Klasörü Seçin";
constexpr char DestinationDialogTitle[] = "Yedekleme Hedef Klasörünü Seçin";
constexpr char DestinationSetLogPrefix[] = "Hedef klasör ayarlandı: ";

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

// Clears a flag on every way out of a scope.
class TFlagGuard {
public:
  explicit TFlagGuard(bool& flag) : FFlag(flag) { FFlag = true; }
  ~TFlagGuard() { FFlag = false; }
  TFlagGuard(const TFlagGuard&) = delete;
  TFlagGuard& operator=(const TFlagGuard&) = delete;

private:
  bool& FFlag;
};

}  // namespace

TTaskEditorPanel::TTaskEditorPanel(TAppCore& core, IAppPrompts& prompts, QWidget* parent)
    : QWidget(parent), FCore(core), FPrompts(prompts) {
  setObjectName(QStringLiteral("pnlTaskDetails"));
  FStorageGroup = new TTaskStorageGroup(prompts, this);
  grpSchedule = new TTaskScheduleGroup(this);
  FRetentionCard = new TChainCardView(this);
  FCapacity = new TCapacityView(this);

  auto* left = new QVBoxLayout;
  left->addWidget(BuildSourceAndOptions());
  left->addWidget(FStorageGroup);
  left->addStretch(1);
  auto* right = new QVBoxLayout;
  right->addWidget(grpSchedule);
  right->addWidget(FRetentionCard);
  right->addWidget(FCapacity);
  right->addStretch(1);
  auto* content = new QWidget;
  content->setObjectName(QStringLiteral("pnlTaskDetailsContent"));
  auto* columns = new QHBoxLayout(content);
  // The schedule keeps the width its lists need; the sources and paths take the rest.
  columns->addLayout(left, 1);
  columns->addLayout(right, 0);

  // The editor is taller than a small window: it scrolls up and down, its buttons stay in view. Sideways it asks
  // for the width its columns need instead.
  auto* scroll = new QScrollArea(this);
  scroll->setObjectName(QStringLiteral("sbTaskDetails"));
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setWidget(content);
  scroll->setMinimumWidth(content->minimumSizeHint().width() +
                          scroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scroll, 1);
  layout->addWidget(BuildButtons());

  connect(FStorageGroup, &TTaskStorageGroup::StorageChanged, this, &TTaskEditorPanel::StorageUIChanged);
  connect(FStorageGroup, &TTaskStorageGroup::ProviderTextChanged, this, [this] {
    if (!FLoading) ApplyEditorStates();
  });
  connect(grpSchedule, &TTaskScheduleGroup::EnableClicked, this, &TTaskEditorPanel::chkEnableScheduleClick);
  connect(grpSchedule, &TTaskScheduleGroup::ControlChanged, this, &TTaskEditorPanel::ScheduleControlChanged);
  LoadStorageUI(nullptr);
  ApplyEditorStates();
}

QWidget* TTaskEditorPanel::BuildSourceAndOptions() {
  auto* box = new QWidget(this);
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);

  layout->addWidget(new QLabel(QStringLiteral("Kaynaklar"), box));
  auto* sources = new QHBoxLayout;
  lstSources = Named(new QListWidget(box), "lstSources");
  lstSources->setFixedHeight(110);
  auto* sourceButtons = new QVBoxLayout;
  btnAddSource = Named(new QPushButton(QStringLiteral("Ekle"), box), "btnAddSource");
  btnRemoveSource = Named(new QPushButton(QStringLiteral("Kaldır"), box), "btnRemoveSource");
  sourceButtons->addWidget(btnAddSource);
  sourceButtons->addWidget(btnRemoveSource);
  sourceButtons->addStretch(1);
  sources->addWidget(lstSources, 1);
  sources->addLayout(sourceButtons);
  layout->addLayout(sources);

  lblDestination = Named(new QLabel(Qs(LocalDestinationLabel), box), "lblDestination");
  layout->addWidget(lblDestination);
  auto* destination = new QHBoxLayout;
  edtDestination = Named(new QLineEdit(box), "edtDestination");
  btnBrowseDestination = Named(new QPushButton(QStringLiteral("..."), box), "btnBrowseDestination");
  btnBrowseDestination->setFixedWidth(32);
  destination->addWidget(edtDestination, 1);
  destination->addWidget(btnBrowseDestination);
  layout->addLayout(destination);

  chkTaskActive = Named(new QCheckBox(QStringLiteral("Bu Görev Aktif Olarak İşaretlensin"), box), "chkTaskActive");
  layout->addWidget(chkTaskActive);

  auto* types = Named(new QGroupBox(QStringLiteral("Manuel Çalıştırma Türü"), box), "grpBackupType");
  grpBackupType = types;
  auto* typeRow = new QHBoxLayout(types);
  FBackupTypes = new QButtonGroup(this);
  for (int type = btFull; type <= btIncremental; ++type) {
    auto* item = new QRadioButton(Qs(BackupTypeToText(type)), types);
    item->setObjectName(QStringLiteral("rbBackupType%1").arg(type));
    FBackupTypes->addButton(item, type);
    typeRow->addWidget(item);
  }
  typeRow->addStretch(1);
  layout->addWidget(types);

  chkCompress = Named(new QCheckBox(QStringLiteral("Sıkıştır (ZIP)"), box), "chkCompress");
  layout->addWidget(chkCompress);
  auto* encryption = new QHBoxLayout;
  chkEncrypt = Named(new QCheckBox(QStringLiteral("Şifrele"), box), "chkEncrypt");
  btnEncryptionSettings = Named(new QPushButton(QStringLiteral("Şifre Ayarla"), box), "btnEncryptionSettings");
  encryption->addWidget(chkEncrypt);
  encryption->addWidget(btnEncryptionSettings);
  encryption->addStretch(1);
  layout->addLayout(encryption);
  auto* retention = new QHBoxLayout;
  edtMaxBackups = Named(new QLineEdit(box), "edtMaxBackups");
  edtMaxBackups->setMaximumWidth(80);
  retention->addWidget(new QLabel(QStringLiteral("Maksimum Yedek Seti"), box));
  retention->addWidget(edtMaxBackups);
  retention->addStretch(1);
  layout->addLayout(retention);

  connect(btnAddSource, &QPushButton::clicked, this, &TTaskEditorPanel::btnAddSourceClick);
  connect(btnRemoveSource, &QPushButton::clicked, this, &TTaskEditorPanel::btnRemoveSourceClick);
  connect(btnBrowseDestination, &QPushButton::clicked, this, &TTaskEditorPanel::btnBrowseDestinationClick);
  connect(edtDestination, &QLineEdit::textEdited, this, &TTaskEditorPanel::OptionChanged);
  connect(chkTaskActive, &QCheckBox::clicked, this, &TTaskEditorPanel::chkTaskActiveClick);
  connect(FBackupTypes, &QButtonGroup::idClicked, this, &TTaskEditorPanel::OptionChanged);
  connect(chkCompress, &QCheckBox::clicked, this, &TTaskEditorPanel::OptionChanged);
  connect(chkEncrypt, &QCheckBox::clicked, this, &TTaskEditorPanel::OptionChanged);
  connect(btnEncryptionSettings, &QPushButton::clicked, this, &TTaskEditorPanel::EncryptionSettingsClick);
  return box;
}

QWidget* TTaskEditorPanel::BuildButtons() {
  auto* bar = new QWidget(this);
  bar->setObjectName(QStringLiteral("pnlTaskDetailsButtons"));
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(0, 6, 0, 0);
  btnBackToList = Named(new QPushButton(QStringLiteral("Geri Dön"), bar), "btnBackToList");
  btnSaveTask = Named(new QPushButton(QStringLiteral("Kaydet"), bar), "btnSaveTask");
  btnSaveTask->setDefault(true);
  layout->addStretch(1);
  layout->addWidget(btnBackToList);
  layout->addWidget(btnSaveTask);
  connect(btnBackToList, &QPushButton::clicked, this, &TTaskEditorPanel::BackToListRequested);
  connect(btnSaveTask, &QPushButton::clicked, this, &TTaskEditorPanel::btnSaveTaskClick);
  return bar;
}

// The core's editor calls.

bool TTaskEditorPanel::ValidateTaskUI() {
  TTaskSettings settings;
  settings.SourceFolders = ListedSources();
  settings.DestinationFolder = Std(edtDestination->text());
  const int mode = FStorageGroup->StorageModeIndex();
  settings.StorageMode = mode < 0 ? smLocalDisk : static_cast<TStorageMode>(mode);
  const std::string refusal = CheckTaskSettings(settings);
  if (refusal.empty()) return true;
  ShowAutoMessage(FPrompts, refusal);
  return false;
}

void TTaskEditorPanel::SaveTaskFromUI(TBackupTask& task) {
  if (&task != FLoadedTask) return;
  TTaskSettings settings = ReadTaskSettings(task);
  settings.SourceFolders = ListedSources();
  settings.Enabled = chkTaskActive->isChecked();
  settings.DestinationFolder = Std(edtDestination->text());
  FStorageGroup->Store(settings);
  settings.BackupType = static_cast<TBackupType>(std::max(FBackupTypes->checkedId(), 0));
  settings.CompressBackup = chkCompress->isChecked();
  settings.EncryptBackup = chkEncrypt->isChecked();
  settings.MaxBackupsToKeep = MaxBackupsFromText(Std(edtMaxBackups->text()));
  WriteTaskSettings(settings, task);
  FCore.RefreshChainCard(&task);
  WriteScheduleSettings(grpSchedule->Read(), task.Schedule);
}

int TTaskEditorPanel::EditorSourceCount() const { return lstSources->count(); }

std::vector<std::string> TTaskEditorPanel::ListedSources() const {
  std::vector<std::string> folders;
  for (int i = 0; i < lstSources->count(); ++i) folders.push_back(Std(lstSources->item(i)->text()));
  return folders;
}

void TTaskEditorPanel::ShowChainCard(const TChainCard& card) { FRetentionCard->ShowChainCard(card); }

void TTaskEditorPanel::ShowCapacity(const TCapacityLabels& labels) { FCapacity->ShowCapacity(labels); }

// Filling and states.

void TTaskEditorPanel::LoadTaskToUI(TBackupTask* task) {
  if (task == nullptr) return;
  {
    const TFlagGuard loading(FLoading);
    FLoadedTask = task;
    lstSources->clear();
    for (const std::string& folder : task->SourceFolders) lstSources->addItem(Qs(folder));
    chkTaskActive->setChecked(task->Enabled);
    edtDestination->setText(Qs(task->DestinationFolder));
    LoadStorageUI(task);
    if (QAbstractButton* type = FBackupTypes->button(task->BackupType)) type->setChecked(true);
    chkCompress->setChecked(task->CompressBackup);
    chkEncrypt->setChecked(task->EncryptBackup);
    ApplyEditorStates();
    edtMaxBackups->setText(QString::number(task->MaxBackupsToKeep));
    FCore.RefreshChainCard(task);
    grpSchedule->Load(task->Schedule);
    UpdateScheduleControls();
    ApplyEditorStates();
    FCore.UpdateNextRunStatus();
  }
  FCore.AnalyzeDestinationSpace();
}

TEditorStates TTaskEditorPanel::CurrentStates() const {
  TEditorChoices choices;
  choices.Encrypt = chkEncrypt->isChecked();
  choices.ScheduleEnabled = grpSchedule->ScheduleEnabled();
  for (int i = 0; i < 3; ++i) choices.SubSchedule[i] = grpSchedule->SubScheduleChecked(i);
  choices.StorageMode = FStorageGroup->StorageModeIndex();
  choices.CloudProvider = Std(FStorageGroup->CloudProviderText());
  return EditorStates(choices);
}

void TTaskEditorPanel::ApplyEditorStates() {
  const TEditorStates states = CurrentStates();
  btnEncryptionSettings->setEnabled(states.EncryptionSettingsEnabled);
  edtDestination->setEnabled(states.LocalDestinationEnabled);
  btnBrowseDestination->setEnabled(states.LocalDestinationEnabled);
  lblDestination->setText(Qs(states.DestinationLabel));
  FStorageGroup->ApplyStates(states);
}

void TTaskEditorPanel::UpdateScheduleControls() { grpSchedule->ApplyStates(CurrentStates()); }

void TTaskEditorPanel::LoadStorageUI(const TBackupTask* task) {
  FStorageGroup->Load(task);
  ApplyEditorStates();
}

// The user's changes.

void TTaskEditorPanel::OptionChanged() {
  if (FLoading) return;
  ApplyEditorStates();
  FCore.AnalyzeDestinationSpace();
}

void TTaskEditorPanel::StorageUIChanged() {
  if (FLoading) return;
  TBackupTask* task = FCore.CurrentTask();
  if (task != nullptr) {
    SaveTaskFromUI(*task);
    FCore.RefreshChainCard(task);
  }
  LoadStorageUI(task);
  FCore.AnalyzeDestinationSpace();
}

void TTaskEditorPanel::ScheduleControlChanged() {
  if (FLoading || FCore.CurrentTask() == nullptr) return;
  UpdateScheduleControls();
  ApplyEditorStates();
  FCore.SaveEditorSchedule();
}

void TTaskEditorPanel::chkEnableScheduleClick() {
  if (FLoading) return;
  UpdateScheduleControls();
  FCore.SaveEditorSchedule();
}

void TTaskEditorPanel::chkTaskActiveClick() {
  if (FLoading) return;
  if (TBackupTask* task = FCore.CurrentTask()) task->Enabled = chkTaskActive->isChecked();
}

void TTaskEditorPanel::btnAddSourceClick() {
  std::string folder;
  if (!FPrompts.SelectFolder(AddSourceDialogTitle, folder)) return;
  if (ListsFolder(ListedSources(), folder)) return;
  lstSources->addItem(Qs(folder));
  if (TBackupTask* task = FCore.CurrentTask()) task->SourceFolders.push_back(folder);
  FCore.AnalyzeDestinationSpace();
}

void TTaskEditorPanel::btnRemoveSourceClick() {
  const int row = lstSources->currentRow();
  if (row < 0) return;
  TBackupTask* task = FCore.CurrentTask();
  if (task != nullptr && row < static_cast<int>(task->SourceFolders.size()))
    task->SourceFolders.erase(task->SourceFolders.begin() + row);
  delete lstSources->takeItem(row);
  FCore.AnalyzeDestinationSpace();
}

void TTaskEditorPanel::btnBrowseDestinationClick() {
  std::string folder = Std(edtDestination->text());
  if (!FPrompts.SelectFolder(DestinationDialogTitle, folder)) return;
  edtDestination->setText(Qs(folder));
  FCore.AddLog(DestinationSetLogPrefix + folder);
  FCore.AnalyzeDestinationSpace();
}

void TTaskEditorPanel::EncryptionSettingsClick() {
  bool encrypt = chkEncrypt->isChecked();
  FCore.EncryptionSettingsClick(encrypt, CachePasswordChecked());
  if (encrypt == chkEncrypt->isChecked()) return;
  chkEncrypt->setChecked(encrypt);
  OptionChanged();
}

// "Kaydet" writes the file too, so what the user saved survives a window closed without the exit question.
void TTaskEditorPanel::btnSaveTaskClick() {
  if (FCore.CurrentTask() != nullptr && !FCore.SaveCurrentTask()) return;
  emit BackToListRequested();
}

bool TTaskEditorPanel::CachePasswordChecked() const {
  if (FCachePasswordChecked) return FCachePasswordChecked();
  return FCore.Config() != nullptr && FCore.Config()->CacheEncryptionPassword;
}

}  // namespace velkor
