#include "engine/BackupEngine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <unordered_set>
#include <vector>

#include "crypto/EncryptionManager.h"
#include "engine/BackupChecksum.h"
#include "engine/BackupThread.h"
#include "engine/BlockDeflater.h"
#include "engine/LongPathUtils.h"
#include "engine/ZipArchiveWriter.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/FileHandle.h"
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

// A run always asks for at least this much room, and an archive's overhead is at least this much.
constexpr int64_t MinimumRequiredBytes = 65536;
// What encryption adds: to the one archive, and to every file of a folder run.
constexpr int64_t ArchiveEncryptionOverhead = 8192;
constexpr int64_t FileEncryptionOverhead = 8;
// Time stamps are compared with this slack, since file systems keep them at different resolutions.
constexpr long long ChangeToleranceMs = 1000;

[[noreturn]] void RaiseFileError(int err, const char* what, const fs::path& path) {
  throw EVelkorError(std::string(what) + ": " + path.string() + " (" + SystemErrorMessage(err) + ")");
}

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

// Creates `folder` and its missing parents below `root`, which must still exist: a destination or staging folder
// that vanished mid-run (deleted, unmounted) is not made again, on whatever disk now holds its path.
void ForceFoldersBelow(const fs::path& root, const fs::path& folder) {
  if (LongDirectoryExists(folder.string())) return;
  if (folder.string().size() <= root.string().size()) RaiseFileError(ENOENT, "Klasör bulunamadı", folder);
  ForceFoldersBelow(root, folder.parent_path());
  if (::mkdir(folder.c_str(), 0777) != 0 && !(errno == EEXIST && LongDirectoryExists(folder.string())))
    RaiseFileError(errno, "Klasör oluşturulamadı", folder);
}

// Creates a file of its own for the plaintext archive inside the private staging folder.
std::string CreatePrivateArchiveFile(const fs::path& stagingFolder) {
  std::string path = (stagingFolder / "archive-XXXXXX.zip").string();
  const TFileHandle fd(::mkostemps(path.data(), 4, O_CLOEXEC));
  if (!fd.IsOpen()) RaiseFileError(errno, "Geçici arşiv oluşturulamadı", stagingFolder);
  return path;
}

}  // namespace

TBackupEngine::TBackupEngine(IMainThread& mainThread, IClock& clock) : FMainThread(mainThread), FClock(clock) {
  TuneHeapForArchives();
}

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
  if (byteCount > 0) PaceTransfer(byteCount, true);
}

void TBackupEngine::PaceTransfer(int64_t byteCount, bool endOfTransfer) {
  const uint64_t now = FClock.TickMs();
  if (FThrottleWindowStart == 0) FThrottleWindowStart = now;
  FBytesInThrottleWindow += byteCount;
  if (FSpeedLimitBytesPerSec > 0) {
    // Milliseconds the window's bytes should have taken at the limit.
    const auto expected = static_cast<uint64_t>(FBytesInThrottleWindow * 1000 / FSpeedLimitBytesPerSec);
    const uint64_t elapsed = now - FThrottleWindowStart;
    if (elapsed < expected) FClock.SleepMs(static_cast<uint32_t>(expected - elapsed));
  }
  if (FBackgroundMode && endOfTransfer) FClock.SleepMs(BackgroundPauseMs);
  const uint64_t after = FClock.TickMs();
  if (after - FThrottleWindowStart >= ThrottleWindowMs) {
    FThrottleWindowStart = after;
    FBytesInThrottleWindow = 0;
  }
}

int64_t TBackupEngine::CopyFileThrottled(const std::string& source, const std::string& target) {
  const fs::path from = ToNativePath(source);
  const fs::path to = ToNativePath(target);

  TFileHandle in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.Get() < 0) RaiseFileError(errno, "Dosya açılamadı", from);
  struct stat st {};
  if (::fstat(in.Get(), &st) != 0) RaiseFileError(errno, "Dosya okunamadı", from);
  if (S_ISDIR(st.st_mode)) RaiseFileError(EISDIR, "Dosya açılamadı", from);
  if (st.st_size > static_cast<off_t>(CopyBlockSize)) ::posix_fadvise(in.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  // The copy is never more widely readable than its source, so a backup does not expose a private file.
  const mode_t mode = (st.st_mode & 0666) | S_IRUSR | S_IWUSR;
  TFileHandle out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
  if (out.Get() < 0) RaiseFileError(errno, "Dosya oluşturulamadı", to);

  // A copy cut short by a full disk or a size limit must not pass for the file: what was written goes.
  struct TPartialTarget {
    const fs::path& Path;
    bool Complete = false;
    ~TPartialTarget() {
      if (!Complete) ::unlink(Path.c_str());
    }
  } partial{to};
  TBlockCopier blocks(in.Get(), out.Get(), from, to);
  int64_t copied = 0;
  for (;;) {
    if (!WaitWhilePaused() || IsCancelled()) break;
    const int64_t moved = blocks.Next();
    if (moved == 0) break;
    copied += moved;
    ThrottleTransfer(moved);
  }
  if (out.Close() != 0) RaiseFileError(errno, "Dosya yazılamadı", to);
  partial.Complete = true;
  return copied;
}

void TBackupEngine::ExecuteBackup() {
  ResetResults();
  TRunOutcome run;
  try {
    RunBackupSteps(run);
  } catch (const std::exception& e) {
    run.Success = false;
    run.Message = IsCancelled() ? BackupCancelledMessage : std::string("Hata: ") + e.what();
  }
  // An output that did not get its final name goes before the outcome is told.
  run.Output.reset();
  FCopiedFiles.clear();
  ReportComplete(run.Success, run.Message);
}

void TBackupEngine::RunBackupSteps(TRunOutcome& run) {
  FRunTime = FClock.Now();
  LongForceDirectories(FDestinationFolder);
  // The one walk of the sources: the estimate, the selection and the output all come from it.
  const std::vector<TSourceListing> sources = ListSources(&run.MissingSources);
  for (const std::string& folder : run.MissingSources)
    FFailedFiles.push_back(folder + " (" + MissingSourceReason + ")");
  if (!HasRoomForRun(sources, run.Message)) return;
  if (!WaitWhilePaused() || IsCancelled()) {
    run.Message = BackupCancelledMessage;
    return;
  }
  run.Name = BuildBackupName();
  if (FCompressBackup)
    ProduceCompressedOutput(run, sources);
  else
    ProduceFolderOutput(run, sources);
  PublishOutput(run);
  ApplySkippedFilesRule(run);
  ApplyMissingSourcesRule(run);
  FLastBackupFileCount = static_cast<int>(FSuccessfulFiles.size());
  if (run.Success) FLastBackupTime = FClock.Now();
  if (run.Cancelled) run.Success = false;
}

void TBackupEngine::ResetResults() {
  FLastBackupFileCount = 0;
  FLastBackupTotalSize = 0;
  FLastBackupOutputPath.clear();
  FLastBackupChecksum.clear();
  FLastBackupVerified = false;
  FSuccessfulFiles.clear();
  FFailedFiles.clear();
  FUnchangedFailures = 0;
  FCopiedFiles.clear();
}

bool TBackupEngine::HasRoomForRun(const std::vector<TSourceListing>& sources, std::string& message) {
  int64_t required = 0;
  int64_t available = 0;
  if (CapacityFor(sources, required, available)) return true;
  message = "Kapasite yetersiz: tahmini gerekli alan " + FormatMegabytes(required) + " MB, kullanilabilir alan " +
            FormatMegabytes(available) + " MB. Hedef diskte yeterli bos alan olmadigi icin yedekleme baslatilmadi.";
  return false;
}

bool TBackupEngine::CheckDestinationCapacity(int64_t& requiredBytes, int64_t& availableBytes) {
  return CapacityFor(ListSources(), requiredBytes, availableBytes);
}

bool TBackupEngine::CapacityFor(const std::vector<TSourceListing>& sources, int64_t& requiredBytes,
                                int64_t& availableBytes) {
  int fileCount = 0;
  requiredBytes = EstimateFor(sources, fileCount);
  if (fileCount == 0 && requiredBytes < MinimumRequiredBytes) requiredBytes = MinimumRequiredBytes;
  const std::string target = FindExistingAncestor(FDestinationFolder);
  struct statvfs st {};
  if (::statvfs(ToNativePath(target).c_str(), &st) != 0)
    throw EVelkorError("Boş alan okunamadı: " + target + " (" + SystemErrorMessage(errno) + ")");
  // The blocks available to this user, not those kept back for the system.
  availableBytes = static_cast<int64_t>(st.f_bavail) * static_cast<int64_t>(st.f_frsize);
  return availableBytes >= requiredBytes;
}

int64_t TBackupEngine::EstimateRequiredBytes(int& fileCount) { return EstimateFor(ListSources(), fileCount); }

std::vector<TBackupEngine::TSourceListing> TBackupEngine::ListSources(std::vector<std::string>* missing) {
  std::vector<TSourceListing> sources;
  for (const auto& folder : FSourceFolders) {
    if (!LongDirectoryExists(folder)) {
      if (missing == nullptr) throw EVelkorError(std::string(MissingSourceReason) + ": " + folder);
      missing->push_back(folder);
      continue;
    }
    TSourceListing& source = sources.emplace_back();
    source.Folder = folder;
    // What cannot be listed cannot be copied either; the run reports it.
    source.Files = LongListFiles(folder, &source.Unlisted);
    source.Selected.reserve(source.Files.size());
    for (const TListedFile& file : source.Files) source.Selected.push_back(ShouldBackupFile(file));
  }
  return sources;
}

int64_t TBackupEngine::EstimateFor(const std::vector<TSourceListing>& sources, int& fileCount) const {
  fileCount = 0;
  int64_t total = 0;
  for (const TSourceListing& source : sources) {
    for (size_t i = 0; i < source.Files.size(); ++i) {
      if (!source.Selected[i]) continue;
      ++fileCount;
      total += source.Files[i].Size;
    }
  }
  if (FCompressBackup) {
    const int64_t overhead = total / 20;
    total += overhead <= MinimumRequiredBytes ? MinimumRequiredBytes : overhead;
  }
  if (FEncryptBackup) total += FCompressBackup ? ArchiveEncryptionOverhead : FileEncryptionOverhead * fileCount;
  return total;
}

std::string TBackupEngine::FindExistingAncestor(const std::string& path) const {
  std::string trimmed = Trim(path);
  if (trimmed.size() > 1 && (trimmed.back() == '/' || trimmed.back() == '\\')) trimmed.pop_back();
  if (trimmed.empty()) return path;
  fs::path current = ToNativePath(trimmed);
  for (;;) {
    if (LongDirectoryExists(current.string())) return current.string();
    const fs::path parent = current.parent_path();
    if (parent.empty() || parent == current) return current.root_path().string();
    current = parent;
  }
}

std::string TBackupEngine::BuildBackupName() const {
  std::string prefix = FBackupNamePrefix.empty() ? std::string("Backup") : FBackupNamePrefix;
  // The characters that no file name may hold on any system the outputs may be copied to.
  for (char& c : prefix)
    if (static_cast<unsigned char>(c) < 32 || std::string_view("\"*/:<>?\\|").find(c) != std::string_view::npos)
      c = '_';
  return prefix + "_" + FormatDateTime("yyyy-mm-dd_hh-nn-ss", FRunTime);
}

TWorkFolder TBackupEngine::CreateStagingFolder() {
  const fs::path temp = GetUserTempDirectory();
  LongForceDirectories(temp.string());
  // Created exclusively, so a leftover of an interrupted run or a run of another user in the same second is never
  // packed into this run's archive; private, since it holds copies of the user's files.
  return TWorkFolder::CreateNumbered(ToNativePath(temp.string()) /
                                     ("BackupTemp_" + FormatDateTime("yyyymmddhhnnss", FRunTime)));
}

void TBackupEngine::ProduceCompressedOutput(TRunOutcome& run, const std::vector<TSourceListing>& sources) {
  const bool encrypt = FEncryptBackup && !FEncryptionPassword.empty();
  bool anySelected = false;
  for (const TSourceListing& source : sources)
    anySelected |= std::find(source.Selected.begin(), source.Selected.end(), 1) != source.Selected.end();
  // Unlistable sub-folders are failed entries whatever else the run does.
  if (!anySelected) {
    for (const TSourceListing& source : sources)
      for (const auto& folder : source.Unlisted) AddFailedFile(folder.Path, "Klasör okunamadı: " + folder.Error);
  }
  if (!anySelected && FBackupType != btFull) {
    run.Success = true;
    run.Message = BackupNoChangeMessage;
    return;
  }

  // Only an encrypted run has plaintext to keep out of the destination; it is removed with its folder whatever the
  // outcome, also when an error leaves this step early.
  TWorkFolder staging;
  std::string archive;
  if (encrypt) {
    staging = CreateStagingFolder();
    archive = CreatePrivateArchiveFile(staging.Path());
  } else {
    run.Output.emplace(TWorkOutput::ForFile(ToNativePath(FDestinationFolder), run.Name + ".zip"));
    archive = run.Output->ContentPath().string();
  }
  const bool built = anySelected ? CreateZipArchive(sources, archive) : WriteEmptyArchive(archive);

  if (IsCancelled()) {
    run.Cancelled = true;
    run.Success = false;
    run.Message = BackupCancelledMessage;
  } else if (built && FBackupType != btFull && FLastBackupFileCount == 0) {
    run.Output.reset();
    run.Success = true;
    run.Message = BackupNoChangeMessage;
  } else if (built) {
    FinishArchive(run, archive, encrypt);
  } else {
    run.Success = false;
    run.Message = "Sıkıştırma sırasında hata oluştu";
  }
}

bool TBackupEngine::WriteEmptyArchive(const std::string& archivePath) {
  try {
    TZipArchiveWriter::WriteEmptyArchive(archivePath);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void TBackupEngine::FinishArchive(TRunOutcome& run, const std::string& archive, bool encrypt) {
  if (encrypt) {
    run.Output.emplace(TWorkOutput::ForFile(ToNativePath(FDestinationFolder), run.Name + ".mbe"));
    try {
      TEncryptionManager encryption;
      encryption.SetPassword(FEncryptionPassword);
      encryption.EncryptFile(archive, run.Output->ContentPath());
    } catch (const std::exception& e) {
      // The plaintext goes with the staging folder: a failed run is made again from the sources.
      run.Success = false;
      run.Message = std::string("Şifreleme hatası: ") + e.what();
      return;
    }
    ::unlink(archive.c_str());
  }
  run.Extension = encrypt ? ".mbe" : ".zip";
  const std::string output = run.Output->ContentPath().string();
  if (!LongFileExists(output)) {
    run.Success = false;
    run.Message = "Yedekleme çıktısı oluşturulamadı.";
    return;
  }
  run.Output->Flush();
  run.Checksum = ComputeFileChecksum(output);
  if (run.Checksum.empty()) {
    run.Success = false;
    run.Message = "Yedekleme dosyasi olustu ancak SHA-256 dogrulamasi yapilamadi.";
    return;
  }
  run.Success = true;
  run.ReportedBytes = LongGetFileSize(output);
  run.EmptyArchive = FLastBackupFileCount == 0;
}

void TBackupEngine::RecordCopy(const std::string& written, const std::string& source, int64_t sourceSize,
                               int64_t writtenSize) {
  ++FLastBackupFileCount;
  FLastBackupTotalSize += sourceSize;
  FSuccessfulFiles.push_back(source);
  TCopiedFile& copied = FCopiedFiles[written];
  copied.Sources.push_back({source, sourceSize});
  copied.Size = writtenSize;
}

bool TBackupEngine::WithdrawCopy(const std::string& written, const std::string& error) {
  const auto copied = FCopiedFiles.find(written);
  if (copied == FCopiedFiles.end()) return false;
  for (const auto& source : copied->second.Sources) {
    const auto listed = std::find(FSuccessfulFiles.begin(), FSuccessfulFiles.end(), source.Path);
    if (listed != FSuccessfulFiles.end()) FSuccessfulFiles.erase(listed);
    --FLastBackupFileCount;
    FLastBackupTotalSize -= source.Size;
    FFailedFiles.push_back(source.Path + " (" + error + ")");
  }
  FCopiedFiles.erase(copied);
  return true;
}

void TBackupEngine::ProduceFolderOutput(TRunOutcome& run, const std::vector<TSourceListing>& sources) {
  run.Output.emplace(TWorkOutput::ForFolder(ToNativePath(FDestinationFolder)));
  const std::string root = run.Output->ContentPath().string();
  const TTreeCopyMode mode = FEncryptBackup && !FEncryptionPassword.empty() ? tcEncrypt : tcCopy;
  bool copied = false;
  for (const TSourceListing& source : sources) {
    if (IsCancelled()) {
      run.Cancelled = true;
      break;
    }
    copied = CopyFolderTree(source, root, mode);
    if (!copied) break;
  }
  if (IsCancelled()) run.Cancelled = true;

  if (run.Cancelled) {
    run.Success = false;
    run.Message = BackupCancelledMessage;
    return;
  }
  if (copied && FBackupType != btFull && FLastBackupFileCount == 0) {
    run.Output.reset();
    run.Success = true;
    run.Message = BackupNoChangeMessage;
    return;
  }
  if (!copied) {
    run.Success = false;
    run.Message = "Kopyalama sırasında hata oluştu";
    return;
  }
  run.Output->Flush();
  std::string manifest;
  std::string difference;
  try {
    difference = CompareWithCopiedFiles(root, manifest);
  } catch (const std::exception&) {
    run.Success = false;
    run.Message = "Yedek klasoru olustu ancak SHA-256 dogrulamasi yapilamadi.";
    return;
  }
  if (!difference.empty()) {
    run.Success = false;
    run.Message = "Yedek klasörü kopyalanan dosyalarla eşleşmiyor: " + difference;
    return;
  }
  run.Checksum = ComputeManifestChecksum(manifest);
  run.Success = !run.Checksum.empty();
  if (!run.Success) run.Message = "Yedek klasoru olustu ancak SHA-256 dogrulamasi yapilamadi.";
  run.ReportedBytes = FLastBackupTotalSize;
}

std::string TBackupEngine::CompareWithCopiedFiles(const std::string& outputFolder, std::string& manifest) const {
  std::vector<TManifestEntry> expected;
  expected.reserve(FCopiedFiles.size());
  for (const auto& [written, copied] : FCopiedFiles)
    expected.push_back({written.substr(std::min(outputFolder.size() + 1, written.size())), copied.Size});
  const std::string wanted = FormatFolderManifest(std::move(expected));
  manifest = BuildFolderManifest(outputFolder);
  if (manifest == wanted) return "";
  // The first line in which the two differ names the file.
  size_t at = 0;
  while (at < manifest.size() && at < wanted.size() && manifest[at] == wanted[at]) ++at;
  const std::string& text = at < wanted.size() ? wanted : manifest;
  const size_t begin = text.rfind("\r\n", at) == std::string::npos ? 0 : text.rfind("\r\n", at) + 2;
  return text.substr(begin, text.find('|', begin) - begin);
}

void TBackupEngine::PublishOutput(TRunOutcome& run) {
  if (!run.Success || !run.Output) return;
  if (IsCancelled()) {
    run.Cancelled = true;
    run.Success = false;
    run.Message = BackupCancelledMessage;
    return;
  }
  // The skipped-files rule fails this run: nothing was backed up.
  if (FLastBackupFileCount == 0 && !FFailedFiles.empty()) return;
  // The missing-sources rule fails it: the set would lack a whole source.
  if (!run.MissingSources.empty()) return;
  const std::string output = run.Output->Publish(run.Name, run.Extension).string();
  FLastBackupOutputPath = output;
  FLastBackupChecksum = run.Checksum;
  FLastBackupVerified = true;
  run.Message =
      run.EmptyArchive ? "Boş klasör yedeklendi (0 dosya) - " + output : SuccessMessage(run.ReportedBytes, output);
}

std::string TBackupEngine::SuccessMessage(int64_t bytes, const std::string& outputPath) const {
  return std::to_string(FLastBackupFileCount) + " dosya yedeklendi (" + FormatMegabytes(bytes) + " MB) - " + outputPath;
}

void TBackupEngine::ApplySkippedFilesRule(TRunOutcome& run) {
  if (!run.Success || FFailedFiles.empty()) return;
  const std::string skipped = std::to_string(FFailedFiles.size());
  // A differential or incremental run that found nothing new, and could not back up only what had not changed
  // since its reference run (which reported it already), found no change: a file that cannot be read or carried
  // does not turn every later run into a failure. The files are still listed and counted in the message.
  const bool onlyKnownFailures = FBackupType != btFull && FUnchangedFailures == FFailedFiles.size();
  if (FLastBackupFileCount == 0 && onlyKnownFailures && run.Message == BackupNoChangeMessage) {
    run.Message += " (" + skipped + " dosya atlandı/okunamadı)";
  } else if (FLastBackupFileCount == 0) {
    run.Success = false;
    run.Message = "Yedeklenecek dosyalar okunamadı (" + skipped + " dosya atlandı).";
  } else if (run.Message.empty()) {
    run.Message = skipped + " dosya atlandı/okunamadı";
  } else {
    run.Message += " (" + skipped + " dosya atlandı/okunamadı)";
  }
}

void TBackupEngine::ApplyMissingSourcesRule(TRunOutcome& run) {
  if (run.MissingSources.empty()) return;
  // A source that is not there (an unplugged drive, a share offline) is no empty source: a set without it would
  // still count for retention, which would then delete the only copies of that source's files.
  run.Success = false;
  if (run.Cancelled || IsCancelled()) {
    run.Message = BackupCancelledMessage;
    return;
  }
  std::string folders;
  for (const std::string& folder : run.MissingSources) folders += (folders.empty() ? "" : ", ") + folder;
  const std::string count = run.MissingSources.size() > 1 ? std::to_string(run.MissingSources.size()) + " " : "";
  run.Message =
      "Yedekleme hatası: " + count + "kaynak klasör bulunamadı: " + folders + ". Eksik kaynakla yedek oluşturulmadı.";
}

bool IsStagingFolderName(std::string_view name) { return name.starts_with("BackupTemp_"); }

std::string MakeReferenceName(const std::vector<std::string>& sourceFolders, std::string_view fileName) {
  for (const auto& folder : sourceFolders) {
    const std::string root = ToNativePath(folder).string();
    if (root.empty()) continue;
    const std::string prefix = root == "/" ? root : root + "/";
    if (!StartsText(prefix, fileName)) continue;
    const std::string component = fs::path(root).filename().string();
    const std::string_view relative = fileName.substr(prefix.size());
    return component.empty() ? std::string(relative) : component + "/" + std::string(relative);
  }
  return fs::path(fileName).filename().string();
}

std::string TBackupEngine::GetReferenceName(const std::string& fileName) const {
  return MakeReferenceName(FSourceFolders, fileName);
}

bool TBackupEngine::ShouldBackupFile(const std::string& fileName) { return ShouldBackupFile(LongLookAt(fileName)); }

bool TBackupEngine::ShouldBackupFile(const TListedFile& file) const {
  if (!FReferenceFileNames.empty()) {
    const std::string name = GetReferenceName(file.Path);
    // Lists recorded where "\" separated the components know the same files under that spelling.
    if (FReferenceFileNames.count(name) == 0 && FReferenceFileNames.count(ReplaceAll(name, "/", "\\")) == 0)
      return true;
  }
  return ChangedSinceReference(file);
}

bool TBackupEngine::ChangedSinceReference(const std::string& path) const {
  return ChangedSinceReference(LongLookAt(path));
}

bool TBackupEngine::ChangedSinceReference(const TListedFile& file) const {
  TDateTime reference = 0;
  if (FBackupType == btDifferential)
    reference = FReferenceFullBackupTime;
  else if (FBackupType == btIncremental)
    reference = FReferenceBackupTime;
  else
    return true;
  if (reference <= 0) return true;
  return file.ChangeTime >= IncMilliSecond(reference, -ChangeToleranceMs);
}

void TBackupEngine::AddFailedFile(const std::string& path, const std::string& error) {
  AddFailedFile(LongLookAt(path), error);
}

void TBackupEngine::AddFailedFile(const TListedFile& file, const std::string& error) {
  FFailedFiles.push_back(file.Path + " (" + error + ")");
  if (!ChangedSinceReference(file)) ++FUnchangedFailures;
}

bool TBackupEngine::CopyFolderTree(const TSourceListing& source, const std::string& outputRoot, TTreeCopyMode mode) {
  const fs::path root = ToNativePath(outputRoot);
  const std::string targetFolder = SourceTarget(root.string(), source.Folder);
  std::unique_ptr<TEncryptionManager> encryption;
  try {
    if (mode == tcEncrypt) {
      encryption = std::make_unique<TEncryptionManager>();
      encryption->SetPassword(FEncryptionPassword);
    }
    ForceFoldersBelow(root, targetFolder);
  } catch (const std::exception&) {
    return false;
  }
  // A sub-folder left out is said, like a file that cannot be read.
  for (const auto& folder : source.Unlisted) AddFailedFile(folder.Path, "Klasör okunamadı: " + folder.Error);
  // Listed paths begin with the source's native form; what follows it is the path inside the source.
  const std::string sourceRoot = ToNativePath(source.Folder).string();
  // Files of one folder come together, so the folder is made once for all of them.
  std::string lastFolder = targetFolder;
  const size_t total = source.Files.size();
  for (size_t processed = 0; processed < total;) {
    const TListedFile& listed = source.Files[processed];
    const std::string& file = listed.Path;
    if (!WaitWhilePaused() || IsCancelled()) return false;
    if (source.Selected[processed]) {
      std::string destination;
      try {
        std::string relative = file.substr(std::min(sourceRoot.size(), file.size()));
        if (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
        destination = ToNativePath((fs::path(targetFolder) / relative).string()).string();
        const std::string folder = fs::path(destination).parent_path().string();
        if (folder != lastFolder) {
          ForceFoldersBelow(root, folder);
          lastFolder = folder;
        }
        int64_t size;
        int64_t written;
        if (encryption) {
          destination += ".mbe";
          encryption->EncryptFile(file, destination);
          size = LongGetFileSize(file);
          written = LongGetFileSize(destination);
          ThrottleTransfer(size);
        } else {
          size = CopyFileThrottled(file, destination);
          written = size;
        }
        // A copy cut short by a cancellation is no backup of the file; the run ends right after.
        if (IsCancelled()) return false;
        RecordCopy(destination, file, size, written);
      } catch (const std::exception& e) {
        // A replaced copy of an earlier source with the same name went with the failed one.
        if (!destination.empty() && !LongFileExists(destination)) WithdrawCopy(destination, e.what());
        AddFailedFile(listed, e.what());
      }
    }
    ++processed;
    ReportProgress(file, static_cast<int>(processed * 100 / total));
  }
  return true;
}

}  // namespace velkor
