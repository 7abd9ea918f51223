#pragma once
// The application core's prompts in the window: messages and questions in the styled message dialog, passwords
// in the password prompt, text in an input box, folders and files in the toolkit's dialogs. GUI thread only.
#include <QString>

#include "app/IAppPrompts.h"

class QWidget;

namespace velkor {

class TQtAppPrompts final : public IAppPrompts {
public:
  // `parent` owns the input and file dialogs (null: none); messages have no owner.
  explicit TQtAppPrompts(QWidget* parent = nullptr) : FParent(parent) {}

  bool IsInteractive() const override { return true; }
  void ShowMessage(const std::string& text, TAppMessageKind kind) override;
  bool AskYesNo(const std::string& text) override;
  bool AskQuestion(const std::string& text, TAppMessageKind kind) override;
  bool PromptPassword(const std::string& caption, const std::string& prompt, std::string& password) override;
  bool PromptNewPassword(const std::string& caption, const std::string& prompt, const std::string& confirmPrompt,
                         std::string& password) override;
  bool PromptText(const std::string& caption, const std::string& label, std::string& value) override;
  bool SelectFolder(const std::string& title, std::string& folder) override;
  bool SelectOpenFile(const std::string& title, const std::string& filter, std::string& file) override;
  bool SelectSaveFile(const std::string& title, const std::string& filter, std::string& file) override;

private:
  QWidget* FParent;
};

// "Name (*.ext)|*.ext|..." pairs as the toolkit's filter ("Name (*.ext);;..."); a name without its patterns in
// parentheses gets them appended.
QString ToQtFileFilter(const std::string& filter);

}  // namespace velkor
