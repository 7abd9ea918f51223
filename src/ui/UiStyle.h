#pragma once
// Fonts and colours shared by the window's forms. The Windows UI fonts are asked for first; where they are
// missing (Linux), the bundled stand-ins installed with the program take their place: Cantarell for "Segoe UI",
// DejaVu Sans for the symbols of "Segoe UI Symbol".
#include <QColor>
#include <QFont>
#include <QString>
#include <string>

#include "app/IAppView.h"

namespace velkor {

QFont UiFont(int pixelSize, QFont::Weight weight = QFont::Normal);
QFont UiPointFont(int points);
QFont SymbolFont(int pixelSize, bool bold);
// The activity log's fixed-pitch font.
QFont FixedFont(int points);

inline QColor ToQColor(TRgbColor color) { return QColor(color.Red, color.Green, color.Blue); }
// "#RRGGBB", for style sheets.
QString ColorName(TRgbColor color);

inline QString Qs(const std::string& text) { return QString::fromStdString(text); }
inline std::string Std(const QString& text) { return text.toStdString(); }

}  // namespace velkor
