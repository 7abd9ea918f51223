#include "engine/BackupEngine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "engine/BackupThread.h"
#include "engine/LongPathUtils.h"
#include "platform/AtomicFile.h"
#include "util/Error.h"
#include "util/FormatSettings.h"

namespace velkor {

namespace fs = std::filesystem;

namespace {

constexpr size_t CopyBlockSize = 1048576;
constexpr uint32_t ProgressSpacingMs = 150;
constexpr uint32_t PausePollMs = 100;
constexpr uint32_t BackgroundPauseMs = 2;
constexpr uint64_t ThrottleWindowMs = 1000;

constexpr const char* NoChangeMessage = "Değişiklik bulunamadı. Yeni artımlı/fark yedeği oluşturulmadı.";

[[noreturn]] void RaiseFileError(int err, const char* what, const fs::path& path) {
  throw EVelkorError(std::string(what) + ": " + path.string() + " (" + SystemErrorMessage(err) + ")");
}

// Closes on every way out, so an error in the middle of a copy leaks no descriptor.
class TFileHandle {
public:
  explicit TFileHandle(int fd) : FFd(fd) {}
  ~TFileHandle() {
    if (FFd >= 0) ::close(FFd);
  }
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;
  int Get() const { return FFd; }
  // Closes now and reports the result: a late write error can surface only here.
  int Close() {
    const int result = ::close(FFd);
    FFd = -1;
    return result;
  }

private:
  int FFd;
};

// Moves a file one block at a time. The kernel copies the block where it can, which spares a trip of every byte
// through this process; elsewhere (another file system, or one that cannot copy in place) the block goes
// through a buffer of the same size.
class TBlockCopier {
public:
  TBlockCopier(int in, int out, const fs::path& from, const fs::path& to) : FIn(in), FOut(out), FFrom(from), FTo(to) {}

  // Bytes moved by this block; 0 at the end of the source. Errors throw EVelkorError.
  int64_t Next() {
    if (FKernelCopy) {
      ssize_t moved;
      do moved = ::copy_file_range(FIn, nullptr, FOut, nullptr, CopyBlockSize, 0);
      while (moved < 0 && errno == EINTR);
      if (moved > 0) {
        FMoved += moved;
        return moved;
      }
      if (moved == 0 && FMoved > 0) return 0;
      const bool unsupported =
          moved == 0 || errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL;
      if (!unsupported)
        throw EVelkorError("Dosya kopyalanamadı: " + FFrom.string() + " -> " + FTo.string() + " (" +
                           SystemErrorMessage(errno) + ")");
      // Files whose size the system only learns by reading (such as generated ones) look empty to the kernel
      // copy, so an empty first block is checked by reading too.
      FKernelCopy = false;
      FBuffer.resize(CopyBlockSize);
    }
    ssize_t got;
    do got = ::read(FIn, FBuffer.data(), FBuffer.size());
    while (got < 0 && errno == EINTR);
    if (got < 0) RaiseFileError(errno, "Dosya okunamadı", FFrom);
    for (ssize_t written = 0; written < got;) {
      const ssize_t n = ::write(FOut, FBuffer.data() + written, static_cast<size_t>(got - written));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) RaiseFileError(errno, "Dosya yazılamadı", FTo);
      written += n;
    }
    FMoved += got;
    return got;
  }

private:
  int FIn;
  int FOut;
  const fs::path& FFrom;
  const fs::path& FTo;
  bool FKernelCopy = true;
  int64_t FMoved = 0;
  std::vector<char> FBuffer;
};

// "%.2f" with the user's decimal separator.
std::string FormatMegabytes(int64_t bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", static_cast<double>(bytes) / 1024.0 / 1024.0);
  std::string result(text);
  const auto dot = result.find('.');
  if (dot != std::string::npos) result.replace(dot, 1, UserFormatSettings().DecimalSeparator);
  return result;
}

// The output of one source folder goes into a sub-folder named after the source's last component; a root
// folder has none and contributes at the top level.
std::string SourceTarget(const std::string& outputFolder, const std::string& sourceFolder) {
  const std::string component = ToNativePath(sourceFolder).filename().string();
  return component.empty() ? outputFolder : (fs::path(outputFolder) / component).string();
}

}  // namespace

TBackupEngine::TBackupEngine(IMainThread& mainThread, IClock& clock) : FMainThread(mainThread), FClock(clock) {}

TBackupEngine::~TBackupEngine() {
  FDestroying = true;
  if (!FBackupThread) return;
  FCancelRequested = true;
  FPauseRequested = false;
  FBackupThread->Terminate();
  // The worker may be waiting in a hand-over to this very thread: keep running those calls until it has ended.
  while (!FBackupThread->WaitFor(5)) {
    try {
      FMainThread.ProcessPending();
    } catch (...) {
      // Something else queued for the main thread failed; the worker still has to be waited for.
    }
  }
  FBackupThread.reset();
}

void TBackupEngine::StartBackup() {
  // A start from a call that the destructor runs while it waits would outlive the engine.
  if (FDestroying) return;
  if (IsRunning()) {
    // Delivered with its own values: a completion the running worker has prepared stays untouched.
    if (FOnComplete) FOnComplete(false, BackupAlreadyRunningMessage);
    return;
  }
  FBackupThread.reset();
  FCancelRequested = false;
  FPauseRequested = false;
  FThrottleWindowStart = 0;
  FBytesInThrottleWindow = 0;
  FLastProgressTick = 0;
  FLastProgressValue = -1;
  FCompletionDelivered = false;
  FBackupThread = std::make_unique<TBackupThread>(*this);
  FBackupThread->Start(FBackgroundMode);
}

bool TBackupEngine::IsRunning() const { return FBackupThread && !FBackupThread->Finished() && !FCompletionDelivered; }

void TBackupEngine::CancelBackup() {
  FCancelRequested = true;
  FPauseRequested = false;
  if (FBackupThread && !FBackupThread->Finished()) FBackupThread->Terminate();
}

void TBackupEngine::PauseBackup() {
  if (IsRunning()) FPauseRequested = true;
}

void TBackupEngine::ResumeBackup() { FPauseRequested = false; }

void TBackupEngine::ReportProgress(const std::string& fileName, int progress) {
  if (!FOnProgress) return;
  const auto tick = static_cast<uint32_t>(FClock.TickMs());
  if (progress == FLastProgressValue) return;
  if (progress < 100 && FLastProgressValue >= 0 && tick - FLastProgressTick < ProgressSpacingMs) return;
  FLastProgressTick = tick;
  FLastProgressValue = progress;
  FCurrentFileName = fileName;
  FCurrentProgress = progress;
  FMainThread.Invoke([this] { FOnProgress(FCurrentFileName, FCurrentProgress); });
}

void TBackupEngine::ReportComplete(bool success, const std::string& message) {
  if (!FOnComplete) {
    FCompletionDelivered = true;
    return;
  }
  FCompletionSuccess = success;
  FCompletionMessage = message;
  FMainThread.Invoke([this] {
    struct TMarkDelivered {
      std::atomic<bool>& Flag;
      ~TMarkDelivered() { Flag = true; }
    } mark{FCompletionDelivered};
    FOnComplete(FCompletionSuccess, FCompletionMessage);
  });
}

bool TBackupEngine::IsCancelled() const { return FCancelRequested || (FBackupThread && FBackupThread->Terminated()); }

bool TBackupEngine::WaitWhilePaused() {
  while (FPauseRequested && !IsCancelled()) FClock.SleepMs(PausePollMs);
  return !IsCancelled();
}

void TBackupEngine::ThrottleTransfer(int64_t byteCount) {
  if (byteCount <= 0) return;
  const uint64_t now = FClock.TickMs();
  if (FThrottleWindowStart == 0) FThrottleWindowStart = now;
  FBytesInThrottleWindow += byteCount;
  if (FSpeedLimitBytesPerSec > 0) {
    // Milliseconds the window's bytes should have taken at the limit.
    const auto expected = static_cast<uint64_t>(FBytesInThrottleWindow * 1000 / FSpeedLimitBytesPerSec);
    const uint64_t elapsed = now - FThrottleWindowStart;
    if (elapsed < expected) FClock.SleepMs(static_cast<uint32_t>(expected - elapsed));
  }
  if (FBackgroundMode) FClock.SleepMs(BackgroundPauseMs);
  const uint64_t after = FClock.TickMs();
  if (after - FThrottleWindowStart >= ThrottleWindowMs) {
    FThrottleWindowStart = after;
    FBytesInThrottleWindow = 0;
  }
}

void TBackupEngine::CopyFileThrottled(const std::string& source, const std::string& target) {
  const fs::path from = ToNativePath(source);
  const fs::path to = ToNativePath(target);

  TFileHandle in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.Get() < 0) RaiseFileError(errno, "Dosya açılamadı", from);
  struct stat st {};
  if (::fstat(in.Get(), &st) != 0) RaiseFileError(errno, "Dosya okunamadı", from);
  if (S_ISDIR(st.st_mode)) RaiseFileError(EISDIR, "Dosya açılamadı", from);
  ::posix_fadvise(in.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  // The copy is never more widely readable than its source, so a backup does not expose a private file.
  const mode_t mode = (st.st_mode & 0666) | S_IRUSR | S_IWUSR;
  TFileHandle out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
  if (out.Get() < 0) RaiseFileError(errno, "Dosya oluşturulamadı", to);

  TBlockCopier blocks(in.Get(), out.Get(), from, to);
  for (;;) {
    if (!WaitWhilePaused() || IsCancelled()) break;
    const int64_t moved = blocks.Next();
    if (moved == 0) break;
    ThrottleTransfer(moved);
  }
  if (out.Close() != 0) RaiseFileError(errno, "Dosya yazılamadı", to);
}

void TBackupEngine::ExecuteBackup() {
  ResetResults();
  TRunOutcome run;
  try {
    RunBackupSteps(run);
  } catch (const std::exception& e) {
    run.Success = false;
    run.Message = IsCancelled() ? std::string(BackupCancelledMessage) : std::string("Hata: ") + e.what();
  }
  ReportComplete(run.Success, run.Message);
}

void TBackupEngine::RunBackupSteps(TRunOutcome& run) {
  LongForceDirectories(FDestinationFolder);
  if (!HasRoomForRun(run.Message)) return;
  if (!WaitWhilePaused() || IsCancelled()) {
    run.Message = BackupCancelledMessage;
    return;
  }
  run.OutputPath = (ToNativePath(FDestinationFolder) / BuildBackupName()).string();
  if (FCompressBackup) {
    run.OutputPath += ".zip";
    ProduceCompressedOutput(run);
  } else {
    ProduceFolderOutput(run);
  }
  ApplySkippedFilesRule(run);
  FLastBackupFileCount = static_cast<int>(FSuccessfulFiles.size());
  if (run.Success) FLastBackupTime = FClock.Now();
  if (run.Cancelled) {
    run.Success = false;
    RemovePartialOutput(run);
  }
}

void TBackupEngine::ResetResults() {
  FLastBackupFileCount = 0;
  FLastBackupTotalSize = 0;
  FLastBackupOutputPath.clear();
  FLastBackupChecksum.clear();
  FLastBackupVerified = false;
  FSuccessfulFiles.clear();
  FFailedFiles.clear();
}

bool TBackupEngine::HasRoomForRun(std::string& message) {
  // No estimate of the run's size is made yet, so every destination counts as large enough.
  message.clear();
  return true;
}

std::string TBackupEngine::BuildBackupName() const {
  std::string prefix = FBackupNamePrefix.empty() ? std::string("Backup") : FBackupNamePrefix;
  // The characters that no file name may hold on any system the outputs may be copied to.
  for (char& c : prefix)
    if (static_cast<unsigned char>(c) < 32 || std::string_view("\"*/:<>?\\|").find(c) != std::string_view::npos)
      c = '_';
  return prefix + "_" + FormatDateTime("yyyy-mm-dd_hh-nn-ss", FClock.Now());
}

void TBackupEngine::ProduceCompressedOutput(TRunOutcome& run) {
  // No archive is written yet: the run says so rather than report a backup that does not exist.
  run.Success = false;
  run.Message = "Hata: sıkıştırılmış yedek henüz üretilemiyor.";
}

void TBackupEngine::ProduceFolderOutput(TRunOutcome& run) {
  LongForceDirectories(run.OutputPath);
  bool copied = false;
  for (const auto& folder : FSourceFolders) {
    if (IsCancelled()) {
      run.Cancelled = true;
      break;
    }
    if (!LongDirectoryExists(folder)) continue;
    copied = CopyFolderTree(folder, SourceTarget(run.OutputPath, folder), true);
    if (!copied) break;
  }
  if (IsCancelled()) run.Cancelled = true;

  if (run.Cancelled) {
    run.Success = false;
    run.Message = BackupCancelledMessage;
  } else if (copied && FBackupType != btFull && FLastBackupFileCount == 0) {
    LongDeleteDirectory(run.OutputPath, true);
    run.Success = true;
    run.Message = NoChangeMessage;
  } else if (copied) {
    FLastBackupOutputPath = run.OutputPath;
    run.Success = true;
    run.Message = std::to_string(FLastBackupFileCount) + " dosya yedeklendi (" + FormatMegabytes(FLastBackupTotalSize) +
                  " MB) - " + run.OutputPath;
  } else {
    run.Success = false;
    run.Message = "Kopyalama sırasında hata oluştu";
  }
}

void TBackupEngine::ApplySkippedFilesRule(TRunOutcome& run) {
  if (!run.Success || FFailedFiles.empty()) return;
  const std::string skipped = std::to_string(FFailedFiles.size());
  if (FLastBackupFileCount == 0) {
    run.Success = false;
    run.Message = "Yedeklenecek dosyalar okunamadı (" + skipped + " dosya atlandı).";
  } else if (run.Message.empty()) {
    run.Message = skipped + " dosya atlandı/okunamadı";
  } else {
    run.Message += " (" + skipped + " dosya atlandı/okunamadı)";
  }
}

void TBackupEngine::RemovePartialOutput(const TRunOutcome& run) {
  if (run.OutputPath.empty()) return;
  try {
    LongDeleteFile(run.OutputPath);
    LongDeleteDirectory(run.OutputPath, true);
  } catch (const std::exception&) {
    // A cancelled run's leftovers are removed as far as possible; the cancellation is still the outcome.
  }
}

std::vector<std::string> TBackupEngine::EnumerateFiles(const std::string& folder) {
  return LongGetFiles(folder, "*.*", true);
}

bool TBackupEngine::ShouldBackupFile(const std::string& /*fileName*/) {
  // Every file is taken until the comparison against the reference backup is in place.
  return true;
}

bool TBackupEngine::CopyFolderTree(const std::string& sourceFolder, const std::string& targetFolder, bool countFiles) {
  std::vector<std::string> files;
  try {
    LongForceDirectories(targetFolder);
    files = EnumerateFiles(sourceFolder);
  } catch (const std::exception&) {
    return false;
  }
  // Listed paths begin with the source's native form; what follows it is the path inside the source.
  const std::string root = ToNativePath(sourceFolder).string();
  const size_t total = files.size();
  size_t processed = 0;
  for (const auto& file : files) {
    if (!WaitWhilePaused() || IsCancelled()) return false;
    if (ShouldBackupFile(file)) {
      try {
        std::string relative = file.substr(std::min(root.size(), file.size()));
        if (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
        const fs::path destination = fs::path(targetFolder) / relative;
        LongForceDirectories(destination.parent_path().string());
        CopyFileThrottled(file, destination.string());
        if (countFiles) {
          ++FLastBackupFileCount;
          FLastBackupTotalSize += LongGetFileSize(file);
          FSuccessfulFiles.push_back(file);
        }
      } catch (const std::exception& e) {
        FFailedFiles.push_back(file + " (" + e.what() + ")");
      }
    }
    ++processed;
    if (total > 0) ReportProgress(file, static_cast<int>(processed * 100 / total));
  }
  return true;
}

}  // namespace velkor
