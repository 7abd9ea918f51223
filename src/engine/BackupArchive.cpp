// The archive of a compressed run, built straight from the source files: the run's worker reads each selected file
// in blocks, the compression pool deflates the blocks, and the worker appends them to the archive in order.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <filesystem>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "engine/BackupEngine.h"
#include "engine/BlockDeflater.h"
#include "engine/ZipArchiveWriter.h"
#include "platform/AtomicFile.h"
#include "platform/FileHandle.h"
#include "util/Error.h"

namespace velkor {

namespace {

namespace fs = std::filesystem;

// A block is read, compressed and written as one piece: large enough that handing it over costs nothing next to
// compressing it, small enough that a pause or a cancellation takes effect quickly.
constexpr size_t BlockSize = 1048576;
// Blocks in flight per compression thread: one being compressed, one waiting, so no thread idles while the
// worker reads.
constexpr size_t BlocksPerThread = 2;
constexpr size_t DictionarySize = 32768;

// The entry name of a file of a source folder: the folder's last component, "/", and the file's path inside it
// (a root folder's files go in at the top).
std::string EntryNameFor(const std::string& sourceRoot, const std::string& component, const std::string& path) {
  std::string relative = path.substr(std::min(sourceRoot.size(), path.size()));
  if (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
  return component.empty() ? relative : component + "/" + relative;
}

}  // namespace

// One archive being built by one run; used by the run's worker only.
class TArchiveBuild {
public:
  using TSourceListing = TBackupEngine::TSourceListing;

  TArchiveBuild(TBackupEngine& engine, const std::string& archivePath)
      : FEngine(engine), FWriter(archivePath), FPool(TDeflatePool::DefaultWorkers()) {}

  // False when the run was cancelled. Errors of the archive throw EVelkorError.
  bool Build(const std::vector<TSourceListing>& sources) {
    FindShadowedEntries(sources);
    for (const TSourceListing& source : sources)
      if (!AddSource(source)) return false;
    Drain(true);
    FWriter.Close();
    return true;
  }

private:
  // An entry whose blocks are in flight or being written, oldest first.
  struct TEntry {
    uint64_t Tag = 0;
    const TListedFile* Source = nullptr;
    std::string Name;
    std::shared_ptr<std::atomic<int>> Probe;
    size_t InFlight = 0;
    bool Begun = false;  // its header is in the archive
    bool Done = false;   // finished or taken back
    uint32_t Crc = 0;
    uint64_t Size = 0;
  };

  // When two source folders share their last component, their files meet under one name, and the later folder's
  // file is the entry (as a copy into one folder would have it).
  void FindShadowedEntries(const std::vector<TSourceListing>& sources) {
    std::map<std::string, int> components;
    bool shared = false;
    for (const TSourceListing& source : sources)
      shared |= ++components[ToNativePath(source.Folder).filename().string()] > 1;
    if (!shared) return;
    std::unordered_map<std::string, const TListedFile*> last;
    for (const TSourceListing& source : sources) {
      const std::string root = ToNativePath(source.Folder).string();
      const std::string component = ToNativePath(source.Folder).filename().string();
      for (size_t i = 0; i < source.Files.size(); ++i)
        if (source.Selected[i]) last[EntryNameFor(root, component, source.Files[i].Path)] = &source.Files[i];
    }
    for (const TSourceListing& source : sources) {
      const std::string root = ToNativePath(source.Folder).string();
      const std::string component = ToNativePath(source.Folder).filename().string();
      for (size_t i = 0; i < source.Files.size(); ++i)
        if (source.Selected[i] && last[EntryNameFor(root, component, source.Files[i].Path)] != &source.Files[i])
          FShadowed.insert(&source.Files[i]);
    }
  }

  bool AddSource(const TSourceListing& source) {
    // A sub-folder left out is said, like a file that cannot be read.
    for (const auto& folder : source.Unlisted) FEngine.AddFailedFile(folder.Path, "Klasör okunamadı: " + folder.Error);
    const std::string root = ToNativePath(source.Folder).string();
    const std::string component = ToNativePath(source.Folder).filename().string();
    const size_t total = source.Files.size();
    for (size_t processed = 0; processed < total;) {
      const TListedFile& file = source.Files[processed];
      if (!FEngine.WaitWhilePaused() || FEngine.IsCancelled()) return false;
      if (source.Selected[processed]) {
        const std::string name = EntryNameFor(root, component, file.Path);
        if (FShadowed.count(&file) != 0) {
          // Backed up as far as the run's counts go, as with a copy into one folder: the later file under its name
          // stands for it (and takes it along should it fail).
          FEngine.RecordCopy(name, file.Path, file.Size, file.Size);
        } else if (!AddFile(file, name)) {
          return false;
        }
      }
      ++processed;
      FEngine.ReportProgress(file.Path, static_cast<int>(processed * 100 / total));
    }
    return true;
  }

  // False when the run was cancelled while the file was read.
  bool AddFile(const TListedFile& file, const std::string& name) {
    std::string error = TZipArchiveWriter::EntryNameProblem(name);
    TFileHandle in;
    if (error.empty()) {
      in = TFileHandle(::open(file.Path.c_str(), O_RDONLY | O_CLOEXEC));
      if (!in.IsOpen()) error = "Dosya açılamadı: " + file.Path + " (" + SystemErrorMessage(errno) + ")";
    }
    TEntry& entry = FEntries.emplace_back();
    entry.Tag = ++FLastTag;
    entry.Source = &file;
    entry.Name = name;
    entry.Crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
    if (!error.empty()) {
      FailEntry(entry, error);
      return true;
    }
    // The size the listing saw is the entry's: a file that grows meanwhile is taken as it was then, one that
    // shrinks is no longer the file that was listed.
    const uint64_t declared = file.Size > 0 ? static_cast<uint64_t>(file.Size) : 0;
    if (declared > BlockSize) {
      ::posix_fadvise(in.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
      entry.Probe = std::make_shared<std::atomic<int>>(dpUnknown);
    }
    FTail.clear();
    uint64_t read = 0;
    for (bool first = true;; first = false) {
      std::unique_ptr<TDeflateJob> job = TakeJob();
      const size_t want =
          declared > 0 ? static_cast<size_t>(std::min<uint64_t>(BlockSize, declared - read)) : BlockSize;
      size_t got = 0;
      int err = 0;
      while (got < want) {
        const ssize_t n = ::read(in.Get(), job->Input.data() + got, want - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) err = errno;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
      }
      if (err != 0 || (declared > 0 && got < want)) {
        FFree.push_back(std::move(job));
        FailEntry(entry, err != 0 ? "Dosya okunamadı: " + file.Path + " (" + SystemErrorMessage(err) + ")"
                                  : "Dosya okunurken kısaldı: " + file.Path);
        return true;
      }
      read += got;
      const bool last = declared > 0 ? read == declared : got < want;
      job->InputSize = got;
      job->First = first;
      job->Last = last;
      job->Probe = entry.Probe;
      job->Tag = entry.Tag;
      job->Dictionary.assign(FTail.begin(), FTail.end());
      if (!last) {
        const size_t keep = std::min(got, DictionarySize);
        FTail.assign(job->Input.begin() + static_cast<ptrdiff_t>(got - keep),
                     job->Input.begin() + static_cast<ptrdiff_t>(got));
      }
      ++entry.InFlight;
      FPool.Submit(std::move(job));
      FEngine.PaceTransfer(static_cast<int64_t>(got), false);
      if (last) break;
      // Between blocks, like a copy: the compression threads run out of work within one block each.
      if (!FEngine.WaitWhilePaused() || FEngine.IsCancelled()) return false;
      Drain(false);
    }
    if (read > 0) FEngine.PaceTransfer(0, true);
    Drain(false);
    return true;
  }

  // Takes the entry back out: whatever of it is in the archive goes, its blocks still in flight are dropped.
  void FailEntry(TEntry& entry, const std::string& error) {
    if (entry.Begun) FWriter.AbandonEntry();
    entry.Done = true;
    // Files under the same name from earlier source folders went with it.
    FEngine.WithdrawCopy(entry.Name, error);
    FEngine.AddFailedFile(*entry.Source, error);
    DropFinishedEntries();
  }

  std::unique_ptr<TDeflateJob> TakeJob() {
    while (FPool.InFlight() >= BlocksPerThread * FPool.Workers()) Write(FPool.Next(true));
    if (FFree.empty()) {
      auto job = std::make_unique<TDeflateJob>();
      job->Input.resize(BlockSize);
      return job;
    }
    std::unique_ptr<TDeflateJob> job = std::move(FFree.back());
    FFree.pop_back();
    return job;
  }

  // Writes the blocks that are compressed, in order; with `wait`, every block in flight.
  void Drain(bool wait) {
    while (std::unique_ptr<TDeflateJob> job = FPool.Next(wait)) Write(std::move(job));
  }

  void Write(std::unique_ptr<TDeflateJob> job) {
    auto at = std::find_if(FEntries.begin(), FEntries.end(), [&](const TEntry& e) { return e.Tag == job->Tag; });
    if (at == FEntries.end()) throw EVelkorError("Arşiv bloğu kayboldu");
    TEntry& entry = *at;
    --entry.InFlight;
    if (job->Failed) throw EVelkorError("Arşiv girdisi sıkıştırılamadı: " + entry.Name);
    if (!entry.Done) {
      if (!entry.Begun) {
        // The bits a copy of the file would have had: those of the file, read and write for its owner.
        const mode_t mode = (entry.Source->Mode & 0666) | S_IRUSR | S_IWUSR;
        FWriter.BeginEntry(entry.Name, mode, FEngine.FRunTime,
                           static_cast<uint64_t>(std::max<int64_t>(0, entry.Source->Size)));
        entry.Begun = true;
      }
      FWriter.AppendData(job->Output.data(), job->OutputSize);
      entry.Crc = static_cast<uint32_t>(crc32_combine(entry.Crc, job->Crc, static_cast<z_off_t>(job->InputSize)));
      entry.Size += job->InputSize;
      if (job->Last) {
        FWriter.FinishEntry(entry.Crc, entry.Size);
        entry.Done = true;
        const auto size = static_cast<int64_t>(entry.Size);
        FEngine.RecordCopy(entry.Name, entry.Source->Path, size, size);
      }
    }
    FFree.push_back(std::move(job));
    DropFinishedEntries();
  }

  void DropFinishedEntries() {
    while (!FEntries.empty() && FEntries.front().Done && FEntries.front().InFlight == 0) FEntries.pop_front();
  }

  TBackupEngine& FEngine;
  TZipArchiveWriter FWriter;
  std::deque<TEntry> FEntries;
  std::vector<std::unique_ptr<TDeflateJob>> FFree;
  std::vector<unsigned char> FTail;  // the last 32 KiB of the block just read: the next block's dictionary
  std::unordered_set<const TListedFile*> FShadowed;
  uint64_t FLastTag = 0;
  // Declared last: its threads stop before anything their blocks belong to goes.
  TDeflatePool FPool;
};

bool TBackupEngine::CreateZipArchive(const std::vector<TSourceListing>& sources, const std::string& archivePath) {
  bool written = false;
  try {
    TArchiveBuild build(*this, archivePath);
    written = build.Build(sources);
  } catch (const std::exception&) {
    written = false;
  }
  if (!written) {
    try {
      LongDeleteFile(archivePath);
    } catch (const std::exception&) {
      // An archive that was never completed is worthless; if it cannot be removed the failed run says enough.
    }
  }
  return written;
}

}  // namespace velkor
