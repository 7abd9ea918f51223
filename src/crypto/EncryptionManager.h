#pragma once
// The .mbe encrypted file format and the stored encryption password.
//
// EncryptFile always writes the second generation ("QELTENC2": AES-256-CBC, then HMAC-SHA256 over header, salt,
// IV and ciphertext, both keys from PBKDF2-HMAC-SHA256 over the password). DecryptFile reads that and both layouts
// of the first generation ("QELTENC1", a keyed XOR stream without any check, kept so old backups stay readable).
// Both stream in 64 KiB chunks and write to a temporary file beside the destination that replaces it only on
// success: a failure leaves no partial output and an existing destination as it was. The source is only read.
// The output takes the source's permission bits (without set-id and sticky bits), so an encrypted copy of a
// private file stays private and a decrypted file comes back as private as its encrypted form.
// Decryption verifies the MAC over the whole file before it creates any output, and checks it once more over
// the bytes it actually decrypts, so output is committed only for bytes that were authenticated.
//
// One object is used by one thread at a time (the backup worker and the restore engine each create their own);
// objects share nothing but the registry values.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "crypto/CryptoUtils.h"

namespace velkor {

class TEncryptionManager {
public:
  TEncryptionManager();  // the user's own registry store (GetRegistryFile)
  explicit TEncryptionManager(std::filesystem::path registryFile);
  ~TEncryptionManager();  // wipes the password
  TEncryptionManager(const TEncryptionManager&) = delete;
  TEncryptionManager& operator=(const TEncryptionManager&) = delete;

  // The in-memory password; empty means none is set.
  void SetPassword(const std::string& password);
  std::string GetPassword() const { return FPassword; }

  // Both overwrite an existing destination and create its folder when missing. They raise EVelkorError with the
  // Turkish message of the failure (missing source, no password, bad header, failed integrity check, I/O errors).
  void EncryptFile(const std::filesystem::path& sourceFile, const std::filesystem::path& destFile);
  void DecryptFile(const std::filesystem::path& sourceFile, const std::filesystem::path& destFile);

  // Stores the password protected ("EncKey") and whether one is set ("Enabled"). Does nothing when the key cannot
  // be opened; a failure to protect reaches the caller.
  void SavePasswordToRegistry(const std::string& password);
  // Returns the stored password and makes it the in-memory one. Never raises: any problem (no "Enabled" value, a
  // value protected by another user) gives "" and clears the in-memory password. A value in the older scrambled
  // form is rewritten protected at once.
  std::string LoadPasswordFromRegistry();
  // Forgets the in-memory password and deletes both values.
  void ClearPasswordFromRegistry();
  bool IsEncryptionEnabled() const;

  // The older scrambled "EncKey" form: base64 of UTF-8 text whose UTF-16 code units had their low byte XORed.
  static std::string DecodeLegacyPassword(std::string_view stored);
  // The first-generation XOR key: the first 32 bytes of the UTF-16LE text of the password's lower-case SHA-256 hex.
  static TBytes DeriveLegacyKey(std::string_view password);

private:
  std::string FPassword;
  std::string FRegistryPath = "Software\\QeltBackup\\Encryption";
  std::filesystem::path FRegistryFile;
};

}  // namespace velkor
