#pragma once
// The application core's prompts on a terminal. Messages go to standard error after their kind's title; questions
// and passwords are asked on the terminal (passwords without echo). Without a terminal, or in the daemon, nothing
// is asked: questions are answered "Hayır" and the core takes its non-interactive path.
#include <string>

#include "app/IAppPrompts.h"
#include "cli/TerminalInput.h"

namespace velkor {

class TCliPrompts final : public IAppPrompts {
public:
  TCliPrompts(TTerminalInput& terminal, bool interactive);

  bool IsInteractive() const override { return FInteractive; }
  void ShowMessage(const std::string& text, TAppMessageKind kind) override;
  bool AskYesNo(const std::string& text) override;
  bool PromptPassword(const std::string& caption, const std::string& prompt, std::string& password) override;
  bool PromptNewPassword(const std::string& caption, const std::string& prompt, const std::string& confirmPrompt,
                         std::string& password) override;
  bool PromptText(const std::string&, const std::string&, std::string&) override { return false; }
  bool SelectFolder(const std::string&, std::string&) override { return false; }
  bool SelectOpenFile(const std::string&, const std::string&, std::string&) override { return false; }
  bool SelectSaveFile(const std::string&, const std::string&, std::string&) override { return false; }

private:
  TTerminalInput& FTerminal;
  bool FInteractive;
};

// Message text for a terminal: "\r\n" line breaks become "\n".
std::string TerminalText(const std::string& text);

}  // namespace velkor
