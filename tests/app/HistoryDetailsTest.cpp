// The history details view's decisions: status chip, sizes with Turkish separators, summary and file rows, and
// the layout arithmetic of its cards.
#include <gtest/gtest.h>

#include <functional>

#include "app/HistoryDetails.h"
#include "util/DateTime.h"

namespace velkor {
namespace {

TBackupHistoryItem HybridEntry() {
  TBackupHistoryItem item;
  item.BackupTime = EncodeDateTime(2026, 4, 6, 18, 5, 9);
  item.Success = false;
  item.TaskName = "Belgeler";
  item.Details = "Yedekleme tamamlandı. | Cloud upload tamamlanamadı.";
  item.StorageMode = smHybrid;
  item.StorageModeText = "Lokal + Cloud";
  item.CloudProvider = "AWS S3";
  item.CloudStatus = "Başarısız";
  item.OutputPath = "/yedek/Belgeler.zip";
  item.LocalOutputPath = item.OutputPath;
  item.Files = {{"/ev/a.txt", 1536, true}, {"/ev/b.txt", 512, true}};
  return item;
}

TEST(HistoryDetailsTest, StatusChipFollowsTheFirstMatchingCase) {
  struct TCase {
    const char* Name;
    std::function<void(TBackupHistoryItem&)> Change;
    THistoryDetailStatus Expected;
    std::string FallbackChip;
  };
  const THistoryDetailStatus cloud{"CLOUD HATASI", {0xF5, 0x80, 0x00}, "Cloud Hatası"};
  const THistoryDetailStatus failed{"HATALI", {0xCE, 0x4F, 0x59}, "Hatalı"};
  const THistoryDetailStatus success{"BAŞARILI", {0x24, 0x9A, 0x57}, "Başarılı"};
  const THistoryDetailStatus info{"BİLGİ", {0x0E, 0x77, 0xC8}, "Bilgilendirme"};
  const TCase cases[] = {
      {"cloud copy failed, every file copied", [](auto&) {}, cloud, "HATALI"},
      {"status in other ASCII case", [](auto& i) { i.CloudStatus = "BAşarısız"; }, cloud, "HATALI"},
      {"cloud-only task", [](auto& i) { i.StorageMode = smCloud; }, cloud, "HATALI"},
      {"one failed file",
       [](auto& i) {
         i.Files.push_back({"/ev/c.txt (Permission denied)", 0, false});
       },
       failed, "HATALI"},
      {"local task", [](auto& i) { i.StorageMode = smLocalDisk; }, failed, "HATALI"},
      {"cloud copy fine", [](auto& i) { i.CloudStatus = "Tamamlandı"; }, failed, "HATALI"},
      {"success", [](auto& i) { i.Success = true; }, success, "BAŞARILI"},
      {"no changes, lower case",
       [](auto& i) {
         i.Success = true;
         i.Details = "değişiklik bulunamadı.";
       },
       info, "BİLGİ"},
  };
  for (const TCase& c : cases) {
    TBackupHistoryItem item = HybridEntry();
    c.Change(item);
    EXPECT_EQ(HistoryDetailStatus(item), c.Expected) << c.Name;
    EXPECT_EQ(FallbackDetailStatus(item).ChipText, c.FallbackChip) << c.Name;
    EXPECT_EQ(HistoryDetailSummaryRows(item, TurkishFormatSettings()).front().second, c.Expected.RowText) << c.Name;
  }
}

TEST(HistoryDetailsTest, SizesUseTheDecimalSeparatorWithoutGrouping) {
  const std::pair<int64_t, const char*> cases[] = {
      {0, "0 B"},
      {512, "512 B"},
      {1023, "1023 B"},
      {1024, "1,00 KB"},
      {1536, "1,50 KB"},
      {1048576, "1,00 MB"},
      {1073741824, "1,00 GB"},
      {1610612736, "1,50 GB"},
      {-5, "-5 B"},
      {1099511627776, "1024,00 GB"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(FormatDetailSize(bytes, TurkishFormatSettings()), text) << bytes;
  TFormatSettings point;
  point.DecimalSeparator = ".";
  point.ThousandSeparator = ",";
  EXPECT_EQ(FormatDetailSize(1536, point), "1.50 KB");
}

TEST(HistoryDetailsTest, SummaryRowsInOrderWithTheOptionalOnesOnlyWhenSet) {
  TBackupHistoryItem item = HybridEntry();
  item.TaskName = "   ";
  item.SourceCount = 2;
  item.FileCount = 2;
  item.TotalSize = 2048;
  const TInfoRows rows = HistoryDetailSummaryRows(item, TurkishFormatSettings());
  const TInfoRows expected = {{"Durum", "Cloud Hatası"},
                              {"Görev", "(Adsız Görev)"},
                              {"Depolama Modu", "Lokal + Cloud"},
                              {"Cloud Sağlayıcı", "AWS S3"},
                              {"Cloud Durumu", "Başarısız"},
                              {"Tarih", "06.04.2026"},
                              {"Saat", "18:05:09"},
                              {"Açıklama", item.Details},
                              {"Doğrulama", "Doğrulama yok"},
                              {"Kaynak Sayısı", "2 klasör"},
                              {"Toplam Dosya", "2"},
                              {"Toplam Boyut", "2,00 KB"},
                              {"Lokal Çıktı", "/yedek/Belgeler.zip"},
                              {"Hedef Çıktı", "/yedek/Belgeler.zip"}};
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(HistoryDetailSubtitle(item, TurkishFormatSettings()), "06.04.2026 - 18:05:09 - Log Kayıtları Detayı");

  item.Checksum = "ab12";
  item.Verified = true;
  item.TotalSize = 1073741824;
  const TInfoRows fallback = FallbackDetailSummaryRows(item, TurkishFormatSettings());
  ASSERT_EQ(fallback.size(), 11u);
  EXPECT_EQ(fallback[5], (std::pair<std::string, std::string>{"Doğrulama", "SHA-256 doğrulandı"}));
  EXPECT_EQ(fallback[8], (std::pair<std::string, std::string>{"Toplam Boyut", "1,00 GB"}));
  EXPECT_EQ(fallback[9].first, "Hedef Çıktı");
  EXPECT_EQ(fallback[10], (std::pair<std::string, std::string>{"SHA-256", "ab12"}));
}

TEST(HistoryDetailsTest, FileRowsAndTotals) {
  TBackupHistoryItem item = HybridEntry();
  item.Files.push_back({"/ev/c.txt (Permission denied)", 0, false});
  const THistoryDetailFiles files = HistoryDetailFiles(item, FormatDetailSize, TurkishFormatSettings());
  ASSERT_EQ(files.Rows.size(), 3u);
  EXPECT_EQ(files.Rows[0], (THistoryDetailFileRow{"Başarılı", "/ev/a.txt", "1,50 KB", true}));
  EXPECT_EQ(files.Rows[2], (THistoryDetailFileRow{"Hatalı", "/ev/c.txt (Permission denied)", "0 B", false}));
  EXPECT_EQ(files.SuccessCount, 2);
  EXPECT_EQ(files.SuccessBytes, 2048);
  EXPECT_EQ(files.FailedCount, 1);
  EXPECT_EQ(files.FailedBytes, 0);

  item.Files.clear();
  const THistoryDetailFiles none = HistoryDetailFiles(item, FormatDetailSize, TurkishFormatSettings());
  ASSERT_EQ(none.Rows.size(), 1u);
  EXPECT_EQ(none.Rows[0], (THistoryDetailFileRow{"Bilgi", "Dosya detayı kaydedilmemiş.", "-", false}));
  EXPECT_EQ(none.SuccessCount + none.FailedCount, 0);
}

TEST(HistoryDetailsTest, CardsGrowWithTheirRowsWithinLimits) {
  // A 980-pixel window: the scroll box's client is 980 less a 17-pixel bar.
  const int S = 963, V = 17;
  const THistoryDetailsLayout three = LayoutHistoryDetails(S, V, 14, 3, 2);
  EXPECT_EQ(three.Files.Height, 6 * 22 + 96);
  EXPECT_EQ(three.FileList, (TRect{24, 72, S - V - 24 - 48, 228 - 96}));
  EXPECT_EQ(three.Summary.Height, 14 * 22 + 96);
  EXPECT_EQ(three.Content, (TRect{8, 4, S - V - 24, three.Files.Bottom() + 12}));
  EXPECT_EQ(three.Stats.Top, three.Summary.Bottom() + 12);
  EXPECT_EQ(three.Files.Top, three.Stats.Bottom() + 12);
  EXPECT_EQ(three.Success.Width, (S - V - 24) / 2 - 8);
  EXPECT_EQ(three.Fail.Left, three.Success.Width + 16);
  EXPECT_EQ(three.Fail.Left + three.Fail.Width, S - V - 24);
  EXPECT_EQ(three.ScrollRange, 4 + three.Content.Height + 12);
  EXPECT_EQ(three.FileNameColumn, (S - V - 24 - 48 - 2) - 220 - V - 16);
  EXPECT_EQ(three.SummaryValueColumn, (S - V - 24 - 48 - 2) - 180 - V - 16);

  EXPECT_EQ(LayoutHistoryDetails(S, V, 14, 100, 2).Files.Height, 20 * 22 + 96);
  EXPECT_EQ(LayoutHistoryDetails(S, V, 3, 1, 2).Summary.Height, 250);
  EXPECT_EQ(LayoutHistoryDetails(S, V, 3, 1, 2).Files.Height, 228);

  // Narrower than the bar plus 344: the cards take the whole client width, the columns their least.
  const THistoryDetailsLayout narrow = LayoutHistoryDetails(V + 343, V, 9, 3, 2);
  EXPECT_EQ(narrow.Content.Width, V + 343);
  EXPECT_EQ(narrow.FileNameColumn, 180);
  EXPECT_EQ(narrow.SummaryValueColumn, 180);
  EXPECT_EQ(LayoutHistoryDetails(V + 344, V, 9, 3, 2).Content.Width, 320);
}

TEST(HistoryDetailsTest, WheelMovesByStepsOf24WithinTheRange) {
  EXPECT_EQ(WheelScrollPosition(100, -120, 1000, 600), 124);
  EXPECT_EQ(WheelScrollPosition(100, -360, 1000, 600), 172);
  EXPECT_EQ(WheelScrollPosition(100, 240, 1000, 600), 52);
  EXPECT_EQ(WheelScrollPosition(100, -119, 1000, 600), 100);  // less than a notch: truncated to nothing
  EXPECT_EQ(WheelScrollPosition(10, 240, 1000, 600), 0);
  EXPECT_EQ(WheelScrollPosition(390, -120, 1000, 600), 400);
  EXPECT_EQ(WheelScrollPosition(0, -120, 500, 600), 0);  // everything visible
  EXPECT_EQ(FallbackFileCardHeight(0), 280);
  EXPECT_EQ(FallbackFileCardHeight(10), 312);
  EXPECT_EQ(FallbackFileCardHeight(100), 520);
}

}  // namespace
}  // namespace velkor
