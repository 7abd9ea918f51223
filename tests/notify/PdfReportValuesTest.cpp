// What the PDF report shows of a history entry, before any drawing.
#include <gtest/gtest.h>

#include <limits>

#include "notify/PdfReportValues.h"
#include "util/DateTime.h"

namespace velkor {
namespace {

TFormatSettings PointDecimals() {
  TFormatSettings fs;
  fs.DecimalSeparator = ".";
  fs.ThousandSeparator = ",";
  return fs;
}

TEST(PdfReportValuesTest, FormatPdfSize) {
  const struct {
    int64_t Bytes;
    const char* Turkish;
    const char* Point;
  } cases[] = {
      {0, "0 bytes", "0 bytes"},
      {1023, "1.023 bytes", "1,023 bytes"},
      {1024, "1,00 KB", "1.00 KB"},
      {1536, "1,50 KB", "1.50 KB"},
      {1048575, "1.024,00 KB", "1,024.00 KB"},
      {1048576, "1,00 MB", "1.00 MB"},
      {1610612736, "1,50 GB", "1.50 GB"},
      {1099511627776, "1.024,00 GB", "1,024.00 GB"},
      {-5, "-5 bytes", "-5 bytes"},
      {-2048, "-2.048 bytes", "-2,048 bytes"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatPdfSize(c.Bytes, TurkishFormatSettings()), c.Turkish) << c.Bytes;
    EXPECT_EQ(FormatPdfSize(c.Bytes, PointDecimals()), c.Point) << c.Bytes;
  }
}

TEST(PdfReportValuesTest, StatusFollowsSuccessAndTheExactNoChangeWords) {
  const struct {
    bool Success;
    const char* Details;
    const char* Status;
    const char* Chip;
    uint32_t Colour;
  } cases[] = {
      {true, "Değişiklik bulunamadı, yedek alınmadı.", "Bilgilendirme", "BİLGİ", 0x0E77C8},
      {true, "değişiklik bulunamadı", "Başarılı", "BAŞARILI", 0x249A57},  // letter case counts here
      {true, "Yedekleme tamamlandı", "Başarılı", "BAŞARILI", 0x249A57},
      {false, "Değişiklik bulunamadı", "Hatalı", "HATALI", 0xCE4F59},
      {false, "Cloud upload: s3://b/x.zip | Başarısız", "Hatalı", "HATALI", 0xCE4F59},
  };
  for (const auto& c : cases) {
    TBackupHistoryItem item;
    item.Success = c.Success;
    item.Details = c.Details;
    const TPdfReportValues values = DerivePdfReportValues(item);
    EXPECT_EQ(values.StatusText, c.Status) << c.Details;
    EXPECT_EQ(values.ChipText, c.Chip) << c.Details;
    EXPECT_EQ(values.StatusColor, c.Colour) << c.Details;
  }
}

TEST(PdfReportValuesTest, TaskNameVerificationAndCounts) {
  const std::pair<const char*, const char*> names[] = {
      {"", "(Adsız Görev)"}, {" \t ", "(Adsız Görev)"}, {" Belgeler ", " Belgeler "}};
  for (const auto& [name, shown] : names) {
    TBackupHistoryItem item;
    item.TaskName = name;
    EXPECT_EQ(DerivePdfReportValues(item).TaskName, shown);
  }

  TBackupHistoryItem item;
  item.Verified = true;
  item.Files = {{"/a", 100, true}, {"/b (Permission denied)", 0, false}, {"/c", 23, true}, {"/d (x)", 7, false}};
  TPdfReportValues values = DerivePdfReportValues(item);
  EXPECT_EQ(values.VerificationText, "SHA-256 doğrulandı");
  EXPECT_EQ(values.SuccessCount, 2);
  EXPECT_EQ(values.SuccessBytes, 123);
  EXPECT_EQ(values.FailedCount, 2);
  EXPECT_EQ(values.FailedBytes, 7);

  // Sizes read from a damaged store may be anything; the sums stop at the limits instead of overflowing.
  item.Verified = false;
  const int64_t max = std::numeric_limits<int64_t>::max();
  const int64_t min = std::numeric_limits<int64_t>::min();
  item.Files = {{"/a", max, true}, {"/b", max, true}, {"/c", min, false}, {"/d", -1, false}};
  values = DerivePdfReportValues(item);
  EXPECT_EQ(values.VerificationText, "Doğrulama yok");
  EXPECT_EQ(values.SuccessBytes, max);
  EXPECT_EQ(values.FailedBytes, min);
}

std::vector<std::string> Labels(const std::vector<std::pair<std::string, std::string>>& rows) {
  std::vector<std::string> labels;
  for (const auto& row : rows) labels.push_back(row.first);
  return labels;
}

TEST(PdfReportValuesTest, InfoRowsLeaveOutEmptyOptionalValues) {
  TBackupHistoryItem item;
  item.BackupTime = EncodeDateTime(2026, 4, 6, 18, 5, 9);
  item.Success = true;
  item.TaskName = "Belgeler";
  item.Details = "";
  item.SourceCount = 2;
  item.FileCount = 31;
  item.TotalSize = 1536;
  const auto bare = PdfInfoRows(item, DerivePdfReportValues(item), TurkishFormatSettings());
  EXPECT_EQ(Labels(bare), (std::vector<std::string>{"Durum", "Görev", "Tarih", "Saat", "Açıklama", "Doğrulama",
                                                    "Kaynak Sayısı", "Toplam Dosya", "Toplam Boyut"}));
  const std::vector<std::pair<std::string, std::string>> expectedValues = {
      {"Durum", "Başarılı"},         {"Görev", "Belgeler"},  {"Tarih", "06.04.2026"},
      {"Saat", "18:05:09"},          {"Açıklama", ""},       {"Doğrulama", "Doğrulama yok"},
      {"Kaynak Sayısı", "2 klasör"}, {"Toplam Dosya", "31"}, {"Toplam Boyut", "1,50 KB"}};
  EXPECT_EQ(bare, expectedValues);

  item.StorageModeText = "Lokal + Cloud";
  item.CloudProvider = "AWS S3";
  item.CloudStatus = "Tamamlandı";
  item.LocalOutputPath = "/b/x.zip";
  item.CloudOutputPath = "s3://b/x.zip";
  item.OutputPath = "/b/x.zip";
  item.Checksum = std::string(64, 'a');
  const auto full = PdfInfoRows(item, DerivePdfReportValues(item), TurkishFormatSettings());
  EXPECT_EQ(Labels(full),
            (std::vector<std::string>{"Durum", "Görev", "Depolama Modu", "Cloud Sağlayıcı", "Cloud Durumu", "Tarih",
                                      "Saat", "Açıklama", "Doğrulama", "Kaynak Sayısı", "Toplam Dosya", "Toplam Boyut",
                                      "Lokal Çıktı", "Cloud Çıktı", "Hedef Çıktı", "SHA-256"}));
}

TEST(PdfReportValuesTest, ProposedFileName) {
  EXPECT_EQ(ProposedPdfFileName(EncodeDateTime(2026, 4, 6, 18, 0, 0)), "BackupLog_20260406_180000.pdf");
  EXPECT_EQ(ProposedPdfFileName(EncodeDateTime(2025, 12, 31, 7, 8, 9)), "BackupLog_20251231_070809.pdf");
}

}  // namespace
}  // namespace velkor
