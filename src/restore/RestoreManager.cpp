#include "restore/RestoreManager.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <set>
#include <vector>

#include "crypto/EncryptionManager.h"
#include "engine/LongPathUtils.h"
#include "platform/AtomicFile.h"
#include "platform/FileHandle.h"
#include "restore/RestoreSupport.h"
#include "restore/StagingFolder.h"
#include "restore/ZipReader.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {

namespace fs = std::filesystem;

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

[[noreturn]] void RaiseUnsafeName(const std::string& entryName) {
  throw EVelkorError("Arşiv içinde güvenli olmayan bir yol algılandı: " + ShownEntryName(entryName));
}

}  // namespace

TRestoreManager::TRestoreManager(IClock& clock) : FClock(clock) {}

std::string TRestoreManager::NormalizeTargetRoot(const std::string& targetFolder) {
  std::string root = ToNativePath(targetFolder.empty() ? std::string(".") : targetFolder).string();
  if (!root.ends_with('/')) root += '/';
  return root;
}

std::optional<std::string> TRestoreManager::ResolveSafeTargetPath(const std::string& targetFolder,
                                                                  const std::string& entryName,
                                                                  TEntryNameOrigin origin) {
  std::string relative = entryName;
  if (origin == noWindowsArchive) std::replace(relative.begin(), relative.end(), '\\', '/');
  relative.erase(0, relative.find_first_not_of('/'));
  if (relative.empty() || relative.back() == '/') return std::nullopt;
  if (relative.find('\0') != std::string::npos) RaiseUnsafeName(entryName);
  // The checks read "\" as a separator in every archive name: what climbs out on Windows is refused here too.
  std::string judged = relative;
  if (origin != noFolder) std::replace(judged.begin(), judged.end(), '\\', '/');
  const std::vector<std::string> parts = SplitString(judged, '/');
  const std::string& first = parts.front();
  if (first == ".." || (origin != noFolder && first.size() >= 2 && first[1] == ':' && IsAsciiLetter(first[0])))
    RaiseUnsafeName(entryName);
  for (size_t i = 0; i + 1 < parts.size(); ++i)
    if (parts[i] == "..") RaiseUnsafeName(entryName);
  const std::string root = NormalizeTargetRoot(targetFolder);
  // Paths here are case-sensitive, so the root must match exactly; the folder itself is no place for a file.
  auto inside = [&](const std::string& path) {
    return path.size() > root.size() && path.compare(0, root.size(), root) == 0;
  };
  const std::string full = ToNativePath(root + relative).string();
  if (!inside(ToNativePath(root + judged).string()) || !inside(full)) RaiseOutsideTarget(entryName);
  return full;
}

std::optional<std::string> TRestoreManager::ResolveConflictTarget(const std::string& targetPath,
                                                                  TRestoreConflictAction conflictAction) {
  if (!PathEntryExists(targetPath)) return targetPath;
  if (conflictAction == rcSkip) return std::nullopt;
  const size_t slash = targetPath.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : targetPath.substr(0, slash + 1);
  const std::string fileName = targetPath.substr(folder.size());
  const std::string extension = FileExtension(fileName);
  const std::string name = fileName.substr(0, fileName.size() - extension.size());
  for (int n = 1;; ++n) {
    std::string candidate = folder + name + " (" + std::to_string(n) + ")" + extension;
    if (!PathEntryExists(candidate)) return candidate;
  }
}

bool TRestoreManager::RestoreRequiresPassword(const std::string& sourcePath) {
  if (SameText(FileExtension(sourcePath), ".mbe")) return true;
  if (!LongDirectoryExists(sourcePath)) return false;
  try {
    for (const auto& file : LongGetFiles(sourcePath, "*.mbe", true))
      if (SameText(FileExtension(file), ".mbe")) return true;
  } catch (const EVelkorError&) {
    // A folder that cannot be listed cannot be restored either; the restore reports why.
  }
  return false;
}

TRestoreAnalysis TRestoreManager::AnalyzeRestore(const std::string& sourcePath, const std::string& targetFolder,
                                                 const std::string& password) {
  TRestoreAnalysis analysis;
  CheckSourcePath(sourcePath);
  CheckTargetFolder(targetFolder);
  const std::string extension = FileExtension(sourcePath);
  if (LongDirectoryExists(sourcePath)) {
    AnalyzeFolder(sourcePath, targetFolder, analysis);
  } else if (SameText(extension, ".zip")) {
    AnalyzeZip(sourcePath, targetFolder, analysis);
  } else if (SameText(extension, ".mbe")) {
    TStagingFolder staging("RestoreAnalyze_", FClock);
    AnalyzeZip(DecryptArchiveInto(sourcePath, password, staging), targetFolder, analysis);
  } else {
    RaiseUnsupportedFormat(sourcePath);
  }
  return analysis;
}

void TRestoreManager::AnalyzeFolder(const std::string& sourceFolder, const std::string& targetFolder,
                                    TRestoreAnalysis& analysis) {
  const std::string folderNative = ToNativePath(sourceFolder).string();
  for (const auto& file : LongGetFiles(sourceFolder, "*.*", true)) {
    std::string relative = RelativeName(folderNative, file);
    if (SameText(FileExtension(file), ".mbe")) relative.resize(relative.size() - 4);
    if (const auto target = ResolveSafeTargetPath(targetFolder, relative, noFolder))
      CountRestoreEntry(*target, analysis);
  }
}

void TRestoreManager::AnalyzeZip(const std::string& zipPath, const std::string& targetFolder,
                                 TRestoreAnalysis& analysis) {
  const TZipReader reader(zipPath);
  for (const auto& file : ListArchiveFiles(reader, targetFolder)) CountRestoreEntry(file.Target, analysis);
}

void TRestoreManager::CountRestoreEntry(const std::string& targetPath, TRestoreAnalysis& analysis) {
  ++analysis.TotalFiles;
  if (!PathEntryExists(targetPath)) return;
  ++analysis.ConflictCount;
  if (analysis.FirstConflictPath.empty()) analysis.FirstConflictPath = targetPath;
}

void TRestoreManager::RestoreBackupOutput(const std::string& sourcePath, const std::string& targetFolder,
                                          const std::string& password, TRestoreConflictAction conflictAction,
                                          int32_t& restoredCount, int32_t& skippedCount) {
  restoredCount = 0;
  skippedCount = 0;
  CheckSourcePath(sourcePath);
  CheckTargetFolder(targetFolder);
  // The target folder is created by the step that first writes into it, so a restore that fails before (a wrong
  // password, an unsafe archive) leaves no trace there.
  TRestoreCounters counters;
  const std::string extension = FileExtension(sourcePath);
  if (LongDirectoryExists(sourcePath)) {
    RestoreFolderTree(sourcePath, targetFolder, conflictAction, password, true, counters);
  } else if (SameText(extension, ".zip")) {
    RestoreZip(sourcePath, targetFolder, conflictAction, counters);
  } else if (SameText(extension, ".mbe")) {
    TStagingFolder staging("RestoreMbe_", FClock);
    Report(rsDecrypt, 0, 0, sourcePath);
    RestoreBackupOutput(DecryptArchiveInto(sourcePath, password, staging), targetFolder, password, conflictAction,
                        counters.Restored, counters.Skipped);
  } else {
    RaiseUnsupportedFormat(sourcePath);
  }
  restoredCount = counters.Restored;
  skippedCount = counters.Skipped;
}

void TRestoreManager::RestoreZip(const std::string& zipPath, const std::string& targetFolder,
                                 TRestoreConflictAction conflictAction, TRestoreCounters& counters) {
  TStagingFolder staging("RestoreZip_", FClock);
  TStagedModes modes;
  ExtractZipToFolder(zipPath, staging.Path(), modes);
  // What a ZIP holds is restored as it was stored: an ".mbe" file inside an archive is the user's own file, not
  // one the backup encrypted (archives are encrypted whole).
  RestoreFolderTree(staging.Path(), targetFolder, conflictAction, "", false, counters, &modes);
}

void TRestoreManager::ExtractZipToFolder(const std::string& zipPath, const std::string& stagingFolder,
                                         TStagedModes& stagedModes) {
  LongForceDirectories(stagingFolder);
  // Every name and the whole structure are checked, and the room counted, before the first byte is unpacked.
  TZipReader reader(zipPath);
  const std::vector<TArchiveFile> files = ListArchiveFiles(reader, stagingFolder);
  // Declared sizes come from the archive: a sum past what a volume can hold stays at that.
  uint64_t totalSize = 0;
  for (const auto& file : files)
    if (__builtin_add_overflow(totalSize, file.Entry->Size, &totalSize)) totalSize = UINT64_MAX;
  TStagingFolder::CheckFreeSpace(static_cast<int64_t>(std::min<uint64_t>(totalSize, INT64_MAX)));

  // Each entry stops at the size it declares (the reader sees to it), so what is unpacked never passes the total
  // the room was counted for.
  TTargetGuard guard(stagingFolder);
  const auto total = static_cast<int64_t>(std::min<uint64_t>(totalSize, INT64_MAX));
  int64_t unpacked = 0;
  for (const auto& file : files) {
    const TZipEntry& entry = *file.Entry;
    Report(rsUnpack, unpacked, total, entry.Name);
    guard.PrepareFolderOf(file.Target, entry.Name);
    // Names are unique and the staging folder is fresh, so nothing stands there; if something does, it stays.
    const mode_t createMode = entry.HasMode ? 0600 : 0666;
    TFileHandle out(::open(file.Target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, createMode));
    if (out.Get() < 0) RaiseWriteError(errno, file.Target);
    reader.ReadEntry(entry, [&](const char* data, size_t size) {
      WriteAll(out.Get(), data, size, file.Target);
      unpacked += static_cast<int64_t>(size);
      Report(rsUnpack, unpacked, total, entry.Name);
    });
    if (out.Close() != 0) RaiseWriteError(errno, file.Target);
    if (entry.HasMode) stagedModes[file.Target] = entry.Mode & 0777;
  }
}

void TRestoreManager::RestoreFolderTree(const std::string& sourceFolder, const std::string& targetFolder,
                                        TRestoreConflictAction conflictAction, const std::string& password,
                                        bool backupFolder, TRestoreCounters& counters,
                                        const TStagedModes* stagedModes) {
  counters = {};
  const std::vector<std::string> files = LongGetFiles(sourceFolder, "*.*", true);
  const std::string folderNative = ToNativePath(sourceFolder).string();
  TTargetGuard guard(targetFolder);
  std::unique_ptr<TEncryptionManager> manager;
  const auto total = static_cast<int64_t>(files.size());
  int64_t placed = 0;
  for (const auto& file : files) {
    std::string relative = RelativeName(folderNative, file);
    const bool encrypted = backupFolder && SameText(FileExtension(file), ".mbe");
    if (encrypted) {
      if (password.empty()) throw EVelkorError(RestorePasswordRequiredMessage);
      if (!manager) {
        manager = std::make_unique<TEncryptionManager>();
        manager->SetPassword(password);
      }
      relative.resize(relative.size() - 4);
    }
    Report(rsPlace, placed++, total, relative);
    const auto target = ResolveSafeTargetPath(targetFolder, relative, noFolder);
    if (!target) continue;
    if (encrypted) {
      RestoreEncryptedFile(file, *target, conflictAction, *manager, guard, counters);
    } else {
      const uint32_t* mode = nullptr;
      if (stagedModes) {
        const auto recorded = stagedModes->find(ToNativePath(file).string());
        if (recorded != stagedModes->end()) mode = &recorded->second;
      }
      RestorePlainFile(file, *target, conflictAction, !backupFolder, mode, guard, counters);
    }
  }
  Report(rsPlace, total, total, "");
}

void TRestoreManager::RestorePlainFile(const std::string& sourceFile, const std::string& targetPath,
                                       TRestoreConflictAction conflictAction, bool moveAllowed, const uint32_t* mode,
                                       TTargetGuard& guard, TRestoreCounters& counters) {
  const auto destination = ResolveConflictTarget(targetPath, conflictAction);
  if (!destination) {
    ++counters.Skipped;
    return;
  }
  guard.PrepareFolderOf(*destination, *destination);
  // Without overwrite: whatever appeared at the path since the check stays and the copy fails instead.
  if (!moveAllowed || !MoveWithoutReplacing(sourceFile, *destination)) LongCopyFile(sourceFile, *destination, false);
  if (mode) ApplyRecordedMode(*destination, *mode);
  ++counters.Restored;
}

void TRestoreManager::RestoreEncryptedFile(const std::string& sourceFile, const std::string& targetPath,
                                           TRestoreConflictAction conflictAction, TEncryptionManager& manager,
                                           TTargetGuard& guard, TRestoreCounters& counters) {
  const auto destination = ResolveConflictTarget(targetPath, conflictAction);
  if (!destination) {
    ++counters.Skipped;
    return;
  }
  guard.PrepareFolderOf(*destination, *destination);
  manager.DecryptFile(ToNativePath(sourceFile), ToNativePath(*destination));
  ++counters.Restored;
}

}  // namespace velkor
