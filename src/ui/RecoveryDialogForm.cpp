#include "ui/RecoveryDialogForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/UiStyle.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr int ClientWidth = 484;
constexpr int ClientHeight = 404;
constexpr int Margin = 24;
constexpr int TopHeight = 84;

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text = {}) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->setTextFormat(Qt::PlainText);
  return label;
}

QLineEdit* NewField(QWidget* parent, const char* name, bool masked) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(QLatin1String(name));
  if (masked) {
    field->setEchoMode(QLineEdit::Password);
    field->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
  }
  return field;
}

void Paint(QWidget* widget, QColor background) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, background);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

}  // namespace

TfrmRecoveryDialog::TfrmRecoveryDialog(TRecoveryDialogMode mode, IAppPrompts& prompts, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      FPrompts(prompts) {
  setObjectName(QStringLiteral("frmRecoveryDialog"));
  setWindowTitle(QStringLiteral("Kurtarma"));
  setFixedSize(ClientWidth, ClientHeight);
  setFont(UiPointFont(10));

  pnlTop = new QWidget(this);
  pnlTop->setObjectName(QStringLiteral("pnlTop"));
  pnlTop->setGeometry(0, 0, ClientWidth, TopHeight);
  Paint(pnlTop, QColor(24, 40, 60));
  lblTitle = NewLabel(pnlTop, "lblTitle");
  lblTitle->setFont(UiFont(20, QFont::Bold));
  lblTitle->setStyleSheet(QStringLiteral("color: #FFFFFF;"));
  lblTitle->setGeometry(Margin, 12, ClientWidth - 2 * Margin, 30);
  lblSubtitle = NewLabel(pnlTop, "lblSubtitle");
  lblSubtitle->setStyleSheet(QStringLiteral("color: #A9C4E0;"));
  lblSubtitle->setGeometry(Margin, 46, ClientWidth - 2 * Margin, 24);

  pnlMain = new QWidget(this);
  pnlMain->setObjectName(QStringLiteral("pnlMain"));
  pnlMain->setGeometry(0, TopHeight, ClientWidth, ClientHeight - TopHeight);
  Paint(pnlMain, Qt::white);
  lblInfo = NewLabel(pnlMain, "lblInfo");
  lblInfo->setWordWrap(true);
  lblInfo->setStyleSheet(QStringLiteral("color: #54656B;"));
  lblQuestionCaption = NewLabel(pnlMain, "lblQuestionCaption", QStringLiteral("Güvenlik Sorusu"));
  lblQuestionValue = NewLabel(pnlMain, "lblQuestionValue");
  lblQuestionValue->setFont(UiPointFont(10));
  lblQuestionValue->setStyleSheet(QStringLiteral("font-weight: bold; color: #1D6A95;"));
  lblUsername = NewLabel(pnlMain, "lblUsername", QStringLiteral("Yeni Kullanıcı Adı"));
  edtUsername = NewField(pnlMain, "edtUsername", false);
  lblAnswer = NewLabel(pnlMain, "lblAnswer", QStringLiteral("Cevap"));
  edtAnswer = NewField(pnlMain, "edtAnswer", false);
  lblQuestion = NewLabel(pnlMain, "lblQuestion", QStringLiteral("Güvenlik Sorusu"));
  edtQuestion = NewField(pnlMain, "edtQuestion", false);
  lblPassword = NewLabel(pnlMain, "lblPassword");
  edtPassword = NewField(pnlMain, "edtPassword", true);
  lblConfirm = NewLabel(pnlMain, "lblConfirm");
  edtConfirm = NewField(pnlMain, "edtConfirm", true);

  btnOK = new QPushButton(pnlMain);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &TfrmRecoveryDialog::btnOKClick);
  btnCancel = new QPushButton(QStringLiteral("İptal"), pnlMain);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  SetMode(mode);
}

void TfrmRecoveryDialog::SetMode(TRecoveryDialogMode mode) {
  FMode = mode;
  ApplyMode();
}

void TfrmRecoveryDialog::ApplyMode() {
  struct TModeTexts {
    const char* Title;
    const char* Subtitle;
    const char* Info;
    const char* Password;
    const char* Confirm;
    const char* Ok;
  };
  static const TModeTexts Texts[] = {
      {"Şifre Sıfırlama", "Güvenlik sorusunu doğrulayın ve yeni şifre belirleyin",
       "Kullanıcı adınız hatırlatılacak ve şifreniz tek ekranda yenilenecek.", "Yeni Şifre", "Yeni Şifre Tekrar",
       "Şifreyi Sıfırla"},
      {"Acil Sıfırlama", "Yeni kullanıcı bilgileri ile sistemi yeniden başlatın",
       "Bu işlem mevcut kullanıcı giriş bilgilerini siler. Görevler ve ayarlar korunur.", "Yeni Şifre",
       "Yeni Şifre Tekrar", "Yeni Kullanıcı Oluştur"},
      {"Güvenlik Sorusu", "Hesap kurtarma için soru ve cevap tanımlayın",
       "Bu alanı doldurmanız, şifrenizi unutmanız durumunda hesabı kurtarmanızı kolaylaştırır.", "", "Cevap Tekrar",
       "Kaydet"},
  };
  const TModeTexts& texts = Texts[FMode];
  setWindowTitle(QString::fromUtf8(texts.Title));
  lblTitle->setText(QString::fromUtf8(texts.Title));
  lblSubtitle->setText(QString::fromUtf8(texts.Subtitle));
  lblInfo->setText(QString::fromUtf8(texts.Info));
  lblPassword->setText(QString::fromUtf8(texts.Password));
  lblConfirm->setText(QString::fromUtf8(texts.Confirm));
  btnOK->setText(QString::fromUtf8(texts.Ok));

  // The rows of the mode, top to bottom.
  const int width = ClientWidth - 2 * Margin;
  lblInfo->setGeometry(Margin, 10, width, 40);
  int top = 58;
  const auto row = [&](QLabel* label, QWidget* field, bool shown) {
    label->setVisible(shown);
    field->setVisible(shown);
    if (!shown) return;
    label->setGeometry(Margin, top, width, 18);
    field->setGeometry(Margin, top + 19, width, 28);
    top += 52;
  };
  row(lblQuestionCaption, lblQuestionValue, FMode == rdResetWithSecurity);
  row(lblUsername, edtUsername, FMode == rdEmergencyReset);
  row(lblQuestion, edtQuestion, FMode == rdSetupSecurityQuestion);
  row(lblAnswer, edtAnswer, FMode != rdEmergencyReset);
  row(lblPassword, edtPassword, FMode != rdSetupSecurityQuestion);
  row(lblConfirm, edtConfirm, true);

  const int buttonTop = pnlMain->height() - 44;
  btnCancel->setGeometry(ClientWidth - Margin - 110, buttonTop, 110, 32);
  const int okWidth = FMode == rdEmergencyReset ? 190 : 150;
  btnOK->setGeometry(btnCancel->x() - 10 - okWidth, buttonTop, okWidth, 32);
  // The first field of the mode starts with the focus.
  (FMode == rdEmergencyReset ? edtUsername : FMode == rdSetupSecurityQuestion ? edtQuestion : edtAnswer)->setFocus();
}

TRecoveryInput TfrmRecoveryDialog::Input() const {
  return {Std(edtUsername->text()), Std(edtAnswer->text()), Std(edtQuestion->text()), Std(edtPassword->text()),
          Std(edtConfirm->text())};
}

void TfrmRecoveryDialog::btnOKClick() {
  if (const std::optional<std::string> refusal = ValidateRecoveryInput(FMode, Input())) {
    FPrompts.ShowMessage(*refusal, amError);
    return;
  }
  accept();
}

bool TfrmRecoveryDialog::ExecuteResetWithSecurity(QWidget* owner, IAppPrompts& prompts,
                                                  const std::string& securityQuestion, std::string& newPassword,
                                                  std::string& answer, const std::string& currentUsername) {
  TfrmRecoveryDialog dialog(rdResetWithSecurity, prompts, owner);
  dialog.lblQuestionValue->setText(Qs(securityQuestion));
  dialog.edtUsername->setText(Qs(currentUsername));
  if (dialog.exec() != QDialog::Accepted) return false;
  const TRecoveryInput input = dialog.Input();
  answer = Trim(input.Answer);
  newPassword = input.Password;
  return true;
}

bool TfrmRecoveryDialog::ExecuteEmergencyReset(QWidget* owner, IAppPrompts& prompts, std::string& newUsername,
                                               std::string& newPassword) {
  TfrmRecoveryDialog dialog(rdEmergencyReset, prompts, owner);
  dialog.edtUsername->setText(QStringLiteral("admin"));
  if (dialog.exec() != QDialog::Accepted) return false;
  const TRecoveryInput input = dialog.Input();
  newUsername = Trim(input.Username);
  newPassword = input.Password;
  return true;
}

bool TfrmRecoveryDialog::ExecuteSetupSecurityQuestion(QWidget* owner, IAppPrompts& prompts, std::string& question,
                                                      std::string& answer) {
  TfrmRecoveryDialog dialog(rdSetupSecurityQuestion, prompts, owner);
  if (dialog.exec() != QDialog::Accepted) return false;
  const TRecoveryInput input = dialog.Input();
  question = Trim(input.Question);
  answer = Trim(input.Answer);
  return true;
}

}  // namespace velkor
