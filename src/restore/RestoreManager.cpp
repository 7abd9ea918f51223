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
#include "restore/StagingFolder.h"
#include "restore/ZipReader.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {

namespace fs = std::filesystem;

namespace {

// The text from the last "." of the file name, including it; empty when the name has none.
std::string FileExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return path.substr(dot);
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A NUL would cut the message short wherever it is shown; everything else is shown as received.
std::string ShownEntryName(const std::string& name) { return ReplaceAll(name, std::string_view("\0", 1), "\\0"); }

[[noreturn]] void RaiseUnsafeName(const std::string& entryName) {
  throw EVelkorError("Arşiv içinde güvenli olmayan bir yol algılandı: " + ShownEntryName(entryName));
}

[[noreturn]] void RaiseOutsideTarget(const std::string& entryName) {
  throw EVelkorError("Arşiv girdisi hedef klasör dışına çıkmaya çalışıyor: " + ShownEntryName(entryName));
}

// Anything standing at the path counts, a link too (even one whose target is gone: writing through it would land
// wherever it points).
bool PathEntryExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(ToNativePath(path), ec));
}

void CheckSourcePath(const std::string& sourcePath) {
  if (Trim(sourcePath).empty()) throw EVelkorError("Geri yüklenecek kayıt için çıktı yolu bulunamadı.");
  if (!LongFileExists(sourcePath) && !LongDirectoryExists(sourcePath))
    throw EVelkorError("Yedek çıktısı bulunamadı: " + sourcePath);
}

void CheckTargetFolder(const std::string& targetFolder) {
  // An empty target would mean the process's current folder: never a place the user chose.
  if (Trim(targetFolder).empty()) throw EVelkorError("Lütfen bir hedef klasör seçin.");
}

[[noreturn]] void RaiseUnsupportedFormat(const std::string& sourcePath) {
  throw EVelkorError("Desteklenmeyen yedek formatı: " + FileExtension(sourcePath));
}

// Staging files are ours and go away afterwards, so on the same volume they are moved into place instead of
// copied. Never replaces anything; false when the system cannot move it (another volume), so the caller copies.
bool MoveWithoutReplacing(const std::string& source, const std::string& target) {
  return ::renameat2(AT_FDCWD, ToNativePath(source).c_str(), AT_FDCWD, ToNativePath(target).c_str(),
                     RENAME_NOREPLACE) == 0;
}

// The path relative to `folder` of a file listed below it.
std::string RelativeName(const std::string& folderNative, const std::string& file) {
  const size_t skip = folderNative == "/" ? 1 : folderNative.size() + 1;
  return file.size() > skip ? file.substr(skip) : std::string();
}

[[noreturn]] void RaiseWriteError(int err, const std::string& path) {
  throw EVelkorError("Dosya yazılamadı: " + path + " (" + SystemErrorMessage(err) + ")");
}

void WriteAll(int fd, const char* data, size_t size, const std::string& path) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      RaiseWriteError(errno, path);
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
}

// Gives a restored file the permission bits its archive entry recorded. The file was just placed there by us; a
// link put in its place meanwhile is not followed. A file system without Unix permissions refuses, and the file
// keeps the private mode it was unpacked with.
void ApplyRecordedMode(const std::string& path, uint32_t mode) {
  TFileHandle file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (file.Get() >= 0 && ::fstat(file.Get(), &st) == 0 && S_ISREG(st.st_mode))
    (void)::fchmod(file.Get(), static_cast<mode_t>(mode & 0777));
}

}  // namespace

// Keeps every write below the real location of one root folder. Names are already checked as text; this also
// refuses a folder that reaches outside through a link standing inside the root.
class TRestoreManager::TTargetGuard {
public:
  explicit TTargetGuard(const std::string& rootFolder) {
    LongForceDirectories(rootFolder);
    std::error_code ec;
    FRealRoot = fs::canonical(ToNativePath(rootFolder), ec).string();
    if (ec) throw EVelkorError("Klasör açılamadı: " + rootFolder + " (" + SystemErrorMessage(ec.value()) + ")");
  }

  // Creates the folder of a file about to be written, after making sure it lies inside the root.
  void PrepareFolderOf(const std::string& filePath, const std::string& entryName) {
    const fs::path folder = ToNativePath(filePath).parent_path();
    if (folder == FLastFolder) return;
    // Only the levels that exist can lead elsewhere; the missing ones are created below them as plain folders.
    fs::path existing = folder;
    std::error_code ec;
    while (!fs::exists(fs::symlink_status(existing, ec)) && existing.has_relative_path())
      existing = existing.parent_path();
    const std::string real = fs::canonical(existing, ec).string();
    const bool inside = !ec && (real == FRealRoot || real.starts_with(FRealRoot == "/" ? FRealRoot : FRealRoot + "/"));
    if (!inside) RaiseOutsideTarget(entryName);
    LongForceDirectories(folder.string());
    FLastFolder = folder;
  }

private:
  std::string FRealRoot;
  fs::path FLastFolder;
};

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

namespace {

// Decrypts an encrypted archive output into `staging` and returns the ZIP's path. The password and the staging
// volume's room are checked before anything is written.
std::string DecryptArchiveInto(const std::string& sourcePath, const std::string& password,
                               const TStagingFolder& staging) {
  if (password.empty()) throw EVelkorError(RestorePasswordRequiredMessage);
  TStagingFolder::CheckFreeSpace(LongGetFileSize(sourcePath));
  const auto zipPath = staging / "decrypted.zip";
  TEncryptionManager manager;
  manager.SetPassword(password);
  manager.DecryptFile(ToNativePath(sourcePath), zipPath);
  return zipPath;
}

}  // namespace

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

std::vector<TRestoreManager::TArchiveFile> TRestoreManager::ListArchiveFiles(const TZipReader& reader,
                                                                             const std::string& folder) {
  std::vector<TArchiveFile> files;
  std::set<std::string> taken;
  for (const auto& entry : reader.Entries()) {
    auto target = ResolveSafeTargetPath(folder, entry.Name, entry.WindowsNames ? noWindowsArchive : noUnixArchive);
    if (!target) continue;
    // Two entries for one path would leave only the later one: an archive holding both is damaged.
    if (!taken.insert(*target).second) reader.Damaged("aynı yola iki girdi: " + ShownEntryName(entry.Name));
    files.push_back({&entry, std::move(*target)});
  }
  return files;
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
  for (const auto& file : files) {
    const TZipEntry& entry = *file.Entry;
    guard.PrepareFolderOf(file.Target, entry.Name);
    // Names are unique and the staging folder is fresh, so nothing stands there; if something does, it stays.
    const mode_t createMode = entry.HasMode ? 0600 : 0666;
    TFileHandle out(::open(file.Target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, createMode));
    if (out.Get() < 0) RaiseWriteError(errno, file.Target);
    reader.ReadEntry(entry, [&](const char* data, size_t size) { WriteAll(out.Get(), data, size, file.Target); });
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
