#pragma once
// Opening the details of a history entry from the history list: the designed view, and should that fail, a simpler
// dialog with the same facts built here in code. GUI thread only.
#include <QDialog>
#include <functional>

#include "app/IPostRunSteps.h"
#include "config/HistoryItem.h"
#include "util/FormatSettings.h"

class QLabel;
class QPushButton;
class QScrollArea;

namespace velkor {

using TShowDetails = std::function<void(QWidget* owner, const TBackupHistoryItem& item)>;

// Shows the entry with `showDetails` (the designed view); when that throws, logs why through `addLog` and shows the
// fallback dialog instead.
void ShowHistoryDetailDialog(QWidget* owner, const TBackupHistoryItem& item, const TAddLog& addLog,
                             const TShowDetails& showDetails = {});

// The fallback: header band with title, date, chip and "Kapat", then the general card, the two count boxes and the
// file list, in a scroll box.
class TfrmHistoryDetailFallback final : public QDialog {
  Q_OBJECT
public:
  TfrmHistoryDetailFallback(QWidget* owner, const TBackupHistoryItem& item,
                            const TFormatSettings& fs = UserFormatSettings());

protected:
  void resizeEvent(QResizeEvent* event) override;

private:
  QWidget* NewCard(const char* name, const QString& title, const QString& subtitle, const QColor& accent);
  void AddCountBox(const char* name, const QString& title, const QColor& fill, const QColor& dot, int count,
                   int64_t bytes);
  void Layout();

  const TFormatSettings FFormat;
  QWidget* FHeader;
  QLabel* FChip;
  QPushButton* FClose;
  QScrollArea* FScroll;
  QWidget* FContent;
  QWidget* FGeneral;
  QWidget* FCounts;
  QWidget* FFiles;
  struct TRow {
    QLabel* Field;
    QLabel* Value;
    QWidget* Line;  // under the row
  };
  std::vector<TRow> FRows;
  int FFileCardHeight = 280;
};

}  // namespace velkor
