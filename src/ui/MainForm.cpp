#include "ui/MainForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSizeGrip>
#include <QStackedWidget>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/ActionPanel.h"
#include "ui/EmailSettingsForm.h"
#include "ui/SettingsPage.h"
#include "ui/SplashForm.h"
#include "ui/TaskCentrePage.h"
#include "ui/TaskEditorPanel.h"
#include "ui/TitleBar.h"
#include "ui/TrayIcon.h"
#include "ui/UiStyle.h"
#include "ui/WindowHistoryCommands.h"

namespace velkor {

namespace {

constexpr int SchedulerIntervalMs = 60000;
constexpr int LogHeight = 150;
constexpr int SmallLogHeight = 112;
constexpr int StatusPanelWidths[] = {400, 250, 50};
constexpr const char* PageTabs[] = {"Yedekleme", "Geçmiş", "Ayarlar"};
constexpr const char* PageTabNames[] = {"tabTaskCentre", "tabHistory", "tabSettings"};

}  // namespace

TfrmMain::TfrmMain(const TMainFormServices& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), FServices(services) {
  TFrontEnd frontEnd(*this, services.Prompts, services.Clock, services.MainThread);
  frontEnd.Editor = this;
  frontEnd.LongPaths = services.LongPaths;
  frontEnd.ConfigDirectory = services.ConfigDirectory;
  frontEnd.RegistryFile = services.RegistryFile;
  FApp = std::make_unique<TComposedApp>(frontEnd);
  FCore = &FApp->Core();
  FTrayResidency = std::make_unique<TTrayResidency>(*this, *FCore, services.Prompts);

  BuildWindow();
  ConnectCommands();
  FHistoryCommands = std::make_unique<TWindowHistoryCommands>(
      this, *FCore,
      TWindowHistoryServices{services.Prompts, services.Clock, services.MainThread, services.RegistryFile});
  SetHistoryCommands(FHistoryCommands.get());
  // Panels and dialogs of their own plug in here (SetTaskEditor, SetHistoryCommands), before the start fills them.
  PlugTaskEditor();
  FormCreate();
}

TfrmMain::~TfrmMain() {
  // A history command still at work ends first; what it would have shown is dropped.
  FHistoryCommands.reset();
  // A run's report still on its way is not cut off as the program ends.
  FApp->WaitForRunNotifications(std::chrono::seconds(30));
  FCore = nullptr;
  FApp.reset();
  FTrayIcon->SetVisible(false);
}

void TfrmMain::BuildWindow() {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(Qs(MainWindowCaption));
  setWindowIcon(QIcon(QStringLiteral(":/velkor/velkor.png")));
  setStyleSheet(MainWindowStyleSheet());
  setMinimumSize(1024, 720);
  resize(1280, 800);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  pnlTitleBar = new TTitleBar(this);
  layout->addWidget(pnlTitleBar);
  layout->addWidget(BuildTabs());

  pgcMain = new QStackedWidget(this);
  pgcMain->setObjectName(QStringLiteral("pgcMain"));
  FTaskCentre = new TTaskCentrePage(*FCore, pgcMain);
  FHistoryPage = new THistoryPage(*FCore, pgcMain);
  FSettingsPage = new TSettingsPage(pgcMain);
  for (QWidget* page :
       {static_cast<QWidget*>(FTaskCentre), static_cast<QWidget*>(FHistoryPage), static_cast<QWidget*>(FSettingsPage)})
    pgcMain->addWidget(page);
  layout->addWidget(pgcMain, 1);

  FActionPanel = new TActionPanel(this);
  layout->addWidget(FActionPanel);
  layout->addWidget(BuildLog());

  // Hidden, but written to all the same: the latest message, the next run, a spare panel.
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  for (int i = 0; i < 3; ++i) {
    FStatusPanels[i] = new QLabel(StatusBar1);
    FStatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    FStatusPanels[i]->setFixedWidth(StatusPanelWidths[i]);
    StatusBar1->addWidget(FStatusPanels[i]);
  }
  layout->addWidget(StatusBar1);
  // Without the system's frame, the corner grip resizes the window.
  FSizeGrip = new QSizeGrip(this);
  FSizeGrip->setObjectName(QStringLiteral("gripResize"));

  FTrayIcon = new TTrayIcon(this);
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(SchedulerIntervalMs);
  Timer1->start();
}

QWidget* TfrmMain::BuildTabs() {
  pnlTabs = new QWidget(this);
  pnlTabs->setObjectName(QStringLiteral("pnlTabs"));
  pnlTabs->setAttribute(Qt::WA_StyledBackground);
  auto* layout = new QHBoxLayout(pnlTabs);
  layout->setContentsMargins(12, 6, 12, 0);
  layout->setSpacing(2);
  auto* group = new QButtonGroup(pnlTabs);
  group->setExclusive(true);
  for (int page = 0; page < 3; ++page) {
    auto* tab = new QPushButton(Qs(PageTabs[page]), pnlTabs);
    tab->setObjectName(QLatin1String(PageTabNames[page]));
    tab->setCheckable(true);
    tab->setFont(UiFont(14));
    tab->setCursor(Qt::PointingHandCursor);
    group->addButton(tab, page);
    layout->addWidget(tab);
  }
  layout->addStretch(1);
  connect(group, &QButtonGroup::idClicked, [this](int page) { ShowPage(page); });
  return pnlTabs;
}

QWidget* TfrmMain::BuildLog() {
  auto* group = FLogGroup = new QGroupBox(QStringLiteral(" Log Kayıtları "), this);
  group->setObjectName(QStringLiteral("grpLog"));
  auto* layout = new QVBoxLayout(group);
  layout->setContentsMargins(8, 14, 8, 8);
  memoLog = new QPlainTextEdit(group);
  memoLog->setObjectName(QStringLiteral("memoLog"));
  memoLog->setReadOnly(true);
  memoLog->setFont(FixedFont(8));
  memoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  memoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  layout->addWidget(memoLog);
  group->setFixedHeight(LogHeight);
  auto* frame = new QWidget(this);
  auto* outer = new QVBoxLayout(frame);
  outer->setContentsMargins(12, 0, 12, 8);
  outer->addWidget(group);
  return frame;
}

void TfrmMain::ConnectCommands() {
  connect(pnlTitleBar, &TTitleBar::LogoClicked, [this] { imgLogoClick(); });
  connect(pnlTitleBar, &TTitleBar::MinimizeClicked, [this] { showMinimized(); });
  connect(pnlTitleBar, &TTitleBar::CloseClicked, [this] { close(); });

  TActionPanel& a = *FActionPanel;
  connect(a.btnStartBackup, &QPushButton::clicked, [this] { FCore->StartBackupClick(); });
  connect(a.btnTestBackup, &QPushButton::clicked, [this] { FCore->TestBackupClick(); });
  connect(a.btnPauseBackup, &QPushButton::clicked, [this] { FCore->TogglePause(); });
  connect(a.btnCancelBackup, &QPushButton::clicked, [this] { FCore->CancelBackupClick(); });
  connect(a.btnMinimizeToTray, &QPushButton::clicked, [this] { btnMinimizeToTrayClick(); });
  connect(a.btnExit, &QPushButton::clicked, [this] { FTrayResidency->ExitClick(); });

  connect(FSettingsPage->SaveButton(), &QPushButton::clicked, [this] { FCore->SaveAllSettings(); });
  auto* btnEmailSettings = new QPushButton(QStringLiteral("E-posta Ayarları"));
  btnEmailSettings->setObjectName(QStringLiteral("btnEmailSettings"));
  FSettingsPage->AddToolButton(btnEmailSettings);
  connect(btnEmailSettings, &QPushButton::clicked, [this] {
    btnEmailSettingsClick(
        this, {FServices.Prompts, FServices.Clock, FServices.MainThread, {}},
        [this](const std::string& line) { FCore->AddLog(line); }, FServices.RegistryFile);
  });

  TTrayIcon& t = *FTrayIcon;
  connect(&t, &TTrayIcon::ShowRequested, [this] { FTrayResidency->RestoreFromTray(); });
  connect(t.mnuStartBackup, &QAction::triggered, [this] { FCore->StartBackupClick(); });
  connect(t.mnuPauseBackup, &QAction::triggered, [this] { FCore->TogglePause(); });
  connect(t.mnuCancelBackup, &QAction::triggered, [this] { FCore->CancelBackupClick(); });
  connect(t.mnuExit, &QAction::triggered, [this] { FTrayResidency->ExitClick(); });

  connect(Timer1, &QTimer::timeout, [this] { FCore->Timer1Timer(); });
}

void TfrmMain::FormCreate() {
  FCore->LoadConfiguration();
  const bool hidden = FCore->IsHiddenStart(IsTrayStartRequested(FServices.Arguments));
  if (!hidden) {
    if (FServices.ShowSplash)
      FServices.ShowSplash();
    else
      TfrmSplash::ShowOnce(FServices.ProgramFolder.empty()
                               ? std::filesystem::path(Std(QApplication::applicationDirPath()))
                               : FServices.ProgramFolder,
                           FServices.Clock);
    if (!ShowLogin(false)) {
      FCore->AbandonStart();
      hide();
      QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
      return;
    }
  }
  // The settings and the first filter before the core fills the lists.
  FSettingsPage->ShowSettings(*FCore->Config());
  FTaskCentre->SelectFirstFilter();
  FTrayIcon->SetVisible(false);
  ShowPage(0);
  FTaskCentre->ShowHome();
  pnlTitleBar->SetCaption(Qs(MainWindowCaption));
  StatusBar1->hide();
  FCore->Start({.Hidden = hidden, .MinimizeToTray = [this] { FTrayResidency->MinimizeToTray(false); }});
  if (!hidden) show();
}

void TfrmMain::SetTaskEditor(ITaskEditorPanel* editor, QWidget* panel) {
  FEditor = editor;
  FTaskCentre->SetEditor(editor, panel);
}

void TfrmMain::PlugTaskEditor() {
  auto* editor = new TTaskEditorPanel(*FCore, FServices.Prompts);
  editor->SetCachePasswordChecked([this] { return FSettingsPage->CacheEncryptionPasswordChecked(); });
  connect(editor, &TTaskEditorPanel::BackToListRequested, FTaskCentre, &TTaskCentrePage::btnBackToListClick);
  SetTaskEditor(editor, editor);

  auto* setPassword = new QPushButton(QStringLiteral("Şifre Ayarla"));
  setPassword->setObjectName(QStringLiteral("btnSettingsEncryption"));
  connect(setPassword, &QPushButton::clicked, editor, &TTaskEditorPanel::EncryptionSettingsClick);
  FSettingsPage->AddToolButton(setPassword);
  auto* decrypt = new QPushButton(QStringLiteral("Şifre Girişi"));
  decrypt->setObjectName(QStringLiteral("btnDecryptTool"));
  connect(decrypt, &QPushButton::clicked, this,
          [this] { FCore->DecryptToolClick(FSettingsPage->CacheEncryptionPasswordChecked()); });
  FSettingsPage->AddToolButton(decrypt);
}

void TfrmMain::SetHistoryCommands(IHistoryCommands* commands) { FHistoryPage->SetCommands(commands); }

void TfrmMain::ShowPage(int page) {
  pgcMain->setCurrentIndex(page);
  if (auto* tab = pnlTabs->findChild<QPushButton*>(QLatin1String(PageTabNames[page]))) tab->setChecked(true);
}

int TfrmMain::CurrentPage() const { return pgcMain->currentIndex(); }

void TfrmMain::imgLogoClick() {
  const bool opened = FServices.OpenUrl ? FServices.OpenUrl(WebSiteAddress)
                                        : QDesktopServices::openUrl(QUrl(QString::fromLatin1(WebSiteAddress)));
  FCore->AddLog((opened ? WebSiteOpenedLog : WebSiteNotOpenedLog) + std::string(WebSiteAddress));
}

void TfrmMain::btnMinimizeToTrayClick() {
  FCore->SaveAllSettings();
  FTrayResidency->MinimizeToTray(true);
}

// IAppView

void TfrmMain::AppendLogLines(const std::vector<std::string>& lines) {
  QStringList text;
  for (const std::string& line : lines) text << Qs(line);
  memoLog->appendPlainText(text.join(QLatin1Char('\n')));
  memoLog->verticalScrollBar()->setValue(memoLog->verticalScrollBar()->maximum());
}

void TfrmMain::SetStatusText(int panel, const std::string& text) {
  if (panel < 0 || panel > 2) return;
  FStatusPanels[panel]->setText(Qs(text));
  if (panel == 1) FTaskCentre->ShowNextRun(Qs(text));
}

void TfrmMain::SetProgressPosition(int percent) { FActionPanel->SetProgressPosition(percent); }

void TfrmMain::SetProgressText(const std::string& text) { FActionPanel->SetProgressText(Qs(text)); }

void TfrmMain::ShowRunState(const TRunUiState& state) {
  FActionPanel->ShowRunState(state);
  FTrayIcon->ShowRunState(state);
}

void TfrmMain::ShowBalloon(const std::string& title, const std::string& text) {
  if (TrayAvailable()) FTrayIcon->ShowBalloon(Qs(title), Qs(text));
}

void TfrmMain::RefreshTaskList() { FTaskCentre->RefreshTaskList(); }

void TfrmMain::RefreshHistoryList() { FHistoryPage->RefreshHistoryList(); }

void TfrmMain::ShowChainCard(const TChainCard& card) {
  if (FEditor != nullptr) FEditor->ShowChainCard(card);
}

void TfrmMain::ShowCapacity(const TCapacityLabels& labels) {
  if (FEditor != nullptr) FEditor->ShowCapacity(labels);
}

// ITaskEditor: the task half goes to the editor panel, the settings half to the settings page.

bool TfrmMain::IsLoading() const { return FEditor != nullptr && FEditor->IsLoading(); }

// The editor is open while the task centre shows it, also behind another top tab or with the window in the tray:
// its checks may not depend on what is on screen.
bool TfrmMain::ValidateTaskUI() {
  return FEditor == nullptr || !FTaskCentre->EditorShown() || FEditor->ValidateTaskUI();
}

void TfrmMain::SaveTaskFromUI(TBackupTask& task) {
  if (FEditor != nullptr) FEditor->SaveTaskFromUI(task);
}

int TfrmMain::EditorSourceCount() const {
  if (FEditor != nullptr) return FEditor->EditorSourceCount();
  const TBackupTask* task = FCore->CurrentTask();
  return task != nullptr ? static_cast<int>(task->SourceFolders.size()) : 0;
}

void TfrmMain::SaveSettingsFromUI(TBackupConfig& config) { FSettingsPage->SaveSettingsFromUI(config); }

bool TfrmMain::ShowNotificationsChecked() const { return FSettingsPage->ShowNotificationsChecked(); }

// ITrayWindow

bool TfrmMain::TrayAvailable() const {
  return FServices.TrayAvailable ? FServices.TrayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
}

bool TfrmMain::WindowShown() const { return isVisible() && !isMinimized(); }

void TfrmMain::HideWindow() {
  hide();
  setWindowState(windowState() | Qt::WindowMinimized);
}

void TfrmMain::MinimizeWindow() { showMinimized(); }

void TfrmMain::ShowWindow() {
  showNormal();
  raise();
  activateWindow();
}

void TfrmMain::CloseWindow() { close(); }

void TfrmMain::ShowTrayIcon(bool visible) { FTrayIcon->SetVisible(visible); }

void TfrmMain::ShowTrayBalloon(const std::string& title, const std::string& text) {
  FTrayIcon->ShowBalloon(Qs(title), Qs(text));
}

bool TfrmMain::ShowLogin(bool forcePrompt) { return !FServices.ShowLogin || FServices.ShowLogin(forcePrompt); }

// Closing.

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (!FTrayResidency->CloseQuery(FSettingsPage->MinimizeToTrayChecked())) return event->ignore();
  FTrayIcon->SetVisible(false);
  event->accept();
  emit Closed();
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // A low window gives the pages the room and keeps a few log lines.
  FLogGroup->setFixedHeight(height() >= 800 ? LogHeight : SmallLogHeight);
  FSizeGrip->move(width() - FSizeGrip->width(), height() - FSizeGrip->height());
  FSizeGrip->raise();
}

void TfrmMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  const bool minimized = isMinimized();
  // Back from the task bar after a minimise to the tray that found no tray: the login decides, after this event.
  if (FWasMinimized && !minimized && isVisible())
    QTimer::singleShot(0, this, [this] { FTrayResidency->RestoredFromTaskBar(); });
  FWasMinimized = minimized;
}

void ForwardRaiseRequests(TSingleInstanceGuard& guard, IMainThread& mainThread, TfrmMain& window) {
  QPointer<TfrmMain> target(&window);
  guard.ListenForRaiseRequests([&mainThread, target] {
    mainThread.Post([target] {
      if (target) target->RaiseFromOtherInstance();
    });
  });
}

}  // namespace velkor
