#pragma once
// Reads a ZIP archive entry by entry, in archive order, streaming each entry's decompressed bytes (libarchive).
//
// Names come as stored, decoded from UTF-8 where the archive says so and from code page 437 otherwise (the process
// needs a UTF-8 character locale, see InitProcessLocale); both "/" and "\" may separate their parts (older archives
// used backslashes; the reader may already hand them over as "/"). Nothing here creates files: symbolic-link entries
// are reported with their link text so the caller can write that text as an ordinary file, never as a link. Damaged or
// truncated archives raise EVelkorError with a Turkish message naming the archive and the reader's own explanation.
#include <archive.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace velkor {

struct TZipEntry {
  std::string Name;
  bool Directory = false;  // the archive marks it as a folder
  bool SymbolicLink = false;
  std::string LinkTarget;  // the text of a symbolic-link entry
  int64_t Size = -1;       // uncompressed size as declared; -1 when the archive does not say
};

class TZipReader {
public:
  explicit TZipReader(const std::string& zipPath);
  ~TZipReader();
  TZipReader(const TZipReader&) = delete;
  TZipReader& operator=(const TZipReader&) = delete;

  // The next entry, or false after the last one.
  bool NextEntry(TZipEntry& entry);
  // Up to `size` decompressed bytes of the current entry; 0 at its end.
  size_t Read(void* buffer, size_t size);

  // The first stored entry name holding a NUL byte, read from the central directory itself: the reader above cuts
  // names at a NUL, which would hide such a name instead of refusing it. nullopt when there is none or when the
  // central directory cannot be found (a damaged archive then fails in the reader).
  static std::optional<std::string> FindNameWithNul(const std::string& zipPath);

private:
  [[noreturn]] void Fail(const std::string& what) const;

  std::string FPath;
  struct archive* FArchive = nullptr;
};

}  // namespace velkor
