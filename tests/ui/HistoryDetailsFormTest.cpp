// The history details view and its fallback, drawn offscreen: the status chip, the rows of both lists, the
// card heights for few and many files, a narrow window, the wheel, and the fallback when the view fails.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QWheelEvent>

#include "UiTestSupport.h"
#include "ui/HistoryDetailDialog.h"
#include "ui/HistoryDetailsForm.h"
#include "util/DateTime.h"
#include "util/Error.h"

namespace velkor {
namespace {

using test::Find;
using test::SaveShot;
using test::TModalDriver;

TBackupHistoryItem Entry(int fileCount) {
  TBackupHistoryItem item;
  item.BackupTime = EncodeDateTime(2026, 4, 6, 18, 0, 0);
  item.Success = false;
  item.TaskName = "Belgeler & Fotoğraflar";
  item.Details = "Yedekleme tamamlandı. | Cloud upload tamamlanamadı.";
  item.StorageMode = smHybrid;
  item.StorageModeText = "Lokal + Cloud";
  item.CloudProvider = "AWS S3";
  item.CloudStatus = "Başarısız";
  item.LocalOutputPath = "/mnt/yedek/Belgeler_20260406_180000.zip";
  item.OutputPath = item.LocalOutputPath;
  item.Checksum = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
  item.Verified = true;
  item.SourceFolders = {"/home/ayse/Belgeler", "/home/ayse/Fotoğraflar"};
  item.SourceCount = 2;
  const int64_t sizes[] = {1536, 512, 1073741824};
  for (int i = 0; i < fileCount; ++i)
    item.Files.push_back({"/home/ayse/Belgeler/dosya " + std::to_string(i + 1) + ".txt", sizes[i % 3], true});
  item.FileCount = fileCount;
  item.TotalSize = 1073743872;
  return item;
}

std::vector<QString> Column(QTableWidget& list, int column) {
  std::vector<QString> texts;
  for (int row = 0; row < list.rowCount(); ++row) texts.push_back(list.item(row, column)->text());
  return texts;
}

struct TShownForm {
  std::unique_ptr<TfrmHistoryDetails> Form;
  explicit TShownForm(const TBackupHistoryItem& item)
      : Form(std::make_unique<TfrmHistoryDetails>(nullptr, TurkishFormatSettings())) {
    Form->LoadFromHistoryItem(item);
    Form->show();
    QApplication::processEvents();
  }
  template <typename T>
  T* Get(const char* name) {
    return Find<T>(*Form, name);
  }
};

TEST(HistoryDetailsFormTest, CloudFailureWithThreeFiles) {
  TShownForm form(Entry(3));
  SaveShot(*form.Form, "history-details-cloud-failure");
  QLabel* chip = form.Get<QLabel>("lblStatus");
  EXPECT_EQ(chip->text(), QStringLiteral("CLOUD HATASI"));
  EXPECT_EQ(chip->palette().color(QPalette::Window), QColor(0xF5, 0x80, 0x00));
  EXPECT_EQ(form.Get<QLabel>("lblTitle")->text(), QStringLiteral("Velkor (Yedekleme Detayı)"));
  EXPECT_EQ(form.Get<QLabel>("lblSubtitle")->text(), QStringLiteral("06.04.2026 - 18:00:00 - Log Kayıtları Detayı"));

  auto* summary = form.Get<QTableWidget>("lvSummary");
  EXPECT_EQ(summary->item(0, 0)->text(), QStringLiteral("Durum"));
  EXPECT_EQ(summary->item(0, 1)->text(), QStringLiteral("Cloud Hatası"));
  EXPECT_EQ(summary->rowCount(), 15);  // all but "Cloud Çıktı"

  auto* files = form.Get<QTableWidget>("lvFiles");
  EXPECT_EQ(Column(*files, 0), (std::vector<QString>(3, QStringLiteral("Başarılı"))));
  EXPECT_EQ(Column(*files, 2),
            (std::vector<QString>{QStringLiteral("1,50 KB"), QStringLiteral("512 B"), QStringLiteral("1,00 GB")}));
  EXPECT_EQ(files->item(0, 2)->textAlignment(), int(Qt::AlignRight | Qt::AlignVCenter));
  EXPECT_EQ(form.Get<QWidget>("pnlFiles")->height(), 6 * 22 + 96);
  EXPECT_EQ(form.Get<QWidget>("pnlSummary")->height(), 15 * 22 + 96);
  EXPECT_EQ(form.Get<QLabel>("lblSuccessValue")->text(), QStringLiteral("3"));
  EXPECT_EQ(form.Get<QLabel>("lblSuccessSize")->text(), QStringLiteral("Toplam boyut: 1,00 GB"));
  EXPECT_EQ(form.Get<QLabel>("lblFailSize")->text(), QStringLiteral("Toplam boyut: 0 B"));
  // Every summary row fits its card without a scroll bar of its own.
  EXPECT_EQ(summary->verticalScrollBar()->maximum(), 0);

  TBackupHistoryItem failed = Entry(3);
  failed.Files.push_back({"/home/ayse/kilitli.pdf (Permission denied)", 0, false});
  form.Form->LoadFromHistoryItem(failed);
  EXPECT_EQ(chip->text(), QStringLiteral("HATALI"));
  EXPECT_EQ(chip->palette().color(QPalette::Window), QColor(0xCE, 0x4F, 0x59));
  EXPECT_EQ(files->item(3, 0)->text(), QStringLiteral("Hatalı"));
  EXPECT_EQ(form.Get<QLabel>("lblFailValue")->text(), QStringLiteral("1"));
}

TEST(HistoryDetailsFormTest, HundredFilesScrollInsideTheirCard) {
  TShownForm form(Entry(100));
  auto* files = form.Get<QTableWidget>("lvFiles");
  EXPECT_EQ(files->rowCount(), 100);
  EXPECT_EQ(form.Get<QWidget>("pnlFiles")->height(), 20 * 22 + 96);
  EXPECT_GT(files->verticalScrollBar()->maximum(), 0);
  // Twenty rows are shown whole.
  EXPECT_GE(files->viewport()->height(), 20 * files->rowHeight(0));
  auto* content = form.Get<QScrollArea>("sbContent");
  content->verticalScrollBar()->setValue(content->verticalScrollBar()->maximum());
  SaveShot(*form.Form, "history-details-100-files");
}

TEST(HistoryDetailsFormTest, NarrowWindowUsesTheFullWidthAndNoFilesShowsOneRow) {
  TBackupHistoryItem item = Entry(0);
  item.Success = true;
  item.CloudStatus = "Tamamlandı";
  TShownForm form(item);
  auto* content = form.Get<QScrollArea>("sbContent");
  const int bar = content->verticalScrollBar()->sizeHint().width();
  form.Form->resize(bar + 343 + bar, 700);
  QApplication::processEvents();
  EXPECT_EQ(form.Get<QWidget>("pnlContent")->width(), content->width() - bar);
  form.Form->resize(980, 700);
  QApplication::processEvents();
  EXPECT_EQ(form.Get<QWidget>("pnlContent")->width(), content->width() - bar - bar - 24);

  form.Form->resize(bar + 343 + bar, 700);
  QApplication::processEvents();
  SaveShot(*form.Form, "history-details-narrow-no-files");
  auto* files = form.Get<QTableWidget>("lvFiles");
  ASSERT_EQ(files->rowCount(), 1);
  EXPECT_EQ(files->item(0, 0)->text(), QStringLiteral("Bilgi"));
  EXPECT_EQ(files->item(0, 1)->text(), QStringLiteral("Dosya detayı kaydedilmemiş."));
  EXPECT_EQ(files->item(0, 2)->text(), QStringLiteral("-"));
  EXPECT_EQ(form.Get<QLabel>("lblStatus")->text(), QStringLiteral("BAŞARILI"));
  for (const char* value : {"lblSuccessValue", "lblFailValue"})
    EXPECT_EQ(form.Get<QLabel>(value)->text(), QStringLiteral("0"));
  for (const char* size : {"lblSuccessSize", "lblFailSize"})
    EXPECT_EQ(form.Get<QLabel>(size)->text(), QStringLiteral("Toplam boyut: 0 B"));
}

void Wheel(QWidget* over, int delta) {
  const QPointF at(over->width() / 2.0, over->height() / 2.0);
  QWheelEvent event(at, over->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(over, &event);
}

TEST(HistoryDetailsFormTest, TheWheelMovesTheContentBy24PixelsANotch) {
  TShownForm form(Entry(100));
  form.Form->resize(980, 600);
  QApplication::processEvents();
  QScrollBar* bar = form.Get<QScrollArea>("sbContent")->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 100);
  Wheel(form.Get<QLabel>("lblTitle"), -240);
  EXPECT_EQ(bar->value(), 48);
  Wheel(form.Get<QWidget>("pnlSummary"), 120);
  EXPECT_EQ(bar->value(), 24);
  Wheel(form.Get<QWidget>("pnlStats"), 600);
  EXPECT_EQ(bar->value(), 0);
  Wheel(form.Get<QWidget>("pnlStats"), -120 * 200);
  EXPECT_EQ(bar->value(), bar->maximum());

  // Over the file list, the list moves while it can; then the content.
  bar->setValue(0);
  auto* files = form.Get<QTableWidget>("lvFiles");
  Wheel(files->viewport(), -120);
  EXPECT_GT(files->verticalScrollBar()->value(), 0);
  EXPECT_EQ(bar->value(), 0);
  Wheel(files->viewport(), 120 * 50);
  Wheel(files->viewport(), 120);
  EXPECT_EQ(files->verticalScrollBar()->value(), 0);
  EXPECT_EQ(bar->value(), 0);
}

TEST(HistoryDetailsFormTest, ShowDetailsAndTheFallback) {
  TModalDriver driver;
  driver.Expect(QStringLiteral("frmHistoryDetails"),
                [](QWidget& form) { test::ClickButton(form, QStringLiteral("Kapat")); });
  std::vector<std::string> log;
  ShowHistoryDetailDialog(nullptr, Entry(3), [&](const std::string& line) { log.push_back(line); });
  EXPECT_TRUE(driver.Done());
  EXPECT_TRUE(log.empty());

  driver.Expect(QStringLiteral("frmHistoryDetailFallback"), [](QWidget& form) {
    EXPECT_EQ(Find<QLabel>(form, "lblStatus")->text(), QStringLiteral("HATALI"));  // no cloud failure here
    auto* files = Find<QTableWidget>(form, "lvFiles");
    EXPECT_EQ(files->rowCount(), 3);
    EXPECT_FALSE(files->item(0, 0)->icon().isNull());
    EXPECT_TRUE(files->item(2, 2)->text().endsWith(QStringLiteral(" GB")));
    EXPECT_EQ(files->parentWidget()->height(), 280);
    SaveShot(form, "history-details-fallback");
    test::ClickButton(form, QStringLiteral("Kapat"));
  });
  ShowHistoryDetailDialog(
      nullptr, Entry(3), [&](const std::string& line) { log.push_back(line); },
      [](QWidget*, const TBackupHistoryItem&) { throw EVelkorError("Pencere oluşturulamadı."); });
  EXPECT_TRUE(driver.Done());
  EXPECT_EQ(log, std::vector<std::string>{
                     "Geçmiş detay formu açılamadı, yedek detay ekranına geçiliyor: Pencere oluşturulamadı."});
}

}  // namespace
}  // namespace velkor
