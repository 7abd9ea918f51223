#include "ui/TaskCentrePage.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/DueTasks.h"
#include "app/TaskRules.h"
#include "ui/UiStyle.h"

namespace velkor {

namespace {

constexpr int TaskColumnWidths[] = {70, 320, 170, 170};
constexpr int FilterRowHeight = 34;
const QColor EnabledColor(0x22, 0x9E, 0x60);
const QColor DisabledColor(0xDA, 0x41, 0x48);

QLabel* NewText(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->setWordWrap(true);
  return label;
}

}  // namespace

TTaskCentrePage::TTaskCentrePage(TAppCore& core, QWidget* parent) : QWidget(parent), FCore(core) {
  setObjectName(QStringLiteral("tsTaskCentre"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 12, 16, 8);
  layout->setSpacing(8);
  layout->addWidget(NewPageCaption(this, "lblTaskCentreCaption", QStringLiteral("Görev Merkezi")));

  auto* body = new QHBoxLayout;
  body->setSpacing(12);
  lstTasks = new QListWidget(this);
  lstTasks->setObjectName(QStringLiteral("lstTasks"));
  for (const char* text : TaskFilterTexts) {
    auto* item = new QListWidgetItem(Qs(text), lstTasks);
    item->setSizeHint(QSize(0, FilterRowHeight));
  }
  lstTasks->setFixedSize(180, lstTasks->count() * FilterRowHeight + 2 * lstTasks->frameWidth());
  lstTasks->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  body->addWidget(lstTasks, 0, Qt::AlignTop);

  pgcTasks = new QStackedWidget(this);
  pgcTasks->setObjectName(QStringLiteral("pgcTasks"));
  pgcTasks->addWidget(BuildHome());
  pgcTasks->addWidget(BuildTaskList());
  pnlTaskDetailsHost = new QWidget(pgcTasks);
  pnlTaskDetailsHost->setObjectName(QStringLiteral("pnlTaskDetailsHost"));
  FHostLayout = new QVBoxLayout(pnlTaskDetailsHost);
  FHostLayout->setContentsMargins(0, 0, 0, 0);
  pgcTasks->addWidget(pnlTaskDetailsHost);
  body->addWidget(pgcTasks, 1);
  layout->addLayout(body, 1);

  connect(lstTasks, &QListWidget::itemClicked, [this] { OnTaskSelected(); });
  connect(lvTasks, &QTreeWidget::itemSelectionChanged, [this] { OnTaskListSelectItem(); });
  connect(lvTasks, &QTreeWidget::itemDoubleClicked, [this] { lstTasksDblClick(); });
  connect(btnNewTask, &QPushButton::clicked, [this] { OnNewTask(); });
  connect(btnRenameTask, &QPushButton::clicked, [this] { FCore.OnRenameTask(SelectedTask()); });
  connect(btnDeleteTask, &QPushButton::clicked, [this] { FCore.OnDeleteTask(SelectedTask()); });
  connect(btnCopyTask, &QPushButton::clicked, [this] { FCore.OnCopyTask(SelectedTask()); });
}

QWidget* TTaskCentrePage::BuildHome() {
  pnlHome = new QWidget(this);
  pnlHome->setObjectName(QStringLiteral("pnlHome"));
  auto* layout = new QVBoxLayout(pnlHome);
  layout->setContentsMargins(24, 16, 24, 16);
  layout->setSpacing(14);
  auto* welcome = NewText(pnlHome, "lblHomeTitle", QStringLiteral("Yedekleme görevlerinize hoş geldiniz"));
  welcome->setFont(UiFont(18, QFont::DemiBold));
  layout->addWidget(welcome);
  layout->addWidget(NewText(pnlHome, "lblHomeText",
                            QStringLiteral("Yeni bir yedekleme görevi oluşturun ya da mevcut görevlerinizi "
                                           "düzenleyin, zamanlayın ve elle başlatın.")));
  lblHomeNextRun = NewText(pnlHome, "lblHomeNextRun", QString());
  lblHomeNextRun->setStyleSheet(QStringLiteral("color: #1E6FC8; font-weight: 600;"));
  layout->addWidget(lblHomeNextRun);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(12);
  QPushButton* btnHomeNewTask =
      NewButton(pnlHome, "btnHomeNewTask", QStringLiteral("+ Yeni Yedekleme Görevi Oluştur"), true);
  QPushButton* btnHomeManage = NewButton(pnlHome, "btnHomeManage", QStringLiteral("Yedekleme Görevlerini Yönet"));
  for (QPushButton* button : {btnHomeNewTask, btnHomeManage}) {
    button->setMinimumHeight(44);
    buttons->addWidget(button);
  }
  buttons->addStretch(1);
  layout->addLayout(buttons);
  layout->addStretch(1);
  connect(btnHomeNewTask, &QPushButton::clicked, [this] { OnNewTask(); });
  connect(btnHomeManage, &QPushButton::clicked, [this] { btnHomeManageClick(); });
  return pnlHome;
}

QWidget* TTaskCentrePage::BuildTaskList() {
  pnlTaskList = new QWidget(this);
  pnlTaskList->setObjectName(QStringLiteral("pnlTaskList"));
  auto* layout = new QVBoxLayout(pnlTaskList);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);
  auto* toolBar = new QHBoxLayout;
  toolBar->setSpacing(8);
  btnNewTask = NewButton(pnlTaskList, "btnNewTask", QStringLiteral("Yeni Görev"), true);
  btnRenameTask = NewButton(pnlTaskList, "btnRenameTask", QStringLiteral("İsim Değiştir"));
  btnDeleteTask = NewButton(pnlTaskList, "btnDeleteTask", QStringLiteral("Görev Sil"));
  btnCopyTask = NewButton(pnlTaskList, "btnCopyTask", QStringLiteral("Görev Kopyala"));
  for (QPushButton* button : {btnNewTask, btnRenameTask, btnDeleteTask, btnCopyTask}) toolBar->addWidget(button);
  toolBar->addStretch(1);
  layout->addLayout(toolBar);

  lvTasks = new QTreeWidget(pnlTaskList);
  lvTasks->setObjectName(QStringLiteral("lvTasks"));
  lvTasks->setRootIsDecorated(false);
  lvTasks->setUniformRowHeights(true);
  lvTasks->setAllColumnsShowFocus(true);
  lvTasks->setSelectionMode(QAbstractItemView::SingleSelection);
  lvTasks->setFont(SymbolTextFont(13));
  QStringList captions;
  for (const char* caption : TaskListColumns) captions << Qs(caption);
  lvTasks->setHeaderLabels(captions);
  for (int column = 0; column < captions.size(); ++column) lvTasks->setColumnWidth(column, TaskColumnWidths[column]);
  lvTasks->header()->setStretchLastSection(true);
  layout->addWidget(lvTasks, 1);
  return pnlTaskList;
}

void TTaskCentrePage::SetEditor(ITaskEditorPanel* editor, QWidget* panel) {
  FEditor = editor;
  if (FEditorPanel != nullptr) {
    FHostLayout->removeWidget(FEditorPanel);
    FEditorPanel->hide();
  }
  FEditorPanel = panel;
  if (panel != nullptr) FHostLayout->addWidget(panel);
}

void TTaskCentrePage::RefreshTaskList() {
  const TBackupConfig* config = FCore.Config();
  // Refilling must not count as the user's selection: that would load the editor again over unsaved edits.
  const QSignalBlocker blocker(lvTasks);
  lvTasks->clear();
  if (config == nullptr) return;
  const QListWidgetItem* filter = lstTasks->currentItem();
  for (const TTaskListRow& row :
       TaskListRows(*config, TaskFilterFromText(filter != nullptr ? Std(filter->text()) : std::string()))) {
    auto* item =
        new QTreeWidgetItem(lvTasks, QStringList{Qs(row.Status), Qs(row.Name), Qs(row.NextRun), Qs(row.LastRun)});
    item->setTextAlignment(0, Qt::AlignCenter);
    item->setForeground(0, row.Task->Enabled ? EnabledColor : DisabledColor);
    item->setFont(0, SymbolTextFont(16));
    item->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(row.Task)));
    if (row.Task == FCore.CurrentTask()) item->setSelected(true), lvTasks->setCurrentItem(item);
  }
}

void TTaskCentrePage::ShowNextRun(const QString& text) { lblHomeNextRun->setText(text); }

void TTaskCentrePage::SelectFirstFilter() {
  if (lstTasks->count() == 0) return;
  lstTasks->setCurrentRow(0);
  OnTaskSelected();
}

void TTaskCentrePage::ShowHome() { pgcTasks->setCurrentWidget(pnlHome); }

void TTaskCentrePage::ShowTaskList() {
  pgcTasks->setCurrentWidget(pnlTaskList);
  RefreshTaskList();
}

void TTaskCentrePage::ShowTaskEditor() {
  if (FEditor != nullptr) pgcTasks->setCurrentWidget(pnlTaskDetailsHost);
}

bool TTaskCentrePage::EditorShown() const { return pgcTasks->currentWidget() == pnlTaskDetailsHost; }

TBackupTask* TTaskCentrePage::SelectedTask() const {
  const QList<QTreeWidgetItem*> selected = lvTasks->selectedItems();
  if (selected.isEmpty() || FCore.Config() == nullptr) return nullptr;
  auto* task = static_cast<TBackupTask*>(selected.first()->data(0, Qt::UserRole).value<void*>());
  return TaskPosition(*FCore.Config(), task) > 0 ? task : nullptr;
}

void TTaskCentrePage::OnTaskSelected() {
  // Switching the filter keeps what the editor holds, unchecked.
  if (FEditor != nullptr && EditorShown() && FCore.CurrentTask() != nullptr)
    FEditor->SaveTaskFromUI(*FCore.CurrentTask());
  ShowTaskList();
}

void TTaskCentrePage::OnTaskListSelectItem() {
  TBackupTask* task = SelectedTask();
  if (task == nullptr) return;
  TBackupTask* previous = FCore.CurrentTask();
  if (FEditor != nullptr && previous != nullptr && previous != task && EditorShown())
    FEditor->SaveTaskFromUI(*previous);
  FCore.SetCurrentTask(task);
  if (FEditor != nullptr) FEditor->LoadTaskToUI(task);
}

void TTaskCentrePage::lstTasksDblClick() {
  TBackupTask* task = SelectedTask();
  if (task == nullptr) return;
  FCore.SetCurrentTask(task);
  if (FEditor == nullptr) return;
  FEditor->LoadTaskToUI(task);
  ShowTaskEditor();
}

void TTaskCentrePage::btnBackToListClick() {
  if (FEditor != nullptr && FCore.CurrentTask() != nullptr) {
    if (!FEditor->ValidateTaskUI()) return;
    FEditor->SaveTaskFromUI(*FCore.CurrentTask());
  }
  ShowTaskList();
}

void TTaskCentrePage::OnNewTask() {
  TBackupTask* task = FCore.OnNewTask();
  if (task == nullptr) return;
  if (FEditor == nullptr) return ShowTaskList();
  FEditor->LoadTaskToUI(task);
  ShowTaskEditor();
}

}  // namespace velkor
