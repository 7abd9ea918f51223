#include "notify/PdfReportValues.h"

#include <limits>

#include "util/DateTime.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

// Sizes come from a stored file and may be anything: a sum that would overflow stops at the limit.
int64_t SaturatingAdd(int64_t a, int64_t b) {
  int64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum))
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  return sum;
}

}  // namespace

TPdfReportValues DerivePdfReportValues(const TBackupHistoryItem& item) {
  TPdfReportValues values;
  values.TaskName = Trim(item.TaskName).empty() ? "(Adsız Görev)" : item.TaskName;
  if (item.Success && item.Details.find("Değişiklik bulunamadı") != std::string::npos) {
    values.StatusText = "Bilgilendirme", values.ChipText = "BİLGİ", values.StatusColor = 0x0E77C8;
  } else if (item.Success) {
    values.StatusText = "Başarılı", values.ChipText = "BAŞARILI", values.StatusColor = 0x249A57;
  } else {
    values.StatusText = "Hatalı", values.ChipText = "HATALI", values.StatusColor = 0xCE4F59;
  }
  values.VerificationText = item.Verified ? "SHA-256 doğrulandı" : "Doğrulama yok";
  for (const TBackupFileDetail& file : item.Files) {
    if (file.Success) {
      ++values.SuccessCount;
      values.SuccessBytes = SaturatingAdd(values.SuccessBytes, file.FileSize);
    } else {
      ++values.FailedCount;
      values.FailedBytes = SaturatingAdd(values.FailedBytes, file.FileSize);
    }
  }
  return values;
}

std::string FormatPdfSize(int64_t bytes, const TFormatSettings& fs) {
  constexpr int64_t KiB = 1024, MiB = 1048576, GiB = 1073741824;
  const auto value = static_cast<double>(bytes);
  if (bytes >= GiB) return FormatNumber(value / GiB, 2, fs) + " GB";
  if (bytes >= MiB) return FormatNumber(value / MiB, 2, fs) + " MB";
  if (bytes < KiB) return FormatNumber(value, 0, fs) + " bytes";
  return FormatNumber(value / KiB, 2, fs) + " KB";
}

TInfoRows HistoryInfoRows(const TBackupHistoryItem& item, const std::string& statusText, const std::string& taskName,
                          const std::string& verificationText, const std::string& totalSizeText,
                          const TFormatSettings& fs) {
  TInfoRows rows;
  const auto optional = [&rows](const char* label, const std::string& value) {
    if (!value.empty()) rows.emplace_back(label, value);
  };
  rows.emplace_back("Durum", statusText);
  rows.emplace_back("Görev", taskName);
  optional("Depolama Modu", item.StorageModeText);
  optional("Cloud Sağlayıcı", item.CloudProvider);
  optional("Cloud Durumu", item.CloudStatus);
  rows.emplace_back("Tarih", FormatDateTime("dd.mm.yyyy", item.BackupTime, fs));
  rows.emplace_back("Saat", FormatDateTime("hh:nn:ss", item.BackupTime, fs));
  rows.emplace_back("Açıklama", item.Details);
  rows.emplace_back("Doğrulama", verificationText);
  rows.emplace_back("Kaynak Sayısı", std::to_string(item.SourceCount) + " klasör");
  rows.emplace_back("Toplam Dosya", std::to_string(item.FileCount));
  rows.emplace_back("Toplam Boyut", totalSizeText);
  optional("Lokal Çıktı", item.LocalOutputPath);
  optional("Cloud Çıktı", item.CloudOutputPath);
  optional("Hedef Çıktı", item.OutputPath);
  optional("SHA-256", item.Checksum);
  return rows;
}

std::vector<std::pair<std::string, std::string>> PdfInfoRows(const TBackupHistoryItem& item,
                                                             const TPdfReportValues& values,
                                                             const TFormatSettings& fs) {
  return HistoryInfoRows(item, values.StatusText, values.TaskName, values.VerificationText,
                         FormatPdfSize(item.TotalSize, fs), fs);
}

std::string ProposedPdfFileName(TDateTime backupTime) {
  return "BackupLog_" + FormatDateTime("yyyymmdd_hhnnss", backupTime) + ".pdf";
}

}  // namespace velkor
