#include "ui/UiStyle.h"

#include <QLabel>
#include <QPushButton>

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

QFont SymbolTextFont(int pixelSize) {
  QFont font = UiFont(pixelSize);
  font.setFamilies({QStringLiteral("Segoe UI"), QStringLiteral("Cantarell"), QStringLiteral("Segoe UI Emoji"),
                    QStringLiteral("Symbola")});
  return font;
}

QString MainWindowStyleSheet() {
  return QStringLiteral(R"(
#frmMain { background: #F4F6F9; }
#pnlTitleBar { background: #0E2237; }
#lblTitleBar { color: #FFFFFF; font-weight: 600; }
#pnlTitleBar QPushButton { background: transparent; color: #DCE6F0; border: none; min-width: 40px; min-height: 32px; }
#pnlTitleBar QPushButton:hover { background: #24405E; }
#pnlTitleBar QPushButton#btnTitleClose:hover { background: #C42B1C; color: #FFFFFF; }
#pnlTabs { background: #16324F; }
#pnlTabs QPushButton { background: transparent; color: #C9D6E3; border: none; padding: 8px 22px; }
#pnlTabs QPushButton:hover { color: #FFFFFF; }
#pnlTabs QPushButton:checked { background: #F4F6F9; color: #0E2237; font-weight: 600; }
QLabel[pageCaption="true"] { color: #0E2237; font-weight: 600; }
QPushButton { background: #FFFFFF; color: #1B2B3A; border: 1px solid #C5CFDA; border-radius: 4px; padding: 5px 12px; }
QPushButton:hover { background: #EAF1F9; border-color: #8FB0D3; }
QPushButton:pressed { background: #D6E4F3; }
QPushButton:disabled { color: #9AA7B4; background: #F1F3F5; border-color: #DDE3E9; }
QPushButton[primary="true"] { background: #1E6FC8; color: #FFFFFF; border-color: #1A5FAD; }
QPushButton[primary="true"]:hover { background: #2A7FDB; }
QPushButton[primary="true"]:disabled { background: #A9C4E2; color: #EEF3F9; border-color: #A9C4E2; }
#pnlActions { background: #FFFFFF; border-top: 1px solid #D5DDE6; }
QGroupBox { font-weight: 600; color: #1B2B3A; border: 1px solid #D5DDE6; border-radius: 4px; margin-top: 10px; }
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 2px; }
#lstTasks { background: #FFFFFF; border: 1px solid #D5DDE6; }
#lstTasks::item { padding-left: 8px; border: none; }
#lstTasks::item:selected { background: #1E6FC8; color: #FFFFFF; }
)");
}

QLabel* NewPageCaption(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->setProperty("pageCaption", true);
  label->setFont(UiFont(20, QFont::DemiBold));
  return label;
}

QPushButton* NewButton(QWidget* parent, const char* name, const QString& caption, bool primary) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  if (primary) button->setProperty("primary", true);
  button->setCursor(Qt::PointingHandCursor);
  return button;
}

}  // namespace velkor
