#include "ui/PasswordPromptForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/AppMessageForm.h"
#include "ui/UiStyle.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr int ClientWidth = 430;
constexpr int FieldHeight = 28;
constexpr int ButtonWidth = 96;
constexpr int ButtonHeight = 30;

QLineEdit* AddField(QDialog* dialog, const char* labelName, const char* fieldName, const std::string& text, int top) {
  auto* label = new QLabel(Qs(text), dialog);
  label->setObjectName(QLatin1String(labelName));
  label->setTextFormat(Qt::PlainText);
  label->setGeometry(16, top, ClientWidth - 32, 20);
  auto* field = new QLineEdit(dialog);
  field->setObjectName(QLatin1String(fieldName));
  field->setEchoMode(QLineEdit::Password);
  field->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));  // "*"
  field->setGeometry(16, top + 24, ClientWidth - 32, FieldHeight);
  return field;
}

}  // namespace

TPasswordPromptForm::TPasswordPromptForm(const std::string& caption, const std::string& prompt,
                                         const std::string& confirmPrompt, bool twoFields, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("frmPasswordPrompt"));
  setWindowTitle(Qs(caption));
  setFont(UiPointFont(10));
  const int clientHeight = twoFields ? 188 : 140;
  setFixedSize(ClientWidth, clientHeight);

  edtPassword = AddField(this, "lblPassword", "edtPassword", prompt, 18);
  if (twoFields) edtConfirm = AddField(this, "lblConfirm", "edtConfirm", confirmPrompt, 78);

  auto* ok = new QPushButton(QStringLiteral("Tamam"), this);
  ok->setObjectName(QStringLiteral("btnOK"));
  ok->setGeometry(ClientWidth - 208, clientHeight - 42, ButtonWidth, ButtonHeight);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* cancel = new QPushButton(QStringLiteral("İptal"), this);
  cancel->setObjectName(QStringLiteral("btnCancel"));
  cancel->setGeometry(ClientWidth - 108, clientHeight - 42, ButtonWidth, ButtonHeight);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  // The fields first, then the buttons; field 1 starts with the focus.
  QWidget::setTabOrder(edtPassword, edtConfirm != nullptr ? static_cast<QWidget*>(edtConfirm) : ok);
  if (edtConfirm != nullptr) QWidget::setTabOrder(edtConfirm, ok);
  QWidget::setTabOrder(ok, cancel);
  edtPassword->setFocus();
}

std::string TPasswordPromptForm::Password() const { return Std(edtPassword->text()); }

std::string TPasswordPromptForm::Confirmation() const {
  return edtConfirm != nullptr ? Std(edtConfirm->text()) : std::string();
}

bool ShowPasswordPrompt(const std::string& caption, const std::string& prompt, const std::string& confirmPrompt,
                        bool twoFields, std::string& password) {
  // 1. Nothing is handed back unless every check passes.
  password.clear();
  std::string first;
  std::string second;
  {
    TPasswordPromptForm form(caption, prompt, confirmPrompt, twoFields);
    // 2. Closed without "Tamam".
    if (form.exec() != QDialog::Accepted) return false;
    first = form.Password();
    second = form.Confirmation();
  }
  // 3., 4. The prompt is closed before the warning shows.
  if (Trim(first).empty()) {
    ShowKindMessage("Şifre boş olamaz!", amWarning);
    return false;
  }
  if (twoFields && first != second) {
    ShowKindMessage("Şifreler eşleşmiyor!", amWarning);
    return false;
  }
  // 5. Exactly as typed: spaces are part of a password.
  password = first;
  return true;
}

bool PromptPassword(const std::string& caption, const std::string& prompt, std::string& password) {
  return ShowPasswordPrompt(caption, prompt, std::string(), false, password);
}

bool PromptNewPassword(const std::string& caption, const std::string& prompt, const std::string& confirmPrompt,
                       std::string& password) {
  return ShowPasswordPrompt(caption, prompt, confirmPrompt, true, password);
}

}  // namespace velkor
