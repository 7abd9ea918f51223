#pragma once
// Fonts and colours shared by the window's forms. The Windows UI fonts are asked for first; where they are
// missing (Linux), the bundled stand-ins installed with the program take their place: Cantarell for "Segoe UI",
// DejaVu Sans for the symbols of "Segoe UI Symbol".
#include <QColor>
#include <QFont>
#include <QString>
#include <string>

#include "app/IAppView.h"

class QLabel;
class QPushButton;
class QWidget;

namespace velkor {

QFont UiFont(int pixelSize, QFont::Weight weight = QFont::Normal);
QFont UiPointFont(int points);
QFont SymbolFont(int pixelSize, bool bold);
// The activity log's fixed-pitch font.
QFont FixedFont(int points);

inline QColor ToQColor(TRgbColor color) { return QColor(color.Red, color.Green, color.Blue); }
// "#RRGGBB", for style sheets.
QString ColorName(TRgbColor color);

// The main window's look: colours of its bars and pages and the style of its buttons, lists and groups.
QString MainWindowStyleSheet();
// A page's caption at the top of the page.
QLabel* NewPageCaption(QWidget* parent, const char* name, const QString& text);
// A push button with an object name; `primary` draws it in the window's accent colour.
QPushButton* NewButton(QWidget* parent, const char* name, const QString& caption, bool primary = false);
// Fonts with the symbols of the task list (✅ ❌) beside the window's text.
QFont SymbolTextFont(int pixelSize);

inline QString Qs(const std::string& text) { return QString::fromStdString(text); }
inline std::string Std(const QString& text) { return text.toStdString(); }

}  // namespace velkor
