#include "ui/WidgetHelpers.h"

#include <QHeaderView>
#include <QLabel>
#include <QLinearGradient>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTableWidget>

namespace velkor {

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text, const QFont& font, const QColor& color) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->setTextFormat(Qt::PlainText);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, color);
  label->setPalette(palette);
  return label;
}

void PaintBackground(QWidget* widget, const QColor& color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, color);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

QWidget* NewOutlinedPanel(QWidget* parent, const char* name, const QColor& fill, const QColor& outline) {
  auto* panel = new QWidget(parent);
  panel->setObjectName(QLatin1String(name));
  panel->setAttribute(Qt::WA_StyledBackground);
  panel->setStyleSheet(QStringLiteral("#%1 { background: %2; border: 1px solid %3; }")
                           .arg(QLatin1String(name), fill.name(), outline.name()));
  return panel;
}

QTableWidget* NewReportList(QWidget* parent, const char* name, const QStringList& columns, int rowHeight) {
  auto* list = new QTableWidget(0, static_cast<int>(columns.size()), parent);
  list->setObjectName(QLatin1String(name));
  list->setHorizontalHeaderLabels(columns);
  list->verticalHeader()->hide();
  list->verticalHeader()->setMinimumSectionSize(rowHeight);
  list->verticalHeader()->setDefaultSectionSize(rowHeight);
  list->horizontalHeader()->setHighlightSections(false);
  list->horizontalHeader()->setStretchLastSection(false);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list->setWordWrap(false);
  list->setTextElideMode(Qt::ElideMiddle);
  return list;
}

QAction* NewMenuItem(QMenu* menu, const char* name, const QString& caption) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QLatin1String(name));
  return action;
}

QPixmap HeaderBanner(const QSize& size, const QColor& base) {
  QPixmap banner(size);
  QPainter painter(&banner);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(0, 0, size.width(), size.height());
  fill.setColorAt(0, base.darker(112));
  fill.setColorAt(1, base.lighter(125));
  painter.fillRect(banner.rect(), fill);
  // Two faint rings on the right, where the chip and the button sit.
  painter.setPen(QPen(QColor(255, 255, 255, 28), size.height() / 6.0));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(QPointF(size.width() * 0.86, size.height() * 0.2), size.height() * 1.1, size.height() * 1.1);
  painter.drawEllipse(QPointF(size.width() * 0.97, size.height() * 1.1), size.height() * 0.8, size.height() * 0.8);
  return banner;
}

}  // namespace velkor
