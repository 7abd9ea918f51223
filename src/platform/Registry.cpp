#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/StoredJson.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

using json = nlohmann::ordered_json;

std::string NormalizeKey(std::string key) {
  while (!key.empty() && key.front() == '\\') key.erase(key.begin());
  while (!key.empty() && key.back() == '\\') key.pop_back();
  return key;
}

// Holds an exclusive advisory lock on "<registry>.lock" while the store is read and rewritten.
class TFileLock {
public:
  explicit TFileLock(const std::filesystem::path& file) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    FFd = ::open((file.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (FFd >= 0) ::flock(FFd, LOCK_EX);
  }
  ~TFileLock() {
    if (FFd >= 0) ::close(FFd);  // closing releases the lock
  }
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;

private:
  int FFd = -1;
};

// registry.json holds a few dozen short values (sign-in, e-mail, encryption and cloud settings): kilobytes.
// 4 MiB leaves room a thousand times over and keeps a damaged or foreign file from costing more than that on
// every call; what the program writes nests two levels deep.
constexpr TJsonTextLimits StoreLimits{4 * 1024 * 1024, 16};

struct TStore {
  json Root = json::object();
  std::string Problem;  // why the file on disk is not what Root holds; "" when it read whole
};

TStore LoadStore(const std::filesystem::path& file) {
  TStore store;
  TStoredJson read = ReadStoredJson(file, StoreLimits);
  if (!read.Exists || read.Blank) return store;
  if (read.Value.is_object()) {
    store.Root = std::move(read.Value);
    store.Problem = read.Problem;
  } else {
    store.Problem = read.Problem.empty() ? "kök değeri bir nesne değil" : read.Problem;
  }
  return store;
}

// A damaged store is kept aside before anything replaces it; without that copy it is not replaced at all.
void KeepDamagedStore(const std::filesystem::path& file, const TStore& store) {
  if (store.Problem.empty() || !PreserveDamagedFile(file, SystemClock().Now()).empty()) return;
  throw EVelkorError("Kayıt dosyası hasarlı ve kopyası alınamadığı için üzerine yazılmadı: " + file.string() + " (" +
                     store.Problem + ")");
}

void WriteStore(const std::filesystem::path& file, const TStore& store) {
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  WriteFileAtomic(file, store.Root.dump());
}

void SaveStore(const std::filesystem::path& file, const TStore& store) {
  KeepDamagedStore(file, store);
  WriteStore(file, store);
}

json::iterator FindKey(json& root, const std::string& key) {
  for (auto it = root.begin(); it != root.end(); ++it)
    if (it.value().is_object() && SameText(it.key(), key)) return it;
  return root.end();
}

bool IsSubKeyOf(const std::string& candidate, const std::string& key) {
  return candidate.size() > key.size() && candidate[key.size()] == '\\' && StartsText(key, candidate);
}

const json* FindValue(const json& values, const std::string& name) {
  for (auto it = values.begin(); it != values.end(); ++it)
    if (SameText(it.key(), name)) return &it.value();
  return nullptr;
}

[[noreturn]] void InvalidType(const std::string& name) { throw EVelkorError("Geçersiz veri türü: '" + name + "'"); }

}  // namespace

TRegistry::TRegistry(std::filesystem::path file) : FFile(std::move(file)) {}
TRegistry::TRegistry() : FFile(GetRegistryFile()) {}

bool TRegistry::KeyExists(const std::string& key) const {
  const std::string k = NormalizeKey(key);
  TStore store = LoadStore(FFile);
  for (auto it = store.Root.begin(); it != store.Root.end(); ++it)
    if (SameText(it.key(), k) || IsSubKeyOf(it.key(), k)) return true;
  return false;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  const std::string k = NormalizeKey(key);
  CloseKey();
  if (k.empty()) return false;
  if (!KeyExists(k)) {
    if (!canCreate) return false;
    TFileLock lock(FFile);
    TStore store = LoadStore(FFile);
    if (FindKey(store.Root, k) == store.Root.end()) {
      // Refusing to destroy a damaged store is an error to report; failing to write is "cannot create".
      KeepDamagedStore(FFile, store);
      store.Root[k] = json::object();
      try {
        WriteStore(FFile, store);
      } catch (const EVelkorError&) {
        return false;
      }
    }
  }
  FCurrentKey = k;
  FReadOnly = false;
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
  if (!OpenKey(key, false)) return false;
  FReadOnly = true;
  return true;
}

void TRegistry::CloseKey() {
  FCurrentKey.reset();
  FReadOnly = false;
}

bool TRegistry::DeleteKey(const std::string& key) {
  const std::string k = NormalizeKey(key);
  TFileLock lock(FFile);
  TStore store = LoadStore(FFile);
  json kept = json::object();
  bool removed = false;
  for (auto it = store.Root.begin(); it != store.Root.end(); ++it) {
    if (SameText(it.key(), k) || IsSubKeyOf(it.key(), k))
      removed = true;
    else
      kept[it.key()] = it.value();
  }
  if (!removed) return false;
  store.Root = std::move(kept);
  SaveStore(FFile, store);
  if (FCurrentKey && (SameText(*FCurrentKey, k) || IsSubKeyOf(*FCurrentKey, k))) CloseKey();
  return true;
}

bool TRegistry::ValueExists(const std::string& name) const { return GetDataType(name) != TRegDataType::rdUnknown; }

TRegDataType TRegistry::GetDataType(const std::string& name) const {
  if (!FCurrentKey) return TRegDataType::rdUnknown;
  TStore store = LoadStore(FFile);
  auto key = FindKey(store.Root, *FCurrentKey);
  if (key == store.Root.end()) return TRegDataType::rdUnknown;
  const json* v = FindValue(key.value(), name);
  if (!v) return TRegDataType::rdUnknown;
  if (v->is_string()) return TRegDataType::rdString;
  if (v->is_number_integer()) return TRegDataType::rdInteger;
  return TRegDataType::rdUnknown;
}

std::string TRegistry::ReadString(const std::string& name) const {
  if (!FCurrentKey) return {};
  TStore store = LoadStore(FFile);
  auto key = FindKey(store.Root, *FCurrentKey);
  if (key == store.Root.end()) return {};
  const json* v = FindValue(key.value(), name);
  if (!v) return {};
  if (!v->is_string()) InvalidType(name);
  return v->get<std::string>();
}

int32_t TRegistry::ReadInteger(const std::string& name) const {
  if (!FCurrentKey) InvalidType(name);
  TStore store = LoadStore(FFile);
  auto key = FindKey(store.Root, *FCurrentKey);
  if (key == store.Root.end()) InvalidType(name);
  const json* v = FindValue(key.value(), name);
  if (!v || !v->is_number_integer()) InvalidType(name);
  return static_cast<int32_t>(v->get<int64_t>());
}

namespace {

void WriteValue(const std::filesystem::path& file, const std::optional<std::string>& currentKey, bool readOnly,
                const std::string& name, json value) {
  if (!currentKey || readOnly) throw EVelkorError("Kayıt defteri anahtarı yazmak için açık değil: '" + name + "'");
  TFileLock lock(file);
  TStore store = LoadStore(file);
  auto key = FindKey(store.Root, *currentKey);
  json& values = key == store.Root.end() ? store.Root[*currentKey] : key.value();
  if (!values.is_object()) values = json::object();
  std::string storedName = name;
  for (auto it = values.begin(); it != values.end(); ++it)
    if (SameText(it.key(), name)) storedName = it.key();
  values[storedName] = std::move(value);
  SaveStore(file, store);
}

}  // namespace

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  WriteValue(FFile, FCurrentKey, FReadOnly, name, json(value));
}

void TRegistry::WriteInteger(const std::string& name, int32_t value) {
  WriteValue(FFile, FCurrentKey, FReadOnly, name, json(static_cast<int64_t>(value)));
}

bool TRegistry::DeleteValue(const std::string& name) {
  if (!FCurrentKey || FReadOnly) return false;
  TFileLock lock(FFile);
  TStore store = LoadStore(FFile);
  auto key = FindKey(store.Root, *FCurrentKey);
  if (key == store.Root.end()) return false;
  json& values = key.value();
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (SameText(it.key(), name)) {
      values.erase(it);
      SaveStore(FFile, store);
      return true;
    }
  }
  return false;
}

std::vector<std::string> TRegistry::GetValueNames() const {
  std::vector<std::string> names;
  if (!FCurrentKey) return names;
  TStore store = LoadStore(FFile);
  auto key = FindKey(store.Root, *FCurrentKey);
  if (key == store.Root.end()) return names;
  for (auto it = key.value().begin(); it != key.value().end(); ++it) names.push_back(it.key());
  return names;
}

}  // namespace velkor
