// The history store: history.json holds one array of entries, oldest first. Every change reads the whole file and
// writes it again (entries carry their complete file lists), so reading goes element by element through a SAX
// pass and writing streams entry by entry instead of building one document for the whole history.
#include <charconv>

#include "config/ConfigManager.h"
#include "platform/AtomicFile.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

// Builds a DOM for each element of the root array in turn and hands it to `onElement`; the root itself is never
// materialised. A root that is not an array, or any syntax error, makes the parse fail.
class TArrayElementSax final : public nlohmann::json_sax<TJson> {
public:
  explicit TArrayElementSax(std::function<void(TJson&)> onElement) : FOnElement(std::move(onElement)) {}

  bool RootWasArray() const { return FRootWasArray; }

  bool null() override { return Value(TJson(nullptr)); }
  bool boolean(bool v) override { return Value(TJson(v)); }
  bool number_integer(number_integer_t v) override { return Value(TJson(v)); }
  bool number_unsigned(number_unsigned_t v) override { return Value(TJson(v)); }
  bool number_float(number_float_t v, const string_t&) override { return Value(TJson(v)); }
  bool string(string_t& v) override { return Value(TJson(std::move(v))); }
  bool binary(binary_t&) override { return Value(TJson(nullptr)); }

  bool start_object(std::size_t) override { return Open(TJson::object()); }
  bool start_array(std::size_t) override {
    if (FDepth == 0) {
      FRootWasArray = true;
      ++FDepth;
      return true;
    }
    return Open(TJson::array());
  }
  bool key(string_t& k) override {
    FKey = std::move(k);
    return true;
  }
  bool end_object() override { return Close(); }
  bool end_array() override {
    if (FDepth == 1) {
      --FDepth;
      return true;
    }
    return Close();
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
  bool Value(TJson v) {
    if (FDepth == 0) return false;  // the root is a scalar, not an array
    if (FStack.empty()) return true;  // a scalar element of the root array: skipped
    Attach(std::move(v));
    return true;
  }

  TJson* Attach(TJson v) {
    TJson& parent = *FStack.back();
    if (parent.is_array()) {
      parent.push_back(std::move(v));
      return &parent.back();
    }
    TJson& slot = parent[FKey];
    slot = std::move(v);
    return &slot;
  }

  bool Open(TJson container) {
    if (FDepth == 0) return false;  // the root is an object, not an array
    ++FDepth;
    if (FStack.empty()) {
      FCurrent = std::move(container);
      FStack.push_back(&FCurrent);
    } else {
      FStack.push_back(Attach(std::move(container)));
    }
    return true;
  }

  bool Close() {
    --FDepth;
    FStack.pop_back();
    if (FStack.empty()) {
      FOnElement(FCurrent);
      FCurrent = TJson();
    }
    return true;
  }

  std::function<void(TJson&)> FOnElement;
  int FDepth = 0;
  bool FRootWasArray = false;
  std::vector<TJson*> FStack;
  TJson FCurrent;
  std::string FKey;
};

bool StartsWithS3(const std::string& path) { return StartsText("s3://", Trim(path)); }

void AppendKey(std::string& out, const char* key) {
  out += '"';
  out += key;
  out += "\":";
}

template <typename TInt>
void AppendInt(std::string& out, TInt value) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, end);
}

void AppendBool(std::string& out, bool value) { out += value ? "true" : "false"; }

}  // namespace

std::string ExtractCloudPathFromDetails(const std::string& details) {
  static const std::string markers[] = {"Cloud upload: ", "Cloud kopyası: "};
  for (const std::string& marker : markers) {
    const size_t at = details.find(marker);
    if (at == std::string::npos) continue;
    std::string path = Trim(details.substr(at + marker.size()));
    const size_t cut = path.find(" | ");
    if (cut != std::string::npos) path = Trim(path.substr(0, cut));
    return path;
  }
  return {};
}

TBackupHistoryItem ReadHistoryItemJson(const TJson& obj, IClock& clock) {
  TBackupHistoryItem item;
  std::string text;
  if (ReadJsonString(obj, "BackupTime", text)) item.BackupTime = ParseJsonDateTime(text, clock);
  ReadJsonBool(obj, "Success", item.Success);
  ReadJsonString(obj, "TaskName", item.TaskName);
  ReadJsonString(obj, "Details", item.Details);
  int mode = smLocalDisk;
  const bool hasMode = ReadJsonInt(obj, "StorageMode", mode);
  const bool hasModeText = ReadJsonString(obj, "StorageModeText", item.StorageModeText);
  ReadJsonString(obj, "LocalOutputPath", item.LocalOutputPath);
  const bool hasCloudPath = ReadJsonString(obj, "CloudOutputPath", item.CloudOutputPath);
  ReadJsonString(obj, "CloudProvider", item.CloudProvider);
  item.CloudProvider = NormalizeCloudProvider(item.CloudProvider);
  ReadJsonString(obj, "CloudStatus", item.CloudStatus);
  ReadJsonString(obj, "OutputPath", item.OutputPath);
  ReadJsonString(obj, "Checksum", item.Checksum);
  ReadJsonBool(obj, "Verified", item.Verified);
  ReadJsonStringArray(obj, "SourceFolders", item.SourceFolders);
  ReadJsonInt(obj, "SourceCount", item.SourceCount);
  ReadJsonInt(obj, "FileCount", item.FileCount);
  ReadJsonInt64(obj, "TotalSize", item.TotalSize);
  const auto files = obj.find("Files");
  if (files != obj.end() && files->is_array()) {
    item.Files.reserve(files->size());
    for (const auto& f : *files) {
      if (!f.is_object()) continue;
      TBackupFileDetail detail;
      ReadJsonString(f, "FileName", detail.FileName);
      ReadJsonInt64(f, "FileSize", detail.FileSize);
      ReadJsonBool(f, "Success", detail.Success);
      item.Files.push_back(std::move(detail));
    }
  }

  // Older entries lack the storage fields; derive them from what they do carry.
  if (!hasCloudPath) item.CloudOutputPath = ExtractCloudPathFromDetails(item.Details);
  if (hasMode) {
    item.StorageMode = mode >= smLocalDisk && mode <= smHybrid ? static_cast<TStorageMode>(mode) : smLocalDisk;
  } else if (!Trim(item.CloudOutputPath).empty()) {
    item.StorageMode = Trim(item.LocalOutputPath).empty() ? smCloud : smHybrid;
  } else {
    item.StorageMode = StartsWithS3(item.OutputPath) ? smCloud : smLocalDisk;
  }
  if (!hasModeText) item.StorageModeText = StorageModeToText(item.StorageMode);
  if (Trim(item.LocalOutputPath).empty() && (item.StorageMode == smLocalDisk || item.StorageMode == smHybrid))
    item.LocalOutputPath = item.OutputPath;
  // An s3:// output path names where the copy was meant to go, not that it arrived: the status is judged on the
  // cloud path the entry itself recorded.
  const bool cloudPathRecorded = !Trim(item.CloudOutputPath).empty();
  if (!cloudPathRecorded && item.StorageMode == smCloud && StartsWithS3(item.OutputPath))
    item.CloudOutputPath = item.OutputPath;
  if (Trim(item.CloudStatus).empty() && (item.StorageMode == smCloud || item.StorageMode == smHybrid)) {
    if (cloudPathRecorded) item.CloudStatus = "Tamamlandı";
    else item.CloudStatus = item.Success ? "Kaydedilmedi" : "Başarısız";
  }
  return item;
}

void AppendHistoryItemJson(std::string& out, const TBackupHistoryItem& item) {
  auto str = [&out](const char* key, const std::string& value) {
    AppendKey(out, key);
    AppendJsonString(out, value);
    out += ',';
  };
  out += '{';
  str("BackupTime", FormatJsonDateTime(item.BackupTime));
  AppendKey(out, "Success");
  AppendBool(out, item.Success);
  out += ',';
  str("TaskName", item.TaskName);
  str("Details", item.Details);
  AppendKey(out, "StorageMode");
  AppendInt(out, static_cast<int>(item.StorageMode));
  out += ',';
  str("StorageModeText", item.StorageModeText);
  str("LocalOutputPath", item.LocalOutputPath);
  str("CloudOutputPath", item.CloudOutputPath);
  str("CloudProvider", item.CloudProvider);
  str("CloudStatus", item.CloudStatus);
  str("OutputPath", item.OutputPath);
  str("Checksum", item.Checksum);
  AppendKey(out, "Verified");
  AppendBool(out, item.Verified);
  out += ',';
  AppendKey(out, "SourceFolders");
  out += '[';
  for (size_t i = 0; i < item.SourceFolders.size(); ++i) {
    if (i) out += ',';
    AppendJsonString(out, item.SourceFolders[i]);
  }
  out += "],";
  AppendKey(out, "SourceCount");
  AppendInt(out, item.SourceCount);
  out += ',';
  AppendKey(out, "FileCount");
  AppendInt(out, item.FileCount);
  out += ',';
  AppendKey(out, "TotalSize");
  AppendInt(out, item.TotalSize);
  out += ',';
  AppendKey(out, "Files");
  out += '[';
  for (size_t i = 0; i < item.Files.size(); ++i) {
    const TBackupFileDetail& f = item.Files[i];
    if (i) out += ',';
    out += "{\"FileName\":";
    AppendJsonString(out, f.FileName);
    out += ",\"FileSize\":";
    AppendInt(out, f.FileSize);
    out += ",\"Success\":";
    AppendBool(out, f.Success);
    out += '}';
  }
  out += "]}";
}

std::vector<TBackupHistoryItem> TConfigManager::ReadHistory(TFileState& state) {
  std::vector<TBackupHistoryItem> items;
  std::error_code ec;
  state = TFileState::fsMissing;
  if (!std::filesystem::exists(FHistoryFile, ec)) return items;
  std::string text;
  try {
    text = ReadTextFile(FHistoryFile);
  } catch (const EVelkorError&) {
    state = TFileState::fsDamaged;
    return items;
  }
  if (Trim(text).empty()) return items;
  std::string_view view = text;
  if (view.substr(0, Utf8Bom.size()) == Utf8Bom) view.remove_prefix(Utf8Bom.size());
  TArrayElementSax sax([&](TJson& element) {
    if (element.is_object()) items.push_back(ReadHistoryItemJson(element, *FClock));
  });
  const bool parsed = TJson::sax_parse(view.begin(), view.end(), &sax);
  if (!parsed || !sax.RootWasArray()) {
    state = TFileState::fsDamaged;
    items.clear();
    return items;
  }
  state = TFileState::fsGood;
  return items;
}

void TConfigManager::SaveHistory(const std::vector<TBackupHistoryItem>& items, TFileState previousState) {
  if (previousState == TFileState::fsDamaged) PreserveDamagedFile(FHistoryFile, FClock->Now());
  TAtomicFileWriter writer(FHistoryFile);
  writer.Write(Utf8Bom);
  writer.Write("[");
  std::string buffer;
  for (size_t i = 0; i < items.size(); ++i) {
    buffer.clear();
    if (i) buffer += ',';
    AppendHistoryItemJson(buffer, items[i]);
    writer.Write(buffer);
  }
  writer.Write("]");
  writer.Write(JsonFileLineEnd);
  writer.Commit();
}

std::vector<TBackupHistoryItem> TConfigManager::LoadHistory() {
  TFileState state;
  return ReadHistory(state);
}

void TConfigManager::AddHistoryItem(const TBackupHistoryItem& item) {
  TFileState state;
  auto items = ReadHistory(state);
  items.push_back(item);
  SaveHistory(items, state);
}

void TConfigManager::DeleteHistoryItem(int index) {
  TFileState state;
  auto items = ReadHistory(state);
  if (index < 0 || index >= static_cast<int>(items.size())) return;
  items.erase(items.begin() + index);
  SaveHistory(items, state);
}

void TConfigManager::DeleteHistoryByOutputPaths(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  TFileState state;
  auto items = ReadHistory(state);
  std::erase_if(items, [&](const TBackupHistoryItem& item) {
    for (const std::string& p : paths)
      if (SameText(item.OutputPath, p)) return true;
    return false;
  });
  SaveHistory(items, state);
}

void TConfigManager::ClearHistory() {
  std::error_code ec;
  if (!std::filesystem::exists(FHistoryFile, ec)) return;
  if (!std::filesystem::remove(FHistoryFile, ec) && ec)
    throw EVelkorError("Dosya silinemedi: " + FHistoryFile.string() + " (" + SystemErrorMessage(ec.value()) + ")");
}

}  // namespace velkor
