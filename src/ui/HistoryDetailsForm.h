#pragma once
// The history details view: one history entry in full, with a coloured header and its status chip, the
// "Genel Bilgiler" card, the two summary boxes for successful and failed files, and the file list, in a scroll box
// that the mouse wheel moves anywhere over the window. What it shows and where comes from app/HistoryDetails; this
// form only draws it. GUI thread only.
#include <QDialog>

#include "config/HistoryItem.h"
#include "util/FormatSettings.h"

class QLabel;
class QPushButton;
class QScrollArea;
class QTableWidget;

namespace velkor {

class TfrmHistoryDetails final : public QDialog {
  Q_OBJECT
public:
  explicit TfrmHistoryDetails(QWidget* owner = nullptr, const TFormatSettings& fs = UserFormatSettings());

  // Creates the view for `item`, shows it modally and frees it.
  static void ShowDetails(QWidget* owner, const TBackupHistoryItem& item);

  void LoadFromHistoryItem(const TBackupHistoryItem& item);
  void LayoutContent();

protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void FormCreate();
  void PlaceHeaderText();
  QWidget* NewCard(const char* name, QWidget*& border, const char* borderName, QWidget*& accent, const char* accentName,
                   const QColor& accentColor);
  // Scrolls the content for a wheel turn; false when the turn belongs to a list that can still move that way.
  bool ScrollContent(QWidget* over, int delta);

  const TFormatSettings FFormat;
  QString FTitleText;
  QString FSubtitleText;
  QWidget* pnlHeader;
  QLabel* Image1;
  QLabel* lblTitle;
  QLabel* lblSubtitle;
  QLabel* lblStatus;
  QPushButton* btnClose;
  QScrollArea* sbContent;
  QWidget* pnlScroll;  // the scroll box's virtual area: its height is the vertical range
  QWidget* pnlContent;
  QWidget* pnlSummary;
  QWidget* shpSummaryBorder;
  QWidget* pnlSummaryAccent;
  QLabel* lblSummaryTitle;
  QLabel* lblSummarySub;
  QTableWidget* lvSummary;
  QWidget* pnlStats;
  QWidget* pnlSuccess;
  QLabel* lblSuccessTitle;
  QLabel* lblSuccessValue;
  QLabel* lblSuccessSize;
  QWidget* pnlFail;
  QLabel* lblFailTitle;
  QLabel* lblFailValue;
  QLabel* lblFailSize;
  QWidget* pnlFiles;
  QWidget* shpFilesBorder;
  QWidget* pnlFilesAccent;
  QLabel* lblFilesTitle;
  QLabel* lblFilesSub;
  QTableWidget* lvFiles;
};

}  // namespace velkor
