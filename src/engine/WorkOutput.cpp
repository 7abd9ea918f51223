#include "engine/WorkOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "engine/LongPathUtils.h"
#include "platform/AtomicFile.h"
#include "platform/Leftovers.h"
#include "util/Error.h"

namespace velkor {

namespace fs = std::filesystem;

namespace {

// Names tried before a destination counts as hopelessly full of outputs of the same second.
constexpr int MaxNameAttempts = 10000;
// A work entry that a cleanup takes away between its creation and its lock is made again, this many times.
constexpr int MaxCreateAttempts = 100;

[[noreturn]] void RaiseFileError(int err, const std::string& what, const fs::path& path) {
  throw EVelkorError(what + ": " + path.string() + " (" + SystemErrorMessage(err) + ")");
}

bool SameEntry(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

void SyncFolder(const fs::path& folder) {
  const TFileHandle fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.IsOpen() || ::fsync(fd.Get()) != 0) RaiseFileError(errno, "Yedekleme çıktısı diske yazılamadı", folder);
}

TClaimResult RenameNoReplace(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return crClaimed;
  const int err = errno;
  if (err == EEXIST) return crTaken;
  if (err == EINVAL || err == ENOSYS || err == EOPNOTSUPP) return crUnsupported;
  RaiseFileError(err, "Yedekleme çıktısı adlandırılamadı", to);
}

TClaimResult LinkThenUnlink(const fs::path& from, const fs::path& to, bool isFolder) {
  if (isFolder) return crUnsupported;
  if (::link(from.c_str(), to.c_str()) == 0) {
    // Should the old name stay, it is inside the work entry, which goes anyway.
    ::unlink(from.c_str());
    return crClaimed;
  }
  const int err = errno;
  if (err == EEXIST) return crTaken;
  if (err == EPERM || err == EOPNOTSUPP || err == ENOSYS) return crUnsupported;
  RaiseFileError(err, "Yedekleme çıktısı adlandırılamadı", to);
}

TClaimResult RenameOverPlaceholder(const fs::path& from, const fs::path& to, bool isFolder) {
  if (isFolder) {
    if (::mkdir(to.c_str(), 0700) != 0) {
      if (errno == EEXIST) return crTaken;
      RaiseFileError(errno, "Yedekleme çıktısı adlandırılamadı", to);
    }
  } else {
    TFileHandle claim(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!claim.IsOpen()) {
      if (errno == EEXIST) return crTaken;
      RaiseFileError(errno, "Yedekleme çıktısı adlandırılamadı", to);
    }
  }
  // Replacing is safe now: what stands there is the empty claim just made.
  if (::rename(from.c_str(), to.c_str()) == 0) return crClaimed;
  const int err = errno;
  // Someone filled the empty folder meanwhile: it is theirs now.
  if (isFolder && (err == ENOTEMPTY || err == EEXIST)) return crTaken;
  if (isFolder)
    ::rmdir(to.c_str());
  else
    ::unlink(to.c_str());
  RaiseFileError(err, "Yedekleme çıktısı adlandırılamadı", to);
}

}  // namespace

TWorkFolder::~TWorkFolder() { Remove(); }

TWorkFolder::TWorkFolder(TWorkFolder&& other) noexcept
    : FPath(std::exchange(other.FPath, {})), FHandle(std::move(other.FHandle)) {}

TWorkFolder& TWorkFolder::operator=(TWorkFolder&& other) noexcept {
  if (this != &other) {
    Remove();
    FPath = std::exchange(other.FPath, {});
    FHandle = std::move(other.FHandle);
  }
  return *this;
}

TWorkFolder TWorkFolder::CreateWorkEntry(const fs::path& folder) {
  for (int attempt = 0; attempt < MaxCreateAttempts; ++attempt) {
    std::string path = WorkEntryTemplate(folder).string();
    if (::mkdtemp(path.data()) == nullptr) RaiseFileError(errno, "Geçici çalışma klasörü oluşturulamadı", folder);
    TWorkFolder work;
    if (work.Adopt(path)) return work;
  }
  RaiseFileError(EAGAIN, "Geçici çalışma klasörü oluşturulamadı", folder);
}

TWorkFolder TWorkFolder::CreateNumbered(const fs::path& base) {
  for (int n = 1; n <= MaxNameAttempts; ++n) {
    const fs::path path = n == 1 ? base : fs::path(base.string() + "_" + std::to_string(n));
    if (::mkdir(path.c_str(), 0700) != 0) {
      if (errno == EEXIST) continue;
      RaiseFileError(errno, "Geçici klasör oluşturulamadı", path);
    }
    TWorkFolder work;
    if (work.Adopt(path)) return work;
  }
  RaiseFileError(EEXIST, "Geçici klasör oluşturulamadı", base);
}

bool TWorkFolder::Adopt(const fs::path& path) {
  TFileHandle fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.IsOpen()) {
    if (errno == ENOENT) return false;
    RaiseFileError(errno, "Geçici klasör açılamadı", path);
  }
  // Where the file system has no locks the work goes on unguarded; a cleanup then cannot prove it abandoned.
  LockWorkDescriptor(fd.Get());
  struct stat opened {};
  struct stat named {};
  if (::fstat(fd.Get(), &opened) != 0 || ::lstat(path.c_str(), &named) != 0 || !SameEntry(opened, named)) return false;
  FPath = path;
  FHandle = std::move(fd);
  return true;
}

void TWorkFolder::Keep() {
  FHandle.Close();
  FPath.clear();
}

void TWorkFolder::Remove() {
  if (!FHandle.IsOpen()) return;
  // Only the folder this object made: should it have vanished and something else stand under its name now, that
  // is not ours to delete.
  struct stat opened {};
  struct stat named {};
  if (::fstat(FHandle.Get(), &opened) == 0 && ::lstat(FPath.c_str(), &named) == 0 && SameEntry(opened, named)) {
    try {
      LongDeleteDirectory(FPath.string(), true);
    } catch (const std::exception&) {
      // What cannot be removed stays as an unlocked work entry, which the next cleanup takes.
    }
  }
  Keep();
}

TWorkOutput::TWorkOutput(TWorkFolder folder, fs::path destination, fs::path content, bool isFolder)
    : FFolder(std::move(folder)),
      FDestination(std::move(destination)),
      FContent(std::move(content)),
      FIsFolder(isFolder) {}

TWorkOutput TWorkOutput::ForFolder(const fs::path& destinationFolder) {
  TWorkFolder folder = TWorkFolder::CreateWorkEntry(destinationFolder);
  const fs::path content = folder.Path();
  return TWorkOutput(std::move(folder), destinationFolder, content, true);
}

TWorkOutput TWorkOutput::ForFile(const fs::path& destinationFolder, const std::string& fileName) {
  TWorkFolder folder = TWorkFolder::CreateWorkEntry(destinationFolder);
  const fs::path content = folder.Path() / fileName;
  return TWorkOutput(std::move(folder), destinationFolder, content, false);
}

void TWorkOutput::Flush() {
  if (FIsFolder) {
    // One pass over the file system instead of one flush per file and folder of the copy.
    if (::syncfs(FFolder.Descriptor()) != 0) RaiseFileError(errno, "Yedekleme çıktısı diske yazılamadı", FContent);
    return;
  }
  const TFileHandle fd(::open(FContent.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.IsOpen() || ::fsync(fd.Get()) != 0) RaiseFileError(errno, "Yedekleme çıktısı diske yazılamadı", FContent);
}

fs::path TWorkOutput::Publish(const std::string& baseName, const std::string& extension) {
  for (int n = 1; n <= MaxNameAttempts; ++n) {
    const fs::path target = FDestination / ((n == 1 ? baseName : baseName + "_" + std::to_string(n)) + extension);
    if (!ClaimName(FContent, target, FIsFolder)) continue;
    FPublished = true;
    if (FIsFolder) {
      FFolder.Moved(target);
      FFolder.Keep();
    } else {
      FFolder.Remove();  // empty now
    }
    SyncFolder(FDestination);
    return target;
  }
  RaiseFileError(EEXIST, "Yedekleme çıktısı için boş bir ad bulunamadı", FDestination / (baseName + extension));
}

bool ClaimName(const fs::path& from, const fs::path& to, bool isFolder) {
  for (const TClaimMethod method : {cmRenameNoReplace, cmLinkThenUnlink, cmPlaceholder}) {
    switch (ClaimNameBy(method, from, to, isFolder)) {
      case crClaimed: return true;
      case crTaken: return false;
      case crUnsupported: break;
    }
  }
  RaiseFileError(EOPNOTSUPP, "Yedekleme çıktısı adlandırılamadı", to);
}

TClaimResult ClaimNameBy(TClaimMethod method, const fs::path& from, const fs::path& to, bool isFolder) {
  switch (method) {
    case cmRenameNoReplace: return RenameNoReplace(from, to);
    case cmLinkThenUnlink: return LinkThenUnlink(from, to, isFolder);
    case cmPlaceholder: return RenameOverPlaceholder(from, to, isFolder);
  }
  return crUnsupported;
}

}  // namespace velkor
