#pragma once
// The current user's registry, kept as one JSON file (registry.json, mode 0600, replaced atomically).
//
// Keys are full paths such as "Software\QeltBackup\Auth", compared without regard to case like the registry
// they stand for; values are typed (string or 32-bit integer) so a value read with the wrong type fails as it
// would there. Every call reads the file afresh and every write rewrites it under a file lock, so several
// TRegistry objects (and processes) see each other's changes. One object is used by one thread at a time.
//
// A file that cannot be read whole reads as what could be kept of it (nothing when it does not parse); it is
// copied aside ("registry.json.damaged-...") before the first write replaces it, and when no copy can be made
// every write fails with EVelkorError instead, so the user's stored values are never lost silently.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velkor {

enum class TRegDataType { rdUnknown, rdString, rdInteger };

class TRegistry {
public:
  explicit TRegistry(std::filesystem::path file);
  TRegistry();  // the user's own store (GetRegistryFile)

  // Opens `key`; creates it (and its parents) when `canCreate`. False when it does not exist and may not be created
  // (or the store cannot be written); throws EVelkorError when creating it would replace a damaged store.
  bool OpenKey(const std::string& key, bool canCreate);
  bool OpenKeyReadOnly(const std::string& key);
  void CloseKey();
  bool HasCurrentKey() const { return FCurrentKey.has_value(); }
  bool KeyExists(const std::string& key) const;
  // Deletes the key with its values and sub-keys. False when it did not exist.
  bool DeleteKey(const std::string& key);

  // Operations on the open key. Reading a missing string gives ""; reading a missing integer, or a value of the
  // other type, throws EVelkorError ("Geçersiz veri türü: 'Name'"). Writing on a read-only key throws.
  bool ValueExists(const std::string& name) const;
  TRegDataType GetDataType(const std::string& name) const;
  std::string ReadString(const std::string& name) const;
  int32_t ReadInteger(const std::string& name) const;
  bool ReadBool(const std::string& name) const { return ReadInteger(name) != 0; }
  void WriteString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, int32_t value);
  void WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }
  bool DeleteValue(const std::string& name);
  std::vector<std::string> GetValueNames() const;

  const std::filesystem::path& FileName() const { return FFile; }

private:
  std::filesystem::path FFile;
  std::optional<std::string> FCurrentKey;
  bool FReadOnly = false;
};

}  // namespace velkor
