// The PDF report's pages, drawn on Qt's offscreen platform: page breaks and row heights read from the pictures,
// texts compared with the same text drawn in place, and the whole file checked by qpdf, pdfinfo and pdftoppm
// against a stored reference picture of the first page.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QGuiApplication>
#include <QPainter>
#include <cstdlib>
#include <memory>

#include "support/TempDir.h"
#include "ui/HistoryPdfRenderer.h"
#include "util/DateTime.h"
#include "util/Error.h"

namespace velkor {
namespace {

using test::ReadFile;
using test::RunCommand;
using test::ShellQuote;
using test::TTempDir;
using test::WriteFile;

class TCapturedPages : public IReportPageSink {
public:
  void AddPage(const QImage& page) override { Pages.push_back(page.copy()); }
  std::vector<QImage> Pages;
};

TBackupHistoryItem FixedEntry() {
  TBackupHistoryItem item;
  item.BackupTime = EncodeDateTime(2026, 4, 6, 18, 0, 0);
  item.Success = true;
  item.TaskName = "Belgeler & Fotoğraflar";
  item.Details = "Yedekleme başarıyla tamamlandı. 4 dosya yedeklendi, 1 dosya yedeklenemedi.";
  item.StorageMode = smHybrid;
  item.StorageModeText = "Lokal + Cloud";
  item.CloudProvider = "AWS S3";
  item.CloudStatus = "Tamamlandı";
  item.LocalOutputPath = "/mnt/yedek/Belgeler_20260406_180000.zip";
  item.CloudOutputPath = "s3://yedekler/Belgeler_20260406_180000.zip";
  item.OutputPath = item.LocalOutputPath;
  item.Checksum = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
  item.Verified = true;
  item.SourceFolders = {"/home/ayse/Belgeler", "/home/ayse/Fotoğraflar"};
  item.SourceCount = 2;
  item.FileCount = 4;
  item.TotalSize = 1610612736;
  item.Files = {
      {"/home/ayse/Belgeler/rapor.docx", 48213, true},
      {"/home/ayse/Belgeler/bütçe 2026.xlsx", 1048576, true},
      {"/home/ayse/Fotoğraflar/tatil/IMG_0001.jpg", 1609516235, true},
      {"/home/ayse/Fotoğraflar/küçük.png", 512, true},
      {"/home/ayse/Belgeler/kilitli.pdf (Permission denied)", 0, false},
  };
  return item;
}

std::vector<QImage> RenderPages(const TBackupHistoryItem& item) {
  TCapturedPages pages;
  THistoryPdfRenderer renderer(item, pages, TurkishFormatSettings());
  renderer.Render();
  EXPECT_EQ(renderer.PageCount(), static_cast<int>(pages.Pages.size()));
  return pages.Pages;
}

QColor Rgb(uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

struct TExpectedText {
  QRect Box;
  uint32_t Background;
  QString Text;
  int Points;
  bool Bold;
  uint32_t Colour;
  int Flags;
};

constexpr int SingleLine = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
constexpr int RightAligned = Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine;
constexpr int Wrapped = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

// The page shows exactly this text in the box: the box is painted over with its background and the text drawn
// again, and nothing may change.
bool ShowsText(const QImage& page, const TExpectedText& expected) {
  QImage redrawn = page.copy();
  {
    QPainter painter(&redrawn);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(expected.Box, Rgb(expected.Background));
    painter.setFont(ReportFont(expected.Points, expected.Bold));
    painter.setPen(Rgb(expected.Colour));
    painter.drawText(expected.Box, expected.Flags, expected.Text);
  }
  return redrawn.copy(expected.Box) == page.copy(expected.Box);
}

TExpectedText Title(bool continued) {
  return {QRect(48, 40, 852, 64),  // above the subtitle, which starts at 104
          0x274F84,
          continued ? "Velkor (Yedekleme Detayı) - Devam" : "Velkor (Yedekleme Detayı)",
          24,
          true,
          0xFFFFFF,
          SingleLine};
}
TExpectedText PageNumber(int number) {
  return {QRect(1090, 106, 102, 34), 0x274F84, QString("Sayfa %1").arg(number), 10, false, 0xDBE7F5, RightAligned};
}
// The file list's title on a continuation page, whose list starts at y = 256.
TExpectedText ListTitle(bool continued, int top) {
  return {QRect(66, top + 18, 382, 22),
          0xFAFBFD,
          continued ? "Dosya Listesi (Devam)" : "Dosya Listesi",
          13,
          true,
          0x24313F,
          Wrapped};
}

// Vertical runs of pure white in column x at or below `from`: the row cards' insides (the 1-pixel outline is
// not white).
struct TRun {
  int Top, Bottom;  // Bottom outside
};
std::vector<TRun> WhiteRuns(const QImage& page, int x, int from) {
  std::vector<TRun> runs;
  for (int y = from; y < page.height(); ++y) {
    if (page.pixel(x, y) != qRgb(255, 255, 255)) continue;
    const int top = y;
    while (y < page.height() && page.pixel(x, y) == qRgb(255, 255, 255)) ++y;
    runs.push_back({top, y});
  }
  return runs;
}

TBackupHistoryItem EntryWithFiles(const std::vector<std::string>& names) {
  TBackupHistoryItem item = FixedEntry();
  item.Files.clear();
  for (size_t i = 0; i < names.size(); ++i)
    item.Files.push_back({names[i], static_cast<int64_t>(i) * 1000, i % 7 != 3});
  return item;
}

TEST(HistoryPdfRendererTest, DrawsOnTheOffscreenPlatformWithTheInstalledFont) {
  EXPECT_EQ(QGuiApplication::platformName(), "offscreen");
  // scripts/install-deps installs Cantarell; without it the pages (and the reference picture) would differ.
  EXPECT_EQ(QFontInfo(ReportFont(10, false)).family(), "Cantarell");
  EXPECT_EQ(ReportFont(9, false).pixelSize(), 12);
  EXPECT_EQ(ReportFont(10, false).pixelSize(), 13);
  EXPECT_EQ(ReportFont(11, false).pixelSize(), 15);
  EXPECT_EQ(ReportFont(24, true).pixelSize(), 32);
  EXPECT_EQ(ReportFont(26, true).pixelSize(), 35);
}

TEST(HistoryPdfRendererTest, EntryWithoutFilesGivesOnePageWithTheNoFilesRow) {
  TBackupHistoryItem item = FixedEntry();
  item.Files.clear();
  const std::vector<QImage> pages = RenderPages(item);
  ASSERT_EQ(pages.size(), 1u);
  const QImage& page = pages[0];
  EXPECT_EQ(page.size(), QSize(1240, 1754));
  EXPECT_TRUE(ShowsText(page, Title(false)));
  EXPECT_TRUE(ShowsText(page, PageNumber(1)));
  // Summary boxes at b = 256 + 720, the list header at b + 164, its row after the column band.
  const int b = 976, list = b + 164, row = list + 84 + 44;
  EXPECT_TRUE(ShowsText(page, {QRect(66, b + 66, 202, 44), 0xF5FBF7, "0", 26, true, 0x1F8F5F, SingleLine}));
  EXPECT_TRUE(ShowsText(page, {QRect(66, b + 112, 262, 20), 0xF5FBF7, "0 bytes", 10, false, 0x607A68, Wrapped}));
  EXPECT_TRUE(ShowsText(page, {QRect(648, b + 66, 524, 44), 0xFFF7F7, "0", 26, true, 0xC44848, SingleLine}));
  EXPECT_TRUE(ShowsText(page, ListTitle(false, list)));
  EXPECT_TRUE(ShowsText(
      page, {QRect(160, row + 12, 1012, 16), 0xFFFFFF, "Dosya detayı kaydedilmemiş.", 9, false, 0x465462, Wrapped}));
  EXPECT_TRUE(ShowsText(page, {QRect(66, row + 12, 72, 16), 0xFFFFFF, "Bilgi", 9, true, 0x0E77C8, SingleLine}));
  const std::vector<TRun> rows = WhiteRuns(page, 150, row);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Top, row + 1);
  EXPECT_EQ(rows[0].Bottom, row + 41);
  // The text check tells texts apart.
  EXPECT_FALSE(ShowsText(page, Title(true)));
  EXPECT_FALSE(ShowsText(page, PageNumber(2)));
}

TEST(HistoryPdfRendererTest, LongListsContinueOnPagesMarkedAsContinued) {
  std::vector<std::string> names;
  for (int i = 0; i < 200; ++i) names.push_back("/home/ayse/Belgeler/dosya-" + std::to_string(i) + ".txt");
  const std::vector<QImage> pages = RenderPages(EntryWithFiles(names));
  // One-line rows are 40 pixels and 10 apart: 8 fit below the first page's card, 26 on each further page.
  ASSERT_EQ(pages.size(), 9u);
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE(i + 1);
    const bool continued = i > 0;
    EXPECT_TRUE(ShowsText(pages[i], Title(continued)));
    EXPECT_TRUE(ShowsText(pages[i], PageNumber(static_cast<int>(i) + 1)));
    const int list = continued ? 256 : 1140;
    EXPECT_TRUE(ShowsText(pages[i], ListTitle(continued, list)));
    const std::vector<TRun> rows = WhiteRuns(pages[i], 150, list + 128);
    const size_t expectedRows = i == 0 ? 8 : i == 8 ? 10 : 26;
    ASSERT_EQ(rows.size(), expectedRows);
    for (size_t r = 0; r < rows.size(); ++r) {
      EXPECT_EQ(rows[r].Top, list + 128 + 50 * static_cast<int>(r) + 1);
      EXPECT_EQ(rows[r].Bottom - rows[r].Top, 38);
    }
  }
  EXPECT_FALSE(ShowsText(pages[1], PageNumber(3)));
}

TEST(HistoryPdfRendererTest, WrappedFileNamesMakeTallerRowsAndBreakPagesByTheirHeight) {
  const std::string longName = "/home/ayse/Belgeler/" + std::string("çok uzun bir klasör adı ") + "ile devam eden " +
                               "ve satıra sığmayan bir dosya yolu olan bu dosyanın adı birkaç satıra bölünür: " +
                               "toplantı notları, bütçe tabloları, sözleşme taslakları ve yazışmalar.txt";
  std::vector<std::string> names = {"/a.txt", longName, "/b.txt"};
  std::vector<QImage> pages = RenderPages(EntryWithFiles(names));
  ASSERT_EQ(pages.size(), 1u);
  std::vector<TRun> rows = WhiteRuns(pages[0], 150, 1268);
  ASSERT_EQ(rows.size(), 3u);
  const int wrappedHeight = rows[1].Bottom - rows[1].Top + 2;
  EXPECT_EQ(rows[0].Bottom - rows[0].Top, 38);
  EXPECT_GE(wrappedHeight, 2 * 15 + 16);  // at least two lines of 9-point text
  EXPECT_EQ(rows[1].Top, rows[0].Bottom + 1 + 10 + 1);
  EXPECT_EQ(rows[2].Top, rows[1].Bottom + 1 + 10 + 1);
  EXPECT_EQ(rows[2].Bottom - rows[2].Top, 38);

  // Many such rows: no row crosses pixel row 1684, and each page is as full as that allows.
  names.assign(60, longName);
  pages = RenderPages(EntryWithFiles(names));
  ASSERT_GE(pages.size(), 3u);
  int drawn = 0;
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE(i + 1);
    rows = WhiteRuns(pages[i], 150, i == 0 ? 1268 : 384);
    ASSERT_FALSE(rows.empty());
    drawn += static_cast<int>(rows.size());
    for (const TRun& run : rows) EXPECT_EQ(run.Bottom - run.Top + 2, wrappedHeight);
    const int lastBottom = rows.back().Bottom + 1;
    EXPECT_LE(lastBottom, 1684);
    if (i + 1 < pages.size()) {
      EXPECT_GT(lastBottom + 10 + wrappedHeight, 1684);
    }
  }
  EXPECT_EQ(drawn, 60);
}

// The first page of the fixed entry, as pdftoppm renders it at a quarter of its size, against the stored picture.
// VELKOR_WRITE_REFERENCE=1 stores the current render instead (look at it before committing it).
TEST(HistoryPdfRendererTest, ExportedFileMatchesTheReferencePicture) {
  TTempDir dir;
  const std::filesystem::path pdf = dir / "BackupLog_20260406_180000.pdf";
  ExportHistoryItemToPdf(pdf, FixedEntry(), TurkishFormatSettings());
  std::string output;
  EXPECT_EQ(RunCommand("qpdf --check " + ShellQuote(pdf.string()), &output), 0) << output;
  ASSERT_EQ(RunCommand("pdfinfo " + ShellQuote(pdf.string()), &output), 0) << output;
  EXPECT_NE(output.find("Pages:           1\n"), std::string::npos) << output;
  EXPECT_NE(output.find("Page size:       595 x 842 pts (A4)"), std::string::npos) << output;
  ASSERT_EQ(RunCommand("pdftoppm -png -singlefile -scale-to-x 310 -scale-to-y 438 " + ShellQuote(pdf.string()) + " " +
                           ShellQuote((dir / "page").string()),
                       &output),
            0)
      << output;
  const QImage rendered =
      QImage(QString::fromStdString((dir / "page.png").string())).convertToFormat(QImage::Format_RGB32);
  const std::string reference = std::string(VELKOR_TEST_DATA_DIR) + "/data/report-page1.png";
  if (const char* write = std::getenv("VELKOR_WRITE_REFERENCE"); write != nullptr && std::string(write) == "1") {
    ASSERT_TRUE(rendered.save(QString::fromStdString(reference)));
    GTEST_SKIP() << "reference written: " << reference;
  }
  const QImage expected = QImage(QString::fromStdString(reference)).convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(expected.isNull()) << reference;
  ASSERT_EQ(rendered.size(), expected.size());
  long long totalDifference = 0;
  int farOff = 0;
  for (int y = 0; y < expected.height(); ++y)
    for (int x = 0; x < expected.width(); ++x) {
      const QRgb a = rendered.pixel(x, y), b = expected.pixel(x, y);
      const int d =
          std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
      totalDifference += d;
      farOff += d > 40 ? 1 : 0;
    }
  const double pixels = static_cast<double>(expected.width()) * expected.height();
  EXPECT_LT(totalDifference / pixels, 1.5);
  EXPECT_LT(farOff / pixels, 0.002);
}

TEST(HistoryPdfRendererTest, MultiPageExportPassesTheReaders) {
  std::vector<std::string> names;
  for (int i = 0; i < 200; ++i) names.push_back("/home/ayse/Belgeler/dosya-" + std::to_string(i) + ".txt");
  TTempDir dir;
  const std::filesystem::path pdf = dir / "r.pdf";
  WriteFile(pdf, "old");
  ExportHistoryItemToPdf(pdf, EntryWithFiles(names), TurkishFormatSettings());
  std::string output;
  EXPECT_EQ(RunCommand("qpdf --check " + ShellQuote(pdf.string()), &output), 0) << output;
  ASSERT_EQ(RunCommand("pdfinfo " + ShellQuote(pdf.string()), &output), 0) << output;
  EXPECT_NE(output.find("Pages:           9\n"), std::string::npos) << output;
  EXPECT_NE(output.find("Title:           QeltBackup Yedekleme Detay"), std::string::npos) << output;
  EXPECT_EQ(RunCommand("pdftoppm -r 8 " + ShellQuote(pdf.string()) + " " + ShellQuote((dir / "p").string()), &output),
            0)
      << output;
  for (int i = 1; i <= 9; ++i) EXPECT_TRUE(std::filesystem::exists(dir / ("p-" + std::to_string(i) + ".ppm"))) << i;
}

TEST(HistoryPdfRendererTest, FailedExportLeavesNoFile) {
  TTempDir dir;
  try {
    ExportHistoryItemToPdf(dir / "missing" / "r.pdf", FixedEntry(), TurkishFormatSettings());
    ADD_FAILURE() << "no error";
  } catch (const EVelkorError& e) {
    EXPECT_NE(std::string(e.what()).find("Dosya oluşturulamadı"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

}  // namespace
}  // namespace velkor
