// The history store: history.json holds one array of entries, oldest first. Every change reads the whole file and
// writes it again (entries carry their complete file lists), so reading goes element by element through a SAX
// pass and writing streams entry by entry instead of building one document for the whole history.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <istream>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string_view>

#include "config/ConfigManager.h"
#include "platform/AtomicFile.h"
#include "platform/FileHandle.h"
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
  // Summaries only: the file objects of "Files" that were and were not backed up.
  int SuccessfulFiles = 0;
  int FailedFiles = 0;
};

// history.json as the summary pass reads it: the value of every entry's "Files" key is checked here with a plain
// scan of its bytes (the parser would take most of the time on it) and reaches the parser as `[S,F]`, the numbers
// of its file objects that are and are not marked successful. Everything else passes through unchanged, and so does
// the file list of the entry at `keepEntry` (its position among the objects of the root array), for a read of that
// one entry. A file list that is not well-formed JSON ends the text there, so the parse fails just as a full read
// would.
class TFileListSkipper final : public std::streambuf {
public:
  explicit TFileListSkipper(std::streambuf& source, int keepEntry = -1) : FSource(source), FKeepEntry(keepEntry) {}
  // Where each entry object of the root array began and ended in the source text (its '{' and past its '}').
  const std::vector<std::pair<uint64_t, uint64_t>>& EntryRanges() const { return FRanges; }

protected:
  int_type underflow() override {
    while (gptr() == egptr()) {
      if (FEnd) return traits_type::eof();
      FIn.resize(BlockSize);
      const std::streamsize got = FSource.sgetn(FIn.data(), static_cast<std::streamsize>(FIn.size()));
      FIn.resize(static_cast<size_t>(std::max<std::streamsize>(got, 0)));
      if (FIn.empty()) FEnd = true;
      FOut.clear();
      if (!Filter(FIn.data(), FIn.size())) FEnd = true;
      FInputOffset += FIn.size();
      setg(FOut.data(), FOut.data(), FOut.data() + FOut.size());
    }
    return traits_type::to_int_type(*gptr());
  }

private:
  static constexpr size_t BlockSize = 256 * 1024;
  static constexpr int EntryDepth = 2;  // inside the root array's entry objects

  // The text between two JSON strings' special characters is taken in one go; most of a history is file names.
  // Eight bytes are tested at a time for one below 0x20, '"' or '\\'.
  static size_t PlainRun(const char* text, size_t at, size_t size) {
    constexpr uint64_t Ones = 0x0101010101010101ULL;
    constexpr uint64_t Highs = 0x8080808080808080ULL;
    const auto hasZeroByte = [](uint64_t x) { return (x - Ones) & ~x & Highs; };
    size_t end = at;
    while (end + 8 <= size) {
      uint64_t w;
      std::memcpy(&w, text + end, 8);
      if ((hasZeroByte(w & ~(Ones * 0x1F)) | hasZeroByte(w ^ (Ones * '"')) | hasZeroByte(w ^ (Ones * '\\'))) != 0)
        break;
      end += 8;
    }
    while (end < size) {
      const auto c = static_cast<unsigned char>(text[end]);
      if (c < 0x20 || c == '"' || c == '\\') break;
      ++end;
    }
    return end;
  }

  // False once a file list turns out not to be JSON.
  bool Filter(const char* text, size_t size) {
    for (size_t at = 0; at < size;) {
      if (FSkipping && FToken == tkString && !FEscaped && FHexLeft == 0 && !FSuccessKey) {
        at = PlainRun(text, at, size);
        if (at == size) break;
      } else if (!FSkipping && FInString && !FEscaped && !FFilesKey) {
        const size_t end = PlainRun(text, at, size);
        FOut.append(text + at, end - at);
        at = end;
        if (at == size) break;
      }
      const char c = text[at++];
      if (FSkipping) {
        if (!Skip(static_cast<unsigned char>(c))) return false;
      } else {
        FAt = FInputOffset + at - 1;
        Pass(c);
      }
    }
    return true;
  }

  // Outside file lists: the text goes on as it is, and the structure is followed just far enough to see an
  // entry's "Files" key and the array after it.
  void Pass(char c) {
    if (FInString) {
      FOut += c;
      if (FEscaped) {
        FEscaped = false;
        FFilesKey = false;
      } else if (c == '\\') {
        FEscaped = true;
      } else if (c == '"') {
        FInString = false;
        FAfterFilesKey = FFilesKey && FKeyLength == 5;
      } else {
        FFilesKey = FFilesKey && FKeyLength < 5 && c == "Files"[FKeyLength];
        ++FKeyLength;
      }
      return;
    }
    if (c == '[' && FAfterColon && FDepth == EntryDepth && FEntryIndex != FKeepEntry) {
      FSkipping = true;
      FAfterColon = false;
      FStack.assign(1, '[');
      FExpect = exValueOrClose;
      FFilesSucceeded = 0;
      FFilesFailed = 0;
      return;
    }
    FOut += c;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') return;
    FAfterColon = c == ':' && FAfterFilesKey;
    FAfterFilesKey = false;
    if (c == '"') {
      FInString = true;
      FFilesKey = FDepth == EntryDepth;
      FKeyLength = 0;
    } else if (c == '[' || c == '{') {
      if (c == '{' && FDepth == EntryDepth - 1) {
        ++FEntryIndex;
        FEntryBegin = FAt;
      }
      ++FDepth;
    } else if ((c == ']' || c == '}') && FDepth > 0) {
      --FDepth;
      if (c == '}' && FDepth == EntryDepth - 1) FRanges.emplace_back(FEntryBegin, FAt + 1);
    }
  }

  // Inside a file list: a JSON syntax check, and of each file object whether "Success" last said true.
  enum TExpect { exValue, exValueOrClose, exKey, exKeyOrClose, exColon, exCommaOrClose };
  enum TToken { tkNone, tkString, tkLiteral, tkNumber };
  enum TNumber { nmSign, nmZero, nmInt, nmDot, nmFrac, nmExp, nmExpSign, nmExpDigits };

  bool Skip(unsigned char c) {
    if (FToken == tkString) return StringByte(c);
    if (FToken == tkLiteral) {
      if (c != static_cast<unsigned char>(FLiteral[FLiteralAt])) return false;
      if (FLiteral[++FLiteralAt] == '\0') EndValue();
      return true;
    }
    if (FToken == tkNumber) {
      if (NumberByte(c)) return true;
      if (FNumber != nmZero && FNumber != nmInt && FNumber != nmFrac && FNumber != nmExpDigits) return false;
      EndValue();
    }
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') return true;
    const bool inObject = FStack.back() == '{';
    switch (FExpect) {
      case exColon:
        if (c != ':') return false;
        FExpect = exValue;
        return true;
      case exCommaOrClose:
        if (c == ',') {
          FExpect = inObject ? exKey : exValue;
          return true;
        }
        return Close(c);
      case exKey:
      case exKeyOrClose:
        if (c == '"') {
          BeginString(true);
          return true;
        }
        return FExpect == exKeyOrClose && Close(c);
      case exValue:
      case exValueOrClose: break;
    }
    if (FExpect == exValueOrClose && (c == ']' || c == '}')) return Close(c);
    if (c == '[' || c == '{') {
      // The file list's own nesting stays within what the reader let through.
      FStack.push_back(static_cast<char>(c));
      FSuccessValue = false;
      FExpect = c == '[' ? exValueOrClose : exKeyOrClose;
      if (c == '{' && FStack.size() == 2) FFileSuccess = false;
      return true;
    }
    if (c == '"') {
      BeginString(false);
      return true;
    }
    if (c == 't' || c == 'f' || c == 'n') {
      FLiteral = c == 't' ? "true" : c == 'f' ? "false" : "null";
      FLiteralAt = 1;
      FToken = tkLiteral;
      if (FSuccessValue && c != 'n') FFileSuccess = c == 't';
      return true;
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
      FToken = tkNumber;
      FNumber = c == '-' ? nmSign : c == '0' ? nmZero : nmInt;
      return true;
    }
    return false;
  }

  void BeginString(bool key) {
    FToken = tkString;
    FStringIsKey = key;
    FKeyLength = 0;
    FSuccessKey = key && FStack.size() == 2;
  }

  bool StringByte(unsigned char c) {
    if (FHexLeft > 0) {
      if (!std::isxdigit(c)) return false;
      --FHexLeft;
      return true;
    }
    if (FEscaped) {
      FEscaped = false;
      FSuccessKey = false;
      if (c == 'u') {
        FHexLeft = 4;
        return true;
      }
      return std::string_view("\"\\/bfnrt").find(static_cast<char>(c)) != std::string_view::npos;
    }
    if (c == '\\') {
      FEscaped = true;
      return true;
    }
    if (c == '"') {
      FToken = tkNone;
      if (FStringIsKey) {
        FSuccessValue = FSuccessKey && FKeyLength == 7;
        FExpect = exColon;
      } else {
        EndValue();
      }
      return true;
    }
    if (c < 0x20) return false;
    FSuccessKey = FSuccessKey && FKeyLength < 7 && c == static_cast<unsigned char>("Success"[FKeyLength]);
    ++FKeyLength;
    return true;
  }

  bool NumberByte(unsigned char c) {
    const bool digit = c >= '0' && c <= '9';
    switch (FNumber) {
      case nmSign:
        if (!digit) return false;
        FNumber = c == '0' ? nmZero : nmInt;
        return true;
      case nmZero:
      case nmInt:
        if (digit && FNumber == nmInt) return true;
        if (c == '.') return FNumber = nmDot, true;
        if (c == 'e' || c == 'E') return FNumber = nmExp, true;
        return false;
      case nmDot: return digit && (FNumber = nmFrac, true);
      case nmFrac:
        if (digit) return true;
        if (c == 'e' || c == 'E') return FNumber = nmExp, true;
        return false;
      case nmExp:
        if (c == '+' || c == '-') return FNumber = nmExpSign, true;
        return digit && (FNumber = nmExpDigits, true);
      case nmExpSign: return digit && (FNumber = nmExpDigits, true);
      case nmExpDigits: return digit;
    }
    return false;
  }

  void EndValue() {
    FToken = tkNone;
    FSuccessValue = false;
    FExpect = exCommaOrClose;
  }

  bool Close(unsigned char c) {
    if (c != static_cast<unsigned char>(FStack.back() == '[' ? ']' : '}')) return false;
    if (c == '}' && FStack.size() == 2) ++(FFileSuccess ? FFilesSucceeded : FFilesFailed);
    FStack.pop_back();
    if (!FStack.empty()) {
      EndValue();
      return true;
    }
    FSkipping = false;
    FOut += '[' + std::to_string(FFilesSucceeded) + ',' + std::to_string(FFilesFailed) + ']';
    return true;
  }

  std::streambuf& FSource;
  const int FKeepEntry;
  std::string FIn;
  std::string FOut;
  bool FEnd = false;
  // Outside file lists.
  int FDepth = 0;
  int FEntryIndex = -1;       // of the entry object read last
  uint64_t FInputOffset = 0;  // of the current block in the source
  uint64_t FAt = 0;           // of the byte being passed on
  uint64_t FEntryBegin = 0;
  std::vector<std::pair<uint64_t, uint64_t>> FRanges;
  bool FInString = false;
  bool FEscaped = false;
  bool FFilesKey = false;       // the string so far could be an entry's "Files" key
  bool FAfterFilesKey = false;  // that key has just ended
  bool FAfterColon = false;     // ... and its colon
  size_t FKeyLength = 0;
  // Inside one.
  bool FSkipping = false;
  std::string FStack;  // open arrays and objects, the list itself first
  TExpect FExpect = exValue;
  TToken FToken = tkNone;
  TNumber FNumber = nmInt;
  const char* FLiteral = "";
  size_t FLiteralAt = 0;
  int FHexLeft = 0;
  bool FStringIsKey = false;
  bool FSuccessKey = false;    // the key so far could be a file object's "Success"
  bool FSuccessValue = false;  // the value that follows is that key's
  bool FFileSuccess = false;   // the current file object's "Success", false until it says true
  int64_t FFilesSucceeded = 0;
  int64_t FFilesFailed = 0;
};

// Reads history.json straight into entries, element by element, without building a document: the file holds
// every file list of every run, so this is the cost each history change pays. Values of the wrong JSON type are
// skipped (the field keeps its default); elements that are not objects are skipped; a root that is not an
// array, or a syntax error, fails the whole parse. In a summary the file lists arrive already stepped over
// (TFileListSkipper): "Files" holds the two counts of its successful and failed files. With `wantedEntry` set,
// every other entry object is only parsed, never built, and `onEntry` sees that one alone.
class THistorySax final : public nlohmann::json_sax<TJson> {
public:
  THistorySax(std::function<void(TRawEntry&)> onEntry, bool summary, int wantedEntry = -1)
      : FOnEntry(std::move(onEntry)), FSummary(summary), FWanted(wantedEntry) {}
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
        if (FWanted >= 0 && FEntryCount++ != FWanted) return ++FSkip, true;
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
      FEntry.SuccessfulFiles = FEntry.FailedFiles = 0;
      FCountsRead = 0;
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
      case TLevel::lvFiles:
        // The skipper's two counts.
        if (FSummary && v.Int && FCountsRead < 2)
          (FCountsRead++ == 0 ? FEntry.SuccessfulFiles : FEntry.FailedFiles) = Int32(v).value_or(INT32_MAX);
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
  bool FSummary = false;
  int FWanted = -1;
  int FEntryCount = 0;
  int FCountsRead = 0;
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

namespace {

// What one read of history.json found. `Keep` is false when the entries handed on cannot be trusted.
struct THistoryRead {
  bool Missing = false;
  std::string Problem;
  bool Keep = true;
  // A summary pass that read the file whole without a problem, while it stayed one settled version: that version
  // and where its entries lie.
  std::optional<TFileIdentity> Identity;
  std::vector<std::pair<uint64_t, uint64_t>> Ranges;
};

// The three passes over history.json: every entry whole, every entry without its file list, or one entry whole
// with the others only checked.
enum class TPass { psFull, psSummary, psOneEntry };

THistoryRead ParseHistory(const std::filesystem::path& file, TPass pass, int entry,
                          const std::function<void(TRawEntry&)>& onEntry) {
  THistoryRead result;
  TJsonTextReader reader(file, HistoryLimits);
  if (reader.OpenError() == ENOENT) {
    result.Missing = true;
    return result;
  }
  result.Problem = reader.Fault();
  if (reader.OpenError() != 0) return result;
  TFileListSkipper skipper(reader, pass == TPass::psOneEntry ? entry : -1);
  std::istream in(pass == TPass::psFull ? static_cast<std::streambuf*>(&reader) : &skipper);
  THistorySax sax(onEntry, pass == TPass::psSummary, pass == TPass::psOneEntry ? entry : -1);
  const std::optional<TFileIdentity> before = FileIdentityOf(reader.Descriptor());
  const bool parsed = TJson::sax_parse(in, &sax);
  if (!reader.Fault().empty())
    result.Problem = reader.Fault();
  else if (!parsed && reader.Blank())
    result.Problem.clear();
  else if (!parsed || !sax.RootWasArray())
    result.Problem = sax.SyntaxError() ? NotJsonProblem : "kök değeri bir dizi değil";
  else if (reader.ReplacedBytes() > 0)
    result.Problem = ReplacedBytesProblem(reader.ReplacedBytes());
  // Replaced bytes cost only the characters they stood for; anything else leaves no entry to trust.
  result.Keep = parsed && reader.Fault().empty();
  if (pass == TPass::psSummary && result.Problem.empty() && result.Keep && before &&
      before == FileIdentityOf(reader.Descriptor()) && IdentityIsSettled(*before)) {
    result.Identity = before;
    result.Ranges = skipper.EntryRanges();
  }
  return result;
}

}  // namespace

std::vector<TBackupHistoryItem> TConfigManager::ReadHistory() {
  std::vector<TBackupHistoryItem> items;
  const THistoryRead read = ParseHistory(FHistoryFile, TPass::psFull, -1,
                                         [&](TRawEntry& raw) { items.push_back(CompleteEntry(raw, *FClock)); });
  NoteFile(FHistoryNote, FHistoryFile, read.Problem);
  if (!read.Keep) items.clear();
  return items;
}

THistorySummary HistorySummaryOf(TBackupHistoryItem item) {
  THistorySummary summary;
  for (const TBackupFileDetail& file : item.Files) ++(file.Success ? summary.SuccessfulFiles : summary.FailedFiles);
  item.Files = {};  // its storage too: summaries are kept
  summary.Item = std::move(item);
  return summary;
}

namespace {

// Entry `at` of the file version `index` describes, read from its bytes alone and checked as a whole read would
// check them. nullopt when the file is no longer that version or the bytes do not read as one entry; `at` outside
// the entries gives no item.
struct TIndexedEntry {
  std::optional<TBackupHistoryItem> Item;
};
std::optional<TIndexedEntry> ReadIndexedEntry(const std::filesystem::path& file, const THistoryIndex& index, int at,
                                              IClock& clock) {
  const TFileHandle fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.IsOpen() || FileIdentityOf(fd.Get()) != index.File) return std::nullopt;
  if (at < 0 || static_cast<size_t>(at) >= index.Entries.size()) return TIndexedEntry{};
  const THistoryIndex::TEntry& range = index.Entries[static_cast<size_t>(at)];
  if (range.End < range.Begin || range.End > index.File.Size) return std::nullopt;
  // One entry's bytes, wrapped in the root array it sits in.
  std::string text(static_cast<size_t>(range.End - range.Begin) + 2, '[');
  text.back() = ']';
  for (size_t done = 0; done + 2 < text.size();) {
    const ssize_t got =
        ::pread(fd.Get(), text.data() + 1 + done, text.size() - 2 - done, static_cast<off_t>(range.Begin + done));
    if (got <= 0) return std::nullopt;
    done += static_cast<size_t>(got);
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < text.size();) {
    const size_t len = bytes[i] < 0x80 ? 1 : Utf8SequenceLength(bytes + i, text.size() - i);
    if (len == 0) return std::nullopt;
    i += len;
  }
  std::optional<TRawEntry> raw;
  int entries = 0;
  THistorySax sax(
      [&](TRawEntry& entry) {
        ++entries;
        raw = std::move(entry);
      },
      false);
  if (!TJson::sax_parse(text.begin(), text.end(), &sax) || entries != 1) return std::nullopt;
  return TIndexedEntry{CompleteEntry(*raw, clock)};
}

}  // namespace

const THistoryIndex* TConfigManager::MatchingHistoryIndex() const {
  if (!FHistoryIndex) return nullptr;
  const TFileHandle fd(::open(FHistoryFile.c_str(), O_RDONLY | O_CLOEXEC));
  return fd.IsOpen() && FileIdentityOf(fd.Get()) == FHistoryIndex->File ? FHistoryIndex.get() : nullptr;
}

void TConfigManager::OfferHistoryIndex(const std::shared_ptr<const THistoryIndex>& index) {
  if (index == FOfferedIndex) return;
  FOfferedIndex = index;
  FHistoryIndex = index;
}

std::vector<THistorySummary> TConfigManager::LoadHistorySummary() {
  std::vector<THistorySummary> items;
  if (const THistoryIndex* index = MatchingHistoryIndex()) {
    // The version the index was made from, which read whole.
    NoteFile(FHistoryNote, FHistoryFile, {});
    items.reserve(index->Entries.size());
    for (const THistoryIndex::TEntry& entry : index->Entries) items.push_back(entry.Summary);
    return items;
  }
  ReadHistorySummary(items);
  return items;
}

bool TConfigManager::ReadHistorySummary(std::vector<THistorySummary>& items) {
  const THistoryRead read = ParseHistory(FHistoryFile, TPass::psSummary, -1, [&](TRawEntry& raw) {
    // A list the skipper did not recognise (its key spelled with escapes) arrives whole and is judged here.
    THistorySummary summary;
    summary.SuccessfulFiles = raw.SuccessfulFiles;
    summary.FailedFiles = raw.FailedFiles;
    for (const TBackupFileDetail& file : raw.Item.Files)
      ++(file.Success ? summary.SuccessfulFiles : summary.FailedFiles);
    raw.Item.Files.clear();
    summary.Item = CompleteEntry(raw, *FClock);
    items.push_back(std::move(summary));
  });
  NoteFile(FHistoryNote, FHistoryFile, read.Problem);
  if (!read.Keep) items.clear();
  FHistoryIndex.reset();
  if (read.Identity && read.Ranges.size() == items.size()) {
    auto index = std::make_shared<THistoryIndex>();
    index->File = *read.Identity;
    index->Entries.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i)
      index->Entries.push_back({read.Ranges[i].first, read.Ranges[i].second, items[i]});
    FHistoryIndex = std::move(index);
  }
  return read.Keep && !read.Missing;
}

std::optional<TBackupHistoryItem> TConfigManager::LoadHistoryItem(int index) {
  if (index < 0) return std::nullopt;
  if (FHistoryIndex) {
    if (std::optional<TIndexedEntry> entry = ReadIndexedEntry(FHistoryFile, *FHistoryIndex, index, *FClock)) {
      NoteFile(FHistoryNote, FHistoryFile, {});
      return std::move(entry->Item);
    }
  }
  // No index of this version: the summary pass makes one, so this read and the next ones take one entry's bytes.
  std::vector<THistorySummary> summaries;
  if (!ReadHistorySummary(summaries)) return std::nullopt;
  if (FHistoryIndex) {
    if (std::optional<TIndexedEntry> entry = ReadIndexedEntry(FHistoryFile, *FHistoryIndex, index, *FClock))
      return std::move(entry->Item);
  }
  // Kept with replaced bytes, or changed meanwhile: the entry comes from a pass of its own.
  std::optional<TBackupHistoryItem> item;
  const THistoryRead read =
      ParseHistory(FHistoryFile, TPass::psOneEntry, index, [&](TRawEntry& raw) { item = CompleteEntry(raw, *FClock); });
  NoteFile(FHistoryNote, FHistoryFile, read.Problem);
  if (!read.Keep) item.reset();
  return item;
}

TBackupHistoryItem HistoryItemAsStored(const TBackupHistoryItem& item, IClock& clock) {
  std::string text = "[";
  AppendHistoryItemJson(text, item);
  text += ']';
  std::istringstream in(std::move(text));
  std::optional<TBackupHistoryItem> stored;
  THistorySax sax([&](TRawEntry& raw) { stored = CompleteEntry(raw, clock); }, false);
  // The store writes only valid JSON, so this parse cannot fail; the entry as given serves if it ever did.
  if (!TJson::sax_parse(in, &sax) || !stored) return item;
  return std::move(*stored);
}

void TConfigManager::SetHistoryCommitGuard(THistoryCommitGuard guard) { FHistoryCommitGuard = std::move(guard); }

void TConfigManager::ChangeHistoryFile(const std::function<void()>& change) {
  if (FHistoryCommitGuard)
    FHistoryCommitGuard(change);
  else
    change();
}

void TConfigManager::SaveHistory(std::vector<TBackupHistoryItem> items, std::optional<TBackupHistoryItem> storedLast) {
  EnsureReplaceable(FHistoryNote, "Yedekleme geçmişi dosyası");
  TAtomicFileWriter writer(FHistoryFile);
  // The index of the new file, made as it is written: the entries came from a read of the file (and read back as
  // they are), the last one added is taken as a read will give it back. Each entry goes into its summary once
  // written, so its file list is let go of on the way.
  auto index = std::make_shared<THistoryIndex>();
  index->Entries.reserve(items.size());
  uint64_t offset = Utf8Bom.size() + 1;
  writer.Write(Utf8Bom);
  writer.Write("[");
  std::string buffer;
  for (size_t i = 0; i < items.size(); ++i) {
    buffer.clear();
    if (i) buffer += ',';
    AppendHistoryItemJson(buffer, items[i]);
    writer.Write(buffer);
    const bool last = i + 1 == items.size();
    index->Entries.push_back({offset + (i ? 1 : 0), offset + buffer.size(),
                              HistorySummaryOf(std::move(last && storedLast ? *storedLast : items[i]))});
    offset += buffer.size();
  }
  writer.Write("]");
  writer.Write(JsonFileLineEnd);
  // The slow part (the data reaching the disk) stays outside the guard; only the rename runs inside it.
  writer.Flush();
  const std::optional<TFileIdentity> identity = writer.Identity();
  if (identity) {
    index->File = *identity;
    WaitUntilSettled(*identity);
  }
  ChangeHistoryFile([&] {
    writer.Commit();
    if (identity && IdentityIsSettled(*identity))
      FHistoryIndex = std::move(index);
    else
      FHistoryIndex.reset();
  });
}

std::vector<TBackupHistoryItem> TConfigManager::LoadHistory() { return ReadHistory(); }

void TConfigManager::AddHistoryItem(const TBackupHistoryItem& item) {
  auto items = ReadHistory();
  items.push_back(item);
  SaveHistory(std::move(items), HistoryItemAsStored(item, *FClock));
}

void TConfigManager::DeleteHistoryItem(int index) {
  auto items = ReadHistory();
  if (index < 0 || index >= static_cast<int>(items.size())) return;
  items.erase(items.begin() + index);
  SaveHistory(std::move(items));
}

void TConfigManager::DeleteHistoryByOutputPaths(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  auto items = ReadHistory();
  std::erase_if(items, [&](const TBackupHistoryItem& item) {
    for (const std::string& p : paths)
      if (SameText(item.OutputPath, p)) return true;
    return false;
  });
  SaveHistory(std::move(items));
}

void TConfigManager::ClearHistory() {
  std::error_code ec;
  if (!std::filesystem::exists(FHistoryFile, ec)) return;
  ChangeHistoryFile([&] {
    if (!std::filesystem::remove(FHistoryFile, ec) && ec)
      throw EVelkorError("Dosya silinemedi: " + FHistoryFile.string() + " (" + SystemErrorMessage(ec.value()) + ")");
    FHistoryIndex.reset();
  });
}

}  // namespace velkor
