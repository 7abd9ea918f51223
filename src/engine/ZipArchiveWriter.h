#pragma once
// Writes one ZIP archive entry by entry from Deflate data compressed elsewhere (BlockDeflater.h), so entries can be
// compressed on several cores and still be appended in order.
//
// Every entry says Deflate; names are stored byte for byte, with the format's UTF-8 flag set when they are UTF-8
// beyond plain ASCII, and the archive says it was made on Unix (so "\" in a name is an ordinary character). Local
// headers carry the CRC and both sizes (patched in once the entry is complete), never a data descriptor, so records
// follow one another without gaps. ZIP64 fields appear only for an entry declared at 4 GiB or more, for an entry
// that begins past 4 GiB, and in the end records once the archive needs them. There are no folder entries.
//
// An entry that is begun can be abandoned: the file is cut back to where the entry began, and the archive goes on
// as if it had never been started. An archive is complete only after Close; one abandoned before (destroyed
// unclosed, or after an error) is not a valid ZIP and the caller deletes it. One object is used by one thread.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileHandle.h"
#include "util/DateTime.h"

namespace velkor {

class TZipArchiveWriter {
public:
  // Creates the archive file, replacing an existing one; readable by its owner only, since it holds copies of
  // files of every kind. Throws EVelkorError.
  explicit TZipArchiveWriter(const std::string& archivePath);
  TZipArchiveWriter(const TZipArchiveWriter&) = delete;
  TZipArchiveWriter& operator=(const TZipArchiveWriter&) = delete;

  // Starts an entry. `declaredSize` is the size the source had when the entry began: at 4 GiB or more the entry
  // carries ZIP64 sizes. `mode` gives the permission bits the entry records; `time` its modification time (local).
  // Throws EVelkorError for an unsafe name or a write error.
  void BeginEntry(const std::string& entryName, mode_t mode, TDateTime time, uint64_t declaredSize);
  // Appends raw Deflate data of the open entry.
  void AppendData(const void* data, size_t size);
  // Completes the open entry: the CRC-32 and size of the uncompressed data. Throws EVelkorError when the size
  // does not fit what the entry declared (a source that grew past 4 GiB while it was read).
  void FinishEntry(uint32_t crc, uint64_t size);
  // Takes the open entry back out: the file is cut back to where it began. Nothing when no entry is open.
  void AbandonEntry();
  bool EntryOpen() const { return FEntryOpen; }

  // Adds the regular file open on `fd` (read from its current position to its end) under `entryName`, compressed
  // on the calling thread, with the file's permissions and modification time. After every block written
  // `afterBlock` receives the block's size; when it returns false the entry is left unfinished and AddFile returns
  // false. Throws EVelkorError for an unsafe name, a read or a write error; after any throw or false the archive is
  // unusable.
  bool AddFile(const std::string& entryName, int fd, const std::function<bool(int64_t)>& afterBlock);
  // Writes the central directory and closes the file. Throws EVelkorError.
  void Close();

  // Why a name cannot be an entry, or empty when it can: exactly the names the restore would refuse. It must be a
  // relative name of non-empty "/" parts, none of the parts that "/" or "\" delimit may be "." or "..", and the
  // first may not be a drive ("C:", "d:x"), since the restore judges "\" as a separator to keep Windows readers
  // inside the folder too. "v2..", "..gizli", "Disk D:" and "a\b" are ordinary names. Any bytes are allowed:
  // names that are not UTF-8 are stored as they are, without the UTF-8 flag.
  static std::string EntryNameProblem(std::string_view name);
  // The archive without entries: the end-of-central-directory record alone, "PK\5\6" and 18 zero bytes.
  static void WriteEmptyArchive(const std::string& archivePath);

private:
  // What the central directory says of one entry.
  struct TEntryRecord {
    std::string Name;
    uint64_t Offset = 0;
    uint64_t CompressedSize = 0;
    uint64_t Size = 0;
    uint32_t Crc = 0;
    uint32_t DosTime = 0;
    uint32_t Mode = 0;
    bool Utf8 = false;
    bool Zip64 = false;
  };

  [[noreturn]] void Fail(const std::string& what);
  void CheckUsable();
  void Write(const void* data, size_t size);
  // Puts `size` bytes at `offset` of what was already written (in the buffer or in the file).
  void Patch(uint64_t offset, const void* data, size_t size);
  void FlushBuffer();

  std::string FPath;
  TFileHandle FFile;
  bool FUsable = true;
  std::vector<unsigned char> FBuffer;  // bytes from FBufferStart on, not yet in the file
  uint64_t FBufferStart = 0;
  std::vector<TEntryRecord> FEntries;
  TEntryRecord FEntry;  // the open entry
  bool FEntryOpen = false;
};

}  // namespace velkor
