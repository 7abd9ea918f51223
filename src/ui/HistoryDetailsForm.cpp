#include "ui/HistoryDetailsForm.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QWheelEvent>
#include <algorithm>
#include <utility>

#include "app/HistoryDetails.h"
#include "ui/UiStyle.h"
#include "ui/WidgetHelpers.h"

namespace velkor {

namespace {

constexpr int DesignWidth = 980;
constexpr int DesignHeight = 773;
constexpr int HeaderHeight = 104;
// From the right edge: the chip and the button keep their design place (796 of 980) when the window is resized.
constexpr int RightColumn = DesignWidth - 796;
// Rows low enough that the lists show the rows their cards are sized for (22 pixels a row, the header included).
constexpr int ListRowHeight = 18;

const QColor Background(0xF4, 0xF7, 0xFC);
const QColor CardTitle(0x28, 0x2D, 0x42);
const QColor CardSubtitle(0x78, 0x8A, 0x99);

QTableWidgetItem* Cell(const std::string& text, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* item = new QTableWidgetItem(Qs(text));
  item->setTextAlignment(alignment);
  item->setToolTip(item->text());
  return item;
}

void Place(QWidget* widget, const TRect& r) { widget->setGeometry(r.Left, r.Top, r.Width, r.Height); }

}  // namespace

TfrmHistoryDetails::TfrmHistoryDetails(QWidget* owner, const TFormatSettings& fs)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint),
      FFormat(fs) {
  setObjectName(QStringLiteral("frmHistoryDetails"));
  setWindowTitle(Qs(HistoryDetailTitle));
  setFont(UiFont(12));
  PaintBackground(this, Background);
  resize(DesignWidth, DesignHeight);

  pnlHeader = new QWidget(this);
  pnlHeader->setObjectName(QStringLiteral("pnlHeader"));
  PaintBackground(pnlHeader, QColor(0x27, 0x4F, 0x84));
  Image1 = new QLabel(pnlHeader);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setScaledContents(true);
  Image1->setPixmap(HeaderBanner(QSize(DesignWidth, HeaderHeight), QColor(0x27, 0x4F, 0x84)));
  lblTitle = NewLabel(pnlHeader, "lblTitle", QString(), UiFont(22, QFont::DemiBold), Qt::white);
  lblSubtitle = NewLabel(pnlHeader, "lblSubtitle", QString(), UiFont(11), Qt::white);
  lblStatus = NewLabel(pnlHeader, "lblStatus", QString(), UiFont(11, QFont::DemiBold), Qt::white);
  lblStatus->setAlignment(Qt::AlignCenter);
  lblStatus->setAutoFillBackground(true);
  btnClose = new QPushButton(QStringLiteral("Kapat"), pnlHeader);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

  sbContent = new QScrollArea(this);
  sbContent->setObjectName(QStringLiteral("sbContent"));
  pnlScroll = new QWidget;
  pnlScroll->setObjectName(QStringLiteral("pnlScroll"));
  PaintBackground(pnlScroll, Background);
  pnlContent = new QWidget(pnlScroll);
  pnlContent->setObjectName(QStringLiteral("pnlContent"));

  pnlSummary = NewCard("pnlSummary", shpSummaryBorder, "shpSummaryBorder", pnlSummaryAccent, "pnlSummaryAccent",
                       QColor(0x2F, 0x4F, 0x98));
  lblSummaryTitle =
      NewLabel(pnlSummary, "lblSummaryTitle", QStringLiteral("Genel Bilgiler"), UiFont(16, QFont::DemiBold), CardTitle);
  lblSummarySub =
      NewLabel(pnlSummary, "lblSummarySub", QStringLiteral("Yedekleme kaydının özet bilgileri ve doğrulama durumu"),
               UiFont(11), CardSubtitle);
  lvSummary = NewReportList(pnlSummary, "lvSummary", {QStringLiteral("Alan"), QStringLiteral("Değer")}, ListRowHeight);
  lvSummary->setShowGrid(false);

  pnlStats = new QWidget(pnlContent);
  pnlStats->setObjectName(QStringLiteral("pnlStats"));
  struct TBox {
    QWidget*& Panel;
    const char* Name;
    QColor Fill, Outline;
    QLabel*& Title;
    const char* TitleName;
    const char* Caption;
    QColor TitleColor;
    QLabel*& Value;
    const char* ValueName;
    QColor ValueColor;
    QLabel*& Size;
    const char* SizeName;
    QColor SizeColor;
  };
  const TBox boxes[] = {
      {pnlSuccess, "pnlSuccess", QColor(0xF5, 0xFB, 0xF6), QColor(0x68, 0xEF, 0xD9), lblSuccessTitle, "lblSuccessTitle",
       "Başarılı Dosyalar", QColor(0x23, 0x5D, 0x36), lblSuccessValue, "lblSuccessValue", QColor(0x24, 0x9A, 0x57),
       lblSuccessSize, "lblSuccessSize", QColor(0x6D, 0x91, 0x77)},
      {pnlFail, "pnlFail", QColor(0xFF, 0xF7, 0xF8), QColor(0xF0, 0xD7, 0xD7), lblFailTitle, "lblFailTitle",
       "Başarısız Dosyalar", QColor(0x70, 0x40, 0x40), lblFailValue, "lblFailValue", QColor(0xCE, 0x4F, 0x59),
       lblFailSize, "lblFailSize", QColor(0x91, 0x8E, 0x76)},
  };
  for (const TBox& box : boxes) {
    box.Panel = NewOutlinedPanel(pnlStats, box.Name, box.Fill, box.Outline);
    box.Title =
        NewLabel(box.Panel, box.TitleName, QString::fromUtf8(box.Caption), UiFont(14, QFont::DemiBold), box.TitleColor);
    box.Title->setGeometry(24, 20, 300, 20);
    box.Value = NewLabel(box.Panel, box.ValueName, QString(), UiFont(30, QFont::DemiBold), box.ValueColor);
    box.Value->setGeometry(24, 48, 300, 40);
    box.Size = NewLabel(box.Panel, box.SizeName, QString(), UiFont(11), box.SizeColor);
    box.Size->setGeometry(24, 96, 300, 18);
  }

  pnlFiles =
      NewCard("pnlFiles", shpFilesBorder, "shpFilesBorder", pnlFilesAccent, "pnlFilesAccent", QColor(0x4F, 0x7D, 0xC8));
  lblFilesTitle =
      NewLabel(pnlFiles, "lblFilesTitle", QStringLiteral("Dosya Listesi"), UiFont(16, QFont::DemiBold), CardTitle);
  lblFilesSub = NewLabel(pnlFiles, "lblFilesSub", QStringLiteral("Durum, dosya yolu ve boyut bilgileri"), UiFont(11),
                         CardSubtitle);
  lvFiles = NewReportList(pnlFiles, "lvFiles",
                          {QStringLiteral("Durum"), QStringLiteral("Dosya"), QStringLiteral("Boyut")}, ListRowHeight);
  lvFiles->setShowGrid(true);
  FormCreate();
}

QWidget* TfrmHistoryDetails::NewCard(const char* name, QWidget*& border, const char* borderName, QWidget*& accent,
                                     const char* accentName, const QColor& accentColor) {
  auto* card = new QWidget(pnlContent);
  card->setObjectName(QLatin1String(name));
  PaintBackground(card, Qt::white);
  border = NewOutlinedPanel(card, borderName, Qt::white, QColor(0xD8, 0xE2, 0xEB));
  accent = new QWidget(card);
  accent->setObjectName(QLatin1String(accentName));
  PaintBackground(accent, accentColor);
  return card;
}

void TfrmHistoryDetails::FormCreate() {
  pnlHeader->setGeometry(0, 0, width(), HeaderHeight);
  lblStatus->resize(120, 34);
  btnClose->resize(140, 32);

  sbContent->setFrameShape(QFrame::NoFrame);
  sbContent->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  sbContent->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  sbContent->verticalScrollBar()->setSingleStep(24);
  sbContent->setWidgetResizable(false);
  sbContent->setWidget(pnlScroll);
  PaintBackground(sbContent->viewport(), Background);
  pnlContent->move(8, 4);

  lvFiles->horizontalHeaderItem(0)->setTextAlignment(Qt::AlignCenter);
  lvFiles->horizontalHeaderItem(2)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  qApp->installEventFilter(this);
  setMinimumSize(360, 320);
}

void TfrmHistoryDetails::ShowDetails(QWidget* owner, const TBackupHistoryItem& item) {
  TfrmHistoryDetails form(owner);
  form.LoadFromHistoryItem(item);
  // Centred on the screen, as designed.
  if (const QScreen* screen = form.screen()) form.move(screen->availableGeometry().center() - form.rect().center());
  form.exec();
}

void TfrmHistoryDetails::LoadFromHistoryItem(const TBackupHistoryItem& item) {
  FTitleText = Qs(HistoryDetailTitle);
  FSubtitleText = Qs(HistoryDetailSubtitle(item, FFormat));
  const THistoryDetailStatus status = HistoryDetailStatus(item);
  lblStatus->setText(Qs(status.ChipText));
  PaintBackground(lblStatus, ToQColor(status.ChipColor));

  lvSummary->setUpdatesEnabled(false);
  lvFiles->setUpdatesEnabled(false);
  lvSummary->setRowCount(0);
  lvFiles->setRowCount(0);
  const TInfoRows rows = HistoryDetailSummaryRows(item, FFormat);
  lvSummary->setRowCount(static_cast<int>(rows.size()));
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    lvSummary->setItem(i, 0, Cell(rows[i].first));
    lvSummary->setItem(i, 1, Cell(rows[i].second));
  }
  const THistoryDetailFiles files = HistoryDetailFiles(item, FormatDetailSize, FFormat);
  lvFiles->setRowCount(static_cast<int>(files.Rows.size()));
  for (int i = 0; i < static_cast<int>(files.Rows.size()); ++i) {
    const THistoryDetailFileRow& row = files.Rows[i];
    lvFiles->setItem(i, 0, Cell(row.Status, Qt::AlignCenter));
    lvFiles->setItem(i, 1, Cell(row.Name));
    lvFiles->setItem(i, 2, Cell(row.Size, Qt::AlignRight | Qt::AlignVCenter));
  }
  lvSummary->setUpdatesEnabled(true);
  lvFiles->setUpdatesEnabled(true);

  lblSuccessValue->setText(QString::number(files.SuccessCount));
  lblSuccessSize->setText(QStringLiteral("Toplam boyut: ") + Qs(FormatDetailSize(files.SuccessBytes, FFormat)));
  lblFailValue->setText(QString::number(files.FailedCount));
  lblFailSize->setText(QStringLiteral("Toplam boyut: ") + Qs(FormatDetailSize(files.FailedBytes, FFormat)));
  LayoutContent();
}

void TfrmHistoryDetails::LayoutContent() {
  pnlHeader->setGeometry(0, 0, width(), HeaderHeight);
  Image1->setGeometry(pnlHeader->rect());
  lblStatus->move(width() - RightColumn, 16);
  btnClose->move(width() - RightColumn, 60);
  PlaceHeaderText();
  sbContent->setGeometry(0, HeaderHeight, width(), height() - HeaderHeight);

  const int barWidth = sbContent->verticalScrollBar()->sizeHint().width();
  const int clientWidth = sbContent->width() - barWidth;
  const THistoryDetailsLayout l = LayoutHistoryDetails(clientWidth, barWidth, lvSummary->rowCount(),
                                                       lvFiles->rowCount(), 2 * lvSummary->frameWidth());
  Place(pnlSummary, l.Summary);
  Place(lvSummary, l.SummaryList);
  lvSummary->setColumnWidth(0, l.SummaryFieldColumn);
  lvSummary->setColumnWidth(1, l.SummaryValueColumn);
  Place(pnlStats, l.Stats);
  Place(pnlSuccess, l.Success);
  Place(pnlFail, l.Fail);
  Place(pnlFiles, l.Files);
  Place(lvFiles, l.FileList);
  lvFiles->setColumnWidth(0, l.FileStatusColumn);
  lvFiles->setColumnWidth(1, l.FileNameColumn);
  lvFiles->setColumnWidth(2, l.FileSizeColumn);
  for (QWidget* border : {shpSummaryBorder, shpFilesBorder}) border->setGeometry(border->parentWidget()->rect());
  for (QWidget* accent : {pnlSummaryAccent, pnlFilesAccent})
    accent->setGeometry(0, 0, 8, accent->parentWidget()->height());
  lblSummaryTitle->setGeometry(24, 18, l.Summary.Width - 48, 24);
  lblSummarySub->setGeometry(24, 44, l.Summary.Width - 48, 18);
  lblFilesTitle->setGeometry(24, 18, l.Files.Width - 48, 24);
  lblFilesSub->setGeometry(24, 44, l.Files.Width - 48, 18);
  Place(pnlContent, l.Content);
  pnlScroll->resize(clientWidth, l.ScrollRange);
}

// The title and subtitle keep their design place (355) while there is room left of the chip; in a narrower window
// they move left, and are shortened when even that is not enough.
void TfrmHistoryDetails::PlaceHeaderText() {
  const int right = lblStatus->x() - 16;
  const struct {
    QLabel* Label;
    const QString& Text;
    int Top;
  } lines[] = {{lblTitle, FTitleText, 16}, {lblSubtitle, FSubtitleText, 50}};
  for (const auto& [label, text, top] : lines) {
    const int natural = label->fontMetrics().horizontalAdvance(text) + 4;
    const int left = std::clamp(right - natural, 16, 355);
    const int width = std::max(0, right - left);
    label->setGeometry(left, top, width, label->fontMetrics().height() + 4);
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, width));
  }
}

void TfrmHistoryDetails::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  LayoutContent();
}

bool TfrmHistoryDetails::ScrollContent(QWidget* over, int delta) {
  for (QTableWidget* list : {lvSummary, lvFiles}) {
    if (over != list && !list->isAncestorOf(over)) continue;
    const QScrollBar* bar = list->verticalScrollBar();
    if ((delta > 0 && bar->value() > bar->minimum()) || (delta < 0 && bar->value() < bar->maximum())) return false;
  }
  QScrollBar* bar = sbContent->verticalScrollBar();
  bar->setValue(WheelScrollPosition(bar->value(), delta, pnlScroll->height(), sbContent->viewport()->height()));
  return true;
}

// Sees every wheel turn over the window before any of its controls does, wherever the pointer is.
bool TfrmHistoryDetails::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Wheel && watched->isWidgetType()) {
    auto* over = static_cast<QWidget*>(watched);
    if (over == this || isAncestorOf(over))
      return ScrollContent(over, static_cast<QWheelEvent*>(event)->angleDelta().y());
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace velkor
