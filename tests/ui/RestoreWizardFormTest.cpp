// The restore wizard and the restore flow in the window: the wizard driven as a user drives it, and a restore of a
// large archive made by a real run, on the commands' thread behind the wait window, while the main window stays
// disabled and keeps painting. Messages and questions are answered by a script.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <set>

#include "UiTestSupport.h"
#include "app/AppCoreHarness.h"
#include "app/HistoryCommands.h"
#include "ui/HistoryPdfExport.h"
#include "ui/QtHistoryCommandWindows.h"
#include "ui/QtMainThread.h"
#include "ui/RestoreWizardForm.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::ClickButton;
using test::Find;
using test::SaveShot;
using test::TFileTree;
using test::TModalDriver;

const QString Wizard = QStringLiteral("frmRestoreWizard");

// Counts what a widget paints.
class TPaintCounter : public QObject {
public:
  int Paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    Paints += event->type() == QEvent::Paint;
    return false;
  }
};

std::string Noise(size_t size, uint32_t seed) {
  std::string data(size, '\0');
  for (char& c : data) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return data;
}

// The window's own command windows, with a record of what they were asked to show.
class TRecordingWindows final : public IHistoryCommandWindows {
public:
  explicit TRecordingWindows(TQtHistoryCommandWindows& windows) : FWindows(windows) {}
  std::vector<std::string> Captions;
  std::vector<int> Percents;

  bool ExecuteRestoreWizard(const TBackupHistoryItem& item, bool showPassword, const std::string& password,
                            const std::string& asOfCaption, TRestoreWizardOptions& options) override {
    return FWindows.ExecuteRestoreWizard(item, showPassword, password, asOfCaption, options);
  }
  void ShowWaitWindow(const TWaitWindowText& text) override {
    Captions.push_back(text.Caption);
    FWindows.ShowWaitWindow(text);
  }
  void ShowWaitProgress(int percent, const std::string& text) override {
    Percents.push_back(percent);
    FWindows.ShowWaitProgress(percent, text);
  }
  void CloseWaitWindow() override { FWindows.CloseWaitWindow(); }

private:
  TQtHistoryCommandWindows& FWindows;
};

class RestoreWizardFormTest : public test::AppCoreHarness {
protected:
  TQtMainThread FQtMain;
  QWidget FOwner;
  TQtHistoryCommandWindows FQtWindows{&FOwner, FPrompts, FClock};
  TRecordingWindows FWindows{FQtWindows};
  std::unique_ptr<THistoryCommands> FCommands;
  TModalDriver FDriver;

  void SetUp() override {
    StartCore();
    FOwner.setObjectName(QStringLiteral("frmMain"));
    FOwner.resize(900, 600);
    FOwner.show();
    // The real clock paces the wait window's progress.
    THistoryCommandServices services{*FCore,        FPrompts, FWindows,    FQtMain,
                                     SystemClock(), {},       FDir.Path(), RegistryFile()};
    services.ExportPdf = [](const fs::path& file, const TBackupHistoryItem& item) {
      ExportHistoryItemToPdf(file, item);
    };
    FCommands = std::make_unique<THistoryCommands>(services);
  }

  TBackupHistoryItem Backup(const std::string& name, const TFileTree& files, const std::string& password = "") {
    FCompress = true;
    TBackupTask& task = AddTask(name, files);
    task.EncryptBackup = !password.empty();
    FCore->EncryptionManager()->SetPassword(password);
    RunManual(task);
    return History().back();
  }

  void Finish() {
    EXPECT_TRUE(QTest::qWaitFor([&] { return !FCommands->Busy(); }, 120000));
  }
};

TEST_F(RestoreWizardFormTest, WizardShowsTheEntryAndReturnsTheChoices) {
  const TBackupHistoryItem item = Backup("Belgeler", {{"a.txt", "alfa"}});
  const fs::path picked = FDir / "secilen";
  FPrompts.Picks = {picked.string()};
  FDriver.Expect(Wizard, [&](QWidget& wizard) {
    EXPECT_EQ(wizard.windowTitle(), QStringLiteral("Geri Yukleme Sihirbazi"));
    EXPECT_EQ(wizard.size(), QSize(607, 365));
    EXPECT_EQ(
        Find<QLabel>(wizard, "FInfoLabel")->text().toStdString(),
        "Seçili Kayıt : Belgeler\r\nÇıktı : " + item.OutputPath + "\r\nMevcut dosyaların üzerine doğrudan yazılmaz.");
    EXPECT_TRUE(Find<QLineEdit>(wizard, "FTargetEdit")->text().contains(QStringLiteral("/Restore_")));
    EXPECT_FALSE(Find<QLineEdit>(wizard, "FPasswordEdit")->isVisible());
    EXPECT_FALSE(Find<QLabel>(wizard, "FPasswordLabel")->isVisible());
    EXPECT_TRUE(Find<QRadioButton>(wizard, "rbRename")->isChecked());
    QTest::mouseClick(Find<QPushButton>(wizard, "FBrowseButton"), Qt::LeftButton);
    EXPECT_EQ(Find<QLineEdit>(wizard, "FTargetEdit")->text().toStdString(), picked.string());
    QTest::mouseClick(Find<QRadioButton>(wizard, "rbSkip"), Qt::LeftButton, {}, QPoint(8, 12));
    SaveShot(wizard, "restore-wizard");
    ClickButton(wizard, QStringLiteral("Başlat"));
  });
  TRestoreWizardOptions options;
  EXPECT_TRUE(TRestoreWizard::Execute(nullptr, FPrompts, FClock, item, options, false, "önceki"));
  EXPECT_TRUE(FDriver.Done());
  EXPECT_EQ(options.TargetFolder, picked.string());
  EXPECT_EQ(options.ConflictAction, rcSkip);
  EXPECT_EQ(options.EncryptionPassword, "önceki");  // the hidden field keeps what it was given
  ASSERT_EQ(FPrompts.Pickers.size(), 1u);
  EXPECT_EQ(FPrompts.Pickers[0], (std::vector<std::string>{"Geri yükleme hedef klasörünü seçin", ""}));

  FDriver.Expect(Wizard, [&](QWidget& wizard) {
    auto* password = Find<QLineEdit>(wizard, "FPasswordEdit");
    EXPECT_TRUE(password->isVisible());
    EXPECT_EQ(password->text(), QStringLiteral("gizli"));
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    // Browsing starts at the typed folder when it exists.
    Find<QLineEdit>(wizard, "FTargetEdit")->setText(QString::fromStdString(FDir.Path().string()));
    QTest::mouseClick(Find<QPushButton>(wizard, "FBrowseButton"), Qt::LeftButton);
    SaveShot(wizard, "restore-wizard-password");
    ClickButton(wizard, QStringLiteral("İptal"));
  });
  EXPECT_FALSE(TRestoreWizard::Execute(nullptr, FPrompts, FClock, item, options, true, "gizli"));
  EXPECT_TRUE(FDriver.Done());

  // With a chain to rebuild, the wizard offers the state as of the run; it is off until chosen.
  FDriver.Expect(Wizard, [&](QWidget& wizard) {
    auto* asOf = Find<QCheckBox>(wizard, "chkAsOfBackup");
    EXPECT_TRUE(asOf->isVisible());
    EXPECT_FALSE(asOf->isChecked());
    EXPECT_EQ(asOf->text(), QStringLiteral("Kaydın tarihindeki durumu geri yükle (zincirdeki 3 yedekten)"));
    EXPECT_GT(Find<QLineEdit>(wizard, "FPasswordEdit")->y(), asOf->geometry().bottom());
    QTest::mouseClick(asOf, Qt::LeftButton, {}, QPoint(8, 12));
    SaveShot(wizard, "restore-wizard-as-of");
    ClickButton(wizard, QStringLiteral("Başlat"));
  });
  EXPECT_TRUE(TRestoreWizard::Execute(nullptr, FPrompts, FClock, item, options, true, "gizli",
                                      "Kaydın tarihindeki durumu geri yükle (zincirdeki 3 yedekten)"));
  EXPECT_TRUE(FDriver.Done());
  EXPECT_TRUE(options.AsOfBackup);

  EXPECT_EQ(FPrompts.Pickers.back(),
            (std::vector<std::string>{"Geri yükleme hedef klasörünü seçin", FDir.Path().string()}));
}

TEST_F(RestoreWizardFormTest, LargeRestoreRunsBehindTheWaitWindowWhileTheWindowPaints) {
  TFileTree files;
  for (int i = 0; i < 48; ++i) files["parca/dosya" + std::to_string(i) + ".bin"] = Noise(1 << 20, i + 1);
  const TBackupHistoryItem item = Backup("Buyuk", files);
  ASSERT_TRUE(item.Success) << item.Details;
  const fs::path target = FDir / "geri";

  // A blank target is refused by the flow; then the real restore.
  FDriver.Expect(Wizard, [](QWidget& wizard) {
    Find<QLineEdit>(wizard, "FTargetEdit")->setText(QStringLiteral("   "));
    ClickButton(wizard, QStringLiteral("Başlat"));
  });
  FDriver.Expect(Wizard, [&](QWidget& wizard) {
    Find<QLineEdit>(wizard, "FTargetEdit")->setText(QString::fromStdString(target.string()));
    ClickButton(wizard, QStringLiteral("Başlat"));
  });
  FCommands->mnuHistoryRestoreClick(item);
  EXPECT_EQ(FPrompts.Messages.back().first, "Lütfen bir hedef klasör seçin.");
  FPrompts.YesNoAnswers = {true};

  // While the restore runs, a timer on the GUI thread keeps asking the main window to repaint: each tick that
  // runs and each paint that follows shows the GUI thread free.
  TPaintCounter counter;
  FOwner.installEventFilter(&counter);
  bool ownerEnabledMeanwhile = false;
  int ticks = 0;
  int paints = -1;
  QTimer probe;
  probe.setInterval(5);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    TfrmWait* wait = FQtWindows.WaitWindow();
    if (wait == nullptr || wait->windowTitle() != QStringLiteral("Geri Yükleniyor")) return;
    ownerEnabledMeanwhile |= FOwner.isEnabled();
    if (paints < 0) paints = counter.Paints;
    ++ticks;
    FOwner.update();
  });
  probe.start();
  const auto started = std::chrono::steady_clock::now();
  FCommands->mnuHistoryRestoreClick(item);
  Finish();
  probe.stop();
  const auto took = std::chrono::steady_clock::now() - started;
  paints = counter.Paints - std::max(paints, 0);

  EXPECT_TRUE(FDriver.Done());
  EXPECT_EQ(FWindows.Captions, (std::vector<std::string>{"Geri Yükleme Analizi", "Geri Yükleniyor"}));
  EXPECT_FALSE(ownerEnabledMeanwhile);
  EXPECT_TRUE(FOwner.isEnabled());
  EXPECT_EQ(FQtWindows.WaitWindow(), nullptr);
  EXPECT_GE(ticks, 3) << "the GUI thread was blocked during the restore ("
                      << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms)";
  EXPECT_GE(paints, 3) << "the window did not repaint during the restore";
  ASSERT_FALSE(FWindows.Percents.empty());
  EXPECT_EQ(FWindows.Percents.back(), 100);
  EXPECT_TRUE(std::is_sorted(FWindows.Percents.begin(), FWindows.Percents.end()));
  EXPECT_EQ(FPrompts.Messages.back().first, "Geri yükleme tamamlandı.\r\nGeri yüklenen dosya: 48\r\nAtlanan dosya: 0");
  TFileTree expected;
  for (const auto& [name, data] : files) expected["Buyuk/" + name] = data;
  EXPECT_EQ(test::ReadTree(target), expected);
}

TEST(WaitFormTest, ShowsTheTextThenTheProgress) {
  QWidget owner;
  owner.resize(900, 600);
  TfrmWait wait(&owner, RestoreRunningWait);
  wait.show();
  EXPECT_EQ(wait.size(), QSize(420, 140));
  EXPECT_FALSE(Find<QProgressBar>(wait, "pbWait")->isVisible());
  SaveShot(wait, "wait-window");
  wait.ShowProgress(42,
                    "Arşiv açılıyor: Belgeler/2026/çok uzun bir klasör adı/ve içinde daha da uzun bir dosya adı.xlsx");
  EXPECT_EQ(Find<QProgressBar>(wait, "pbWait")->value(), 42);
  EXPECT_TRUE(Find<QLabel>(wait, "lblProgress")->text().contains(QStringLiteral("…")));
  SaveShot(wait, "restore-wait-window");
  wait.ShowProgress(-1, "Şifreli yedek çözülüyor...");
  EXPECT_EQ(Find<QProgressBar>(wait, "pbWait")->maximum(), 0);
}

TEST_F(RestoreWizardFormTest, PdfExportWritesAFileThatQpdfAccepts) {
  TBackupHistoryItem item = Backup("Belgeler", {{"a.txt", "alfa"}, {"b.txt", "beta"}});
  const fs::path pdf = FDir / "rapor.pdf";
  FPrompts.Picks = {pdf.string()};
  FCommands->mnuHistoryExportPdfClick(item);
  Finish();
  std::string output;
  EXPECT_EQ(test::RunCommand("qpdf --check " + test::ShellQuote(pdf.string()), &output), 0) << output;
  EXPECT_TRUE(FView.Logged("Seçili history kaydı PDF olarak kaydedildi: " + pdf.string()));
}

}  // namespace
}  // namespace velkor
