#include "ui/EmailSettingsForm.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <memory>

#include "platform/AppPaths.h"
#include "ui/UiStyle.h"
#include "ui/WidgetHelpers.h"

namespace velkor {

namespace {

constexpr int ClientWidth = 498;
constexpr int ClientHeight = 613;
constexpr int GroupLeft = 12;
constexpr int GroupWidth = ClientWidth - 2 * GroupLeft;
constexpr int LabelLeft = 16;
constexpr int FieldLeft = 130;
constexpr int FieldWidth = GroupWidth - FieldLeft - 16;

QLineEdit* NewField(QWidget* parent, const char* name, const QString& hint, int left, int top, int width) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QLatin1String(name));
  edit->setPlaceholderText(hint);
  edit->setGeometry(left, top, width, 28);
  return edit;
}

void NewFieldLabel(QWidget* parent, const char* name, const QString& caption, int top) {
  NewLabel(parent, name, caption, UiFont(12))->setGeometry(LabelLeft, top + 4, FieldLeft - LabelLeft - 4, 20);
}

QPushButton* NewButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  button->setAutoDefault(false);
  button->setGeometry(geometry);
  return button;
}

}  // namespace

TfrmEmailSettings::TfrmEmailSettings(QWidget* owner, const TEmailSettingsServices& services)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      FServices(services),
      FTestMail(services.MainThread) {
  setObjectName(QStringLiteral("frmEmailSettings"));
  setWindowTitle(QStringLiteral("E-posta Ayarları"));
  setFixedSize(ClientWidth, ClientHeight);
  setFont(UiFont(12));

  grpServer = new QGroupBox(QStringLiteral(" SMTP Sunucu Ayarları "), this);
  grpServer->setObjectName(QStringLiteral("grpServer"));
  grpServer->setGeometry(GroupLeft, 10, GroupWidth, 184);
  NewFieldLabel(grpServer, "lblServer", QStringLiteral("Sunucu:"), 30);
  edtServer = NewField(grpServer, "edtServer", QString::fromUtf8(DefaultSmtpServer), FieldLeft, 30, FieldWidth);
  NewFieldLabel(grpServer, "lblPort", QStringLiteral("Port:"), 66);
  edtPort = NewField(grpServer, "edtPort", QString(), FieldLeft, 66, 80);
  chkUseTLS = new QCheckBox(QStringLiteral("TLS Kullan"), grpServer);
  chkUseTLS->setObjectName(QStringLiteral("chkUseTLS"));
  chkUseTLS->setGeometry(FieldLeft + 100, 68, 110, 24);
  chkUseSSL = new QCheckBox(QStringLiteral("SSL Kullan"), grpServer);
  chkUseSSL->setObjectName(QStringLiteral("chkUseSSL"));
  chkUseSSL->setGeometry(FieldLeft + 215, 68, 110, 24);
  NewFieldLabel(grpServer, "lblUsername", QStringLiteral("Kullanıcı Adı:"), 102);
  edtUsername = NewField(grpServer, "edtUsername", QStringLiteral("ornek@gmail.com"), FieldLeft, 102, FieldWidth);
  NewFieldLabel(grpServer, "lblPassword", QStringLiteral("Şifre:"), 138);
  edtPassword = NewField(grpServer, "edtPassword", QStringLiteral("Şifrenizi girin"), FieldLeft, 138, FieldWidth);
  edtPassword->setEchoMode(QLineEdit::Password);
  edtPassword->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));

  grpSender = new QGroupBox(QStringLiteral(" Gönderen Bilgileri "), this);
  grpSender->setObjectName(QStringLiteral("grpSender"));
  grpSender->setGeometry(GroupLeft, 204, GroupWidth, 112);
  NewFieldLabel(grpSender, "lblFromEmail", QStringLiteral("E-posta Adresi:"), 30);
  edtFromEmail =
      NewField(grpSender, "edtFromEmail", QStringLiteral("yedekleme@sirketiniz.com"), FieldLeft, 30, FieldWidth);
  NewFieldLabel(grpSender, "lblFromName", QStringLiteral("Gönderen:"), 66);
  edtFromName = NewField(grpSender, "edtFromName", QString(), FieldLeft, 66, FieldWidth);

  grpRecipients = new QGroupBox(QStringLiteral(" Alıcılar "), this);
  grpRecipients->setObjectName(QStringLiteral("grpRecipients"));
  grpRecipients->setGeometry(GroupLeft, 326, GroupWidth, 224);
  const int listWidth = GroupWidth - 2 * LabelLeft - 112;
  edtNewRecipient = NewField(grpRecipients, "edtNewRecipient", QStringLiteral("e-posta"), LabelLeft, 30, listWidth);
  btnAddRecipient = NewButton(grpRecipients, "btnAddRecipient", QStringLiteral("Ekle"),
                              QRect(GroupWidth - LabelLeft - 104, 29, 104, 30));
  lstRecipients = new QListWidget(grpRecipients);
  lstRecipients->setObjectName(QStringLiteral("lstRecipients"));
  lstRecipients->setGeometry(LabelLeft, 66, listWidth, 142);
  btnRemoveRecipient = NewButton(grpRecipients, "btnRemoveRecipient", QStringLiteral("Çıkar"),
                                 QRect(GroupWidth - LabelLeft - 104, 66, 104, 30));

  const int buttonTop = ClientHeight - 50;
  btnTest = NewButton(this, "btnTest", QStringLiteral("Test"), QRect(GroupLeft, buttonTop, 110, 34));
  btnCancel = NewButton(this, "btnCancel", QStringLiteral("İptal"), QRect(ClientWidth - 250, buttonTop, 114, 34));
  btnOK = NewButton(this, "btnOK", QStringLiteral("Tamam"), QRect(ClientWidth - 124, buttonTop, 112, 34));
  btnOK->setDefault(true);

  connect(btnAddRecipient, &QPushButton::clicked, this, &TfrmEmailSettings::btnAddRecipientClick);
  connect(btnRemoveRecipient, &QPushButton::clicked, this, &TfrmEmailSettings::btnRemoveRecipientClick);
  connect(btnTest, &QPushButton::clicked, this, &TfrmEmailSettings::btnTestClick);
  connect(btnCancel, &QPushButton::clicked, this, &TfrmEmailSettings::btnCancelClick);
  connect(btnOK, &QPushButton::clicked, this, &TfrmEmailSettings::btnOKClick);
  FormCreate();
}

void TfrmEmailSettings::FormCreate() { LoadFields(TEmailSettingsFields()); }

void TfrmEmailSettings::LoadFields(const TEmailSettingsFields& fields) {
  edtServer->setText(Qs(fields.Server));
  edtPort->setText(Qs(fields.Port));
  chkUseTLS->setChecked(fields.UseTLS);
  chkUseSSL->setChecked(fields.UseSSL);
  edtUsername->setText(Qs(fields.Username));
  edtPassword->setText(Qs(fields.Password));
  edtFromEmail->setText(Qs(fields.FromEmail));
  edtFromName->setText(Qs(fields.FromName));
  lstRecipients->clear();
  for (const std::string& recipient : fields.Recipients) lstRecipients->addItem(Qs(recipient));
}

TEmailSettingsFields TfrmEmailSettings::Fields() const {
  TEmailSettingsFields fields{Std(edtServer->text()),    Std(edtPort->text()),     chkUseTLS->isChecked(),
                              chkUseSSL->isChecked(),    Std(edtUsername->text()), Std(edtPassword->text()),
                              Std(edtFromEmail->text()), Std(edtFromName->text()), {}};
  for (int i = 0; i < lstRecipients->count(); ++i) fields.Recipients.push_back(Std(lstRecipients->item(i)->text()));
  return fields;
}

void TfrmEmailSettings::Show(const TEmailSettingsProblem& problem) {
  ShowAutoMessage(FServices.Prompts, problem.Message);
  QLineEdit* field = problem.Field == efServer         ? edtServer
                     : problem.Field == efPort         ? edtPort
                     : problem.Field == efFromEmail    ? edtFromEmail
                     : problem.Field == efNewRecipient ? edtNewRecipient
                                                       : nullptr;
  if (field != nullptr) field->setFocus();
}

bool TfrmEmailSettings::ShowSettings(QWidget* owner, const TEmailSettingsServices& services, TEmailNotifier& notifier) {
  TfrmEmailSettings form(owner, services);
  form.FEmailNotifier = &notifier;
  form.LoadFields(FieldsFromNotifier(notifier));
  if (const QScreen* screen = form.screen()) form.move(screen->availableGeometry().center() - form.rect().center());
  return form.exec() == QDialog::Accepted;
}

void TfrmEmailSettings::btnAddRecipientClick() {
  std::vector<std::string> recipients = Fields().Recipients;
  if (const auto problem = AddRecipientField(recipients, Std(edtNewRecipient->text()))) {
    Show(*problem);
    return;
  }
  lstRecipients->addItem(Qs(recipients.back()));
  edtNewRecipient->clear();
  edtNewRecipient->setFocus();
}

void TfrmEmailSettings::btnRemoveRecipientClick() {
  QListWidgetItem* selected = lstRecipients->currentItem();
  if (selected == nullptr || !selected->isSelected()) {
    ShowAutoMessage(FServices.Prompts, "Lütfen silinecek e-posta adresini seçin!");
    return;
  }
  delete selected;
}

void TfrmEmailSettings::btnOKClick() {
  const TEmailSettingsFields fields = Fields();
  if (const auto problem = CheckEmailSettings(fields)) {
    Show(*problem);
    return;
  }
  if (fields.Recipients.empty() && !FServices.Prompts.AskQuestion(EmptyRecipientListQuestion, amWarning)) return;
  if (FEmailNotifier == nullptr) return;
  try {
    ApplyEmailSettings(*FEmailNotifier, fields);
  } catch (const std::exception& e) {
    // A value that could not be written: the dialog stays open with what was typed.
    FServices.Prompts.ShowMessage(e.what(), amError);
    return;
  }
  accept();
}

void TfrmEmailSettings::btnCancelClick() { reject(); }

void TfrmEmailSettings::reject() {
  if (!FTestMail.Busy()) QDialog::reject();
}

void TfrmEmailSettings::btnTestClick() {
  if (FTestMail.Busy()) return;
  const TEmailSettingsFields fields = Fields();
  if (fields.Recipients.empty()) {
    ShowAutoMessage(FServices.Prompts, "Test için en az bir alıcı e-posta adresi ekleyin!");
    return;
  }
  auto outcome = std::make_shared<TTestMailOutcome>();
  setEnabled(false);
  setCursor(Qt::WaitCursor);
  FTestMail.Start([fields, outcome, now = FServices.Clock.Now(),
                   timeouts = FServices.Timeouts] { *outcome = SendTestMail(fields, now, timeouts); },
                  [this, outcome](const std::string& error) {
                    unsetCursor();
                    setEnabled(true);
                    ShowAutoMessage(FServices.Prompts, error.empty() ? outcome->Message : error);
                  });
}

void btnEmailSettingsClick(QWidget* owner, const TEmailSettingsServices& services, const TAddLog& addLog,
                           const std::filesystem::path& registryFile) {
  TEmailNotifier notifier(registryFile.empty() ? GetRegistryFile() : registryFile);
  notifier.LoadSettings();
  if (TfrmEmailSettings::ShowSettings(owner, services, notifier) && addLog) addLog(EmailSettingsSavedLogLine);
}

}  // namespace velkor
