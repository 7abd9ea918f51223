#include "app/HistoryList.h"

#include "util/DateTime.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr TRgbColor InfoColor{0x00, 0x6B, 0xA8};
constexpr TRgbColor SuccessColor{0x00, 0x80, 0x00};
constexpr TRgbColor CloudErrorColor{0xFF, 0x80, 0x00};
constexpr TRgbColor ErrorColor{0xFF, 0x00, 0x00};
constexpr double BytesPerMegabyte = 1048576.0;

bool CloudCopyFailed(const TBackupHistoryItem& item) {
  return (item.StorageMode == smCloud || item.StorageMode == smHybrid) && SameText(item.CloudStatus, "Başarısız");
}

}  // namespace

std::string HistoryStatusText(const TBackupHistoryItem& item, int failedFiles) {
  if (item.Success) return PosText("Değişiklik bulunamadı", item.Details) != std::string::npos ? "Bilgi" : "Başarılı";
  if (failedFiles == 0 && CloudCopyFailed(item)) return "Cloud Hatası";
  return "Hatalı";
}

TRgbColor HistoryStatusColor(std::string_view statusText) {
  if (SameText(statusText, "Başarılı")) return SuccessColor;
  if (SameText(statusText, "Bilgi")) return InfoColor;
  if (SameText(statusText, "Cloud Hatası")) return CloudErrorColor;
  return ErrorColor;
}

THistoryPicture HistoryStatusImageIndex(const TBackupHistoryItem& item, int failedFiles) {
  if (item.Success) return hpSuccess;
  if (failedFiles > 0) return hpError;
  return CloudCopyFailed(item) ? hpCloudWarning : hpError;
}

std::vector<THistoryRow> HistoryListRows(const std::vector<THistorySummary>& history, const TFormatSettings& fs) {
  std::vector<THistoryRow> rows;
  rows.reserve(history.size());
  for (size_t i = 0; i < history.size(); ++i) {
    const TBackupHistoryItem& item = history[i].Item;
    THistoryRow row;
    row.DataSlot = static_cast<int>(i) + 1;
    const std::string status = HistoryStatusText(item, history[i].FailedFiles);
    row.Cells = {FormatDateTime("dd.mm.yyyy hh:nn:ss", item.BackupTime, fs),
                 item.TaskName.empty() ? "(Bilinmeyen)" : item.TaskName,
                 item.StorageModeText,
                 std::to_string(item.SourceCount) + " klasör",
                 std::to_string(history[i].SuccessfulFiles),
                 std::to_string(history[i].FailedFiles),
                 FormatNumber(static_cast<double>(item.TotalSize) / BytesPerMegabyte, 2, fs) + " MB",
                 status,
                 item.Details};
    row.Color = HistoryStatusColor(status);
    row.Picture = HistoryStatusImageIndex(item, history[i].FailedFiles);
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace velkor
