#include "ui/HistoryPage.h"

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/HistoryList.h"
#include "ui/HistoryStatusImages.h"
#include "ui/UiStyle.h"
#include "ui/WidgetHelpers.h"

namespace velkor {

THistoryPage::THistoryPage(TAppCore& core, QWidget* parent)
    : QWidget(parent),
      FCore(core),
      FStatusImages{DrawHistoryStatusImage(hpSuccess), DrawHistoryStatusImage(hpError),
                    DrawHistoryStatusImage(hpCloudWarning)} {
  setObjectName(QStringLiteral("tsHistory"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 12, 16, 8);
  layout->setSpacing(6);
  layout->addWidget(NewPageCaption(this, "lblHistoryCaption", QStringLiteral("Geçmiş")));
  auto* hint = new QLabel(
      QStringLiteral("Bir kayda çift tıklayarak ayrıntılarını açın; sağ tıklayarak geri yükleme, silme ve rapor "
                     "komutlarına ulaşın."),
      this);
  hint->setObjectName(QStringLiteral("lblHistoryHint"));
  hint->setWordWrap(true);
  hint->setStyleSheet(QStringLiteral("color: #5A6B7D;"));
  layout->addWidget(hint);

  lvHistory = new QTableWidget(0, HistoryColumnCount, this);
  lvHistory->setObjectName(QStringLiteral("lvHistory"));
  lvHistory->setShowGrid(true);
  lvHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvHistory->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvHistory->setSelectionMode(QAbstractItemView::SingleSelection);
  lvHistory->verticalHeader()->hide();
  lvHistory->verticalHeader()->setDefaultSectionSize(26);
  lvHistory->setIconSize(QSize(24, 24));
  lvHistory->setWordWrap(false);
  lvHistory->horizontalHeader()->setHighlightSections(false);
  lvHistory->horizontalHeader()->setStretchLastSection(true);
  for (int column = 0; column < HistoryColumnCount; ++column) {
    auto* header = new QTableWidgetItem(Qs(HistoryColumns[column].Caption));
    header->setTextAlignment((HistoryColumns[column].RightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    lvHistory->setHorizontalHeaderItem(column, header);
    lvHistory->setColumnWidth(column, HistoryColumns[column].Width);
  }
  lvHistory->setContextMenuPolicy(Qt::CustomContextMenu);
  layout->addWidget(lvHistory, 1);

  pmHistory = new QMenu(this);
  pmHistory->setObjectName(QStringLiteral("pmHistory"));
  mnuHistoryRestore = NewMenuItem(pmHistory, "mnuHistoryRestore", QStringLiteral("Geri yükle"));
  mnuHistoryDelete = NewMenuItem(pmHistory, "mnuHistoryDelete", QStringLiteral("Seçili Logu Sil"));
  mnuHistorySendMail = NewMenuItem(pmHistory, "mnuHistorySendMail", QStringLiteral("Log Dosyasını Mail Gönder"));
  mnuHistoryExportPdf =
      NewMenuItem(pmHistory, "mnuHistoryExportPdf", QStringLiteral("Log Dosyasını PDF Olarak Kaydet"));
  mnuHistoryVerify = NewMenuItem(pmHistory, "mnuHistoryVerify", QStringLiteral("Doğrula"));
  pmHistory->addSeparator();
  mnuHistoryClear = NewMenuItem(pmHistory, "LogGemiiniTemizle1", QStringLiteral("Log Geçmişini Temizle"));
  SetCommands(nullptr);

  connect(lvHistory, &QWidget::customContextMenuRequested,
          [this](const QPoint& at) { pmHistory->popup(lvHistory->viewport()->mapToGlobal(at)); });
  connect(lvHistory, &QTableWidget::cellDoubleClicked, [this] { lvHistoryDblClick(); });
  connect(mnuHistoryRestore, &QAction::triggered, [this] { Run(&IHistoryCommands::RestoreHistoryItem); });
  connect(mnuHistoryDelete, &QAction::triggered, [this] { mnuHistoryDeleteClick(); });
  connect(mnuHistorySendMail, &QAction::triggered, [this] { Run(&IHistoryCommands::SendHistoryMail); });
  connect(mnuHistoryExportPdf, &QAction::triggered, [this] { Run(&IHistoryCommands::ExportHistoryPdf); });
  connect(mnuHistoryVerify, &QAction::triggered, [this] { Run(&IHistoryCommands::VerifyHistoryItem); });
  connect(mnuHistoryClear, &QAction::triggered, [this] { LogGemiiniTemizle1Click(); });
}

void THistoryPage::SetCommands(IHistoryCommands* commands) {
  FCommands = commands;
  for (QAction* action : {mnuHistoryRestore, mnuHistorySendMail, mnuHistoryExportPdf, mnuHistoryVerify})
    action->setEnabled(commands != nullptr);
}

void THistoryPage::RefreshHistoryList() {
  lvHistory->setRowCount(0);
  // The summary pass, with the changes still being written: never the file lists.
  const std::vector<THistoryRow> rows = HistoryListRows(FCore.HistorySummary());
  lvHistory->setUpdatesEnabled(false);
  lvHistory->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const THistoryRow& row = rows[static_cast<size_t>(r)];
    const QColor color = ToQColor(row.Color);
    for (int column = 0; column < HistoryColumnCount; ++column) {
      auto* item = new QTableWidgetItem(Qs(row.Cells[static_cast<size_t>(column)]));
      item->setForeground(color);
      item->setToolTip(item->text());
      if (HistoryColumns[column].RightAligned) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (column == 0) {
        item->setData(Qt::UserRole, row.DataSlot);
        item->setIcon(FStatusImages[static_cast<size_t>(row.Picture)]);
      }
      lvHistory->setItem(r, column, item);
    }
  }
  lvHistory->setUpdatesEnabled(true);
}

std::optional<int> THistoryPage::GetSelectedHistoryIndex() const {
  const QList<QTableWidgetItem*> selected = lvHistory->selectedItems();
  const int row = !selected.isEmpty() ? selected.first()->row() : lvHistory->currentRow();
  if (row < 0 || row >= lvHistory->rowCount() || lvHistory->item(row, 0) == nullptr) return std::nullopt;
  return HistoryIndexOfRow(lvHistory->item(row, 0)->data(Qt::UserRole).toInt(), row);
}

void THistoryPage::Run(void (IHistoryCommands::*command)(std::optional<int>)) {
  if (FCommands != nullptr) (FCommands->*command)(GetSelectedHistoryIndex());
}

void THistoryPage::lvHistoryDblClick() { Run(&IHistoryCommands::ShowHistoryDetails); }

void THistoryPage::mnuHistoryDeleteClick() { FCore.DeleteHistoryItemClick(GetSelectedHistoryIndex()); }

void THistoryPage::LogGemiiniTemizle1Click() { FCore.ClearHistoryClick(); }

}  // namespace velkor
