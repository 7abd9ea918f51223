#include "ui/AppMessageForm.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTextLayout>
#include <cmath>
#include <memory>
#include <vector>

#include "ui/UiStyle.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr int MessagePixelSize = 13;

// Word-wrapped text that also breaks a word longer than the line (a path, an address) instead of cutting it off at
// the right edge. Measured and drawn by the same routine, so the dialog's height fits what is drawn.
class TWrappedText {
public:
  TWrappedText(const QString& text, const QFont& font, int width) {
    const QStringList paragraphs = text.split(QLatin1Char('\n'));
    for (const QString& paragraph : paragraphs) {
      auto layout = std::make_unique<QTextLayout>(paragraph, font);
      QTextOption option;
      option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
      layout->setTextOption(option);
      layout->beginLayout();
      for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, FHeight));
        FHeight += line.height();
      }
      layout->endLayout();
      FLayouts.push_back(std::move(layout));
    }
  }
  int Height() const { return static_cast<int>(std::ceil(FHeight)); }
  void Draw(QPainter& painter) const {
    for (const auto& layout : FLayouts) layout->draw(&painter, QPointF(0, 0));
  }

private:
  std::vector<std::unique_ptr<QTextLayout>> FLayouts;
  qreal FHeight = 0;
};

class TMessageLabel final : public QLabel {
public:
  using QLabel::QLabel;

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setClipRect(rect());
    TWrappedText(text(), font(), width()).Draw(painter);
  }
};

// A filled circle with an outline, antialiased.
class TCircleShape final : public QWidget {
public:
  using QWidget::QWidget;
  void SetColors(QColor fill, QColor outline) {
    FFill = fill;
    FOutline = outline;
    update();
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(FOutline, 2));
    painter.setBrush(FFill);
    painter.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
  }

private:
  QColor FFill, FOutline;
};

// A one-pixel outline around the whole client area, drawn over everything and blind to the mouse.
class TFrameShape final : public QWidget {
public:
  explicit TFrameShape(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }
  void SetColor(QColor color) {
    FColor = color;
    update();
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(QPen(FColor, 1));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }

private:
  QColor FColor;
};

void SetBackground(QWidget* widget, QColor color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, color);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

void SetTextColor(QLabel* label, QColor color) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, color);
  label->setPalette(palette);
}

QLabel* NewLabel(QWidget* parent, const char* name, const QFont& font) {
  auto* label = new QLabel(parent);
  label->setObjectName(QLatin1String(name));
  label->setFont(font);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

TfrmAppMessage::TfrmAppMessage(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      FAccentColor(MessageKindAccentColor(amInfo)) {
  setObjectName(QStringLiteral("frmAppMessage"));
  setWindowTitle(QStringLiteral("Velkor"));
  setFont(UiFont(12));
  SetBackground(this, Qt::white);
  setMinimumSize(MessageMinWidth, MessageMinHeight);
  setMaximumSize(MessageMaxWidth, MessageMaxHeight);

  pnlHeader = new QWidget(this);
  pnlHeader->setObjectName(QStringLiteral("pnlHeader"));
  shpIconCircle = new TCircleShape(pnlHeader);
  shpIconCircle->setObjectName(QStringLiteral("shpIconCircle"));
  shpIconCircle->setGeometry(24, 20, 56, 56);
  lblIcon = NewLabel(shpIconCircle, "lblIcon", SymbolFont(26, true));
  lblIcon->setAlignment(Qt::AlignCenter);
  lblIcon->setGeometry(0, 0, 56, 56);
  lblTitle = NewLabel(pnlHeader, "lblTitle", UiFont(22, QFont::DemiBold));
  lblSubtitle = NewLabel(pnlHeader, "lblSubtitle", UiFont(11));

  pnlBody = new QWidget(this);
  pnlBody->setObjectName(QStringLiteral("pnlBody"));
  SetBackground(pnlBody, Qt::white);
  lblMessage = new TMessageLabel(pnlBody);
  lblMessage->setObjectName(QStringLiteral("lblMessage"));
  lblMessage->setFont(UiFont(MessagePixelSize));
  lblMessage->setTextFormat(Qt::PlainText);
  SetTextColor(lblMessage, QColor(84, 101, 107));
  pnlButtons = new QWidget(pnlBody);
  pnlButtons->setObjectName(QStringLiteral("pnlButtons"));

  shpFrame = new TFrameShape(this);
  shpFrame->setObjectName(QStringLiteral("shpFrame"));
  ApplyTheme();
}

void TfrmAppMessage::Configure(const std::string& title, const std::string& message, TAppMessageKind kind,
                               TMsgDlgButtons buttons) {
  // 1. The buttons of an earlier message go.
  for (QPushButton* button : pnlButtons->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) delete button;
  // 2. Which buttons, in which order.
  const std::vector<TMsgDlgBtn> shown = ShownButtons(buttons);
  // 3. Colours.
  FAccentColor = MessageKindAccentColor(kind);
  ApplyTheme();
  // 4. Texts.
  lblTitle->setText(Qs(title));
  lblSubtitle->setText(Qs(MessageKindSubtitle(kind)));
  lblIcon->setText(Qs(MessageKindGlyph(kind)));
  const QString text = Qs(ReplaceAll(Trim(message), "\r\n", "\n"));
  lblMessage->setText(text);
  // 5. Size.
  const int count = static_cast<int>(shown.size());
  LayoutForMessage(text, count);
  // 6, 7. The button row, centred; only the last one is the default.
  int left = ButtonRowLeft(width(), count);
  QPushButton* last = nullptr;
  for (int i = 0; i < count; ++i)
    last = AddButton(Qs(ButtonCaption(shown[i])), ButtonModalResult(shown[i]), i == count - 1, left);
  if (last != nullptr) last->setFocus();
}

void TfrmAppMessage::ApplyTheme() {
  const TAppMessageTheme theme = MessageTheme(FAccentColor);
  static_cast<TFrameShape*>(shpFrame)->SetColor(ToQColor(theme.Frame));
  SetBackground(pnlHeader, ToQColor(theme.Header));
  static_cast<TCircleShape*>(shpIconCircle)->SetColors(ToQColor(theme.CircleFill), ToQColor(theme.CircleOutline));
  SetTextColor(lblIcon, ToQColor(theme.Title));
  SetTextColor(lblTitle, ToQColor(theme.Title));
  SetTextColor(lblSubtitle, ToQColor(theme.Subtitle));
  SetBackground(pnlButtons, ToQColor(theme.ButtonBar));
  const QString accent = ColorName(FAccentColor);
  const QString pressed = ColorName(BlendColor(FAccentColor, {0, 0, 0}, 40));
  pnlButtons->setStyleSheet(QStringLiteral("QPushButton { background-color: #FFFFFF; color: #27313B; border: 1px solid "
                                           "#C9D1D9; border-radius: 4px; }"
                                           "QPushButton:hover { background-color: #EEF2F5; }"
                                           "QPushButton:focus { border: 2px solid %1; }"
                                           "QPushButton:default { background-color: %1; color: #FFFFFF; border: 1px "
                                           "solid %2; }"
                                           "QPushButton:default:focus { border: 2px solid #FFFFFF; }"
                                           "QPushButton:pressed { background-color: %2; color: #FFFFFF; }")
                                .arg(accent, pressed));
}

void TfrmAppMessage::LayoutForMessage(const QString& text, int buttonCount) {
  // Measured with the font the message is drawn in, so the last lines are never cut below the 300-pixel limit.
  const QFont font = lblMessage->font();
  const TAppMessageLayout layout = velkor::LayoutForMessage(
      Std(text), buttonCount, [&](int width) { return TWrappedText(text, font, width).Height(); });
  setFixedSize(layout.ClientWidth, layout.ClientHeight);
  PlacePanels();
  lblMessage->setGeometry(layout.MessageLeft, layout.MessageTop, layout.MessageWidth, layout.MessageHeight);
  lblTitle->setGeometry(100, 20, layout.TitleWidth, 30);
  lblSubtitle->setGeometry(100, 52, layout.TitleWidth, 20);
}

QPushButton* TfrmAppMessage::AddButton(const QString& caption, int modalResult, bool isDefault, int& left) {
  auto* button = new QPushButton(caption, pnlButtons);
  button->setObjectName(QStringLiteral("btn%1").arg(modalResult));
  button->setFont(UiFont(13));
  button->setGeometry(left, MessageButtonTop, MessageButtonWidth, MessageButtonHeight);
  button->setFocusPolicy(Qt::StrongFocus);
  button->setDefault(isDefault);
  button->setProperty("modalResult", modalResult);
  connect(button, &QPushButton::clicked, this, [this, modalResult] { done(modalResult); });
  button->show();
  left += button->width() + MessageButtonGap;
  return button;
}

void TfrmAppMessage::reject() { done(mrCancel); }

void TfrmAppMessage::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  PlacePanels();
}

void TfrmAppMessage::PlacePanels() {
  pnlHeader->setGeometry(0, 0, width(), MessageHeaderHeight);
  pnlBody->setGeometry(0, MessageHeaderHeight, width(), height() - MessageHeaderHeight);
  pnlButtons->setGeometry(0, pnlBody->height() - MessageButtonBarHeight, width(), MessageButtonBarHeight);
  shpFrame->setGeometry(rect());
  shpFrame->raise();
}

int ShowAppMessage(const std::string& message, const std::string& title, TAppMessageKind kind, TMsgDlgButtons buttons) {
  TfrmAppMessage dialog;
  dialog.Configure(title, message, kind, buttons);
  return dialog.exec();
}

void ShowAutoMessage(const std::string& text) {
  const TAppMessageKind kind = ClassifyMessageKind(text);
  ShowAppMessage(text, MessageKindTitle(kind), kind, mbOKOnly);
}

void ShowKindMessage(const std::string& text, TAppMessageKind kind) {
  ShowAppMessage(text, MessageKindTitle(kind), kind, mbOKOnly);
}

int AppMessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int) {
  const TAppMessageKind kind = MessageKindFromDlgType(type);
  return ShowAppMessage(text, MessageKindTitle(kind), kind, buttons);
}

}  // namespace velkor
