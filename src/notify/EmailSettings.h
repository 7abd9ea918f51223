#pragma once
// What the e-mail settings dialog decides, without the dialog: its fields as typed, the Ekle button's checks, the
// Tamam button's checks and save, and the Test button's mail. The window's dialog and velkor-cli email-settings
// both go through these, so they refuse and accept the same things with the same words.
#include <optional>
#include <string>
#include <vector>

#include "notify/EmailNotifier.h"
#include "util/DateTime.h"

namespace velkor {

struct TEmailSettingsFields {
  std::string Server = DefaultSmtpServer;
  std::string Port = "587";
  bool UseTLS = true;
  bool UseSSL = false;
  std::string Username;
  std::string Password;
  std::string FromEmail;
  std::string FromName = "QeltBackup";
  std::vector<std::string> Recipients;
};

enum TEmailSettingsField : int { efNone, efServer, efPort, efFromEmail, efNewRecipient };

struct TEmailSettingsProblem {
  std::string Message;
  TEmailSettingsField Field = efNone;  // the field that gets the focus
};

inline constexpr char EmptyRecipientListQuestion[] = "Alıcı listesi boş! Devam etmek istiyor musunuz?";

// The notifier's values as the dialog shows them (the port as a decimal number, the password in plain text).
TEmailSettingsFields FieldsFromNotifier(const TEmailNotifier& notifier);

// The Ekle button: appends the trimmed address, or says why not.
std::optional<TEmailSettingsProblem> AddRecipientField(std::vector<std::string>& recipients, const std::string& typed);

// The Tamam button's checks before its question, in order. An empty recipient list is the caller's question
// (EmptyRecipientListQuestion), asked only when these pass.
std::optional<TEmailSettingsProblem> CheckEmailSettings(const TEmailSettingsFields& fields);
// The texts as typed, the port as an integer (587 when it cannot be read), the two boxes.
TSMTPSettings SettingsFromFields(const TEmailSettingsFields& fields);
// Assigns the settings, replaces the recipients in order and saves. A write error reaches the caller.
void ApplyEmailSettings(TEmailNotifier& notifier, const TEmailSettingsFields& fields);

// The Test button: the test mail to the first listed address on a separate notifier with the fields as typed,
// unchecked; nothing is saved. Returns the message to show.
struct TTestMailOutcome {
  bool Sent = false;
  std::string Message;
};
TTestMailOutcome SendTestMail(const TEmailSettingsFields& fields, TDateTime now, const TSmtpTimeouts& timeouts = {});

}  // namespace velkor
