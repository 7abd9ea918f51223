#pragma once
// The password prompt, built at run time: one masked field, or two that must hold the same text. Used for the
// first-run and recovery passwords and for encryption passwords. GUI thread only.
#include <QDialog>
#include <string>

class QLineEdit;

namespace velkor {

class TPasswordPromptForm final : public QDialog {
  Q_OBJECT
public:
  // `confirmPrompt` is used only with two fields.
  TPasswordPromptForm(const std::string& caption, const std::string& prompt, const std::string& confirmPrompt,
                      bool twoFields, QWidget* parent = nullptr);

  std::string Password() const;
  std::string Confirmation() const;

private:
  QLineEdit* edtPassword;
  QLineEdit* edtConfirm = nullptr;
};

// Shows the prompt; true with field 1 exactly as typed. A blank field 1 ("Şifre boş olamaz!") or two fields that
// differ ("Şifreler eşleşmiyor!") are refused with a warning and close the prompt: the caller decides whether to
// ask again.
bool ShowPasswordPrompt(const std::string& caption, const std::string& prompt, const std::string& confirmPrompt,
                        bool twoFields, std::string& password);
bool PromptPassword(const std::string& caption, const std::string& prompt, std::string& password);
bool PromptNewPassword(const std::string& caption, const std::string& prompt, const std::string& confirmPrompt,
                       std::string& password);

}  // namespace velkor
