#include "ui/LoginForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

#include "ui/RecoveryDialogForm.h"
#include "ui/UiStyle.h"

namespace velkor {

namespace {

constexpr int ClientWidth = 445;
constexpr int ClientHeight = 372;
constexpr int TopHeight = 120;
constexpr int Margin = 24;

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text = {}) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->setTextFormat(Qt::PlainText);
  return label;
}

void Paint(QWidget* widget, QColor background) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, background);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

// The buttons' symbols come from a font that has them; the text stays in the window's font.
QFont ButtonFont() {
  QFont font = UiPointFont(10);
  font.setFamilies({QStringLiteral("Segoe UI"), QStringLiteral("Cantarell"), QStringLiteral("Segoe UI Emoji"),
                    QStringLiteral("Symbola")});
  return font;
}

}  // namespace

TfrmLogin::TfrmLogin(TLoginGate& gate, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      FGate(gate) {
  setObjectName(QStringLiteral("frmLogin"));
  setWindowTitle(QStringLiteral("Velkor - Profesyonel Yedekleme Çözümü"));
  setFixedSize(ClientWidth, ClientHeight);
  setFont(UiPointFont(10));

  pnlTop = new QWidget(this);
  pnlTop->setObjectName(QStringLiteral("pnlTop"));
  pnlTop->setGeometry(0, 0, ClientWidth, TopHeight);
  Paint(pnlTop, Qt::black);
  imgLogo = NewLabel(pnlTop, "imgLogo");
  imgLogo->setGeometry(0, 0, ClientWidth, TopHeight);
  imgLogo->setAlignment(Qt::AlignCenter);
  imgLogo->setPixmap(QPixmap(QStringLiteral(":/velkor/logo.png"))
                         .scaled(ClientWidth - 20, TopHeight - 8, Qt::KeepAspectRatio, Qt::SmoothTransformation));

  pnlMain = new QWidget(this);
  pnlMain->setObjectName(QStringLiteral("pnlMain"));
  pnlMain->setGeometry(0, TopHeight, ClientWidth, ClientHeight - TopHeight);
  Paint(pnlMain, Qt::white);
  const int width = ClientWidth - 2 * Margin;
  lblTitle = NewLabel(pnlMain, "lblTitle", QStringLiteral("Velkor"));
  lblTitle->setFont(UiFont(18, QFont::Bold));
  lblTitle->setStyleSheet(QStringLiteral("color: #182838;"));
  lblTitle->setGeometry(Margin, 8, width, 26);
  lblSubtitle = NewLabel(pnlMain, "lblSubtitle", QStringLiteral("Lütfen kullanıcı bilgilerinizi giriniz"));
  lblSubtitle->hide();
  lblUsername = NewLabel(pnlMain, "lblUsername", QStringLiteral("Kullanıcı Adı"));
  lblUsername->setGeometry(Margin, 38, width, 18);
  edtUsername = new QLineEdit(pnlMain);
  edtUsername->setObjectName(QStringLiteral("edtUsername"));
  edtUsername->setPlaceholderText(QStringLiteral("Kullanıcı adınızı giriniz..."));
  edtUsername->setGeometry(Margin, 57, width, 28);
  lblPassword = NewLabel(pnlMain, "lblPassword", QStringLiteral("Şifre"));
  lblPassword->setGeometry(Margin, 92, width, 18);
  edtPassword = new QLineEdit(pnlMain);
  edtPassword->setObjectName(QStringLiteral("edtPassword"));
  edtPassword->setPlaceholderText(QStringLiteral("Şifrenizi giriniz..."));
  edtPassword->setGeometry(Margin, 111, width, 28);
  chkRememberMe = new QCheckBox(QStringLiteral("Beni Hatırla"), pnlMain);
  chkRememberMe->setObjectName(QStringLiteral("chkRememberMe"));
  chkRememberMe->setGeometry(Margin, 146, 170, 22);
  btnLogin = new QPushButton(QStringLiteral("✅ Giriş"), pnlMain);
  btnLogin->setObjectName(QStringLiteral("btnLogin"));
  btnLogin->setFont(ButtonFont());
  btnLogin->setDefault(true);
  btnLogin->setGeometry(ClientWidth - Margin - 220, 150, 105, 34);
  connect(btnLogin, &QPushButton::clicked, this, &TfrmLogin::btnLoginClick);
  btnCancel = new QPushButton(QStringLiteral("❌ İptal"), pnlMain);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnCancel->setFont(ButtonFont());
  btnCancel->setGeometry(ClientWidth - Margin - 105, 150, 105, 34);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  lblAttempts = NewLabel(pnlMain, "lblAttempts");
  lblAttempts->setGeometry(Margin, 218, width, 22);

  edtUsername->installEventFilter(this);
  edtPassword->installEventFilter(this);
  FormCreate();
}

void TfrmLogin::FormCreate() {
  edtPassword->setEchoMode(QLineEdit::Password);
  edtPassword->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
  lblAttempts->clear();
  // At the left edge of the password field, 8 pixels below the remember-me box.
  lblForgotPassword = NewLabel(pnlMain, "lblForgotPassword", QStringLiteral("Bilgilerimi Unuttum?"));
  lblForgotPassword->setGeometry(edtPassword->x(), chkRememberMe->geometry().bottom() + 1 + 8, 170, 20);
  lblForgotPassword->setStyleSheet(QStringLiteral("color: #0066CC; text-decoration: underline;"));
  lblForgotPassword->setCursor(Qt::PointingHandCursor);
  lblForgotPassword->installEventFilter(this);

  const TLoginFormStart start = FGate.FormCreate();
  if (start.RememberMe) {
    edtUsername->setText(Qs(start.Username));
    chkRememberMe->setChecked(true);
  }
  Focus(start.Focus);
}

bool TfrmLogin::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lblForgotPassword && event->type() == QEvent::MouseButtonRelease) {
    lblForgotPasswordClick();
    return true;
  }
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      // Consumed, so the default button does not also take it.
      if (watched == edtUsername) Focus(lfPassword);
      if (watched == edtPassword) btnLoginClick();
      if (watched == edtUsername || watched == edtPassword) return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmLogin::btnLoginClick() {
  const TLoginFormUpdate update =
      FGate.LoginClick(Std(edtUsername->text()), Std(edtPassword->text()), chkRememberMe->isChecked());
  Apply(update);
  if (update.Close) accept();
}

void TfrmLogin::lblForgotPasswordClick() { Apply(FGate.ForgotPasswordClick()); }

void TfrmLogin::Apply(const TLoginFormUpdate& update) {
  if (update.Username) edtUsername->setText(Qs(*update.Username));
  if (update.AttemptsText) {
    lblAttempts->setText(Qs(*update.AttemptsText));
    lblAttempts->setStyleSheet(update.AttemptsInRed ? QStringLiteral("color: #FF0000;") : QString());
  }
  if (update.ClearPassword) edtPassword->clear();
  if (update.Focus) Focus(*update.Focus);
}

void TfrmLogin::Focus(TLoginFocus focus) { (focus == lfPassword ? edtPassword : edtUsername)->setFocus(); }

bool TQtLoginDialogs::ShowLoginForm() {
  TfrmLogin form(*FGate);
  return form.exec() == QDialog::Accepted;
}

bool TQtLoginDialogs::ExecuteResetWithSecurity(const std::string& question, const std::string& currentUsername,
                                               std::string& newPassword, std::string& answer) {
  return TfrmRecoveryDialog::ExecuteResetWithSecurity(QApplication::activeModalWidget(), FPrompts, question,
                                                      newPassword, answer, currentUsername);
}

bool TQtLoginDialogs::ExecuteEmergencyReset(std::string& newUsername, std::string& newPassword) {
  return TfrmRecoveryDialog::ExecuteEmergencyReset(QApplication::activeModalWidget(), FPrompts, newUsername,
                                                   newPassword);
}

// Without owner: it is also offered after the first-run setup, before any form is open.
bool TQtLoginDialogs::ExecuteSetupSecurityQuestion(std::string& question, std::string& answer) {
  return TfrmRecoveryDialog::ExecuteSetupSecurityQuestion(nullptr, FPrompts, question, answer);
}

TWindowLogin::TWindowLogin(IAppPrompts& prompts, IClock& clock, const std::filesystem::path& registryFile)
    : FAuth(registryFile.empty() ? TAuthManager() : TAuthManager(registryFile)),
      FDialogs(prompts),
      FGate(FAuth, prompts, clock, FDialogs) {
  FDialogs.SetGate(&FGate);
}

}  // namespace velkor
