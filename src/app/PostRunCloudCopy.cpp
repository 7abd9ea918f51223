#include "app/PostRunCloudCopy.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <optional>
#include <vector>

#include "crypto/CryptoUtils.h"
#include "crypto/SecureStorage.h"
#include "engine/LongPathUtils.h"
#include "engine/WorkOutput.h"
#include "util/Error.h"
#include "util/FormatSettings.h"
#include "util/StringUtils.h"

namespace velkor {

namespace fs = std::filesystem;

namespace {

// Progress reaches the view at most this often (and whenever it reaches 100 %), like a run's.
constexpr uint64_t ProgressIntervalMs = 150;
constexpr double BytesPerMegabyte = 1048576.0;

// Every file below `folder` and its place inside it ("sub/b.txt").
std::vector<std::pair<std::string, std::string>> FilesBelow(const std::string& folder) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const std::string& file : LongGetFiles(folder, "*.*", true)) {
    std::string relative = file.substr(folder.size());
    if (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
    files.emplace_back(file, std::move(relative));
  }
  return files;
}

void MoveReplacing(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (ec) throw EVelkorError("Dosya taşınamadı: " + from.string() + " -> " + to.string() + " (" + ec.message() + ")");
}

// The cloud-only output while it is uploaded: moved into a locked work entry of its staging folder, so that a run
// killed meanwhile leaves a leftover instead of an output no history entry knows. An output that cannot be moved
// is uploaded where it is.
class THeldOutput {
public:
  explicit THeldOutput(const std::string& path) : FOriginal(ToNativePath(path)), FCurrent(FOriginal) {
    FIsFolder = LongDirectoryExists(path);
    if (!FIsFolder && !LongFileExists(path)) return;
    try {
      TWorkFolder hold = TWorkFolder::CreateWorkEntry(FOriginal.parent_path());
      const fs::path inside = hold.Path() / FOriginal.filename();
      if (!ClaimName(FOriginal, inside, FIsFolder)) return;
      FHold = std::move(hold);
      FCurrent = inside;
    } catch (const std::exception&) {
      FCurrent = FOriginal;
    }
  }
  ~THeldOutput() { PutBack(); }
  THeldOutput(const THeldOutput&) = delete;
  THeldOutput& operator=(const THeldOutput&) = delete;

  std::string Path() const { return FCurrent.string(); }

  // Back under its own name, as a later restore expects it. Never throws.
  void PutBack() {
    if (!FHold) return;
    try {
      if (ClaimName(FCurrent, FOriginal, FIsFolder)) {
        FCurrent = FOriginal;
        FHold->Remove();
      } else {
        FHold->Keep();
      }
    } catch (const std::exception&) {
      FHold->Keep();
    }
    FHold.reset();
  }

  // Deletes the output; what cannot be deleted is named in the returned warning.
  std::string Discard() {
    std::string warning;
    try {
      if (FIsFolder)
        LongDeleteDirectory(FCurrent.string(), true);
      else
        LongDeleteFile(FCurrent.string());
      if (LongFileExists(FCurrent.string()) || LongDirectoryExists(FCurrent.string()))
        warning = "Klasör tamamen silinemedi: " + FCurrent.string();
    } catch (const std::exception& e) {
      warning = e.what();
    }
    if (FHold) {
      // What could not be deleted stays named for the user rather than vanish with the next leftover cleanup.
      if (warning.empty())
        FHold->Remove();
      else
        PutBack();
      FHold.reset();
    }
    return warning;
  }

private:
  fs::path FOriginal;
  fs::path FCurrent;
  bool FIsFolder = false;
  std::optional<TWorkFolder> FHold;
};

// Builds a copy under a hidden work name in the target folder.
class TFolderCopy {
public:
  explicit TFolderCopy(const fs::path& target) : FWork(TWorkFolder::CreateWorkEntry(target)) {}
  const fs::path& Work() const { return FWork.Path(); }
  void Done() { FWork.Remove(); }

private:
  TWorkFolder FWork;
};

}  // namespace

TCloudCopyTarget CloudCopyTargetOf(const TBackupTask& task) {
  return {task.Name,
          task.StorageMode,
          task.CloudProvider,
          task.CloudDestinationFolder,
          task.CloudAccountName,
          task.CloudPasswordProtected};
}

bool UploadOutputToCloud(const TCloudCopyTarget& target, const std::string& sourcePath, std::string& remotePath,
                         const TUploadProgress& progress, IClock& clock, const std::function<bool()>& shouldCancel) {
  remotePath.clear();
  if (Trim(sourcePath).empty()) return false;
  std::string secret;
  try {
    secret = UnprotectString(target.CloudPasswordProtected);
  } catch (const std::exception&) {
    secret.clear();
  }
  TCloudStorageSettings settings = TCloudStorageClient::BuildSettings(
      target.CloudProvider, target.CloudDestinationFolder, target.CloudAccountName, secret);
  TCloudStorageClient client(settings, clock);
  WipeString(secret);
  WipeString(settings.SecretKey);
  client.SetOnProgress(progress);
  client.SetShouldCancel(shouldCancel);
  client.UploadBackupOutput(sourcePath, remotePath);
  return !remotePath.empty();
}

bool CopyOutputToFolder(const std::string& sourcePath, const std::string& targetFolder, std::string& copiedPath,
                        const std::function<bool()>& shouldCancel) {
  copiedPath.clear();
  auto checkCancel = [&shouldCancel] {
    if (shouldCancel && shouldCancel()) throw EVelkorError(CloudCopyCancelledMessage);
  };
  checkCancel();
  if (Trim(sourcePath).empty() || Trim(targetFolder).empty()) return false;
  LongForceDirectories(targetFolder);
  const fs::path target = ToNativePath(targetFolder);
  const fs::path source = ToNativePath(sourcePath);

  if (LongFileExists(sourcePath)) {
    const fs::path copied = target / source.filename();
    TFolderCopy copy(target);
    const fs::path built = copy.Work() / source.filename();
    LongCopyFile(source.string(), built.string(), false);
    MoveReplacing(built, copied);
    copy.Done();
    copiedPath = copied.string();
    return true;
  }
  if (!LongDirectoryExists(sourcePath)) return false;

  const fs::path copied = target / source.filename();
  const auto files = FilesBelow(source.string());
  TFolderCopy copy(target);
  const fs::path built = copy.Work() / source.filename();
  LongForceDirectories(built.string());
  for (const auto& [file, relative] : files) {
    checkCancel();
    LongForceDirectories((built / relative).parent_path().string());
    LongCopyFile(file, (built / relative).string(), false);
  }
  if (!ClaimName(built, copied, true)) {
    // A folder of that name is there already: the new files join it, each replacing its namesake.
    for (const auto& [file, relative] : files) {
      LongForceDirectories((copied / relative).parent_path().string());
      MoveReplacing(built / relative, copied / relative);
    }
  }
  copy.Done();
  copiedPath = copied.string();
  return true;
}

void TPostRunCloudCopy::PerformPostRunCloudCopy(const TCloudCopyTarget& target, TBackupResultSnapshot& s,
                                                const TPostRunContext& context) {
  if (!s.Success || (target.StorageMode != smCloud && target.StorageMode != smHybrid)) return;
  if (Trim(target.CloudDestinationFolder).empty()) {
    s.CloudStatus = "Hedef tanımsız";
    context.AddLog("Cloud hedef bilgisi bulunamadı; cloud kopya atlandı.");
    return;
  }
  std::string error;
  try {
    if (IsFolderCopyProvider(target.CloudProvider))
      CopyToFolder(target, s, context);
    else
      Upload(target, s, context);
    return;
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "beklenmeyen bir hata oluştu";
  }
  s.Success = false;
  s.CloudStatus = "Başarısız";
  if (context.ShouldCancel && context.ShouldCancel()) {
    // The output stays where the run left it; the run counts as cancelled, so no report is mailed.
    s.Message += std::string(" | ") + CloudCopyCancelledMessage;
    context.AddLog(CloudCopyCancelledMessage);
    return;
  }
  s.Message += " | Cloud upload hatası: " + error;
  context.AddLog("Cloud upload hatası: " + error);
}

void TPostRunCloudCopy::Upload(const TCloudCopyTarget& target, TBackupResultSnapshot& s,
                               const TPostRunContext& context) {
  std::optional<THeldOutput> held;
  if (target.StorageMode == smCloud) held.emplace(s.OutputPath);
  const std::string source = held ? held->Path() : s.OutputPath;

  FStartTick = FClock.TickMs();
  FLastShownTick = 0;
  FLastShownPercent = -1;
  std::string remote;
  const bool uploaded = UploadOutputToCloud(
      target, source, remote,
      [this, &context](const std::string& fileName, int64_t sent, int64_t total) {
        ShowProgress(context, fileName, sent, total);
      },
      FClock, context.ShouldCancel);
  if (!uploaded) {
    s.Success = false;
    s.CloudStatus = "Başarısız";
    s.Message += " | Cloud upload tamamlanamadı.";
    context.AddLog("Cloud upload tamamlanamadı.");
    return;
  }
  s.CloudOutputPath = remote;
  s.CloudStatus = "Tamamlandı";
  s.Message += " | Cloud upload: " + remote;
  context.AddLog("Cloud hedefe upload tamamlandı: " + remote);
  if (target.StorageMode != smCloud) return;
  s.OutputPath = remote;
  const std::string warning = held->Discard();
  if (!warning.empty()) context.AddLog("Geçici cloud staging temizleme uyarısı: " + warning);
}

void TPostRunCloudCopy::CopyToFolder(const TCloudCopyTarget& target, TBackupResultSnapshot& s,
                                     const TPostRunContext& context) {
  std::string copied;
  if (!CopyOutputToFolder(s.OutputPath, target.CloudDestinationFolder, copied, context.ShouldCancel)) {
    s.Success = false;
    s.CloudStatus = "Başarısız";
    s.Message += " | Cloud kopyası tamamlanamadı.";
    context.AddLog("Cloud kopyası tamamlanamadı.");
    return;
  }
  s.CloudOutputPath = copied;
  s.CloudStatus = "Tamamlandı";
  s.Message += " | Cloud kopyası: " + copied;
  context.AddLog("Hibrit kopya cloud hedefe gönderildi: " + copied);
}

void TPostRunCloudCopy::ShowProgress(const TPostRunContext& context, const std::string& fileName, int64_t sent,
                                     int64_t total) {
  if (!context.OnProgress) return;
  const int percent = total > 0 ? static_cast<int>(std::clamp<int64_t>(sent * 100 / total, 0, 100)) : 100;
  const uint64_t now = FClock.TickMs();
  const bool due = FLastShownPercent < 0 || now - FLastShownTick >= ProgressIntervalMs;
  if (!(due || (percent == 100 && FLastShownPercent != 100))) return;
  FLastShownTick = now;
  FLastShownPercent = percent;
  const double seconds = static_cast<double>(std::max<uint64_t>(now - FStartTick, 1)) / 1000.0;
  const std::string speed = FormatNumber(static_cast<double>(sent) / BytesPerMegabyte / seconds, 1);
  context.OnProgress({percent, "Cloud upload: " + fileName + " (" + std::to_string(percent) + "%, " + speed + " MB/s)",
                      "Cloud upload: " + std::to_string(percent) + "%"});
}

}  // namespace velkor
