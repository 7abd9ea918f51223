// The history store: history.json holds one array of entries, oldest first. Every change reads the whole file and
// writes it again (entries carry their complete file lists), so reading goes element by element through a SAX
// pass and writing streams entry by entry instead of building one document for the whole history.
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <istream>
#include <optional>

#include "config/ConfigManager.h"
#include "platform/AtomicFile.h"
#include "platform/StoredJson.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

// The history is legitimately hundreds of megabytes and is read entry by entry, so only its nesting is bounded
// (the program writes four levels).
constexpr TJsonTextLimits HistoryLimits{0, 32};

enum class TEntryKey {
  ekOther,
  ekBackupTime,
  ekSuccess,
  ekTaskName,
  ekDetails,
  ekStorageMode,
  ekStorageModeText,
  ekLocalOutputPath,
  ekCloudOutputPath,
  ekCloudProvider,
  ekCloudStatus,
  ekOutputPath,
  ekChecksum,
  ekVerified,
  ekSourceFolders,
  ekSourceCount,
  ekFileCount,
  ekTotalSize,
  ekFiles
};
enum class TFileKey { fkOther, fkFileName, fkFileSize, fkSuccess };

TEntryKey EntryKeyOf(std::string_view k) {
  static const std::pair<std::string_view, TEntryKey> keys[] = {
      {"BackupTime", TEntryKey::ekBackupTime},
      {"Success", TEntryKey::ekSuccess},
      {"TaskName", TEntryKey::ekTaskName},
      {"Details", TEntryKey::ekDetails},
      {"StorageMode", TEntryKey::ekStorageMode},
      {"StorageModeText", TEntryKey::ekStorageModeText},
      {"LocalOutputPath", TEntryKey::ekLocalOutputPath},
      {"CloudOutputPath", TEntryKey::ekCloudOutputPath},
      {"CloudProvider", TEntryKey::ekCloudProvider},
      {"CloudStatus", TEntryKey::ekCloudStatus},
      {"OutputPath", TEntryKey::ekOutputPath},
      {"Checksum", TEntryKey::ekChecksum},
      {"Verified", TEntryKey::ekVerified},
      {"SourceFolders", TEntryKey::ekSourceFolders},
      {"SourceCount", TEntryKey::ekSourceCount},
      {"FileCount", TEntryKey::ekFileCount},
      {"TotalSize", TEntryKey::ekTotalSize},
      {"Files", TEntryKey::ekFiles},
  };
  for (const auto& [name, key] : keys)
    if (name == k) return key;
  return TEntryKey::ekOther;
}

TFileKey FileKeyOf(std::string_view k) {
  if (k == "FileName") return TFileKey::fkFileName;
  if (k == "FileSize") return TFileKey::fkFileSize;
  if (k == "Success") return TFileKey::fkSuccess;
  return TFileKey::fkOther;
}

// What an entry object held, before the rules for older entries fill in what it lacked.
struct TRawEntry {
  TBackupHistoryItem Item;
  std::optional<std::string> BackupTimeText;
  std::optional<int64_t> StorageMode;
  bool HasStorageModeText = false;
  bool HasCloudOutputPath = false;
};

// Reads history.json straight into entries, element by element, without building a document: the file holds
// every file list of every run, so this is the cost each history change pays. Values of the wrong JSON type are
// skipped (the field keeps its default); elements that are not objects are skipped; a root that is not an
// array, or a syntax error, fails the whole parse.
class THistorySax final : public nlohmann::json_sax<TJson> {
public:
  explicit THistorySax(std::function<void(TRawEntry&)> onEntry) : FOnEntry(std::move(onEntry)) {}
  bool RootWasArray() const { return FRootWasArray; }
  bool SyntaxError() const { return FSyntaxError; }

  bool null() override { return Scalar(TValue{}); }
  bool boolean(bool v) override { return Scalar(TValue{v, std::nullopt, nullptr}); }
  bool number_integer(number_integer_t v) override { return Scalar(TValue{std::nullopt, v, nullptr}); }
  bool number_unsigned(number_unsigned_t v) override {
    if (v > static_cast<uint64_t>(INT64_MAX)) return Scalar(TValue{});
    return Scalar(TValue{std::nullopt, static_cast<int64_t>(v), nullptr});
  }
  bool number_float(number_float_t v, const string_t&) override {
    TValue value;
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 9.2e18) value.Int = static_cast<int64_t>(v);
    return Scalar(value);
  }
  bool string(string_t& v) override { return Scalar(TValue{std::nullopt, std::nullopt, &v}); }
  bool binary(binary_t&) override { return Scalar(TValue{}); }

  bool start_object(std::size_t) override {
    if (FSkip) return ++FSkip, true;
    switch (FLevel) {
      case TLevel::lvRoot: return false;  // the root must be an array
      case TLevel::lvEntries:
        FEntry = TRawEntry{};
        FLevel = TLevel::lvEntry;
        return true;
      case TLevel::lvFiles:
        FEntry.Item.Files.emplace_back();
        FLevel = TLevel::lvFile;
        return true;
      default: return ++FSkip, true;
    }
  }
  bool end_object() override {
    if (FSkip) return --FSkip, true;
    if (FLevel == TLevel::lvFile) {
      FLevel = TLevel::lvFiles;
    } else if (FLevel == TLevel::lvEntry) {
      FOnEntry(FEntry);
      FLevel = TLevel::lvEntries;
    }
    return true;
  }
  bool start_array(std::size_t) override {
    if (FSkip) return ++FSkip, true;
    if (FLevel == TLevel::lvRoot) {
      FRootWasArray = true;
      FLevel = TLevel::lvEntries;
    } else if (FLevel == TLevel::lvEntry && FEntryKey == TEntryKey::ekFiles) {
      FEntry.Item.Files.clear();
      FLevel = TLevel::lvFiles;
    } else if (FLevel == TLevel::lvEntry && FEntryKey == TEntryKey::ekSourceFolders) {
      FEntry.Item.SourceFolders.clear();
      FLevel = TLevel::lvSources;
    } else {
      ++FSkip;
    }
    return true;
  }
  bool end_array() override {
    if (FSkip) return --FSkip, true;
    if (FLevel == TLevel::lvFiles || FLevel == TLevel::lvSources)
      FLevel = TLevel::lvEntry;
    else if (FLevel == TLevel::lvEntries)
      FLevel = TLevel::lvDone;
    return true;
  }
  bool key(string_t& k) override {
    if (FSkip) return true;
    if (FLevel == TLevel::lvEntry)
      FEntryKey = EntryKeyOf(k);
    else if (FLevel == TLevel::lvFile)
      FFileKey = FileKeyOf(k);
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    FSyntaxError = true;
    return false;
  }

private:
  enum class TLevel { lvRoot, lvEntries, lvEntry, lvFiles, lvFile, lvSources, lvDone };
  struct TValue {
    std::optional<bool> Bool;
    std::optional<int64_t> Int;
    std::string* Text = nullptr;
  };

  bool Scalar(const TValue& v) {
    if (FSkip) return true;
    switch (FLevel) {
      case TLevel::lvRoot: return false;  // a scalar root is not a history
      case TLevel::lvEntry: EntryValue(v); return true;
      case TLevel::lvFile: FileValue(v); return true;
      case TLevel::lvSources:
        if (v.Text) {
          FEntry.Item.SourceFolders.push_back(std::move(*v.Text));
          DecodeStoredPath(FEntry.Item.SourceFolders.back());
        }
        return true;
      default: return true;  // scalar elements of the root array or of "Files" are skipped
    }
  }

  static void Take(std::string& field, const TValue& v) {
    if (v.Text) field = std::move(*v.Text);
  }
  static void TakePath(std::string& field, const TValue& v) {
    if (!v.Text) return;
    field = std::move(*v.Text);
    DecodeStoredPath(field);
  }

  void EntryValue(const TValue& v) {
    TBackupHistoryItem& item = FEntry.Item;
    switch (FEntryKey) {
      case TEntryKey::ekBackupTime:
        if (v.Text) FEntry.BackupTimeText = std::move(*v.Text);
        break;
      case TEntryKey::ekSuccess: item.Success = v.Bool.value_or(item.Success); break;
      case TEntryKey::ekTaskName: Take(item.TaskName, v); break;
      case TEntryKey::ekDetails: Take(item.Details, v); break;
      case TEntryKey::ekStorageMode:
        if (v.Int) FEntry.StorageMode = *v.Int;
        break;
      case TEntryKey::ekStorageModeText:
        FEntry.HasStorageModeText |= v.Text != nullptr;
        Take(item.StorageModeText, v);
        break;
      case TEntryKey::ekLocalOutputPath: TakePath(item.LocalOutputPath, v); break;
      case TEntryKey::ekCloudOutputPath:
        FEntry.HasCloudOutputPath |= v.Text != nullptr;
        TakePath(item.CloudOutputPath, v);
        break;
      case TEntryKey::ekCloudProvider: Take(item.CloudProvider, v); break;
      case TEntryKey::ekCloudStatus: Take(item.CloudStatus, v); break;
      case TEntryKey::ekOutputPath: TakePath(item.OutputPath, v); break;
      case TEntryKey::ekChecksum: Take(item.Checksum, v); break;
      case TEntryKey::ekVerified: item.Verified = v.Bool.value_or(item.Verified); break;
      case TEntryKey::ekSourceCount: item.SourceCount = Int32(v).value_or(item.SourceCount); break;
      case TEntryKey::ekFileCount: item.FileCount = Int32(v).value_or(item.FileCount); break;
      case TEntryKey::ekTotalSize: item.TotalSize = v.Int.value_or(item.TotalSize); break;
      default: break;
    }
  }

  void FileValue(const TValue& v) {
    TBackupFileDetail& file = FEntry.Item.Files.back();
    switch (FFileKey) {
      case TFileKey::fkFileName: TakePath(file.FileName, v); break;
      case TFileKey::fkFileSize: file.FileSize = v.Int.value_or(file.FileSize); break;
      case TFileKey::fkSuccess: file.Success = v.Bool.value_or(file.Success); break;
      default: break;
    }
  }

  static std::optional<int> Int32(const TValue& v) {
    if (!v.Int || *v.Int < INT32_MIN || *v.Int > INT32_MAX) return std::nullopt;
    return static_cast<int>(*v.Int);
  }

  std::function<void(TRawEntry&)> FOnEntry;
  TLevel FLevel = TLevel::lvRoot;
  int FSkip = 0;  // depth inside a container whose content is not read
  bool FRootWasArray = false;
  bool FSyntaxError = false;
  TEntryKey FEntryKey = TEntryKey::ekOther;
  TFileKey FFileKey = TFileKey::fkOther;
  TRawEntry FEntry;
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

namespace {

TBackupHistoryItem CompleteEntry(TRawEntry& raw, IClock& clock) {
  TBackupHistoryItem& item = raw.Item;
  if (raw.BackupTimeText) item.BackupTime = ParseJsonDateTime(*raw.BackupTimeText, clock);
  item.CloudProvider = NormalizeCloudProvider(item.CloudProvider);
  const bool hasMode = raw.StorageMode.has_value();
  const int64_t mode = raw.StorageMode.value_or(smLocalDisk);
  const bool hasModeText = raw.HasStorageModeText;
  const bool hasCloudPath = raw.HasCloudOutputPath;

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
    if (cloudPathRecorded)
      item.CloudStatus = "Tamamlandı";
    else
      item.CloudStatus = item.Success ? "Kaydedilmedi" : "Başarısız";
  }
  return std::move(item);
}

}  // namespace

void AppendHistoryItemJson(std::string& out, const TBackupHistoryItem& item) {
  auto str = [&out](const char* key, const std::string& value) {
    AppendKey(out, key);
    AppendJsonString(out, value);
    out += ',';
  };
  auto path = [&out](const char* key, const std::string& value) {
    AppendKey(out, key);
    AppendJsonString(out, value, true);
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
  path("LocalOutputPath", item.LocalOutputPath);
  path("CloudOutputPath", item.CloudOutputPath);
  str("CloudProvider", item.CloudProvider);
  str("CloudStatus", item.CloudStatus);
  path("OutputPath", item.OutputPath);
  str("Checksum", item.Checksum);
  AppendKey(out, "Verified");
  AppendBool(out, item.Verified);
  out += ',';
  AppendKey(out, "SourceFolders");
  out += '[';
  for (size_t i = 0; i < item.SourceFolders.size(); ++i) {
    if (i) out += ',';
    AppendJsonString(out, item.SourceFolders[i], true);
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
    AppendJsonString(out, f.FileName, true);
    out += ",\"FileSize\":";
    AppendInt(out, f.FileSize);
    out += ",\"Success\":";
    AppendBool(out, f.Success);
    out += '}';
  }
  out += "]}";
}

std::vector<TBackupHistoryItem> TConfigManager::ReadHistory() {
  std::vector<TBackupHistoryItem> items;
  TJsonTextReader reader(FHistoryFile, HistoryLimits);
  if (reader.OpenError() == ENOENT) {
    NoteFile(FHistoryNote, FHistoryFile, "");
    return items;
  }
  std::string problem = reader.Fault();
  if (reader.OpenError() == 0) {
    std::istream in(&reader);
    THistorySax sax([&](TRawEntry& raw) { items.push_back(CompleteEntry(raw, *FClock)); });
    const bool parsed = TJson::sax_parse(in, &sax);
    if (!reader.Fault().empty())
      problem = reader.Fault();
    else if (!parsed && reader.Blank())
      problem.clear();
    else if (!parsed || !sax.RootWasArray())
      problem = sax.SyntaxError() ? NotJsonProblem : "kök değeri bir dizi değil";
    else if (reader.ReplacedBytes() > 0)
      problem = ReplacedBytesProblem(reader.ReplacedBytes());
    // Replaced bytes cost only the characters they stood for; anything else leaves no entry to trust.
    if (!parsed || !reader.Fault().empty()) items.clear();
  }
  NoteFile(FHistoryNote, FHistoryFile, std::move(problem));
  return items;
}

void TConfigManager::SaveHistory(const std::vector<TBackupHistoryItem>& items) {
  EnsureReplaceable(FHistoryNote, "Yedekleme geçmişi dosyası");
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

std::vector<TBackupHistoryItem> TConfigManager::LoadHistory() { return ReadHistory(); }

void TConfigManager::AddHistoryItem(const TBackupHistoryItem& item) {
  auto items = ReadHistory();
  items.push_back(item);
  SaveHistory(items);
}

void TConfigManager::DeleteHistoryItem(int index) {
  auto items = ReadHistory();
  if (index < 0 || index >= static_cast<int>(items.size())) return;
  items.erase(items.begin() + index);
  SaveHistory(items);
}

void TConfigManager::DeleteHistoryByOutputPaths(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  auto items = ReadHistory();
  std::erase_if(items, [&](const TBackupHistoryItem& item) {
    for (const std::string& p : paths)
      if (SameText(item.OutputPath, p)) return true;
    return false;
  });
  SaveHistory(items);
}

void TConfigManager::ClearHistory() {
  std::error_code ec;
  if (!std::filesystem::exists(FHistoryFile, ec)) return;
  if (!std::filesystem::remove(FHistoryFile, ec) && ec)
    throw EVelkorError("Dosya silinemedi: " + FHistoryFile.string() + " (" + SystemErrorMessage(ec.value()) + ")");
}

}  // namespace velkor
