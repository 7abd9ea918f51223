#include "restore/RestoreSupport.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>

#include "crypto/EncryptionManager.h"
#include "engine/LongPathUtils.h"
#include "platform/AtomicFile.h"
#include "platform/FileHandle.h"
#include "restore/RestoreManager.h"
#include "restore/StagingFolder.h"
#include "restore/ZipReader.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {

namespace fs = std::filesystem;

std::string FileExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return path.substr(dot);
}

// A NUL would cut the message short wherever it is shown; everything else is shown as received.
std::string ShownEntryName(const std::string& name) { return ReplaceAll(name, std::string_view("\0", 1), "\\0"); }

[[noreturn]] void RaiseOutsideTarget(const std::string& entryName) {
  throw EVelkorError("Arşiv girdisi hedef klasör dışına çıkmaya çalışıyor: " + ShownEntryName(entryName));
}

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

void ApplyRecordedMode(const std::string& path, uint32_t mode) {
  TFileHandle file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (file.Get() >= 0 && ::fstat(file.Get(), &st) == 0 && S_ISREG(st.st_mode))
    (void)::fchmod(file.Get(), static_cast<mode_t>(mode & 0777));
}

std::string DecryptArchiveInto(const std::string& sourcePath, const std::string& password,
                               const TStagingFolder& staging, const std::string& zipName) {
  if (password.empty()) throw EVelkorError(RestorePasswordRequiredMessage);
  TStagingFolder::CheckFreeSpace(LongGetFileSize(sourcePath));
  const auto zipPath = staging / zipName;
  TEncryptionManager manager;
  manager.SetPassword(password);
  manager.DecryptFile(ToNativePath(sourcePath), zipPath);
  return zipPath;
}

TTargetGuard::TTargetGuard(const std::string& rootFolder) {
  LongForceDirectories(rootFolder);
  std::error_code ec;
  FRealRoot = fs::canonical(ToNativePath(rootFolder), ec).string();
  if (ec) throw EVelkorError("Klasör açılamadı: " + rootFolder + " (" + SystemErrorMessage(ec.value()) + ")");
}

void TTargetGuard::PrepareFolderOf(const std::string& filePath, const std::string& entryName) {
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

std::vector<TArchiveFile> ListArchiveFiles(const TZipReader& reader, const std::string& folder) {
  std::vector<TArchiveFile> files;
  std::set<std::string> taken;
  for (const auto& entry : reader.Entries()) {
    auto target = TRestoreManager::ResolveSafeTargetPath(folder, entry.Name,
                                                         entry.WindowsNames ? noWindowsArchive : noUnixArchive);
    if (!target) continue;
    // Two entries for one path would leave only the later one: an archive holding both is damaged.
    if (!taken.insert(*target).second) reader.Damaged("aynı yola iki girdi: " + ShownEntryName(entry.Name));
    files.push_back({&entry, std::move(*target)});
  }
  return files;
}

}  // namespace velkor
