#pragma once
// The history list as text: its columns, and for each entry the row the window draws (cells, status text, text
// colour, status picture, the entry's index). velkor-cli shows the same status texts. Pure functions.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "app/IAppView.h"
#include "config/ConfigManager.h"
#include "util/FormatSettings.h"

namespace velkor {

struct THistoryColumn {
  const char* Caption;
  int Width;  // pixels
  bool RightAligned;
};

inline constexpr int HistoryColumnCount = 9;
inline constexpr int HistoryStatusColumn = 7;
inline constexpr THistoryColumn HistoryColumns[HistoryColumnCount] = {
    {"Tarih/Saat", 150, false}, {"Yedek Adı", 140, false}, {"Depolama", 110, false},
    {"Kaynak", 100, false},     {"Başarılı", 70, true},    {"Başarısız", 70, true},
    {"Boyut", 100, true},       {"Durum", 90, false},      {"Detaylar", 180, false}};

// The status pictures, as indexes of the window's picture list.
enum THistoryPicture : int { hpSuccess = 0, hpError = 1, hpCloudWarning = 2 };

struct THistoryRow {
  std::array<std::string, HistoryColumnCount> Cells;
  TRgbColor Color;  // the whole row's text
  THistoryPicture Picture = hpSuccess;
  int DataSlot = 0;  // the entry's position in the history from 1: the row stands for history index DataSlot - 1
};

// "Bilgi" (a success without changes), "Başarılı", "Cloud Hatası" (only the cloud copy failed) or "Hatalı".
std::string HistoryStatusText(const TBackupHistoryItem& item, int failedFiles);
// The row colour for a status text, letter case of A-Z ignored; an unknown text is drawn as an error.
TRgbColor HistoryStatusColor(std::string_view statusText);
THistoryPicture HistoryStatusImageIndex(const TBackupHistoryItem& item, int failedFiles);

// One row per entry, in the order of the history file.
std::vector<THistoryRow> HistoryListRows(const std::vector<THistorySummary>& history,
                                         const TFormatSettings& fs = UserFormatSettings());

// The history index a row stands for: its data slot - 1, or its position in the list when the slot is 0.
inline int HistoryIndexOfRow(int dataSlot, int position) { return dataSlot != 0 ? dataSlot - 1 : position; }

inline constexpr char DeleteHistoryNoSelectionMessage[] = "Lütfen silmek istediğiniz log kaydını seçin.";
inline constexpr char DeleteHistoryQuestion[] = "Seçili log kaydı silinsin mi?";
inline constexpr char HistoryItemDeletedLog[] = "Seçili history kaydı silindi.";
inline constexpr char ClearHistoryQuestion[] = "Tüm yedekleme geçmişini temizlemek istediğinizden emin misiniz?";
inline constexpr char HistoryClearedLog[] = "Geçmiş temizlendi";

}  // namespace velkor
