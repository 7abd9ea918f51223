#include "ui/QtAppPrompts.h"

#include <QFileDialog>
#include <QInputDialog>

#include "ui/AppMessageForm.h"
#include "ui/PasswordPromptForm.h"
#include "ui/UiStyle.h"
#include "util/StringUtils.h"

namespace velkor {

void TQtAppPrompts::ShowMessage(const std::string& text, TAppMessageKind kind) { ShowKindMessage(text, kind); }

bool TQtAppPrompts::AskYesNo(const std::string& text) { return AppMessageDlg(text, mtConfirmation, mbYesNo) == mrYes; }

bool TQtAppPrompts::AskQuestion(const std::string& text, TAppMessageKind kind) {
  return ShowAppMessage(text, MessageKindTitle(kind), kind, mbYesNo) == mrYes;
}

bool TQtAppPrompts::PromptPassword(const std::string& caption, const std::string& prompt, std::string& password) {
  return velkor::PromptPassword(caption, prompt, password);
}

bool TQtAppPrompts::PromptNewPassword(const std::string& caption, const std::string& prompt,
                                      const std::string& confirmPrompt, std::string& password) {
  return velkor::PromptNewPassword(caption, prompt, confirmPrompt, password);
}

bool TQtAppPrompts::PromptText(const std::string& caption, const std::string& label, std::string& value) {
  QInputDialog dialog(FParent);
  dialog.setObjectName(QStringLiteral("dlgTextPrompt"));
  dialog.setWindowTitle(Qs(caption));
  dialog.setLabelText(Qs(label));
  dialog.setTextValue(Qs(value));
  dialog.setOkButtonText(QStringLiteral("Tamam"));
  dialog.setCancelButtonText(QStringLiteral("İptal"));
  dialog.setFont(UiPointFont(10));
  if (dialog.exec() != QDialog::Accepted) return false;
  value = Std(dialog.textValue());
  return true;
}

bool TQtAppPrompts::SelectFolder(const std::string& title, std::string& folder) {
  const QString chosen = QFileDialog::getExistingDirectory(FParent, Qs(title), Qs(folder));
  if (chosen.isEmpty()) return false;
  folder = Std(chosen);
  return true;
}

bool TQtAppPrompts::SelectOpenFile(const std::string& title, const std::string& filter, std::string& file) {
  const QString chosen = QFileDialog::getOpenFileName(FParent, Qs(title), Qs(file), ToQtFileFilter(filter));
  if (chosen.isEmpty()) return false;
  file = Std(chosen);
  return true;
}

bool TQtAppPrompts::SelectSaveFile(const std::string& title, const std::string& filter, std::string& file) {
  // Choosing an existing file is the answer: it is replaced without a second question.
  const QString chosen = QFileDialog::getSaveFileName(FParent, Qs(title), Qs(file), ToQtFileFilter(filter), nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
  if (chosen.isEmpty()) return false;
  file = Std(chosen);
  return true;
}

QString ToQtFileFilter(const std::string& filter) {
  const std::vector<std::string> parts = SplitString(filter, '|');
  QStringList filters;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    const std::string patterns = ReplaceAll(parts[i + 1], ";", " ");
    const std::string& name = parts[i];
    const bool named = EndsText(")", name) && PosText(patterns, name) != std::string::npos;
    filters << Qs(named ? name : name + " (" + patterns + ")");
  }
  return filters.join(QStringLiteral(";;"));
}

}  // namespace velkor
