#pragma once
// The single local account that guards the main window, kept in the user's registry under
// "Software\QeltBackup\Auth": the user name and the security question as protected strings, the password and the
// answer only as salted PBKDF2 hashes (210000 iterations, a fresh salt on every write), and the remember-me choice.
//
// Older storage generations are still read: plain and scrambled names, unsalted SHA-256 hex hashes and SHA-256
// hashes over the secret joined with a GUID salt and the user name. A value is rewritten in the current form as
// soon as it has been read or verified successfully. Every call opens the store, works and closes it again; the
// object keeps no state. Reading operations never raise. Used on one thread at a time.
#include <filesystem>
#include <string>

namespace velkor {

class TRegistry;

struct TCredentials {
  std::string Username;
  std::string PasswordHash;  // never filled by LoadCredentials
  bool RememberMe = false;
};

class TAuthManager {
public:
  TAuthManager();  // the user's own store (GetRegistryFile)
  explicit TAuthManager(std::filesystem::path registryFile);

  // True when no account is stored: no key, or no "Username" or no "PasswordHash" value.
  bool IsFirstRun() const;
  // Stores the account under the name exactly as given. Does nothing when the key cannot be opened.
  void SetupDefaultUser(const std::string& username, const std::string& password);
  // The name matches in any letter case. A success on an older storage generation rewrites the account with the
  // name as entered and a fresh PBKDF2 hash.
  bool ValidateUser(const std::string& username, const std::string& password);
  // Remembers the name (or forgets it), then, with both texts given, stores them as the account.
  void SaveCredentials(const std::string& username, const std::string& password, bool rememberMe);
  // The remember-me choice and the remembered name.
  TCredentials LoadCredentials();
  std::string GetCurrentUsername();
  // Deletes the whole key: account, remember-me and security question.
  void ClearCredentials();

  // Write errors reach the caller here.
  void SetSecurityQuestion(const std::string& question, const std::string& answer);
  std::string GetSecurityQuestion();
  // The answer is compared exactly as given (letter case counts).
  bool ValidateSecurityAnswer(const std::string& answer);
  // Keeps the user name and stores a new password hash. Never raises.
  void ResetPassword(const std::string& newPassword);
  bool HasSecurityQuestion() const;

private:
  static bool NeedsProtection(const std::string& raw);
  static bool LooksLikeBase64(const std::string& text);
  static std::string LegacySha256Hex(const std::string& text);
  static std::string GenerateSalt();
  static std::string HashSecret(const std::string& secret, const std::string& salt);
  static std::string ProtectValue(const std::string& text);
  static std::string UnprotectValue(const std::string& raw);
  static std::string DecodeLegacyValue(const std::string& raw);
  static bool VerifySecret(const std::string& secret, const std::string& storedHash, const std::string& username,
                           const std::string& salt);
  // Draws a new salt, stores it, then stores the hash of `secret` under it, on a key open for writing.
  static void WriteSecretHash(TRegistry& registry, const std::string& hashName, const std::string& secret,
                              const std::string& saltName);
  // The name-reading steps shared by the user name, the security question and the remembered name.
  std::string ReadNameValue(const std::string& name);

  std::string FRegistryPath = "Software\\QeltBackup\\Auth";
  std::filesystem::path FRegistryFile;
};

}  // namespace velkor
