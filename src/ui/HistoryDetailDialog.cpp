#include "ui/HistoryDetailDialog.h"

#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>

#include "app/HistoryDetails.h"
#include "ui/HistoryDetailsForm.h"
#include "ui/UiStyle.h"
#include "ui/WidgetHelpers.h"

namespace velkor {

namespace {

constexpr int HeaderHeight = 126;
constexpr int CardLeft = 20;
constexpr int CardGap = 16;
constexpr int RowsTop = 78;
constexpr int ValueLeft = 210;
constexpr int CountsHeight = 140;

const QColor Background(0xF4, 0xF7, 0xFB);
const QColor Green(0x24, 0x9A, 0x57);
const QColor Red(0xCE, 0x4F, 0x59);

// A white symbol on a coloured disc, as the file rows show their outcome.
QIcon StatusPicture(const QColor& disc, const QString& symbol) {
  QPixmap picture(18, 18);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(disc);
  painter.drawEllipse(QRectF(0.5, 0.5, 17, 17));
  painter.setPen(Qt::white);
  painter.setFont(SymbolFont(12, true));
  painter.drawText(picture.rect(), Qt::AlignCenter, symbol);
  return QIcon(picture);
}

}  // namespace

void ShowHistoryDetailDialog(QWidget* owner, const TBackupHistoryItem& item, const TAddLog& addLog,
                             const TShowDetails& showDetails) {
  try {
    if (showDetails)
      showDetails(owner, item);
    else
      TfrmHistoryDetails::ShowDetails(owner, item);
    return;
  } catch (const std::exception& e) {
    if (addLog) addLog(HistoryDetailFallbackLogPrefix + std::string(e.what()));
  }
  TfrmHistoryDetailFallback fallback(owner, item);
  fallback.exec();
}

TfrmHistoryDetailFallback::TfrmHistoryDetailFallback(QWidget* owner, const TBackupHistoryItem& item,
                                                     const TFormatSettings& fs)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint),
      FFormat(fs) {
  setObjectName(QStringLiteral("frmHistoryDetailFallback"));
  setWindowTitle(Qs(HistoryDetailTitle));
  setFont(UiFont(12));
  PaintBackground(this, Background);
  resize(1000, 760);
  setMinimumSize(520, 360);

  const THistoryDetailStatus status = FallbackDetailStatus(item);
  FHeader = new QWidget(this);
  FHeader->setObjectName(QStringLiteral("pnlHeader"));
  PaintBackground(FHeader, QColor(0x27, 0x4F, 0x84));
  NewLabel(FHeader, "lblTitle", Qs(HistoryDetailTitle), UiFont(22, QFont::DemiBold), Qt::white)->move(24, 22);
  NewLabel(FHeader, "lblSubtitle", Qs(HistoryDetailSubtitle(item, FFormat)), UiFont(11), QColor(0xDB, 0xE7, 0xF5))
      ->move(24, 64);
  FChip = NewLabel(FHeader, "lblStatus", Qs(status.ChipText), UiFont(11, QFont::DemiBold), Qt::white);
  FChip->setAlignment(Qt::AlignCenter);
  PaintBackground(FChip, ToQColor(status.ChipColor));
  FClose = new QPushButton(QStringLiteral("Kapat"), FHeader);
  FClose->setObjectName(QStringLiteral("btnClose"));
  connect(FClose, &QPushButton::clicked, this, &QDialog::accept);

  FScroll = new QScrollArea(this);
  FScroll->setObjectName(QStringLiteral("sbContent"));
  FScroll->setFrameShape(QFrame::NoFrame);
  FScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  FScroll->verticalScrollBar()->setSingleStep(24);
  FScroll->verticalScrollBar()->setFixedWidth(14);
  FContent = new QWidget;
  PaintBackground(FContent, Background);
  FScroll->setWidget(FContent);
  FScroll->setWidgetResizable(false);

  FGeneral = NewCard("pnlGeneral", QStringLiteral("Genel Bilgiler"),
                     QStringLiteral("Yedekleme kaydının özet bilgileri ve doğrulama durumu"), QColor(0x2F, 0x5F, 0x98));
  for (const auto& [field, value] : FallbackDetailSummaryRows(item, FFormat)) {
    QLabel* label = NewLabel(FGeneral, "lblField", Qs(field), UiFont(11), QColor(0x6B, 0x7C, 0x8D));
    QLabel* text = NewLabel(FGeneral, "lblValue", Qs(value), UiFont(11, QFont::DemiBold), QColor(0x2B, 0x35, 0x40));
    text->setWordWrap(true);
    auto* line = new QWidget(FGeneral);
    PaintBackground(line, QColor(0xE7, 0xED, 0xF2));
    FRows.push_back({label, text, line});
  }

  const THistoryDetailFiles files = HistoryDetailFiles(item, FormatByteSize, FFormat);
  FCounts = new QWidget(FContent);
  FCounts->setObjectName(QStringLiteral("pnlStats"));
  AddCountBox("pnlSuccess", QStringLiteral("Başarılı Dosyalar"), QColor(0xF5, 0xFB, 0xF6), Green, files.SuccessCount,
              files.SuccessBytes);
  AddCountBox("pnlFail", QStringLiteral("Başarısız Dosyalar"), QColor(0xFF, 0xF7, 0xF7), Red, files.FailedCount,
              files.FailedBytes);

  FFiles = NewCard("pnlFiles", QStringLiteral("Dosya Listesi"), QStringLiteral("Durum, dosya yolu ve boyut bilgileri"),
                   QColor(0x4F, 0x7D, 0xC9));
  FFileCardHeight = FallbackFileCardHeight(item.Files.size());
  QTableWidget* list =
      NewReportList(FFiles, "lvFiles", {QStringLiteral("Durum"), QStringLiteral("Dosya"), QStringLiteral("Boyut")}, 22);
  list->setStyleSheet(QStringLiteral("QTableWidget { background: #FEFCFB; }"));
  list->setColumnWidth(0, 100);
  list->setColumnWidth(1, 620);
  list->setColumnWidth(2, 130);
  list->setIconSize(QSize(18, 18));
  const QIcon ok = StatusPicture(Green, QStringLiteral("✓"));
  const QIcon failed = StatusPicture(Red, QStringLiteral("×"));
  list->setRowCount(static_cast<int>(files.Rows.size()));
  for (int i = 0; i < list->rowCount(); ++i) {
    const THistoryDetailFileRow& row = files.Rows[i];
    auto* state = new QTableWidgetItem(Qs(row.Status));
    if (!item.Files.empty()) state->setIcon(row.Success ? ok : failed);
    list->setItem(i, 0, state);
    list->setItem(i, 1, new QTableWidgetItem(Qs(row.Name)));
    auto* size = new QTableWidgetItem(Qs(row.Size));
    size->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    list->setItem(i, 2, size);
  }
  if (const QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
  Layout();
}

QWidget* TfrmHistoryDetailFallback::NewCard(const char* name, const QString& title, const QString& subtitle,
                                            const QColor& accent) {
  QWidget* card = NewOutlinedPanel(FContent, name, Qt::white, QColor(0xD8, 0xE2, 0xEB));
  auto* strip = new QWidget(card);
  strip->setObjectName(QStringLiteral("pnlAccent"));
  PaintBackground(strip, accent);
  NewLabel(card, "lblCardTitle", title, UiFont(16, QFont::DemiBold), QColor(0x28, 0x35, 0x42))->move(24, 18);
  NewLabel(card, "lblCardSub", subtitle, UiFont(11), QColor(0x78, 0x8A, 0x99))->move(24, 46);
  return card;
}

void TfrmHistoryDetailFallback::AddCountBox(const char* name, const QString& title, const QColor& fill,
                                            const QColor& dot, int count, int64_t bytes) {
  QWidget* box = NewOutlinedPanel(FCounts, name, fill, QColor(0xD8, 0xE2, 0xEB));
  auto* disc = new QWidget(box);
  disc->setGeometry(24, 24, 14, 14);
  disc->setStyleSheet(QStringLiteral("background: %1; border-radius: 7px;").arg(dot.name()));
  NewLabel(box, "lblCountTitle", title, UiFont(14, QFont::DemiBold), QColor(0x28, 0x35, 0x42))->move(48, 20);
  NewLabel(box, "lblCountValue", QString::number(count), UiFont(30, QFont::DemiBold), dot)
      ->setGeometry(24, 48, 300, 40);
  NewLabel(box, "lblCountSize", QStringLiteral("Toplam boyut: ") + Qs(FormatByteSize(bytes, FFormat)), UiFont(11),
           QColor(0x6B, 0x7C, 0x8D))
      ->setGeometry(24, 104, 300, 20);
}

void TfrmHistoryDetailFallback::Layout() {
  FHeader->setGeometry(0, 0, width(), HeaderHeight);
  FChip->setGeometry(width() - 184, 18, 140, 34);
  FClose->setGeometry(width() - 184, 74, 140, 32);
  FScroll->setGeometry(0, HeaderHeight, width(), height() - HeaderHeight);
  const int cardWidth = std::max(320, width() - 58);

  int y = RowsTop;
  const int valueWidth = cardWidth - ValueLeft - 24;
  for (const TRow& row : FRows) {
    const int height = std::max(22, row.Value->heightForWidth(valueWidth));
    row.Field->setGeometry(24, y, 170, 22);
    row.Value->setGeometry(ValueLeft, y, valueWidth, height);
    row.Line->setGeometry(24, y + height + 4, cardWidth - 48, 1);
    y += height + 10;
  }
  FGeneral->setGeometry(CardLeft, 20, cardWidth, std::max(360, y + 12));

  FCounts->setGeometry(CardLeft, FGeneral->geometry().bottom() + 1 + CardGap, cardWidth, CountsHeight);
  const int half = (cardWidth - CardGap) / 2;
  FCounts->findChild<QWidget*>(QStringLiteral("pnlSuccess"))->setGeometry(0, 0, half, CountsHeight);
  FCounts->findChild<QWidget*>(QStringLiteral("pnlFail"))
      ->setGeometry(half + CardGap, 0, cardWidth - half - CardGap, CountsHeight);

  FFiles->setGeometry(CardLeft, FCounts->geometry().bottom() + 1 + CardGap, cardWidth, FFileCardHeight);
  FFiles->findChild<QTableWidget*>(QStringLiteral("lvFiles"))
      ->setGeometry(24, 72, cardWidth - 48, FFileCardHeight - 92);
  for (QWidget* card : {FGeneral, FFiles})
    card->findChild<QWidget*>(QStringLiteral("pnlAccent"))->setGeometry(0, 0, 8, card->height());
  FContent->resize(width() - 14, FFiles->geometry().bottom() + 1 + 20);
}

void TfrmHistoryDetailFallback::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  Layout();
}

}  // namespace velkor
