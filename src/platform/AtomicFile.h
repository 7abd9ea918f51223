#pragma once
// Files the user cannot afford to lose (config.json, history.json, registry.json) are written to a temporary
// file in the same folder, flushed to disk, and renamed over the old one: a crash or a full disk leaves either
// the old file or the new one, never half of one.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velkor {

// One version of a file as the file system tells it apart: a rename brings another inode, a write in place another
// size or modification time.
struct TFileIdentity {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  uint64_t Size = 0;
  int64_t ModifiedNs = 0;
  bool operator==(const TFileIdentity&) const = default;
};
// Of an open file; nullopt when it cannot be asked.
std::optional<TFileIdentity> FileIdentityOf(int fd);
// True once the clock the file system stamps writes with has moved past the file's modification time, so any
// later write in place shows as another time. Before that, a write within the same tick could keep the identity.
bool IdentityIsSettled(const TFileIdentity& identity);
// Waits (at most a clock tick or two) until IdentityIsSettled.
void WaitUntilSettled(const TFileIdentity& identity);

class TAtomicFileWriter {
public:
  // Creates the temporary file beside `target` (mode 0600: these files hold personal data).
  explicit TAtomicFileWriter(std::filesystem::path target);
  ~TAtomicFileWriter();  // discards the temporary file unless committed
  TAtomicFileWriter(const TAtomicFileWriter&) = delete;
  TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;

  void Write(std::string_view data);
  // Writes out and syncs what was written so far, for a caller that wants Commit to be the rename alone.
  void Flush();
  // Of the temporary file, which the rename keeps: after Flush, what the target is once committed.
  std::optional<TFileIdentity> Identity() const { return FileIdentityOf(FFd); }
  // Flushes, syncs and renames over the target. Throws EVelkorError with the system's message.
  void Commit();

private:
  void FlushBuffer();
  [[noreturn]] void Fail(const char* what, int err);

  std::filesystem::path FTarget;
  std::filesystem::path FTempPath;
  int FFd = -1;
  std::string FBuffer;
  bool FCommitted = false;
};

// "<name>.tmp-XXXXXX": the temporary file of an atomic write, a leftover once no writer holds it (Leftovers.h).
bool IsAtomicWriteTemporaryName(std::string_view fileName);

void WriteFileAtomic(const std::filesystem::path& target, std::string_view content);

// Reads a whole (small) file. Throws EVelkorError when it cannot be read.
std::string ReadTextFile(const std::filesystem::path& path);

// Keeps an unreadable file beside the original as "<name>.damaged-YYYYMMDD-hhnnss" (copied, never moved, so
// the original stays until a successful write replaces it); a copy kept earlier of the same content serves
// again. Returns the copy's path, empty when none could be made: the caller must then not write over the file.
std::filesystem::path PreserveDamagedFile(const std::filesystem::path& path, double nowLocal);

// The system's message for an errno value, in the user's language where the system has one.
std::string SystemErrorMessage(int err);

}  // namespace velkor
