// The history list's rows and its two commands over a real history.json.
#include <gtest/gtest.h>

#include "AppCoreHarness.h"
#include "app/HistoryList.h"

namespace velkor {
namespace {

TBackupHistoryItem Entry(const std::string& task, bool success, const std::string& details) {
  TBackupHistoryItem item;
  item.BackupTime = EncodeDateTime(2025, 3, 3, 14, 5, 9);
  item.Success = success;
  item.TaskName = task;
  item.Details = details;
  item.StorageModeText = "Lokal Disk";
  item.SourceCount = 2;
  return item;
}

TEST(HistoryListRows, StatusTextColourAndPicture) {
  const TRgbColor green{0, 0x80, 0}, blue{0, 0x6B, 0xA8}, orange{0xFF, 0x80, 0}, red{0xFF, 0, 0};
  auto cloud = [](TBackupHistoryItem item, TStorageMode mode, std::string status) {
    item.StorageMode = mode;
    item.CloudStatus = std::move(status);
    return item;
  };
  const TBackupHistoryItem failed = Entry("Görev", false, "Yedekleme hatası");
  const struct {
    TBackupHistoryItem Item;
    int FailedFiles;
    const char* Status;
    TRgbColor Color;
    THistoryPicture Picture;
  } cases[] = {
      {Entry("Görev", true, "Yedekleme tamamlandı"), 0, "Başarılı", green, hpSuccess},
      {Entry("Görev", true, "Yedekleme: Değişiklik Bulunamadı."), 0, "Bilgi", blue, hpSuccess},
      {Entry("Görev", true, "x"), 3, "Başarılı", green, hpSuccess},  // a success stays one, failed files or not
      {cloud(failed, smHybrid, "başarısız"), 0, "Cloud Hatası", orange, hpCloudWarning},
      {cloud(failed, smCloud, "Başarısız"), 0, "Cloud Hatası", orange, hpCloudWarning},
      {cloud(failed, smHybrid, "Başarısız"), 1, "Hatalı", red, hpError},
      {cloud(failed, smLocalDisk, "Başarısız"), 0, "Hatalı", red, hpError},
      {cloud(failed, smHybrid, "Tamamlandı"), 0, "Hatalı", red, hpError},
      {failed, 0, "Hatalı", red, hpError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Item.Details + " / " + c.Item.CloudStatus);
    const std::vector<THistoryRow> rows = HistoryListRows({{c.Item, 0, c.FailedFiles}}, TurkishFormatSettings());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Cells[HistoryStatusColumn], c.Status);
    EXPECT_EQ(rows[0].Color, c.Color);
    EXPECT_EQ(rows[0].Picture, c.Picture);
  }
  // The drawing colour follows the status text with the case of A-Z ignored; anything unknown is an error.
  EXPECT_EQ(HistoryStatusColor("başarılı"), green);
  EXPECT_EQ(HistoryStatusColor("BILGI"), blue);
  EXPECT_EQ(HistoryStatusColor("Bekliyor"), red);
}

TEST(HistoryListRows, CellsInColumnOrder) {
  TBackupHistoryItem big = Entry("", true, "Tamam");
  big.TotalSize = 1610612736;
  TBackupHistoryItem blanks = Entry("   ", false, "Hata oluştu");
  blanks.StorageModeText = "Lokal + Cloud";
  blanks.SourceCount = 0;
  blanks.TotalSize = 5000;
  const std::vector<THistoryRow> rows = HistoryListRows({{big, 12, 0}, {blanks, 1, 2}}, TurkishFormatSettings());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].Cells,
            (std::array<std::string, HistoryColumnCount>{"03.03.2025 14:05:09", "(Bilinmeyen)", "Lokal Disk",
                                                         "2 klasör", "12", "0", "1.536,00 MB", "Başarılı", "Tamam"}));
  EXPECT_EQ(rows[1].Cells,
            (std::array<std::string, HistoryColumnCount>{"03.03.2025 14:05:09", "   ", "Lokal + Cloud", "0 klasör", "1",
                                                         "2", "0,00 MB", "Hatalı", "Hata oluştu"}));
  EXPECT_EQ(rows[0].DataSlot, 1);
  EXPECT_EQ(rows[1].DataSlot, 2);
  EXPECT_EQ(HistoryIndexOfRow(3, 7), 2);
  EXPECT_EQ(HistoryIndexOfRow(0, 7), 7);
}

class HistoryCommands : public test::AppCoreHarness {
protected:
  void SetUp() override {
    StartCore();
    for (const char* name : {"Bir", "İki", "Üç", "Dört"}) FCore->ConfigManager()->AddHistoryItem(Entry(name, true, ""));
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const TBackupHistoryItem& item : History()) names.push_back(item.TaskName);
    return names;
  }
};

TEST_F(HistoryCommands, DeleteAsksAndRemovesExactlyThatEntry) {
  FCore->DeleteHistoryItemClick(std::nullopt);
  EXPECT_EQ(FPrompts.Messages.back().first, "Lütfen silmek istediğiniz log kaydını seçin.");
  FCore->DeleteHistoryItemClick(2);  // "Hayır"
  EXPECT_EQ(Names().size(), 4u);
  const int refreshes = FView.HistoryRefreshes;
  FPrompts.YesNoAnswers = {true};
  FCore->DeleteHistoryItemClick(2);
  RunUntilIdle();  // the change is written on the history writer's thread
  EXPECT_EQ(FPrompts.Questions,
            (std::vector<std::string>{"Seçili log kaydı silinsin mi?", "Seçili log kaydı silinsin mi?"}));
  EXPECT_EQ(Names(), (std::vector<std::string>{"Bir", "İki", "Dört"}));
  EXPECT_EQ(FView.HistoryRefreshes, refreshes + 2) << "at once, and again once written";
  EXPECT_EQ(FView.LogLines.back(), "Seçili history kaydı silindi.");
  EXPECT_EQ(FCore->HistoryItem(2)->TaskName, "Dört");
  EXPECT_FALSE(FCore->HistoryItem(3));
  EXPECT_FALSE(FCore->HistoryItem(-1));
}

TEST_F(HistoryCommands, ClearAsksThenEmptiesTheHistory) {
  FCore->ClearHistoryClick();
  EXPECT_EQ(FPrompts.Questions.back(), "Tüm yedekleme geçmişini temizlemek istediğinizden emin misiniz?");
  EXPECT_EQ(Names().size(), 4u);
  FPrompts.YesNoAnswers = {true};
  FCore->ClearHistoryClick();
  RunUntilIdle();
  EXPECT_TRUE(Names().empty());
  EXPECT_FALSE(std::filesystem::exists(FCore->ConfigManager()->HistoryFile()));
  EXPECT_EQ(FView.LogLines.back(), "Geçmiş temizlendi");
}

}  // namespace
}  // namespace velkor
