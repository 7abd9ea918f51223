#include "ui/HistoryPdfRenderer.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRect>
#include <algorithm>

#include "notify/SimplePdf.h"
#include "util/DateTime.h"

namespace velkor {

namespace {

// A new page is begun when the next row would end below this pixel row.
constexpr int PageBottom = 1684;
constexpr int DotsPerInch = 96;

enum TTextLayout {
  tlLine,     // one line from the top left, not clipped
  tlWrapped,  // broken at word boundaries inside the rectangle
  tlRight,    // one line, right-aligned
  tlCentred,  // one line, centred both ways
};

QColor Rgb(uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// (left, top)-(right, bottom), right and bottom outside the rectangle.
QRect Box(int left, int top, int right, int bottom) { return QRect(left, top, right - left, bottom - top); }

int TextFlags(TTextLayout layout) {
  switch (layout) {
    case tlWrapped: return Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
    case tlRight: return Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine;
    case tlCentred: return Qt::AlignCenter | Qt::TextSingleLine;
    case tlLine: break;
  }
  return Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
}

void DrawText(QPainter& painter, const QRect& box, const QString& text, int points, bool bold, uint32_t colour,
              TTextLayout layout) {
  painter.setFont(ReportFont(points, bold));
  painter.setPen(Rgb(colour));
  painter.drawText(box, TextFlags(layout), text);
}

// A filled rectangle with curved corners (the corner ellipse is `corner` wide and high) and a 1-pixel outline
// on its outermost pixels.
void DrawCard(QPainter& painter, const QRect& box, uint32_t fill, uint32_t outline, int corner) {
  painter.setPen(QPen(Rgb(outline), 1));
  painter.setBrush(Rgb(fill));
  painter.drawRoundedRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5), corner / 2.0, corner / 2.0);
}

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

// The height the text takes wrapped into `width` pixels, at least 22.
int MeasureTextHeight(const QImage& page, const QString& text, int points, int width, bool bold) {
  const QFontMetrics metrics(ReportFont(points, bold), &page);
  const QRect bounds = metrics.boundingRect(QRect(0, 0, width, 1 << 20), TextFlags(tlWrapped), text);
  return std::max(bounds.height(), 22);
}

class TPdfFileSink : public IReportPageSink {
public:
  explicit TPdfFileSink(TImagePdfWriter& writer) : FWriter(writer) {}

  void AddPage(const QImage& page) override {
    const QImage rgb = page.format() == QImage::Format_RGB888 ? page : page.convertToFormat(QImage::Format_RGB888);
    const TRgbImageView view{rgb.constBits(), rgb.width(), rgb.height(), static_cast<size_t>(rgb.bytesPerLine())};
    FWriter.AddPage(TPdfImagePage{rgb.width(), rgb.height(), EncodePageJpeg(view)});
  }

private:
  TImagePdfWriter& FWriter;
};

}  // namespace

QFont ReportFont(int points, bool bold) {
  QFont font;
  font.setFamilies({QStringLiteral("Segoe UI"), QStringLiteral("Cantarell")});
  font.setPixelSize((points * DotsPerInch + 36) / 72);
  font.setBold(bold);
  return font;
}

THistoryPdfRenderer::THistoryPdfRenderer(const TBackupHistoryItem& item, IReportPageSink& sink,
                                         const TFormatSettings& fs)
    : FItem(item), FSink(sink), FFormat(fs), FValues(DerivePdfReportValues(item)) {}

THistoryPdfRenderer::~THistoryPdfRenderer() = default;

void THistoryPdfRenderer::Render() {
  FPageCounter = 0;
  StartPage(false);
  DrawGeneralInfo();
  DrawFileListHeader(false);
  if (!FItem.Files.empty()) {
    for (const TBackupFileDetail& entry : FItem.Files) DrawFileRow(entry);
  } else {
    DrawNoFilesRow();
  }
  FinishPage();
}

void THistoryPdfRenderer::StartPage(bool continued) {
  ++FPageCounter;
  FPage = QImage(ReportPageWidth, ReportPageHeight, QImage::Format_RGB888);
  const int dotsPerMeter = qRound(DotsPerInch / 0.0254);
  FPage.setDotsPerMeterX(dotsPerMeter);
  FPage.setDotsPerMeterY(dotsPerMeter);
  FPainter = std::make_unique<QPainter>(&FPage);
  QPainter& p = *FPainter;
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);

  p.fillRect(Box(0, 0, 1240, 1754), Rgb(0xF4F7FB));
  p.fillRect(Box(0, 0, 1240, 230), Rgb(0x274F84));
  p.fillRect(Box(0, 214, 1240, 230), Rgb(0x18345C));
  DrawText(
      p, Box(48, 40, 900, 110),
      continued ? QStringLiteral("Velkor (Yedekleme Detayı) - Devam") : QStringLiteral("Velkor (Yedekleme Detayı)"), 24,
      true, 0xFFFFFF, tlLine);
  DrawText(p, Box(48, 104, 900, 150),
           Text(FormatDateTime("dd.mm.yyyy - hh:nn:ss", FItem.BackupTime, FFormat) + " - Log Kayıtları Detayı"), 11,
           false, 0xDBE7F5, tlLine);
  DrawText(p, Box(1090, 106, 1192, 140), QStringLiteral("Sayfa %1").arg(FPageCounter), 10, false, 0xDBE7F5, tlRight);
  DrawCard(p, Box(1020, 36, 1192, 92), FValues.StatusColor, FValues.StatusColor, 22);
  DrawText(p, Box(1040, 52, 1172, 82), Text(FValues.ChipText), 12, true, 0xFFFFFF, tlCentred);
  FY = 256;
}

void THistoryPdfRenderer::DrawGeneralInfo() {
  QPainter& p = *FPainter;
  const int y0 = FY;
  DrawCard(p, Box(48, y0, 1192, y0 + 720), 0xFAFBFD, 0xE4EAF2, 24);
  DrawText(p, Box(66, y0 + 18, 1172, y0 + 44), QStringLiteral("Genel Bilgiler"), 14, true, 0x24313F, tlWrapped);
  DrawText(p, Box(66, y0 + 44, 1172, y0 + 64), QStringLiteral("Log özeti ve doğrulama ayrıntıları"), 9, false, 0x70808F,
           tlWrapped);

  int r = y0 + 82;
  for (const auto& [label, value] : PdfInfoRows(FItem, FValues, FFormat)) DrawInfoRow(Text(label), Text(value), r);

  const int b = y0 + 720;
  DrawCard(p, Box(48, b + 18, 610, b + 144), 0xF5FBF7, 0xD9EEE2, 22);
  DrawText(p, Box(66, b + 36, 308, b + 58), QStringLiteral("Başarılı Dosyalar"), 11, false, 0x607A68, tlWrapped);
  DrawText(p, Box(66, b + 66, 268, b + 110), QString::number(FValues.SuccessCount), 26, true, 0x1F8F5F, tlLine);
  DrawText(p, Box(66, b + 112, 328, b + 132), Text(FormatPdfSize(FValues.SuccessBytes, FFormat)), 10, false, 0x607A68,
           tlWrapped);

  DrawCard(p, Box(630, b + 18, 1192, b + 144), 0xFFF7F7, 0xF0DCDC, 22);
  DrawText(p, Box(648, b + 36, 1172, b + 58), QStringLiteral("Başarısız Dosyalar"), 11, false, 0x806666, tlWrapped);
  DrawText(p, Box(648, b + 66, 1172, b + 110), QString::number(FValues.FailedCount), 26, true, 0xC44848, tlLine);
  DrawText(p, Box(648, b + 112, 1172, b + 132), Text(FormatPdfSize(FValues.FailedBytes, FFormat)), 10, false, 0x806666,
           tlWrapped);
  FY = b + 164;
}

void THistoryPdfRenderer::DrawInfoRow(const QString& label, const QString& value, int& r) {
  QPainter& p = *FPainter;
  DrawText(p, Box(68, r, 228, r + 24), label, 10, false, 0x6A7885, tlWrapped);
  const int h = MeasureTextHeight(FPage, value, 10, 934, true);
  DrawText(p, Box(228, r, 1174, r + h), value, 10, true, 0x25313D, tlWrapped);
  r += std::max(h + 8, 28);
  p.setPen(QPen(Rgb(0xEAEFF5), 1, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(QLineF(66, r - 4 + 0.5, 1174, r - 4 + 0.5));
}

void THistoryPdfRenderer::DrawFileListHeader(bool continued) {
  QPainter& p = *FPainter;
  DrawCard(p, Box(48, FY, 1192, FY + 72), 0xFAFBFD, 0xE4EAF2, 22);
  DrawText(p, Box(66, FY + 18, 448, FY + 40),
           continued ? QStringLiteral("Dosya Listesi (Devam)") : QStringLiteral("Dosya Listesi"), 13, true, 0x24313F,
           tlWrapped);
  DrawText(p, Box(66, FY + 40, 568, FY + 58), QStringLiteral("Yedekleme kapsamında işlenen dosyalar"), 9, false,
           0x70808F, tlWrapped);
  FY += 84;
  p.fillRect(Box(48, FY, 1192, FY + 34), Rgb(0xF8FAFC));
  p.setPen(QPen(Rgb(0xE4EAF2), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(Box(48, FY, 1192, FY + 34)).adjusted(0.5, 0.5, -0.5, -0.5));
  DrawText(p, Box(64, FY + 10, 168, FY + 26), QStringLiteral("Durum"), 9, true, 0x70808F, tlWrapped);
  DrawText(p, Box(160, FY + 10, 1032, FY + 26), QStringLiteral("Dosya"), 9, true, 0x70808F, tlWrapped);
  DrawText(p, Box(1072, FY + 10, 1174, FY + 26), QStringLiteral("Boyut"), 9, true, 0x70808F, tlWrapped);
  FY += 44;
}

// Only file rows and the no-files row ask: the first page's header, card and summary boxes are never split.
void THistoryPdfRenderer::EnsureSpace(int needed) {
  if (FY + needed <= PageBottom) return;
  FinishPage();
  StartPage(true);
  DrawFileListHeader(true);
}

void THistoryPdfRenderer::DrawFileRow(const TBackupFileDetail& entry) {
  const QString name = Text(entry.FileName);
  const int h = std::max(MeasureTextHeight(FPage, name, 9, 894, false) + 16, 40);
  EnsureSpace(h);
  QPainter& p = *FPainter;
  DrawCard(p, Box(48, FY, 1192, FY + h), 0xFFFFFF, 0xEEF2F6, 16);
  const uint32_t chip = entry.Success ? 0xECF7F1 : 0xFFEFEF;
  DrawCard(p, Box(64, FY + 10, 142, FY + 32), chip, chip, 12);
  DrawText(p, Box(64, FY + 10, 142, FY + 32), entry.Success ? QStringLiteral("Başarılı") : QStringLiteral("Hatalı"), 8,
           true, entry.Success ? 0x1F8F5F : 0xC44848, tlCentred);
  DrawText(p, Box(160, FY + 10, 1056, FY + h - 8), name, 9, false, 0x25313D, tlWrapped);
  DrawText(p, Box(1076, FY + 10, 1174, FY + 28), Text(FormatPdfSize(entry.FileSize, FFormat)), 9, false, 0x5C6B78,
           tlRight);
  FY += h + 10;
}

void THistoryPdfRenderer::DrawNoFilesRow() {
  EnsureSpace(42);
  QPainter& p = *FPainter;
  DrawCard(p, Box(48, FY, 1192, FY + 42), 0xFFFFFF, 0xEEF2F6, 16);
  DrawText(p, Box(66, FY + 12, 138, FY + 28), QStringLiteral("Bilgi"), 9, true, 0x0E77C8, tlLine);
  DrawText(p, Box(160, FY + 12, 1172, FY + 28), QStringLiteral("Dosya detayı kaydedilmemiş."), 9, false, 0x465462,
           tlWrapped);
  FY += 52;
}

void THistoryPdfRenderer::FinishPage() {
  FPainter.reset();
  FSink.AddPage(FPage);
  FPage = QImage();
}

void ExportHistoryItemToPdf(const std::filesystem::path& fileName, const TBackupHistoryItem& item,
                            const TFormatSettings& fs) {
  TImagePdfWriter writer(fileName);
  TPdfFileSink sink(writer);
  THistoryPdfRenderer(item, sink, fs).Render();
  writer.Finish(PdfReportTitle);
}

}  // namespace velkor
