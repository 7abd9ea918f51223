#include "ui/UiStyle.h"

namespace velkor {

QFont UiFont(int pixelSize, QFont::Weight weight) {
  QFont font;
  font.setFamilies({QStringLiteral("Segoe UI"), QStringLiteral("Cantarell")});
  font.setPixelSize(pixelSize);
  font.setWeight(weight);
  return font;
}

QFont UiPointFont(int points) {
  QFont font = UiFont(12);
  font.setPointSize(points);
  return font;
}

QFont SymbolFont(int pixelSize, bool bold) {
  QFont font;
  font.setFamilies({QStringLiteral("Segoe UI Symbol"), QStringLiteral("DejaVu Sans")});
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

QFont FixedFont(int points) {
  QFont font;
  font.setFamilies({QStringLiteral("Consolas"), QStringLiteral("DejaVu Sans Mono")});
  font.setStyleHint(QFont::Monospace);
  font.setPointSize(points);
  return font;
}

QString ColorName(TRgbColor color) { return ToQColor(color).name(); }

}  // namespace velkor
