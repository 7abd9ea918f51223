#pragma once
// The one styled dialog for every message and question: a header in the kind's colour with a round glyph, title
// and subtitle, the message, and a dark bar of Turkish buttons of which the last is the default. What it shows
// and how large it is comes from app/AppMessageDialog; this form only draws it. GUI thread only.
#include <QDialog>
#include <string>

#include "app/AppMessageDialog.h"

class QLabel;
class QPushButton;

namespace velkor {

class TfrmAppMessage final : public QDialog {
  Q_OBJECT
public:
  explicit TfrmAppMessage(QWidget* parent = nullptr);

  // Replaces the buttons, colours, texts and size for a new message.
  void Configure(const std::string& title, const std::string& message, TAppMessageKind kind, TMsgDlgButtons buttons);
  TRgbColor AccentColor() const { return FAccentColor; }

  // The close box and Escape answer "İptal" (2), as no button of the row was chosen.
  void reject() override;

protected:
  void resizeEvent(QResizeEvent* event) override;

private:
  void ApplyTheme();
  void PlacePanels();
  void LayoutForMessage(const QString& text, int buttonCount);
  QPushButton* AddButton(const QString& caption, int modalResult, bool isDefault, int& left);

  QWidget* shpFrame;
  QWidget* pnlHeader;
  QWidget* shpIconCircle;
  QLabel* lblIcon;
  QLabel* lblTitle;
  QLabel* lblSubtitle;
  QWidget* pnlBody;
  QLabel* lblMessage;
  QWidget* pnlButtons;
  TRgbColor FAccentColor;
};

// Creates the dialog without an owner, configures and shows it modally; returns the modal result.
int ShowAppMessage(const std::string& message, const std::string& title, TAppMessageKind kind, TMsgDlgButtons buttons);
// One "Tamam" button; the kind from the message's words.
void ShowAutoMessage(const std::string& text);
// One "Tamam" button with an explicit kind.
void ShowKindMessage(const std::string& text, TAppMessageKind kind);
// The standard-dialog replacement: the kind from the dialog type, the title by kind; the help context is unused.
int AppMessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext = 0);

}  // namespace velkor
