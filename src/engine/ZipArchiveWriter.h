#pragma once
// Writes one ZIP archive entry by entry, streaming each file's bytes from an open descriptor.
//
// Entries are Deflate-compressed and named in UTF-8 with the format's UTF-8 flag set. Each entry's size is given
// before its data, so ZIP64 fields appear only for an entry of 4 GiB or more, or once the archive itself passes
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

  // Why a name cannot be an entry, or empty when it can. It must be a relative name of non-empty components none
  // of which is "." or ".." (a backslash counts as a separator too, since readers on other systems take it for
  // one), so that no entry leads out of the folder it is extracted into; and it must be valid UTF-8, since the
  // entry is flagged so and strict readers refuse the whole archive otherwise.
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
