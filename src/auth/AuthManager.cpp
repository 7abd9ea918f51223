#include "auth/AuthManager.h"

#include "crypto/CryptoUtils.h"
#include "crypto/LegacyScramble.h"
#include "crypto/SecureStorage.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr char ValueUsername[] = "Username";
constexpr char ValuePasswordHash[] = "PasswordHash";
constexpr char ValuePasswordSalt[] = "PasswordSalt";
constexpr char ValueFirstRun[] = "FirstRun";
constexpr char ValueRememberMe[] = "RememberMe";
constexpr char ValueRememberedUser[] = "RememberedUser";
constexpr char ValueSecurityQuestion[] = "SecurityQuestion";
constexpr char ValueSecurityAnswer[] = "SecurityAnswer";
constexpr char ValueSecurityAnswerSalt[] = "SecurityAnswerSalt";
constexpr char HashPrefix[] = "pbkdf2-sha256$";
constexpr int SaltLength = 16;

bool HasHashPrefix(const std::string& hash) { return hash.rfind(HashPrefix, 0) == 0; }

bool TextEqualsInConstantTime(const std::string& a, const std::string& b) {
  return ConstantTimeEquals(TBytes(a.begin(), a.end()), TBytes(b.begin(), b.end()));
}

// The salt value of a hash, or "" when there is none.
std::string ReadOptionalString(const TRegistry& registry, const std::string& name) {
  return registry.ValueExists(name) ? registry.ReadString(name) : std::string();
}

}  // namespace

TAuthManager::TAuthManager() : FRegistryFile(GetRegistryFile()) {}

TAuthManager::TAuthManager(std::filesystem::path registryFile) : FRegistryFile(std::move(registryFile)) {}

bool TAuthManager::NeedsProtection(const std::string& raw) { return !raw.empty() && !IsProtectedString(raw); }

bool TAuthManager::LooksLikeBase64(const std::string& text) {
  if (text.empty() || text.size() % 4 != 0) return false;
  for (const char c : text) {
    const bool inAlphabet =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' || c == '=';
    if (!inAlphabet) return false;
  }
  return true;
}

std::string TAuthManager::LegacySha256Hex(const std::string& text) {
  static const char digits[] = "0123456789abcdef";
  const TBytes digest = Sha256Digest(text.data(), text.size());
  std::string hex;
  for (const uint8_t b : digest) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}

std::string TAuthManager::GenerateSalt() { return BytesToBase64(GenerateRandomBytes(SaltLength)); }

std::string TAuthManager::HashSecret(const std::string& secret, const std::string& salt) {
  return CreatePasswordHash(secret, salt, DefaultPbkdf2Iterations);
}

std::string TAuthManager::ProtectValue(const std::string& text) { return ProtectString(text); }

std::string TAuthManager::DecodeLegacyValue(const std::string& raw) { return DecodeScrambledText(raw); }

std::string TAuthManager::UnprotectValue(const std::string& raw) {
  if (raw.empty()) return {};
  if (IsProtectedString(raw)) {
    try {
      return UnprotectString(raw);
    } catch (const std::exception&) {
      return {};
    }
  }
  if (LooksLikeBase64(raw)) {
    try {
      return DecodeLegacyValue(raw);
    } catch (const std::exception&) {
    }
  }
  return raw;
}

bool TAuthManager::VerifySecret(const std::string& secret, const std::string& storedHash, const std::string& username,
                                const std::string& salt) {
  if (storedHash.empty() || secret.empty()) return false;
  if (salt.empty()) return TextEqualsInConstantTime(LegacySha256Hex(secret), storedHash);
  if (HasHashPrefix(storedHash)) return VerifyPasswordHash(secret, storedHash, salt);
  // A current salt with a hash that lacks the PBKDF2 prefix can never equal a fresh PBKDF2 text: rejected without
  // spending a derivation on it.
  if (LooksLikeBase64(salt)) return false;

  // A salt of an older generation (a GUID text): SHA-256 over the secret joined with the salt, with the salt
  // stripped of braces and dashes, and with the user name, in every order those versions used.
  const std::string& s = secret;
  const std::string& u = username;
  const std::string& t = salt;
  const std::string n = ReplaceAll(ReplaceAll(ReplaceAll(t, "{", ""), "}", ""), "-", "");
  std::vector<std::string> candidates{s, s + t, t + s};
  if (!n.empty()) candidates.insert(candidates.end(), {s + n, n + s});
  if (!u.empty()) {
    candidates.insert(candidates.end(), {s + u, u + s});
    for (const std::string* x : {&t, &n}) {
      if (x->empty()) continue;
      const std::string& v = *x;
      candidates.insert(candidates.end(), {s + u + v, s + v + u, v + s + u, v + u + s, u + s + v, u + v + s});
    }
  }
  const std::string stored = LowerCaseAscii(storedHash);
  bool matched = false;
  for (const std::string& candidate : candidates)
    matched |= TextEqualsInConstantTime(LegacySha256Hex(candidate), stored);
  return matched;
}

void TAuthManager::WriteSecretHash(TRegistry& registry, const std::string& hashName, const std::string& secret,
                                   const std::string& saltName) {
  const std::string salt = GenerateSalt();
  registry.WriteString(saltName, salt);
  registry.WriteString(hashName, HashSecret(secret, salt));
}

std::string TAuthManager::ReadNameValue(const std::string& name) {
  TRegistry registry(FRegistryFile);
  if (!registry.OpenKeyReadOnly(FRegistryPath)) return {};
  std::string value;
  bool upgrade = false;
  try {
    const std::string raw = registry.ReadString(name);
    value = UnprotectValue(raw);
    if (value.empty()) value = raw;
    upgrade = !value.empty() && NeedsProtection(raw);
  } catch (const std::exception&) {
    value.clear();
    upgrade = false;
  }
  registry.CloseKey();
  // A reading call never raises: should the rewrite fail, the older form stays and is converted next time.
  if (upgrade) {
    try {
      if (registry.OpenKey(FRegistryPath, true)) registry.WriteString(name, ProtectValue(value));
    } catch (const std::exception&) {
    }
  }
  return value;
}

bool TAuthManager::IsFirstRun() const {
  TRegistry registry(FRegistryFile);
  if (!registry.OpenKeyReadOnly(FRegistryPath)) return true;
  return !registry.ValueExists(ValueUsername) || !registry.ValueExists(ValuePasswordHash);
}

void TAuthManager::SetupDefaultUser(const std::string& username, const std::string& password) {
  TRegistry registry(FRegistryFile);
  if (!registry.OpenKey(FRegistryPath, true)) return;
  registry.WriteString(ValueUsername, ProtectValue(username));
  WriteSecretHash(registry, ValuePasswordHash, password, ValuePasswordSalt);
  registry.WriteBool(ValueFirstRun, false);
}

bool TAuthManager::ValidateUser(const std::string& username, const std::string& password) {
  TRegistry registry(FRegistryFile);
  if (!registry.OpenKeyReadOnly(FRegistryPath)) return false;
  bool result = false;
  bool upgrade = false;
  try {
    const std::string raw = registry.ReadString(ValueUsername);
    std::string storedName = UnprotectValue(raw);
    if (storedName.empty()) storedName = raw;
    const std::string hash = registry.ReadString(ValuePasswordHash);
    const std::string salt = ReadOptionalString(registry, ValuePasswordSalt);
    const bool nameMatches = SameText(storedName, username) || SameText(raw, username);
    result = nameMatches && VerifySecret(password, hash, username, salt);
    upgrade = result && !(!salt.empty() && !NeedsProtection(raw) && HasHashPrefix(hash));
  } catch (const std::exception&) {
    result = false;
    upgrade = false;
  }
  registry.CloseKey();
  // The login stands even when the rewrite fails; the older form is then upgraded at the next one.
  if (upgrade) {
    try {
      if (registry.OpenKey(FRegistryPath, true)) {
        registry.WriteString(ValueUsername, ProtectValue(username));
        WriteSecretHash(registry, ValuePasswordHash, password, ValuePasswordSalt);
      }
    } catch (const std::exception&) {
    }
  }
  return result;
}

void TAuthManager::SaveCredentials(const std::string& username, const std::string& password, bool rememberMe) {
  TRegistry registry(FRegistryFile);
  if (!registry.OpenKey(FRegistryPath, true)) return;
  if (rememberMe && !username.empty()) {
    registry.WriteString(ValueRememberedUser, ProtectValue(username));
    registry.WriteBool(ValueRememberMe, true);
  } else {
    if (registry.ValueExists(ValueRememberedUser)) registry.DeleteValue(ValueRememberedUser);
    registry.WriteBool(ValueRememberMe, false);
  }
  if (!password.empty() && !username.empty()) {
    registry.WriteString(ValueUsername, ProtectValue(username));
    WriteSecretHash(registry, ValuePasswordHash, password, ValuePasswordSalt);
  }
}

TCredentials TAuthManager::LoadCredentials() {
  TCredentials credentials;
  bool rememberedUserExists = false;
  {
    TRegistry registry(FRegistryFile);
    if (!registry.OpenKeyReadOnly(FRegistryPath)) return credentials;
    try {
      credentials.RememberMe = registry.ValueExists(ValueRememberMe) && registry.ReadBool(ValueRememberMe);
      rememberedUserExists = registry.ValueExists(ValueRememberedUser);
    } catch (const std::exception&) {
      return TCredentials();
    }
  }
  if (credentials.RememberMe && rememberedUserExists) credentials.Username = ReadNameValue(ValueRememberedUser);
  return credentials;
}

std::string TAuthManager::GetCurrentUsername() { return ReadNameValue(ValueUsername); }

void TAuthManager::ClearCredentials() {
  TRegistry registry(FRegistryFile);
  if (registry.KeyExists(FRegistryPath)) registry.DeleteKey(FRegistryPath);
}

void TAuthManager::SetSecurityQuestion(const std::string& question, const std::string& answer) {
  TRegistry registry(FRegistryFile);
  if (!registry.OpenKey(FRegistryPath, true)) return;
  registry.WriteString(ValueSecurityQuestion, ProtectValue(question));
  WriteSecretHash(registry, ValueSecurityAnswer, answer, ValueSecurityAnswerSalt);
}

std::string TAuthManager::GetSecurityQuestion() { return ReadNameValue(ValueSecurityQuestion); }

bool TAuthManager::HasSecurityQuestion() const {
  TRegistry registry(FRegistryFile);
  if (!registry.OpenKeyReadOnly(FRegistryPath)) return false;
  return registry.ValueExists(ValueSecurityQuestion);
}

bool TAuthManager::ValidateSecurityAnswer(const std::string& answer) {
  TRegistry registry(FRegistryFile);
  if (!registry.OpenKeyReadOnly(FRegistryPath)) return false;
  bool result = false;
  bool upgrade = false;
  try {
    if (!registry.ValueExists(ValueSecurityAnswer)) return false;
    const std::string hash = registry.ReadString(ValueSecurityAnswer);
    const std::string salt = ReadOptionalString(registry, ValueSecurityAnswerSalt);
    result = VerifySecret(answer, hash, std::string(), salt);
    upgrade = result && (salt.empty() || !HasHashPrefix(hash));
  } catch (const std::exception&) {
    result = false;
    upgrade = false;
  }
  registry.CloseKey();
  if (upgrade) {
    try {
      if (registry.OpenKey(FRegistryPath, true))
        WriteSecretHash(registry, ValueSecurityAnswer, answer, ValueSecurityAnswerSalt);
    } catch (const std::exception&) {
    }
  }
  return result;
}

void TAuthManager::ResetPassword(const std::string& newPassword) {
  try {
    TRegistry registry(FRegistryFile);
    if (!registry.OpenKey(FRegistryPath, true)) return;
    const std::string raw = registry.ReadString(ValueUsername);
    std::string name = UnprotectValue(raw);
    if (name.empty()) name = raw;
    if (!name.empty()) registry.WriteString(ValueUsername, ProtectValue(name));
    WriteSecretHash(registry, ValuePasswordHash, newPassword, ValuePasswordSalt);
  } catch (const std::exception&) {
  }
}

}  // namespace velkor
