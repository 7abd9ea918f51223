// What the task editor shows below its fields and asks in dialogs: the capacity labels for a destination that fits,
// one that is too small (a large sparse file drives the estimate) and one that is missing; the chain card's chip in
// each of its states; "Şifre Ayarla" with the window's own dialogs.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "TaskEditorHarness.h"
#include "crypto/EncryptionCommands.h"
#include "ui/UiStyle.h"
#include "util/FormatSettings.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::ClickButton;
using test::ReadMessageDialog;
using test::SaveShot;
using test::TModalDriver;
using test::TShownMessage;
using test::TypeText;

class TaskEditorDisplays : public test::TaskEditorHarness {
protected:
  QString CapacityInfo() { return Control<QLabel>("lblCapacityInfo")->text(); }
  QString CapacityState() { return Control<QLabel>("lblCapacityState")->text(); }
  QColor CapacityColor() { return Control<QLabel>("lblCapacityState")->palette().color(QPalette::WindowText); }
  QString Chip() { return Control<QLabel>("lblChainChip")->text(); }
  // The chip's colours as its style sheet sets them.
  bool ChipColoured(TRgbColor background, TRgbColor text) {
    const QString style = Control<QLabel>("lblChainChip")->styleSheet();
    return style.contains(QStringLiteral("background: ") + ColorName(background)) &&
           style.contains(QStringLiteral("color: ") + ColorName(text));
  }
};

TEST_F(TaskEditorDisplays, CapacityLabelsTellWhetherTheNextBackupFits) {
  const fs::path huge = FDir / "src" / "Büyük" / "disk.img";
  Start([&](TBackupConfig& config) {
    config.Tasks.push_back(MakeTask("Sığar"));
    config.Tasks.push_back(MakeTask("Büyük"));
    config.Tasks.push_back(MakeTask("Eksik"));
    config.Tasks.back()->DestinationFolder = (FDir / "yok" / "alt" / "klasör").string();
    for (const auto& task : config.Tasks) task->CompressBackup = false;
  });
  EXPECT_EQ(CapacityInfo(), QStringLiteral("Tahmini Boyut: - | Boş Alan: -"));
  EXPECT_EQ(CapacityState(), QStringLiteral("Alan analizi için bir görev seçin."));
  const QColor grey = CapacityColor();

  // A file larger than the free space, which takes no space itself.
  const int64_t available = static_cast<int64_t>(fs::space(FDir.Path()).available);
  const int64_t size = available + (int64_t{1} << 30);
  test::WriteFile(huge, "");
  fs::resize_file(huge, static_cast<uintmax_t>(size));

  const std::string fitsInfo = "Tahmini Boyut: " + FormatByteSize(4) + " | Boş Alan: ";
  const struct {
    int Task;
    std::string InfoStart;
    std::string State;  // the start of it
    QColor Color;
    const char* Shot;
  } cases[] = {
      {0, fitsInfo, "Yedekleme hedefe sığıyor.", QColor(0, 128, 0), "task-editor-capacity-fits"},
      {1, "Tahmini Boyut: " + FormatByteSize(size + 4) + " | Boş Alan: ",
       "Yetersiz alan: Bu yedek mevcut hedefe sigmayacak.", QColor(255, 0, 0), "task-editor-capacity-too-small"},
      // A destination not made yet is measured on the nearest folder that exists.
      {2, fitsInfo, "Yedekleme hedefe sığıyor.", QColor(0, 128, 0), ""},
  };
  for (const auto& c : cases) {
    Open(c.Task);
    WaitForCapacity();
    EXPECT_TRUE(CapacityInfo().startsWith(QString::fromStdString(c.InfoStart))) << CapacityInfo().toStdString();
    EXPECT_TRUE(CapacityState().startsWith(QString::fromStdString(c.State))) << CapacityState().toStdString();
    EXPECT_EQ(CapacityColor(), c.Color) << c.State;
    if (*c.Shot != '\0') SaveShot(*Control<QWidget>("pnlCapacity"), c.Shot);
  }
  EXPECT_FALSE(fs::exists(FDir / "yok")) << "an estimate creates nothing";

  // Back to a neutral text in the system's grey.
  Control<QLineEdit>("edtDestination")->clear();
  TypeText(Control<QLineEdit>("edtDestination"), QStringLiteral(" "));
  WaitForCapacity();
  EXPECT_EQ(CapacityState(), QStringLiteral("Alan analizi için hedef klasör seçin."));
  EXPECT_EQ(CapacityColor(), grey);
}

TEST_F(TaskEditorDisplays, ChainCardChipFollowsTheTaskAndItsChain) {
  Start([&](TBackupConfig& config) {
    config.Tasks.push_back(MakeTask("Yeni"));
    auto chained = MakeTask("Zincirli");
    chained->BackupType = btIncremental;
    auto item = std::make_unique<TBackupChainItem>();
    item->BackupId = item->SetId = item->BaseFullBackupId = "A1B2C3D4-0000-0000-0000-000000000001";
    item->OutputPath = chained->SourceFolders[0];  // exists
    item->BackupTime = EncodeDateTime(2024, 4, 30, 2, 15, 0);
    chained->BackupChain.push_back(std::move(item));
    config.Tasks.push_back(std::move(chained));
  });
  const TRgbColor waitingBack{247, 244, 242}, waitingText{128, 114, 100};
  EXPECT_EQ(Chip(), QStringLiteral("Görev Seçilmedi"));
  EXPECT_TRUE(ChipColoured(waitingBack, waitingText));
  EXPECT_EQ(Control<QLabel>("lblChainEffective")->text(), QStringLiteral("-"));

  Open(0);
  EXPECT_EQ(Chip(), QStringLiteral("Set Bekleniyor"));
  EXPECT_TRUE(ChipColoured(waitingBack, waitingText));
  EXPECT_EQ(Control<QLabel>("lblChainBaseFull")->text(), QStringLiteral("Henüz yok"));

  // Switching the manual type to incremental before any full backup.
  Click("rbBackupType2");
  EXPECT_EQ(Chip(), QStringLiteral("İlk Çalışma Tam"));
  EXPECT_TRUE(ChipColoured({222, 242, 255}, {0, 92, 161}));
  EXPECT_EQ(Control<QLabel>("lblChainEffective")->text(), QStringLiteral("Tam (otomatik ilk taban)"));
  SaveShot(*Control<QWidget>("FRetentionCard"), "task-editor-chain-first-full");

  Open(1);
  EXPECT_EQ(Chip(), QStringLiteral("Zincir Hazır"));
  EXPECT_TRUE(ChipColoured({238, 247, 233}, {67, 122, 31}));
  EXPECT_EQ(Control<QLabel>("lblChainEffective")->text(), QStringLiteral("Artımlı"));
  EXPECT_EQ(Control<QLabel>("lblChainTotalSets")->text(), QStringLiteral("1 set"));
  EXPECT_EQ(Control<QLabel>("lblChainSetId")->text(), QStringLiteral("A1B2C3D4"));
  EXPECT_EQ(Control<QLabel>("lblChainSetContents")->text(), QStringLiteral("1 tam / 0 fark / 0 art."));
  SaveShot(*Control<QWidget>("FRetentionCard"), "task-editor-chain-ready");
}

TEST_F(TaskEditorDisplays, SetEncryptionPasswordWithTheWindowsDialogs) {
  FUseDialogs = true;
  Start([&](TBackupConfig& config) { config.Tasks.push_back(MakeTask("Belgeler")); });
  Open(0);
  auto* encrypt = Control<QCheckBox>("chkEncrypt");
  EXPECT_FALSE(Control<QPushButton>("btnEncryptionSettings")->isEnabled()) << "the editor's button needs the box";
  const QString messageDialog = QStringLiteral("frmAppMessage");
  const std::string before = test::ReadFile(ConfigFile());

  // The box unticked and "Hayır": nothing changes.
  TShownMessage question;
  {
    TModalDriver driver;
    driver.Expect(messageDialog, [&](QWidget& dialog) {
      question = ReadMessageDialog(dialog);
      SaveShot(dialog, "task-editor-encryption-question");
      ClickButton(dialog, QStringLiteral("Hayır"));
    });
    FPanel->EncryptionSettingsClick();  // the settings page's twin of the button
    EXPECT_TRUE(driver.Done()) << (driver.Unexpected().empty() ? "" : driver.Unexpected()[0]);
  }
  EXPECT_NE(question.Text.find("Şifreleme özelliği şu anda kapalı."), std::string::npos) << question.Text;
  EXPECT_EQ(question.Buttons, (std::vector<std::string>{"Evet", "Hayır"}));
  EXPECT_FALSE(encrypt->isChecked());
  EXPECT_EQ(TEncryptionManager(RegistryFile()).LoadPasswordFromRegistry(), "");
  EXPECT_EQ(FCore->EncryptionManager()->GetPassword(), "");
  EXPECT_EQ(test::ReadFile(ConfigFile()), before);

  // "Evet": the box is ticked, the new password typed twice, remembered as the saved setting says.
  TShownMessage done;
  {
    TModalDriver driver;
    driver.Expect(messageDialog, [](QWidget& dialog) { ClickButton(dialog, QStringLiteral("Evet")); });
    driver.Expect(QStringLiteral("frmPasswordPrompt"), [](QWidget& prompt) {
      TypeText(test::Find<QLineEdit>(prompt, "edtPassword"), QStringLiteral("kasa parolası"));
      TypeText(test::Find<QLineEdit>(prompt, "edtConfirm"), QStringLiteral("kasa parolası"));
      QTest::keyClick(test::Find<QLineEdit>(prompt, "edtPassword"), Qt::Key_Return);
    });
    driver.Expect(messageDialog, [&](QWidget& dialog) {
      done = ReadMessageDialog(dialog);
      ClickButton(dialog, QStringLiteral("Tamam"));
    });
    FPanel->EncryptionSettingsClick();
    EXPECT_TRUE(driver.Done()) << (driver.Unexpected().empty() ? "" : driver.Unexpected()[0]);
  }
  EXPECT_EQ(done.Title, "Başarılı");
  EXPECT_TRUE(encrypt->isChecked());
  EXPECT_TRUE(Control<QPushButton>("btnEncryptionSettings")->isEnabled());
  EXPECT_EQ(TEncryptionManager(RegistryFile()).LoadPasswordFromRegistry(), "kasa parolası");
  EXPECT_TRUE(FView.Record.Logged("Şifreleme şifresi güncellendi"));
}

TEST_F(TaskEditorDisplays, ASmallWindowScrollsTheEditor) {
  Start([&](TBackupConfig& config) { config.Tasks.push_back(MakeTask("Belgeler")); }, QSize(640, 480));
  Open(0);
  WaitForCapacity();
  EXPECT_TRUE(Control<QPushButton>("btnSaveTask")->isVisible()) << "the buttons stay in view";
  SaveShot(*FWindow, "task-editor-small");
}

}  // namespace
}  // namespace velkor
