#include "notify/EmailNotifier.h"

#include <curl/curl.h>

#include <algorithm>
#include <mutex>
#include <optional>

#include "crypto/LegacyScramble.h"
#include "crypto/SecureStorage.h"
#include "notify/MailMessage.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr char ValueEnabled[] = "Enabled";
constexpr char SendErrorPrefix[] = "E-posta gönderme hatası: ";
// A stored count is the user's own, but a damaged one must not make a load append empty entries for ever.
constexpr int32_t MaxStoredRecipients = 10000;

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// What the server's EHLO replies offered; the last EHLO counts (after STARTTLS the server may offer more).
struct TServerOffer {
  bool LoginOffered = false;
};

void ParseReplyLine(std::string_view line, TServerOffer& offer) {
  if (line.size() < 4 || line.substr(0, 3) != "250" || (line[3] != '-' && line[3] != ' ')) return;
  const std::string words = UpperCaseAscii(line.substr(4));
  if (words.rfind("AUTH", 0) != 0 || words.size() < 5 || (words[4] != ' ' && words[4] != '=')) return;
  for (const std::string& mechanism : SplitString(words.substr(5), ' '))
    if (Trim(mechanism) == "LOGIN") offer.LoginOffered = true;
}

int DebugCallback(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  auto& offer = *static_cast<TServerOffer*>(user);
  const std::string_view text(data, size);
  if (type == CURLINFO_HEADER_OUT && StartsText("EHLO", text)) offer = TServerOffer();
  if (type != CURLINFO_HEADER_IN) return 0;
  for (const std::string& line : SplitString(text, '\n')) ParseReplyLine(Trim(line), offer);
  return 0;
}

struct TReadState {
  TMailMessageStream* Stream = nullptr;
  std::optional<std::string> Error;
};

size_t ReadCallback(char* buffer, size_t size, size_t count, void* user) {
  auto& state = *static_cast<TReadState*>(user);
  try {
    return state.Stream->Read(buffer, size * count);
  } catch (const std::exception& e) {
    state.Error = e.what();
    return CURL_READFUNC_ABORT;
  }
}

// The user's words for what went wrong, with libcurl's own detail after them.
std::string DescribeCurlError(CURLcode code, const char* detail) {
  std::string text;
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST: text = "Sunucu adı çözümlenemedi"; break;
    case CURLE_COULDNT_CONNECT: text = "Sunucuya bağlanılamadı"; break;
    case CURLE_OPERATION_TIMEDOUT: text = "Sunucu zamanında yanıt vermedi"; break;
    case CURLE_SSL_CONNECT_ERROR: text = "TLS bağlantısı kurulamadı"; break;
    case CURLE_USE_SSL_FAILED: text = "Sunucu TLS desteklemiyor"; break;
    case CURLE_LOGIN_DENIED: text = "Kimlik doğrulama reddedildi"; break;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING: text = "Sunucu bağlantısı kesildi"; break;
    case CURLE_WEIRD_SERVER_REPLY: text = "Sunucudan beklenmeyen yanıt alındı"; break;
    default: text = "SMTP işlemi başarısız oldu"; break;
  }
  const std::string more = Trim(detail != nullptr && *detail != '\0' ? detail : curl_easy_strerror(code));
  return more.empty() ? text : text + " (" + more + ")";
}

class TCurlHandle {
public:
  TCurlHandle() : FHandle(curl_easy_init()) {
    if (FHandle == nullptr) throw EVelkorError("SMTP bağlantısı hazırlanamadı");
  }
  ~TCurlHandle() {
    curl_slist_free_all(FRecipients);
    curl_easy_cleanup(FHandle);
  }
  TCurlHandle(const TCurlHandle&) = delete;
  TCurlHandle& operator=(const TCurlHandle&) = delete;

  CURL* Get() const { return FHandle; }
  void AddRecipient(const std::string& address) { FRecipients = curl_slist_append(FRecipients, address.c_str()); }
  curl_slist* Recipients() const { return FRecipients; }

private:
  CURL* FHandle;
  curl_slist* FRecipients = nullptr;
};

struct TSendOutcome {
  CURLcode Code = CURLE_OK;
  std::string Error;  // "" on success
  bool LoginOffered = false;
};

// One connection: connect, (STARTTLS), (AUTH LOGIN), MAIL, RCPT for each recipient, DATA, QUIT.
TSendOutcome SendOnce(const TSMTPSettings& settings, const TSmtpTimeouts& timeouts, const TMailMessage& message,
                      bool authenticate) {
  TMailMessageStream stream(message);
  TReadState readState{&stream, std::nullopt};
  TServerOffer offer;
  char errorBuffer[CURL_ERROR_SIZE] = {0};

  TCurlHandle curl;
  CURL* h = curl.Get();
  const bool implicitTls = settings.UseSSL && !settings.UseTLS;
  const std::string url =
      std::string(implicitTls ? "smtps://" : "smtp://") + settings.Server + ":" + std::to_string(settings.Port);
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeouts.ConnectSeconds));
  curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(timeouts.ResponseSeconds));
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeouts.ResponseSeconds));
  if (settings.UseSSL || settings.UseTLS) {
    // STARTTLS when the server announces it, without insisting; implicit TLS is TLS from the first byte anyway.
    if (settings.UseTLS) curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
    curl_easy_setopt(h, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
  }
  if (authenticate) {
    curl_easy_setopt(h, CURLOPT_USERNAME, settings.Username.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, settings.Password.c_str());
    curl_easy_setopt(h, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
  }
  // The replies are watched for the AUTH mechanisms the server offers.
  curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, DebugCallback);
  curl_easy_setopt(h, CURLOPT_DEBUGDATA, &offer);

  const std::string from = CleanAddress(settings.FromEmail);
  const std::string mailFrom = "<" + from + ">";
  curl_easy_setopt(h, CURLOPT_MAIL_FROM, mailFrom.c_str());
  for (const std::string& recipient : message.Recipients) curl.AddRecipient("<" + CleanAddress(recipient) + ">");
  curl_easy_setopt(h, CURLOPT_MAIL_RCPT, curl.Recipients());
  curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(h, CURLOPT_READFUNCTION, ReadCallback);
  curl_easy_setopt(h, CURLOPT_READDATA, &readState);

  TSendOutcome outcome;
  outcome.Code = curl_easy_perform(h);
  outcome.LoginOffered = offer.LoginOffered;
  if (readState.Error)
    outcome.Error = *readState.Error;
  else if (outcome.Code != CURLE_OK)
    outcome.Error = DescribeCurlError(outcome.Code, errorBuffer);
  return outcome;
}

}  // namespace

TEmailNotifier::TEmailNotifier() : TEmailNotifier(GetRegistryFile()) {}

TEmailNotifier::TEmailNotifier(std::filesystem::path registryFile) : FRegistryFile(std::move(registryFile)) {
  FSettings.Server = DefaultSmtpServer;
  FSettings.Port = 587;
  FSettings.UseSSL = false;
  FSettings.UseTLS = true;
  FSettings.FromName = "QeltBackup";
}

void TEmailNotifier::LoadSettings() {
  TRegistry registry(FRegistryFile);
  if (!registry.OpenKeyReadOnly(FRegistryPath)) return;
  std::string storedPassword;
  std::string password;
  try {
    FSettings.Server = registry.ReadString("Server");
    FSettings.Port = registry.ReadInteger("Port");
    FSettings.Username = registry.ReadString("Username");
    storedPassword = registry.ReadString("Password");
    try {
      if (storedPassword.empty())
        password.clear();
      else if (IsProtectedString(storedPassword))
        password = UnprotectString(storedPassword);
      else
        password = DecodeScrambledText(storedPassword);
    } catch (const std::exception&) {
      password.clear();
    }
    FSettings.Password = password;
    FSettings.UseSSL = registry.ReadBool("UseSSL");
    FSettings.UseTLS = registry.ReadBool("UseTLS");
    FSettings.FromEmail = registry.ReadString("FromEmail");
    FSettings.FromName = registry.ReadString("FromName");
    FRecipients.clear();
    const int32_t count = std::min(registry.ReadInteger("RecipientCount"), MaxStoredRecipients);
    for (int32_t i = 0; i < count; ++i) FRecipients.push_back(registry.ReadString("Recipient" + std::to_string(i)));
  } catch (const std::exception&) {
    // A missing or mistyped value ends the load here: what was read stays, the rest keeps its value.
  }
  // Outside the value-by-value order: missing or mistyped means on, as for every store written before it existed.
  FNotificationsEnabled =
      registry.GetDataType(ValueEnabled) != TRegDataType::rdInteger || registry.ReadBool(ValueEnabled);
  registry.CloseKey();
  // A scrambled password is converted on its first load.
  if (!storedPassword.empty() && !IsProtectedString(storedPassword) && !password.empty()) {
    if (registry.OpenKey(FRegistryPath, true)) registry.WriteString("Password", ProtectString(password));
  }
}

void TEmailNotifier::SaveSettings() {
  TRegistry registry(FRegistryFile);
  if (!registry.OpenKey(FRegistryPath, true)) return;
  registry.WriteString("Server", FSettings.Server);
  registry.WriteInteger("Port", FSettings.Port);
  registry.WriteString("Username", FSettings.Username);
  registry.WriteString("Password", ProtectString(FSettings.Password));
  registry.WriteBool("UseSSL", FSettings.UseSSL);
  registry.WriteBool("UseTLS", FSettings.UseTLS);
  registry.WriteString("FromEmail", FSettings.FromEmail);
  registry.WriteString("FromName", FSettings.FromName);
  registry.WriteInteger("RecipientCount", static_cast<int32_t>(FRecipients.size()));
  for (size_t i = 0; i < FRecipients.size(); ++i) registry.WriteString("Recipient" + std::to_string(i), FRecipients[i]);
  if (FNotificationsEnabled)
    registry.DeleteValue(ValueEnabled);
  else
    registry.WriteBool(ValueEnabled, false);
}

void TEmailNotifier::AddRecipient(const std::string& email) {
  if (Trim(email).empty()) return;
  for (const std::string& listed : FRecipients)
    if (SameText(listed, email)) return;
  FRecipients.push_back(email);
}

void TEmailNotifier::RemoveRecipient(const std::string& email) {
  const auto it =
      std::find_if(FRecipients.begin(), FRecipients.end(), [&](const std::string& r) { return SameText(r, email); });
  if (it != FRecipients.end()) FRecipients.erase(it);
}

void TEmailNotifier::ClearRecipients() { FRecipients.clear(); }

void TEmailNotifier::SendNotification(const std::string& subject, const std::string& body,
                                      const std::string& attachment, bool isHtml) {
  if (FRecipients.empty()) throw EVelkorError("Alıcı e-posta adresi belirtilmemiş!");
  if (Trim(FSettings.Server).empty()) throw EVelkorError("SMTP sunucusu belirtilmemiş!");
  InitCurlOnce();
  TMailMessage message{FSettings.FromEmail, FSettings.FromName, FRecipients, subject, body, isHtml, attachment};
  try {
    const bool authenticate = !FSettings.Username.empty();
    TSendOutcome outcome = SendOnce(FSettings, FTimeouts, message, authenticate);
    // A server that does not offer LOGIN gets the mail without authentication.
    if (authenticate && outcome.Code == CURLE_LOGIN_DENIED && !outcome.LoginOffered)
      outcome = SendOnce(FSettings, FTimeouts, message, false);
    if (!outcome.Error.empty()) throw EVelkorError(outcome.Error);
  } catch (const std::exception& e) {
    throw EVelkorError(SendErrorPrefix + std::string(e.what()));
  }
}

}  // namespace velkor
