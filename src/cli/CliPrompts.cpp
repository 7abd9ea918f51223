#include "cli/CliPrompts.h"

#include <cstdio>

#include "util/StringUtils.h"

namespace velkor {

std::string TerminalText(const std::string& text) { return ReplaceAll(text, "\r\n", "\n"); }

TCliPrompts::TCliPrompts(TTerminalInput& terminal, bool interactive)
    : FTerminal(terminal), FInteractive(interactive && terminal.IsTerminal()) {}

void TCliPrompts::ShowMessage(const std::string& text, TAppMessageKind kind) {
  std::fprintf(stderr, "%s: %s\n", MessageKindTitle(kind).c_str(), TerminalText(Trim(text)).c_str());
  std::fflush(stderr);
}

bool TCliPrompts::AskYesNo(const std::string& text) {
  if (!FInteractive) return false;
  std::fprintf(stderr, "%s [e/H] ", TerminalText(text).c_str());
  std::fflush(stderr);
  std::string answer;
  if (!FTerminal.ReadLine(answer)) return false;
  answer = LowerCaseAscii(Trim(answer));
  return answer == "e" || answer == "evet" || answer == "y" || answer == "yes";
}

// The password dialog's rules: a blank first field or two fields that differ are refused with a warning.
bool TCliPrompts::PromptPassword(const std::string& caption, const std::string& prompt, std::string& password) {
  password.clear();
  if (!FInteractive) return false;
  std::fprintf(stderr, "%s\n", caption.c_str());
  std::string first;
  if (!FTerminal.ReadSecret(prompt, first)) return false;
  if (Trim(first).empty()) {
    ShowMessage("Şifre boş olamaz!", amWarning);
    return false;
  }
  password = first;
  return true;
}

bool TCliPrompts::PromptNewPassword(const std::string& caption, const std::string& prompt,
                                    const std::string& confirmPrompt, std::string& password) {
  std::string first;
  if (!PromptPassword(caption, prompt, first)) return false;
  std::string second;
  if (!FTerminal.ReadSecret(confirmPrompt, second)) return false;
  if (first != second) {
    ShowMessage("Şifreler eşleşmiyor!", amWarning);
    return false;
  }
  password = first;
  return true;
}

}  // namespace velkor
