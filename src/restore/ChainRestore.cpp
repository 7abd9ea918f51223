#include "restore/ChainRestore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>

#include "crypto/EncryptionManager.h"
#include "engine/LongPathUtils.h"
#include "engine/WorkOutput.h"
#include "platform/AtomicFile.h"
#include "platform/FileHandle.h"
#include "platform/Leftovers.h"
#include "restore/RestoreSupport.h"
#include "restore/StagingFolder.h"
#include "restore/ZipReader.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {

namespace fs = std::filesystem;

namespace {

constexpr const char* StepTimePicture = "dd.mm.yyyy hh:nn:ss";
constexpr uint64_t ProgressIntervalMs = 150;
constexpr size_t CopyBlockSize = 1 << 20;

// "path (Artımlı, 01.05.2024 10:01:00)": how a refusal names an output of the chain.
std::string DescribeOutput(const std::string& path, TBackupType type, TDateTime time) {
  return path + " (" + BackupTypeToText(type) + ", " + FormatDateTime(StepTimePicture, time) + ")";
}

std::string DescribeOutput(const TBackupChainItem& item) {
  return DescribeOutput(item.OutputPath, item.EffectiveType, item.BackupTime);
}

std::string DescribeOutput(const TChainRestoreStep& step) {
  return DescribeOutput(step.OutputPath, step.Type, step.BackupTime);
}

const TBackupChainItem* FindItemById(const TBackupTask& task, const std::string& id) {
  if (Trim(id).empty()) return nullptr;
  for (const auto& item : task.BackupChain)
    if (SameText(item->BackupId, id)) return item.get();
  return nullptr;
}

bool IsInChain(const TBackupTask& task, const std::string& outputPath) {
  for (const auto& item : task.BackupChain)
    if (SameText(item->OutputPath, outputPath)) return true;
  return false;
}

struct TLocatedEntry {
  const TBackupTask* Task = nullptr;
  const TBackupChainItem* Item = nullptr;
};

// The chain item recorded with the entry's output: the same path exactly, else the same path in another letter
// case; the task of the entry's name is looked at first, then the others (the task may have been renamed since).
TLocatedEntry LocateEntry(const TBackupHistoryItem& entry, const TBackupConfig& config) {
  std::vector<const TBackupTask*> tasks;
  for (const auto& task : config.Tasks)
    if (SameText(task->Name, entry.TaskName)) tasks.push_back(task.get());
  for (const auto& task : config.Tasks)
    if (!SameText(task->Name, entry.TaskName)) tasks.push_back(task.get());
  TLocatedEntry otherCase;
  for (const TBackupTask* task : tasks) {
    for (const auto& item : task->BackupChain) {
      if (item->OutputPath == entry.OutputPath) return {task, item.get()};
      if (otherCase.Item == nullptr && SameText(item->OutputPath, entry.OutputPath)) otherCase = {task, item.get()};
    }
  }
  return otherCase;
}

// A link of the chain whose item is gone (its output was deleted and a later run pruned it). The history still
// lists that run's output: the entries of the task between the set's full backup and `child` that the chain no
// longer holds are named, so the user knows what to bring back.
[[noreturn]] void RaiseMissingLink(const TBackupTask& task, const TBackupChainItem& entry,
                                   const TBackupChainItem& child, const std::string& missingId,
                                   const TBackupHistoryItem& historyEntry,
                                   const std::vector<TBackupHistoryItem>& history) {
  const TBackupChainItem* full = FindItemById(task, entry.BaseFullBackupId);
  const TDateTime after = full != nullptr ? full->BackupTime : 0;
  std::string candidates;
  for (const TBackupHistoryItem& h : history) {
    if (!SameText(h.TaskName, task.Name) && !SameText(h.TaskName, historyEntry.TaskName)) continue;
    if (!h.Success || Trim(h.OutputPath).empty() || h.BackupTime <= after || h.BackupTime >= child.BackupTime) continue;
    if (IsInChain(task, h.OutputPath)) continue;
    candidates += (candidates.empty() ? "" : ", ") + h.OutputPath;
  }
  std::string message = "Zincirdeki bir yedek artık kayıtlı değil (kimlik " + missingId + ")";
  if (!candidates.empty()) message += "; eksik olabilecek yedek: " + candidates;
  throw EVelkorError(message + ". Bu kaydın durumu oluşturulamaz.");
}

// The output exists, is of a kind a restore reads, and can be opened.
void CheckStepOutput(const TChainRestoreStep& step) {
  const std::string& path = step.OutputPath;
  const bool folder = LongDirectoryExists(path);
  if (Trim(path).empty() || (!folder && !LongFileExists(path)))
    throw EVelkorError("Zincirdeki yedek bulunamadı: " + DescribeOutput(step));
  const std::string extension = FileExtension(path);
  if (!folder && !SameText(extension, ".zip") && !SameText(extension, ".mbe"))
    throw EVelkorError("Desteklenmeyen yedek formatı: " + extension + " (" + path + ")");
  const TFileHandle opened(::open(ToNativePath(path).c_str(), (folder ? O_DIRECTORY : 0) | O_RDONLY | O_CLOEXEC));
  if (!opened.IsOpen())
    throw EVelkorError("Zincirdeki yedek okunamadı: " + DescribeOutput(step) + " - " + SystemErrorMessage(errno));
}

std::string NearestExistingFolder(const std::string& path) {
  fs::path folder = ToNativePath(path);
  std::error_code ec;
  while (!fs::is_directory(folder, ec) && folder.has_relative_path()) folder = folder.parent_path();
  return folder.string();
}

// Thrown out of a copy loop when the caller asks to stop; never leaves this file.
struct TCancelled {};

}  // namespace

TChainRestorePlan PlanChainRestore(const TBackupHistoryItem& item, const TBackupConfig& config,
                                   const std::vector<TBackupHistoryItem>& history) {
  if (Trim(item.OutputPath).empty()) throw EVelkorError("Geri yüklenecek kayıt için çıktı yolu bulunamadı.");
  const TLocatedEntry located = LocateEntry(item, config);
  if (located.Item == nullptr) {
    CheckSourcePath(item.OutputPath);
    throw EVelkorError("Bu kaydın çıktısı hiçbir görevin yedek zincirinde kayıtlı değil: " + item.OutputPath +
                       ". Yalnızca bu çıktı tek başına geri yüklenebilir.");
  }
  const TBackupTask& task = *located.Task;
  const TBackupChainItem& entry = *located.Item;

  // From the entry back to its set's full backup, each run's parent in turn (a differential names the full backup
  // itself; an older incremental without a parent was compared with the full backup too).
  std::vector<const TBackupChainItem*> links{&entry};
  while (links.back()->EffectiveType != btFull) {
    const TBackupChainItem& child = *links.back();
    const std::string parentId = Trim(child.ParentBackupId).empty() ? child.BaseFullBackupId : child.ParentBackupId;
    const TBackupChainItem* parent = FindItemById(task, parentId);
    if (parent == nullptr) RaiseMissingLink(task, entry, child, parentId, item, history);
    if (!SameText(parent->SetId, entry.SetId))
      throw EVelkorError("Zincirdeki yedek başka bir yedek setine ait: " + DescribeOutput(*parent));
    if (std::find(links.begin(), links.end(), parent) != links.end())
      throw EVelkorError("Yedek zinciri bozuk: bağlantıları bir döngü oluşturuyor (" + DescribeOutput(*parent) + ")");
    links.push_back(parent);
  }
  const TBackupChainItem& full = *links.back();
  if (!Trim(entry.BaseFullBackupId).empty() && !SameText(full.BackupId, entry.BaseFullBackupId))
    throw EVelkorError("Zincirdeki yedek başka bir yedek setine ait: " + DescribeOutput(full));

  TChainRestorePlan plan;
  plan.TaskName = task.Name;
  for (auto link = links.rbegin(); link != links.rend(); ++link) {
    const TBackupChainItem& chainItem = **link;
    plan.Steps.push_back({chainItem.BackupId, chainItem.OutputPath, chainItem.EffectiveType, chainItem.BackupTime});
  }
  for (const TChainRestoreStep& step : plan.Steps) {
    CheckStepOutput(step);
    if (TRestoreManager::RestoreRequiresPassword(step.OutputPath)) plan.RequiresPassword = true;
  }
  return plan;
}

// Writes the chosen files into the target, each into the work folder first and then to its name.
class TChainRestore::TWriter {
public:
  TWriter(const std::string& target, const std::string& password, IClock& clock,
          const TChainRestoreCallbacks& callbacks, int64_t totalBytes)
      : FRoot(TRestoreManager::NormalizeTargetRoot(target)),
        FPassword(password),
        FClock(clock),
        FCallbacks(callbacks),
        FTotalBytes(totalBytes),
        FGuard(target) {
    // A work folder of a restore that was killed here before holds nothing anyone needs.
    RemoveAbandonedWork(ToNativePath(target), [](std::string_view name) { return IsWorkEntryName(name); });
    FWork = TWorkFolder::CreateWorkEntry(ToNativePath(target));
    FPart = (FWork.Path() / "dosya").string();
  }

  bool Cancelled() const { return FCallbacks.ShouldCancel && FCallbacks.ShouldCancel(); }

  enum TOutcome { woRestored, woSkipped, woCancelled };
  TOutcome Write(size_t step, const TSourceFile& file, TZipReader* reader, TRestoreConflictAction action) {
    const std::string& target = *file.Target;
    std::optional<std::string> destination = TRestoreManager::ResolveConflictTarget(target, action);
    if (!destination) return woSkipped;
    FGuard.PrepareFolderOf(*destination, *destination);
    FStep = step;
    FFileName = target.substr(std::min(FRoot.size(), target.size()));
    Report(false);
    try {
      if (reader != nullptr)
        FillFromEntry(*reader, reader->Entries()[file.Entry]);
      else if (file.Encrypted)
        FillByDecrypting(file);
      else
        FillFromFile(file.FolderFile);
    } catch (const TCancelled&) {
      ::unlink(FPart.c_str());
      return woCancelled;
    } catch (...) {
      ::unlink(FPart.c_str());
      throw;
    }
    // Something may have taken the name since it was chosen: the next free name, or none with rcSkip.
    while (!PlaceFile(*destination)) {
      destination = TRestoreManager::ResolveConflictTarget(target, action);
      if (!destination) {
        ::unlink(FPart.c_str());
        return woSkipped;
      }
      FGuard.PrepareFolderOf(*destination, *destination);
    }
    return woRestored;
  }

  // Puts everything restored on the disk before success is reported, then removes the work folder.
  void Finish() {
    FDone = FTotalBytes;
    Report(true);
    if (::syncfs(FWork.Descriptor()) != 0)
      throw EVelkorError("Geri yüklenen dosyalar diske yazılamadı: " + FRoot + " (" + SystemErrorMessage(errno) + ")");
    FWork.Remove();
  }

private:
  void Report(bool force) {
    if (!FCallbacks.OnProgress) return;
    const uint64_t now = FClock.TickMs();
    if (!force && FReported && now - FLastReport < ProgressIntervalMs) return;
    FReported = true;
    FLastReport = now;
    const int percent = FTotalBytes > 0 ? static_cast<int>(std::min<int64_t>(100, FDone * 100 / FTotalBytes)) : 100;
    FCallbacks.OnProgress({TChainRestoreProgress::cpRestoring, static_cast<int>(FStep), FFileName, percent});
  }

  void Written(size_t size) {
    FDone += static_cast<int64_t>(size);
    Report(false);
  }

  TFileHandle CreatePart(mode_t mode) {
    ::unlink(FPart.c_str());
    TFileHandle out(::open(FPart.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!out.IsOpen()) RaiseWriteError(errno, FPart);
    return out;
  }

  void ClosePart(TFileHandle& out) {
    if (out.Close() != 0) RaiseWriteError(errno, FPart);
  }

  void FillFromEntry(TZipReader& reader, const TZipEntry& entry) {
    // Without recorded bits the file gets the usual mode of a new file (the process's umask applies).
    TFileHandle out = CreatePart(entry.HasMode ? 0600 : 0666);
    reader.ReadEntry(entry, [&](const char* data, size_t size) {
      if (Cancelled()) throw TCancelled();
      WriteAll(out.Get(), data, size, FPart);
      Written(size);
    });
    if (entry.HasMode) (void)::fchmod(out.Get(), static_cast<mode_t>(entry.Mode & 0777));
    ClosePart(out);
  }

  void FillFromFile(const std::string& source) {
    const TFileHandle in(::open(ToNativePath(source).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!in.IsOpen() || ::fstat(in.Get(), &st) != 0)
      throw EVelkorError("Dosya okunamadı: " + source + " (" + SystemErrorMessage(errno) + ")");
    TFileHandle out = CreatePart(0600);
    if (FBuffer.empty()) FBuffer.resize(CopyBlockSize);
    for (;;) {
      if (Cancelled()) throw TCancelled();
      const ssize_t got = ::read(in.Get(), FBuffer.data(), FBuffer.size());
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) throw EVelkorError("Dosya okunamadı: " + source + " (" + SystemErrorMessage(errno) + ")");
      if (got == 0) break;
      WriteAll(out.Get(), FBuffer.data(), static_cast<size_t>(got), FPart);
      Written(static_cast<size_t>(got));
    }
    // The bits its backup kept, never set-id or sticky ones.
    (void)::fchmod(out.Get(), st.st_mode & 0777);
    ClosePart(out);
  }

  void FillByDecrypting(const TSourceFile& file) {
    if (!FManager) {
      FManager = std::make_unique<TEncryptionManager>();
      FManager->SetPassword(FPassword);
    }
    ::unlink(FPart.c_str());
    FManager->DecryptFile(ToNativePath(file.FolderFile), FPart);
    Written(static_cast<size_t>(std::max<int64_t>(0, file.Size)));
  }

  // Moves the finished file to `destination` unless something stands there; false when the name is taken.
  bool PlaceFile(const std::string& destination) {
    if (MoveWithoutReplacing(FPart, destination)) return true;
    const int err = errno;
    if (err == EEXIST) return false;
    if (err == EXDEV) {
      // A volume mounted inside the target: copied, still never over anything.
      if (PathEntryExists(destination)) return false;
      LongCopyFile(FPart, destination, false);
      ::unlink(FPart.c_str());
      return true;
    }
    // File systems without the rename that refuses to replace.
    return ClaimName(FPart, destination, false);
  }

  std::string FRoot;
  const std::string& FPassword;
  IClock& FClock;
  const TChainRestoreCallbacks& FCallbacks;
  int64_t FTotalBytes;
  int64_t FDone = 0;
  TTargetGuard FGuard;
  TWorkFolder FWork;
  std::string FPart;
  std::vector<char> FBuffer;
  std::unique_ptr<TEncryptionManager> FManager;
  size_t FStep = 0;
  std::string FFileName;
  bool FReported = false;
  uint64_t FLastReport = 0;
};

TChainRestore::TChainRestore(TChainRestorePlan plan, std::string targetFolder, std::string password, IClock& clock)
    : FPlan(std::move(plan)), FTarget(Trim(targetFolder)), FPassword(std::move(password)), FClock(clock) {}

TChainRestore::~TChainRestore() { std::fill(FPassword.begin(), FPassword.end(), '\0'); }

bool TChainRestore::Prepare(const TChainRestoreCallbacks& callbacks) {
  if (FPrepared) return true;
  CheckTargetFolder(FTarget);
  const size_t steps = FPlan.Steps.size();
  FOutputs.assign(steps, {});
  FNewest.clear();
  auto report = [&](size_t step, int percent) {
    if (callbacks.OnProgress)
      callbacks.OnProgress({TChainRestoreProgress::cpReading, static_cast<int>(step), "", percent});
  };
  for (size_t step = 0; step < steps; ++step) {
    if (callbacks.ShouldCancel && callbacks.ShouldCancel()) {
      FOutputs.clear();
      FNewest.clear();
      FStaging.reset();
      return false;
    }
    report(step, static_cast<int>(step * 100 / steps));
    ReadOutput(step, FOutputs[step]);
  }
  // Only the newest version of each file is kept for the restore.
  for (size_t step = 0; step < steps; ++step)
    std::erase_if(FOutputs[step].Files, [&](const TSourceFile& file) { return !IsNewest(step, file); });
  CheckPasswordOfFolders();
  ReleaseUnneededCopies();

  FAnalysis = {};
  FBytesToWrite = 0;
  FBytesOfFreeNames = 0;
  for (const TOutput& output : FOutputs) {
    for (const TSourceFile& file : output.Files) {
      const int64_t size = std::max<int64_t>(0, file.Size);
      ++FAnalysis.TotalFiles;
      FBytesToWrite += size;
      if (!PathEntryExists(*file.Target)) {
        FBytesOfFreeNames += size;
        continue;
      }
      ++FAnalysis.ConflictCount;
      if (FAnalysis.FirstConflictPath.empty()) FAnalysis.FirstConflictPath = *file.Target;
    }
  }
  report(steps == 0 ? 0 : steps - 1, 100);
  FPrepared = true;
  return true;
}

void TChainRestore::ReadOutput(size_t step, TOutput& output) {
  const TChainRestoreStep& planned = FPlan.Steps[step];
  CheckStepOutput(planned);
  const std::string& path = planned.OutputPath;
  try {
    if (LongDirectoryExists(path)) {
      output.ReadPath = ToNativePath(path).string();
      for (const TListedFile& listed : LongListFiles(path, nullptr)) {
        std::string relative = RelativeName(output.ReadPath, listed.Path);
        const bool encrypted = SameText(FileExtension(listed.Path), ".mbe");
        if (encrypted) relative.resize(relative.size() - 4);
        auto target = TRestoreManager::ResolveSafeTargetPath(FTarget, relative, noFolder);
        if (!target) continue;
        if (encrypted && FPassword.empty()) throw EVelkorError(RestorePasswordRequiredMessage);
        AddFile(step, output, std::move(*target), {nullptr, listed.Path, 0, encrypted, listed.Size});
      }
      return;
    }
    if (SameText(FileExtension(path), ".mbe")) {
      if (!FStaging) FStaging = std::make_unique<TStagingFolder>("RestoreMbe_", FClock);
      output.ReadPath = DecryptArchiveInto(path, FPassword, *FStaging, "cikti-" + std::to_string(step + 1) + ".zip");
      output.Decrypted = true;
    } else {
      output.ReadPath = ToNativePath(path).string();
    }
    output.Archive = true;
    const TZipReader reader(output.ReadPath);
    output.EntryCount = reader.Entries().size();
    const TZipEntry* first = reader.Entries().data();
    for (TArchiveFile& file : ListArchiveFiles(reader, FTarget))
      AddFile(step, output, std::move(file.Target),
              {nullptr, "", static_cast<uint32_t>(file.Entry - first), false, static_cast<int64_t>(file.Entry->Size)});
  } catch (const EVelkorError& e) {
    // Which output of the chain it was; a decrypted archive's own name means nothing to the user.
    throw EVelkorError(std::string(e.what()) + " (yedek: " + path + ")");
  }
}

void TChainRestore::AddFile(size_t step, TOutput& output, std::string target, TSourceFile file) {
  // Outputs are read oldest first, so a later one takes the file over.
  auto [newest, added] = FNewest.try_emplace(std::move(target), step);
  if (!added) newest->second = step;
  file.Target = &newest->first;
  output.Files.push_back(std::move(file));
}

bool TChainRestore::IsNewest(size_t step, const TSourceFile& file) const { return FNewest.at(*file.Target) == step; }

void TChainRestore::CheckPasswordOfFolders() {
  // Each encrypted folder output proves the password on its smallest file, so a wrong one is refused before the
  // first write rather than half-way.
  for (size_t step = 0; step < FOutputs.size(); ++step) {
    const TSourceFile* smallest = nullptr;
    for (const TSourceFile& file : FOutputs[step].Files)
      if (file.Encrypted && (smallest == nullptr || file.Size < smallest->Size)) smallest = &file;
    if (smallest == nullptr) continue;
    if (!FStaging) FStaging = std::make_unique<TStagingFolder>("RestoreMbe_", FClock);
    const std::string probe = *FStaging / "parola-denemesi";
    try {
      TEncryptionManager manager;
      manager.SetPassword(FPassword);
      manager.DecryptFile(ToNativePath(smallest->FolderFile), probe);
    } catch (const EVelkorError& e) {
      throw EVelkorError(std::string(e.what()) + " (yedek: " + FPlan.Steps[step].OutputPath + ")");
    }
    LongDeleteFile(probe);
  }
}

void TChainRestore::ReleaseUnneededCopies() {
  for (TOutput& output : FOutputs)
    if (output.Decrypted && output.Files.empty()) LongDeleteFile(output.ReadPath);
}

void TChainRestore::CheckTargetRoom(TRestoreConflictAction conflictAction) const {
  // With rcSkip, files whose names are taken are not written.
  const int64_t needed = conflictAction == rcSkip ? FBytesOfFreeNames : FBytesToWrite;
  const std::string folder = NearestExistingFolder(FTarget);
  std::error_code ec;
  const fs::space_info space = fs::space(folder, ec);
  if (ec || needed <= 0 || static_cast<uintmax_t>(needed) <= space.available) return;
  throw EVelkorError("Hedef klasörde yeterli boş alan yok: gerekli alan " + FormatByteSize(needed) +
                     ", kullanılabilir alan " + FormatByteSize(static_cast<long long>(space.available)) + " (" +
                     folder + "). Geri yükleme başlatılmadı.");
}

TChainRestoreResult TChainRestore::Restore(TRestoreConflictAction conflictAction,
                                           const TChainRestoreCallbacks& callbacks) {
  TChainRestoreResult result;
  result.FilesPerStep.assign(FPlan.Steps.size(), 0);
  // Decrypted copies go while restoring: a second restore reads the outputs again.
  struct TUnprepare {
    bool& Prepared;
    ~TUnprepare() { Prepared = false; }
  } unprepare{FPrepared};
  if (!Prepare(callbacks)) {
    result.Cancelled = true;
    return result;
  }
  CheckTargetRoom(conflictAction);
  TWriter writer(FTarget, FPassword, FClock, callbacks, FBytesToWrite);
  for (size_t step = 0; step < FOutputs.size(); ++step) {
    TOutput& output = FOutputs[step];
    if (output.Files.empty()) continue;
    std::optional<TZipReader> reader;
    if (output.Archive) {
      reader.emplace(output.ReadPath);
      if (reader->Entries().size() != output.EntryCount)
        throw EVelkorError("Yedek çıktısı okunduktan sonra değişti: " + FPlan.Steps[step].OutputPath);
    }
    for (const TSourceFile& file : output.Files) {
      const auto outcome = writer.Cancelled() ? TWriter::woCancelled
                                              : writer.Write(step, file, reader ? &*reader : nullptr, conflictAction);
      if (outcome == TWriter::woCancelled) {
        result.Cancelled = true;
        return result;
      }
      ++(outcome == TWriter::woRestored ? result.RestoredCount : result.SkippedCount);
      ++result.FilesPerStep[step];
    }
    // Its decrypted copy has served; the room goes back to the temporary folder at once.
    if (output.Decrypted) LongDeleteFile(output.ReadPath);
  }
  writer.Finish();
  return result;
}

}  // namespace velkor
