#pragma once
// What the history details view shows of one entry, apart from drawing it: the status chip, the summary rows, the
// file rows with their totals, the view's own size format and the arithmetic of its layout; and the same for the
// simpler dialog built in code when the view cannot be opened. The window draws from these.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/IAppView.h"
#include "config/HistoryItem.h"
#include "notify/PdfReportValues.h"
#include "util/FormatSettings.h"

namespace velkor {

struct THistoryDetailStatus {
  std::string ChipText;  // "BİLGİ", "BAŞARILI", "CLOUD HATASI", "HATALI"
  TRgbColor ChipColor;
  std::string RowText;  // the "Durum" row
  bool operator==(const THistoryDetailStatus&) const = default;
};

// Information (a success without changes, letter case ignored), success, cloud failure (the cloud copy of a cloud
// or hybrid task failed and no file did), otherwise failure.
THistoryDetailStatus HistoryDetailStatus(const TBackupHistoryItem& item);
// The fallback dialog knows no cloud failure.
THistoryDetailStatus FallbackDetailStatus(const TBackupHistoryItem& item);

// "0.00 GB" / "MB" / "KB" from 1024 bytes up, else the whole number with " B"; no thousands separator.
std::string FormatDetailSize(int64_t bytes, const TFormatSettings& fs = UserFormatSettings());

inline constexpr char HistoryDetailTitle[] = "Velkor (Yedekleme Detayı)";
// The activity-log line, followed by the reason, when the view cannot be opened and the simpler dialog stands in.
inline constexpr char HistoryDetailFallbackLogPrefix[] =
    "Geçmiş detay formu açılamadı, yedek detay ekranına geçiliyor: ";
// The backup time as "dd.mm.yyyy - hh:nn:ss" followed by " - Log Kayıtları Detayı".
std::string HistoryDetailSubtitle(const TBackupHistoryItem& item, const TFormatSettings& fs = UserFormatSettings());

TInfoRows HistoryDetailSummaryRows(const TBackupHistoryItem& item, const TFormatSettings& fs = UserFormatSettings());
// The fallback's rows: no cloud rows, the size as FormatByteSize, the output and the checksum when not empty.
TInfoRows FallbackDetailSummaryRows(const TBackupHistoryItem& item, const TFormatSettings& fs = UserFormatSettings());

struct THistoryDetailFileRow {
  std::string Status;  // "Başarılı", "Hatalı", or "Bilgi" for the one row of an entry without file details
  std::string Name;
  std::string Size;
  bool Success = false;
  bool operator==(const THistoryDetailFileRow&) const = default;
};

struct THistoryDetailFiles {
  std::vector<THistoryDetailFileRow> Rows;
  int SuccessCount = 0;
  int64_t SuccessBytes = 0;
  int FailedCount = 0;
  int64_t FailedBytes = 0;
};
using TSizeFormat = std::function<std::string(int64_t bytes, const TFormatSettings& fs)>;
// One row per file in stored order, sizes by `formatSize`; the single "Bilgi" row when there is none.
THistoryDetailFiles HistoryDetailFiles(const TBackupHistoryItem& item, const TSizeFormat& formatSize = FormatDetailSize,
                                       const TFormatSettings& fs = UserFormatSettings());

struct TRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  int Bottom() const { return Top + Height; }
  bool operator==(const TRect&) const = default;
};

// Where LayoutContent puts the cards; positions inside their parents (the lists inside their cards, the two boxes
// inside the stats panel, the cards inside the content panel).
struct THistoryDetailsLayout {
  TRect Content;
  TRect Summary;
  TRect SummaryList;
  int SummaryFieldColumn = 180;
  int SummaryValueColumn = 180;
  TRect Stats;
  TRect Success;
  TRect Fail;
  TRect Files;
  TRect FileList;
  int FileStatusColumn = 110;
  int FileNameColumn = 180;
  int FileSizeColumn = 110;
  int ScrollRange = 0;  // the scroll box's vertical range
};

// `scrollClientWidth`: the scroll box's client width; `scrollBarWidth`: a vertical bar's width; `listFrame`: how
// much narrower a list's client area is than the list.
THistoryDetailsLayout LayoutHistoryDetails(int scrollClientWidth, int scrollBarWidth, int summaryRows, int fileRows,
                                           int listFrame);

// The scroll position after a wheel turn: (delta / 120, truncated) steps of 24 pixels, within 0 and range − visible.
int WheelScrollPosition(int position, int wheelDelta, int scrollRange, int visibleHeight);

// The fallback dialog's file card: 22 pixels a row and 92 more, between 280 and 520.
int FallbackFileCardHeight(size_t fileCount);

}  // namespace velkor
