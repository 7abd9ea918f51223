#include "app/HistoryDetails.h"

#include <algorithm>
#include <cstdio>

#include "util/DateTime.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

const THistoryDetailStatus InformationStatus{"BİLGİ", {0x0E, 0x77, 0xC8}, "Bilgilendirme"};
const THistoryDetailStatus SuccessStatus{"BAŞARILI", {0x24, 0x9A, 0x57}, "Başarılı"};
const THistoryDetailStatus CloudFailureStatus{"CLOUD HATASI", {0xF5, 0x80, 0x00}, "Cloud Hatası"};
const THistoryDetailStatus FailureStatus{"HATALI", {0xCE, 0x4F, 0x59}, "Hatalı"};

bool IsInformation(const TBackupHistoryItem& item) {
  return item.Success && PosText("Değişiklik bulunamadı", item.Details) != std::string::npos;
}

bool IsCloudFailure(const TBackupHistoryItem& item) {
  if (item.Success || !SameText(item.CloudStatus, "Başarısız")) return false;
  if (item.StorageMode != smCloud && item.StorageMode != smHybrid) return false;
  return std::none_of(item.Files.begin(), item.Files.end(), [](const TBackupFileDetail& f) { return !f.Success; });
}

std::string VerificationText(const TBackupHistoryItem& item) {
  return item.Verified ? "SHA-256 doğrulandı" : "Doğrulama yok";
}

std::string ShownTaskName(const TBackupHistoryItem& item) {
  return Trim(item.TaskName).empty() ? "(Adsız Görev)" : item.TaskName;
}

std::string FormatFixed2(double value, const TFormatSettings& fs) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  return ReplaceAll(text, ".", fs.DecimalSeparator);
}

}  // namespace

THistoryDetailStatus HistoryDetailStatus(const TBackupHistoryItem& item) {
  if (IsInformation(item)) return InformationStatus;
  if (item.Success) return SuccessStatus;
  if (IsCloudFailure(item)) return CloudFailureStatus;
  return FailureStatus;
}

THistoryDetailStatus FallbackDetailStatus(const TBackupHistoryItem& item) {
  if (IsInformation(item)) return InformationStatus;
  return item.Success ? SuccessStatus : FailureStatus;
}

std::string FormatDetailSize(int64_t bytes, const TFormatSettings& fs) {
  constexpr int64_t KiB = 1024, MiB = 1048576, GiB = 1073741824;
  const auto value = static_cast<double>(bytes);
  if (bytes >= GiB) return FormatFixed2(value / GiB, fs) + " GB";
  if (bytes >= MiB) return FormatFixed2(value / MiB, fs) + " MB";
  if (bytes < KiB) return std::to_string(bytes) + " B";
  return FormatFixed2(value / KiB, fs) + " KB";
}

std::string HistoryDetailSubtitle(const TBackupHistoryItem& item, const TFormatSettings& fs) {
  return FormatDateTime("dd.mm.yyyy - hh:nn:ss", item.BackupTime, fs) + " - Log Kayıtları Detayı";
}

TInfoRows HistoryDetailSummaryRows(const TBackupHistoryItem& item, const TFormatSettings& fs) {
  return HistoryInfoRows(item, HistoryDetailStatus(item).RowText, ShownTaskName(item), VerificationText(item),
                         FormatDetailSize(item.TotalSize, fs), fs);
}

TInfoRows FallbackDetailSummaryRows(const TBackupHistoryItem& item, const TFormatSettings& fs) {
  TInfoRows rows{
      {"Durum", FallbackDetailStatus(item).RowText},
      {"Görev", ShownTaskName(item)},
      {"Tarih", FormatDateTime("dd.mm.yyyy", item.BackupTime, fs)},
      {"Saat", FormatDateTime("hh:nn:ss", item.BackupTime, fs)},
      {"Açıklama", item.Details},
      {"Doğrulama", VerificationText(item)},
      {"Kaynak Sayısı", std::to_string(item.SourceCount) + " klasör"},
      {"Toplam Dosya", std::to_string(item.FileCount)},
      {"Toplam Boyut", FormatByteSize(item.TotalSize, fs)},
  };
  if (!item.OutputPath.empty()) rows.emplace_back("Hedef Çıktı", item.OutputPath);
  if (!item.Checksum.empty()) rows.emplace_back("SHA-256", item.Checksum);
  return rows;
}

THistoryDetailFiles HistoryDetailFiles(const TBackupHistoryItem& item, const TSizeFormat& formatSize,
                                       const TFormatSettings& fs) {
  THistoryDetailFiles files;
  files.Rows.reserve(std::max<size_t>(item.Files.size(), 1));
  for (const TBackupFileDetail& file : item.Files)
    files.Rows.push_back(
        {file.Success ? "Başarılı" : "Hatalı", file.FileName, formatSize(file.FileSize, fs), file.Success});
  // The report counts the same files.
  const TPdfReportValues counts = DerivePdfReportValues(item);
  files.SuccessCount = counts.SuccessCount;
  files.SuccessBytes = counts.SuccessBytes;
  files.FailedCount = counts.FailedCount;
  files.FailedBytes = counts.FailedBytes;
  if (files.Rows.empty()) files.Rows.push_back({"Bilgi", "Dosya detayı kaydedilmemiş.", "-", false});
  return files;
}

THistoryDetailsLayout LayoutHistoryDetails(int scrollClientWidth, int scrollBarWidth, int summaryRows, int fileRows,
                                           int listFrame) {
  const int S = scrollClientWidth, V = scrollBarWidth;
  THistoryDetailsLayout l;
  int W = S - V - 24;
  if (W < 320) W = S;
  const int summaryHeight = std::max(250, summaryRows * 22 + 96);
  const int filesHeight = std::max(220, std::min(std::max(fileRows, 6), 20) * 22 + 96);

  l.Summary = {0, 0, W, summaryHeight};
  l.SummaryList = {24, 74, W - 48, summaryHeight - 96};
  const int summaryClient = l.SummaryList.Width - listFrame;
  l.SummaryValueColumn = std::max(180, summaryClient - 180 - V - 16);

  l.Stats = {0, l.Summary.Bottom() + 12, W, 120};
  l.Success = {0, 0, W / 2 - 8, 120};
  l.Fail = {l.Success.Width + 16, 0, W - (l.Success.Width + 16), 120};

  l.Files = {0, l.Stats.Bottom() + 12, W, filesHeight};
  l.FileList = {24, 72, W - 48, filesHeight - 96};
  const int filesClient = l.FileList.Width - listFrame;
  l.FileNameColumn = std::max(180, filesClient - 220 - V - 16);

  l.Content = {8, 4, W, l.Files.Bottom() + 12};
  l.ScrollRange = l.Content.Top + l.Content.Height + 12;
  return l;
}

int WheelScrollPosition(int position, int wheelDelta, int scrollRange, int visibleHeight) {
  const int target = position - (wheelDelta / 120) * 24;
  return std::clamp(target, 0, std::max(0, scrollRange - visibleHeight));
}

int FallbackFileCardHeight(size_t fileCount) {
  const auto rows = static_cast<int64_t>(std::min<size_t>(fileCount, 1000));
  return static_cast<int>(std::clamp<int64_t>(rows * 22 + 92, 280, 520));
}

}  // namespace velkor
