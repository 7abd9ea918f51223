#pragma once
// Everything the application core asks of the user: messages, questions, password and text input, folder and
// file pickers. The window answers with its styled dialogs, the command-line tool on the terminal, tests from a
// script. Called on the main thread only; every call is modal (returns once the user has answered).
#include <string>

#include "app/AppMessageKind.h"

namespace velkor {

class IAppPrompts {
public:
  virtual ~IAppPrompts() = default;

  // False when no one can answer (a terminal-less command-line run): the core then takes the path a scheduled
  // run takes instead of asking.
  virtual bool IsInteractive() const = 0;

  // One "Tamam" button; the kind chooses title, glyph and colour.
  virtual void ShowMessage(const std::string& text, TAppMessageKind kind) = 0;
  // A confirmation with "Evet" and "Hayır" ("Hayır" is the default button). True only for "Evet".
  virtual bool AskYesNo(const std::string& text) = 0;
  // The same question shown in the style of `kind` (a warning, an information); a front end without styles asks it
  // as any other.
  virtual bool AskQuestion(const std::string& text, TAppMessageKind kind) {
    (void)kind;
    return AskYesNo(text);
  }

  // One masked field. True with the text exactly as typed; false when cancelled or left blank (the prompt has
  // then shown its own warning).
  virtual bool PromptPassword(const std::string& caption, const std::string& prompt, std::string& password) = 0;
  // Two masked fields that must match. True with the first field exactly as typed.
  virtual bool PromptNewPassword(const std::string& caption, const std::string& prompt,
                                 const std::string& confirmPrompt, std::string& password) = 0;
  // A one-line text prompt proposing `value`; true with the answer, false when cancelled.
  virtual bool PromptText(const std::string& caption, const std::string& label, std::string& value) = 0;

  // Pickers; true with the chosen path, false when cancelled. `filter` is "Name (*.ext)|*.ext|..." pairs.
  virtual bool SelectFolder(const std::string& title, std::string& folder) = 0;
  virtual bool SelectOpenFile(const std::string& title, const std::string& filter, std::string& file) = 0;
  virtual bool SelectSaveFile(const std::string& title, const std::string& filter, std::string& file) = 0;
};

// The usual way to tell the user something: one button, the kind taken from the message's words.
inline void ShowAutoMessage(IAppPrompts& prompts, const std::string& text) {
  prompts.ShowMessage(text, ClassifyMessageKind(text));
}

}  // namespace velkor
