// The history page's own commands in the main window: a run made through the real core, then its entry opened in
// the details view by a double click, exported as a PDF report from the menu, verified before and after one byte
// of its output changed, restored through the wizard; and the settings page's e-mail settings button.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <fstream>

#include "MainFormFixture.h"
#include "ui/WindowHistoryCommands.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::Find;

class MainFormHistoryCommands : public test::MainFormFixture {
protected:
  void SetUp() override {
    WriteConfig([this](TBackupConfig& config) {
      auto task = NewTask("Belgeler");
      task->CompressBackup = true;
      config.Tasks.push_back(std::move(task));
    });
    Open();
    ASSERT_TRUE(Form().Core().StartManualBackup(*Form().Core().Config()->Tasks.front()));
    RunUntilIdle();
    Form().ShowPage(1);
    ASSERT_EQ(History()->rowCount(), 1);
    FItem = Form().Core().HistoryItem(0).value();
  }

  QTableWidget* History() { return Find<QTableWidget>(Form(), "lvHistory"); }
  QAction* MenuItem(const char* name) { return Find<QMenu>(Form(), "pmHistory")->findChild<QAction*>(name); }
  // Runs a menu command on the first row and waits until its work has ended.
  void Run(const char* item) {
    History()->selectRow(0);
    MenuItem(item)->trigger();
    EXPECT_TRUE(QTest::qWaitFor([this] { return !Form().HistoryCommands().Commands().Busy(); }, 60000));
  }

  TBackupHistoryItem FItem;
  test::TModalDriver FDriver;
};

TEST_F(MainFormHistoryCommands, DetailsPdfAndVerificationOfARealRun) {
  FDriver.Expect(QStringLiteral("frmHistoryDetails"), [](QWidget& details) {
    EXPECT_EQ(Find<QLabel>(details, "lblStatus")->text(), QStringLiteral("BAŞARILI"));
    EXPECT_EQ(Find<QTableWidget>(details, "lvFiles")->rowCount(), 2);
    test::ClickButton(details, QStringLiteral("Kapat"));
  });
  History()->selectRow(0);
  const QRect cell = History()->visualItemRect(History()->item(0, 1));
  QTest::mouseClick(History()->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseDClick(History()->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_TRUE(FDriver.Done());

  const fs::path pdf = FDir / "rapor.pdf";
  FPrompts.Picks = {pdf.string()};
  Run("mnuHistoryExportPdf");
  ASSERT_FALSE(FPrompts.Pickers.empty());
  EXPECT_TRUE(FPrompts.Pickers.back().back().ends_with("/BackupLog_" +
                                                       FormatDateTime("yyyymmdd_hhnnss", FItem.BackupTime) + ".pdf"));
  std::string output;
  EXPECT_EQ(test::RunCommand("qpdf --check " + test::ShellQuote(pdf.string()), &output), 0) << output;
  EXPECT_TRUE(Logged("Seçili history kaydı PDF olarak kaydedildi: " + pdf.string()));

  Run("mnuHistoryVerify");
  ASSERT_FALSE(FPrompts.Messages.empty());
  EXPECT_EQ(FPrompts.Messages.back().second, amSuccess) << FPrompts.Messages.back().first;
  {
    std::fstream archive(FItem.OutputPath, std::ios::in | std::ios::out | std::ios::binary);
    archive.seekp(12);
    archive.put('\x7f');
  }
  Run("mnuHistoryVerify");
  EXPECT_EQ(FPrompts.Messages.back().second, amError);
  EXPECT_TRUE(FPrompts.Messages.back().first.starts_with("Doğrulama başarısız:"));
  EXPECT_TRUE(Form().isEnabled());
}

TEST_F(MainFormHistoryCommands, RestoreThroughTheWizardAndTheEmailSettingsButton) {
  const fs::path target = FDir / "geri";
  FDriver.Expect(QStringLiteral("frmRestoreWizard"), [&](QWidget& wizard) {
    Find<QLineEdit>(wizard, "FTargetEdit")->setText(QString::fromStdString(target.string()));
    test::ClickButton(wizard, QStringLiteral("Başlat"));
  });
  FPrompts.YesNoAnswers = {true};
  Run("mnuHistoryRestore");
  EXPECT_TRUE(FDriver.Done());
  EXPECT_EQ(test::ReadTree(target), (test::TFileTree{{"Belgeler/a.txt", "alfa"}, {"Belgeler/alt/b.txt", "beta"}}));
  EXPECT_TRUE(Logged("Geri yükleme tamamlandı: 2 dosya geri yüklendi, 0 dosya atlandı."));

  History()->clearSelection();
  History()->setCurrentCell(-1, -1);
  MenuItem("mnuHistoryRestore")->trigger();
  EXPECT_EQ(FPrompts.Messages.back().first, "Lütfen geri yüklemek istediğiniz log kaydını seçin.");

  Form().ShowPage(2);
  FDriver.Expect(QStringLiteral("frmEmailSettings"), [](QWidget& dialog) {
    Find<QLineEdit>(dialog, "edtFromEmail")->setText(QStringLiteral("yedek@ornek.test"));
    test::ClickButton(dialog, QStringLiteral("Tamam"));
  });
  FPrompts.YesNoAnswers = {true};  // an empty recipient list is fine
  QTest::mouseClick(Find<QPushButton>(Form(), "btnEmailSettings"), Qt::LeftButton);
  EXPECT_TRUE(FDriver.Done());
  EXPECT_TRUE(Logged("E-posta ayarları güncellendi."));
  test::SaveShot(Form(), "main-settings-with-email-button");
}

}  // namespace
}  // namespace velkor
