#pragma once
// The e-mail settings dialog: the SMTP server, the sender and the recipient list of a notifier, checked and saved
// through it, and a test mail. The checks and the save are notify/EmailSettings, shared with velkor-cli; the test
// mail is sent on a thread of its own while the dialog waits, disabled. GUI thread only.
#include <QDialog>
#include <filesystem>

#include "app/BackgroundJob.h"
#include "app/IAppPrompts.h"
#include "app/IPostRunSteps.h"
#include "notify/EmailSettings.h"
#include "platform/Clock.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace velkor {

struct TEmailSettingsServices {
  IAppPrompts& Prompts;
  IClock& Clock;  // the test mail's time
  IMainThread& MainThread;
  TSmtpTimeouts Timeouts;  // of the test mail
};

inline constexpr char EmailSettingsSavedLogLine[] = "E-posta ayarları güncellendi.";

class TfrmEmailSettings final : public QDialog {
  Q_OBJECT
public:
  TfrmEmailSettings(QWidget* owner, const TEmailSettingsServices& services);

  // Edits `notifier` modally; true exactly when "Tamam" saved it.
  static bool ShowSettings(QWidget* owner, const TEmailSettingsServices& services, TEmailNotifier& notifier);

  void btnAddRecipientClick();
  void btnRemoveRecipientClick();
  void btnOKClick();
  void btnCancelClick();
  void btnTestClick();
  // The close box and Escape cancel, except while the test mail is out.
  void reject() override;

  bool TestMailBusy() const { return FTestMail.Busy(); }

private:
  void FormCreate();
  void LoadFields(const TEmailSettingsFields& fields);
  TEmailSettingsFields Fields() const;
  void Show(const TEmailSettingsProblem& problem);

  TEmailSettingsServices FServices;
  TEmailNotifier* FEmailNotifier = nullptr;
  TBackgroundJob FTestMail;
  QGroupBox* grpServer;
  QLineEdit* edtServer;
  QLineEdit* edtPort;
  QCheckBox* chkUseTLS;
  QCheckBox* chkUseSSL;
  QLineEdit* edtUsername;
  QLineEdit* edtPassword;
  QGroupBox* grpSender;
  QLineEdit* edtFromEmail;
  QLineEdit* edtFromName;
  QGroupBox* grpRecipients;
  QLineEdit* edtNewRecipient;
  QPushButton* btnAddRecipient;
  QListWidget* lstRecipients;
  QPushButton* btnRemoveRecipient;
  QPushButton* btnTest;
  QPushButton* btnCancel;
  QPushButton* btnOK;
};

// The main window's "E-posta Ayarları": the stored settings in the dialog, and the log line after a save.
void btnEmailSettingsClick(QWidget* owner, const TEmailSettingsServices& services, const TAddLog& addLog,
                           const std::filesystem::path& registryFile = {});

}  // namespace velkor
