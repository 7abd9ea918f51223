#include "notify/EmailSettings.h"

#include <charconv>

#include "notify/EmailReports.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

std::optional<int32_t> ParsePort(const std::string& text) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  int32_t value = 0;
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last || first == last) return std::nullopt;
  return value;
}

}  // namespace

TEmailSettingsFields FieldsFromNotifier(const TEmailNotifier& notifier) {
  const TSMTPSettings& s = notifier.Settings();
  return {s.Server,   std::to_string(s.Port), s.UseTLS, s.UseSSL, s.Username, s.Password, s.FromEmail,
          s.FromName, notifier.Recipients()};
}

std::optional<TEmailSettingsProblem> AddRecipientField(std::vector<std::string>& recipients, const std::string& typed) {
  const std::string address = Trim(typed);
  if (address.empty()) return TEmailSettingsProblem{"Lütfen e-posta adresi girin!", efNewRecipient};
  if (address.find('@') == std::string::npos) return TEmailSettingsProblem{"Geçersiz e-posta adresi!", efNewRecipient};
  for (const std::string& listed : recipients)
    if (SameText(listed, address)) return TEmailSettingsProblem{"Bu e-posta adresi zaten listede!", efNewRecipient};
  recipients.push_back(address);
  return std::nullopt;
}

std::optional<TEmailSettingsProblem> CheckEmailSettings(const TEmailSettingsFields& fields) {
  if (Trim(fields.Server).empty()) return TEmailSettingsProblem{"SMTP sunucusu boş olamaz!", efServer};
  const std::optional<int32_t> port = ParsePort(fields.Port);
  if (!port || *port <= 0) return TEmailSettingsProblem{"Geçersiz port numarası!", efPort};
  if (Trim(fields.FromEmail).empty()) return TEmailSettingsProblem{"Gönderen e-posta adresi boş olamaz!", efFromEmail};
  return std::nullopt;
}

TSMTPSettings SettingsFromFields(const TEmailSettingsFields& fields) {
  TSMTPSettings settings;
  settings.Server = fields.Server;
  settings.Port = ParsePort(fields.Port).value_or(587);
  settings.Username = fields.Username;
  settings.Password = fields.Password;
  settings.UseSSL = fields.UseSSL;
  settings.UseTLS = fields.UseTLS;
  settings.FromEmail = fields.FromEmail;
  settings.FromName = fields.FromName;
  return settings;
}

void ApplyEmailSettings(TEmailNotifier& notifier, const TEmailSettingsFields& fields) {
  notifier.SetSettings(SettingsFromFields(fields));
  notifier.ClearRecipients();
  for (const std::string& recipient : fields.Recipients) notifier.AddRecipient(recipient);
  notifier.SaveSettings();
}

TTestMailOutcome SendTestMail(const TEmailSettingsFields& fields, TDateTime now, const TSmtpTimeouts& timeouts) {
  if (fields.Recipients.empty()) return {false, "Test için en az bir alıcı e-posta adresi ekleyin!"};
  TEmailNotifier test;
  test.SetSettings(SettingsFromFields(fields));
  test.SetTimeouts(timeouts);
  test.AddRecipient(fields.Recipients.front());
  try {
    test.SendNotification(TestMailSubject, BuildTestMailHtml(now), std::string(), true);
  } catch (const std::exception& e) {
    return {false, std::string("Test e-postası gönderilemedi!\r\n\r\nHata: ") + e.what()};
  }
  return {true, "Test e-postası başarıyla gönderildi!\r\nAlıcı: " + fields.Recipients.front()};
}

}  // namespace velkor
