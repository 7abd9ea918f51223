#pragma once
// The PDF report of one history entry: each A4 page is drawn with QPainter into a 1240 x 1754 RGB picture and
// handed on as soon as it is finished, so only one page picture exists at a time.
//
// Needs a QGuiApplication (fonts); see HeadlessGui.h for programs without a window. Draws into images only, so it
// may run on a worker thread, one export per renderer.
#include <QFont>
#include <QImage>
#include <QString>
#include <memory>

#include "config/HistoryItem.h"
#include "notify/PdfReportValues.h"
#include "ui/HistoryPdfExport.h"
#include "util/FormatSettings.h"

class QPainter;

namespace velkor {

// Receives each finished page, in order; the picture is released after the call.
class IReportPageSink {
public:
  virtual ~IReportPageSink() = default;
  virtual void AddPage(const QImage& page) = 0;
};

inline constexpr int ReportPageWidth = 1240;
inline constexpr int ReportPageHeight = 1754;

// The report's font at `points` (pixels at 96 dots per inch): "Segoe UI", else Cantarell, the sans-serif that
// fontconfig offers in its place (scripts/install-deps installs it, so pages look the same everywhere).
QFont ReportFont(int points, bool bold);

class THistoryPdfRenderer {
public:
  THistoryPdfRenderer(const TBackupHistoryItem& item, IReportPageSink& sink,
                      const TFormatSettings& fs = UserFormatSettings());
  ~THistoryPdfRenderer();
  THistoryPdfRenderer(const THistoryPdfRenderer&) = delete;
  THistoryPdfRenderer& operator=(const THistoryPdfRenderer&) = delete;

  // Every page of the report, each handed to the sink as it is finished.
  void Render();
  int PageCount() const { return FPageCounter; }

private:
  void StartPage(bool continued);
  void DrawGeneralInfo();
  void DrawInfoRow(const QString& label, const QString& value, int& r);
  void DrawFileListHeader(bool continued);
  void EnsureSpace(int needed);
  void DrawFileRow(const TBackupFileDetail& entry);
  void DrawNoFilesRow();
  void FinishPage();

  const TBackupHistoryItem& FItem;
  IReportPageSink& FSink;
  const TFormatSettings FFormat;
  const TPdfReportValues FValues;
  QImage FPage;
  std::unique_ptr<QPainter> FPainter;
  int FPageCounter = 0;
  int FY = 0;
};

}  // namespace velkor
