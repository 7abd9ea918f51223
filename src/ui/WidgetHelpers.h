#pragma once
// Small pieces the code-built forms share: named labels, painted panels, outlined cards, read-only report lists
// and the header banner picture. GUI thread only.
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

class QAction;
class QLabel;
class QMenu;
class QTableWidget;
class QWidget;

namespace velkor {

// A plain-text label with an object name, a font and a text colour.
QLabel* NewLabel(QWidget* parent, const char* name, const QString& text, const QFont& font,
                 const QColor& color = QColor(0x28, 0x2D, 0x42));
void PaintBackground(QWidget* widget, const QColor& color);
// A panel filled with `fill` and outlined in `outline` (1 pixel), its contents drawn over it.
QWidget* NewOutlinedPanel(QWidget* parent, const char* name, const QColor& fill, const QColor& outline);
// A read-only report list with whole-row selection, no row numbers and rows `rowHeight` pixels high.
QTableWidget* NewReportList(QWidget* parent, const char* name, const QStringList& columns, int rowHeight);
// A menu item with an object name, appended to `menu`.
QAction* NewMenuItem(QMenu* menu, const char* name, const QString& caption);
// Our banner: the header colour with a soft light from the right, stretched over a header band.
QPixmap HeaderBanner(const QSize& size, const QColor& base);

}  // namespace velkor
