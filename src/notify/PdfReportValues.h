#pragma once
// What the PDF report of a history entry shows, apart from drawing it: the derived status, the counts, the rows of
// the general card and the report's own size format. Plain C++, so the window and velkor-cli agree on it.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "config/HistoryItem.h"
#include "util/FormatSettings.h"

namespace velkor {

struct TPdfReportValues {
  std::string TaskName;  // "(Adsız Görev)" for a name that is blank after trimming
  std::string StatusText;
  std::string ChipText;
  uint32_t StatusColor = 0;  // 0xRRGGBB
  std::string VerificationText;
  int SuccessCount = 0;
  int64_t SuccessBytes = 0;
  int FailedCount = 0;
  int64_t FailedBytes = 0;
};

// The report has no cloud-failure state, and "Değişiklik bulunamadı" counts only as written (letter case kept).
TPdfReportValues DerivePdfReportValues(const TBackupHistoryItem& item);

// "#,##0.00 GB" / "MB" / "KB" from 1024 bytes up, else the whole number with "#,##0 bytes".
std::string FormatPdfSize(int64_t bytes, const TFormatSettings& fs = UserFormatSettings());

using TInfoRows = std::vector<std::pair<std::string, std::string>>;

// The label and value rows that the report and the history details view show of an entry, in order; the
// optional ones only when their value is not empty. The status, name, verification and size texts are the caller's.
TInfoRows HistoryInfoRows(const TBackupHistoryItem& item, const std::string& statusText, const std::string& taskName,
                          const std::string& verificationText, const std::string& totalSizeText,
                          const TFormatSettings& fs = UserFormatSettings());

// The label and value rows of the general card, in order; the optional ones only when their value is not empty.
std::vector<std::pair<std::string, std::string>> PdfInfoRows(const TBackupHistoryItem& item,
                                                             const TPdfReportValues& values,
                                                             const TFormatSettings& fs = UserFormatSettings());

// "BackupLog_yyyymmdd_hhnnss.pdf", the name the save dialog proposes.
std::string ProposedPdfFileName(TDateTime backupTime);

inline constexpr const char* PdfReportTitle = "QeltBackup Yedekleme Detayı";
// The history command's texts: its log line (followed by the chosen path), its message without a selection and
// the save dialog's filter.
inline constexpr const char* PdfExportedLogPrefix = "Seçili history kaydı PDF olarak kaydedildi: ";
inline constexpr const char* PdfNoSelectionMessage = "Lütfen PDF olarak kaydetmek istediğiniz log kaydını seçin.";
inline constexpr const char* PdfSaveDialogFilter = "PDF Dosyası (*.pdf)|*.pdf";

}  // namespace velkor
