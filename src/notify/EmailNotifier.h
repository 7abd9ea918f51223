#pragma once
// The one component that talks SMTP: the SMTP settings and recipient list, kept in the user's registry under
// "Software\QeltBackup\Email", and one blocking send of a message to every recipient.
//
// A notifier lives for one operation: create, LoadSettings (or fill the settings), send, free. It keeps no
// connection; each SendNotification opens and closes its own, over libcurl: plain text, implicit TLS (UseSSL
// alone) or STARTTLS when the server offers it (UseTLS, which wins), TLS 1.2 at least, and AUTH LOGIN only when a
// user name is set and the server offers LOGIN. The server's certificate is not verified: company servers with
// self-signed certificates rely on that. One notifier is used by one thread; several may exist at once (the
// registry key is their only shared store).
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velkor {

struct TSMTPSettings {
  std::string Server;
  int32_t Port = 0;
  std::string Username;  // empty: no authentication is attempted
  std::string Password;  // plain in memory only; stored protected
  bool UseSSL = false;   // TLS from the first byte (implicit TLS)
  bool UseTLS = false;   // STARTTLS upgrade of a plain connection; wins over UseSSL
  std::string FromEmail;
  std::string FromName;
  bool operator==(const TSMTPSettings&) const = default;
};

// How long a send may wait for the server. Not stored: a server that accepts the connection and then says nothing
// must not hold a notification thread, the history mail or the settings test for ever.
struct TSmtpTimeouts {
  int ConnectSeconds = 30;   // TCP connection and TLS handshake
  int ResponseSeconds = 60;  // each reply of the server, and any stall while the message is sent
};

class TEmailNotifier {
public:
  TEmailNotifier();  // the user's own store (GetRegistryFile)
  explicit TEmailNotifier(std::filesystem::path registryFile);

  const TSMTPSettings& Settings() const { return FSettings; }
  void SetSettings(const TSMTPSettings& settings) { FSettings = settings; }
  const std::vector<std::string>& Recipients() const { return FRecipients; }
  // Whether finished runs are reported (velkor-cli email-settings --enable / --disable). Kept as "Enabled" = 0 only
  // while off, so a store that never turned it off holds exactly the values above.
  bool NotificationsEnabled() const { return FNotificationsEnabled; }
  void SetNotificationsEnabled(bool enabled) { FNotificationsEnabled = enabled; }
  const TSmtpTimeouts& Timeouts() const { return FTimeouts; }
  void SetTimeouts(const TSmtpTimeouts& timeouts) { FTimeouts = timeouts; }

  // Replaces settings and recipients with what the registry holds, value by value: a missing or mistyped value
  // stops the load there, leaving what was read and keeping the rest. A password in the older scrambled form is
  // rewritten protected (an error of that rewrite reaches the caller). Read errors are not reported.
  void LoadSettings();
  // Writes every value; recipient values beyond the count are left in place. A key that cannot be opened is not
  // reported; an error writing a value or protecting the password reaches the caller.
  void SaveSettings();

  // Ignores a blank address and one already listed (letter case ignored); otherwise appends it as given.
  void AddRecipient(const std::string& email);
  void RemoveRecipient(const std::string& email);
  void ClearRecipients();

  // Sends one message to every recipient. `attachment` is a file path or empty (a missing file is skipped).
  // Raises "Alıcı e-posta adresi belirtilmemiş!" or "SMTP sunucusu belirtilmemiş!" before any network activity;
  // every later failure as "E-posta gönderme hatası: " + what went wrong.
  void SendNotification(const std::string& subject, const std::string& body, const std::string& attachment,
                        bool isHtml);

private:
  TSMTPSettings FSettings;
  std::vector<std::string> FRecipients;
  bool FNotificationsEnabled = true;
  TSmtpTimeouts FTimeouts;
  std::string FRegistryPath = "Software\\QeltBackup\\Email";
  std::filesystem::path FRegistryFile;
};

// The server a fresh notifier and the settings dialog start with.
inline constexpr char DefaultSmtpServer[] = "smtp.gmail.com";

}  // namespace velkor
