#include "ui/ChainCardView.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/TaskEditorStates.h"
#include "ui/UiStyle.h"

namespace velkor {

namespace {

constexpr const char* CardLabels[] = {"Etkin",   "Toplam Set",  "Temel Tam", "Set ID",
                                      "Sonraki", "Set İçeriği", "Temizlik"};
constexpr const char* ValueNames[] = {"lblChainEffective", "lblChainTotalSets",   "lblChainBaseFull", "lblChainSetId",
                                      "lblChainNext",      "lblChainSetContents", "lblChainCleanup"};

}  // namespace

TChainCardView::TChainCardView(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("FRetentionCard"));
  setFrameShape(QFrame::StyledPanel);
  setStyleSheet(
      QStringLiteral("#FRetentionCard { background: #FFFFFF; border: 1px solid #D8DEE6; border-radius: 6px; }"));
  auto* layout = new QVBoxLayout(this);
  auto* header = new QHBoxLayout;
  auto* title = new QLabel(QStringLiteral("Durum Özeti"), this);
  title->setFont(UiFont(14, QFont::Bold));
  lblChip = new QLabel(this);
  lblChip->setObjectName(QStringLiteral("lblChainChip"));
  lblChip->setAlignment(Qt::AlignCenter);
  header->addWidget(title);
  header->addStretch(1);
  header->addWidget(lblChip);
  layout->addLayout(header);

  // Two columns of label and value pairs.
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(10);
  for (int i = 0; i < 7; ++i) {
    auto* label = new QLabel(QString::fromUtf8(CardLabels[i]) + QLatin1Char(':'), this);
    label->setStyleSheet(QStringLiteral("color: #5F6B7A;"));
    FValues[i] = new QLabel(QStringLiteral("-"), this);
    FValues[i]->setObjectName(QLatin1String(ValueNames[i]));
    FValues[i]->setFont(UiFont(12, QFont::DemiBold));
    const int row = i / 2;
    const int column = (i % 2) * 2;
    grid->addWidget(label, row, column);
    grid->addWidget(FValues[i], row, column + 1);
  }
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  layout->addLayout(grid);
  ShowChainCard(TChainCard());
}

void TChainCardView::ShowChainCard(const TChainCard& card) {
  const std::string* values[] = {&card.Effective, &card.TotalSets,   &card.BaseFull, &card.SetId,
                                 &card.Next,      &card.SetContents, &card.Cleanup};
  for (int i = 0; i < 7; ++i) FValues[i]->setText(Qs(*values[i]));
  lblChip->setText(Qs(card.Chip));
  lblChip->setStyleSheet(QStringLiteral("QLabel { background: %1; color: %2; border-radius: 9px; padding: 2px 10px; "
                                        "font-weight: 600; }")
                             .arg(ColorName(card.ChipBackground), ColorName(card.ChipText)));
}

TCapacityView::TCapacityView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("pnlCapacity"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  lblCapacityInfo = new QLabel(this);
  lblCapacityInfo->setObjectName(QStringLiteral("lblCapacityInfo"));
  lblCapacityState = new QLabel(this);
  lblCapacityState->setObjectName(QStringLiteral("lblCapacityState"));
  lblCapacityState->setWordWrap(true);
  lblCapacityState->setFont(UiFont(12, QFont::DemiBold));
  layout->addWidget(lblCapacityInfo);
  layout->addWidget(lblCapacityState);
  ShowCapacity(TCapacityLabels());
}

void TCapacityView::ShowCapacity(const TCapacityLabels& labels) {
  lblCapacityInfo->setText(Qs(labels.Info));
  lblCapacityState->setText(Qs(labels.State));
  // The neutral texts in the system's grey text colour.
  QPalette palette = QApplication::palette(lblCapacityState);
  const std::optional<TRgbColor> color = CapacityToneColor(labels.Tone);
  palette.setColor(QPalette::WindowText,
                   color ? ToQColor(*color) : palette.color(QPalette::Disabled, QPalette::WindowText));
  lblCapacityState->setPalette(palette);
}

}  // namespace velkor
