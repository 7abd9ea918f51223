#pragma once
// Writes one ZIP archive entry by entry, streaming each file's bytes from an open descriptor.
//
// Entries are Deflate-compressed; names are stored byte for byte, with the format's UTF-8 flag set when they are
// UTF-8, and the archive says it was made on Unix (so "\" in a name is an ordinary character). Each entry's size is
// given before its data, so ZIP64 fields appear only for an entry of 4 GiB or more, or once the archive itself passes
// 4 GiB. There are no folder entries. An archive is complete only after Close; one abandoned before (destroyed
// unclosed, or after an error) is not a valid ZIP and the caller deletes it. One object is used by one thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct archive;

namespace velkor {

struct TZipSink;

class TZipArchiveWriter {
public:
  // Creates the archive file, replacing an existing one; readable by its owner only, since it holds copies of
  // files of every kind. Throws EVelkorError.
  explicit TZipArchiveWriter(const std::string& archivePath);
  ~TZipArchiveWriter();
  TZipArchiveWriter(const TZipArchiveWriter&) = delete;
  TZipArchiveWriter& operator=(const TZipArchiveWriter&) = delete;

  // Adds the regular file open on `fd` (read from its current position to its end) under `entryName`, with the
  // file's permissions and modification time. After every block written `afterBlock` receives the block's size;
  // when it returns false the entry is left unfinished and AddFile returns false. Throws EVelkorError for an
  // unsafe name, a read or a write error; after any throw or false the archive is unusable.
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
  [[noreturn]] void Fail(const std::string& what);
  // Fails on a write error of the file or a failed libarchive step.
  void CheckStep(int status);

  std::string FPath;
  std::unique_ptr<TZipSink> FSink;
  struct archive* FArchive = nullptr;
  bool FUsable = true;
  std::vector<char> FBuffer;
};

}  // namespace velkor
