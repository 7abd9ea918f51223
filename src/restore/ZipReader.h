#pragma once
// Reads a ZIP archive from its central directory and checks its whole structure before anything is unpacked: the
// end record, every central record, and the local header, data span and data descriptor of every entry, which
// must tile the file from its first byte to the central directory without gap or overlap. An archive with an entry
// the central directory does not count, an entry counted twice, a size or CRC that the local records contradict,
// an empty name or a folder entry that carries data is refused as damaged. Each entry's data is then streamed
// (stored or Deflate) and checked once more against its size and CRC; no byte beyond the size an entry declares is
// ever handed over, so a small archive cannot inflate into more than it claims.
//
// Names are the stored bytes. Only entries made on DOS or Windows without the UTF-8 flag are code page 437 text
// (the format's original character set) and converted to UTF-8; there "\" separates the parts of a name too.
// Entries made elsewhere (Unix) keep their bytes as they are, valid UTF-8 or not, and "\" is an ordinary character.
// Nothing here creates files; a symbolic-link entry is reported with its flag and its data is the link's text.
// Damage raises EVelkorError with a Turkish message naming the archive and what is wrong.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/FileHandle.h"

namespace velkor {

struct TZipEntry {
  std::string Name;           // as stored (code page 437 converted, see above)
  bool WindowsNames = false;  // made on DOS or Windows: "\" is a separator
  bool Directory = false;     // a folder entry: the name ends with a separator
  bool SymbolicLink = false;  // a link made on Unix; its data is the link's text
  bool HasMode = false;       // made on Unix with its permission bits recorded
  uint32_t Mode = 0;          // the recorded mode bits (07777) when HasMode
  uint64_t Size = 0;          // uncompressed size
  uint64_t CompressedSize = 0;
  uint64_t HeaderOffset = 0;  // where the local header starts
  uint64_t DataOffset = 0;    // where the stored data starts
  uint32_t Crc = 0;
  uint16_t Method = 0;  // 0 stored, 8 Deflate
  uint16_t Flags = 0;
};

class TZipReader {
public:
  // Opens the archive and checks its structure. Raises on damage and on what is not supported (encrypted entries,
  // compression methods other than stored and Deflate, archives split over several disks).
  explicit TZipReader(const std::string& zipPath);

  // In central-directory order.
  const std::vector<TZipEntry>& Entries() const { return FEntries; }

  // Streams the entry's data to `consume` in blocks of at most 1 MiB. Raises (damaged archive) as soon as the data
  // would pass the entry's size, and at the end when it inflates to fewer bytes, fails to inflate, or has another CRC.
  void ReadEntry(const TZipEntry& entry, const std::function<void(const char*, size_t)>& consume);

  // Raises the damaged-archive error with `detail`.
  [[noreturn]] void Damaged(const std::string& detail) const;

private:
  void ReadAt(uint64_t offset, void* buffer, size_t size) const;
  void ReadCentralDirectory(uint64_t offset, uint64_t size, uint64_t count);
  void CheckLocalRecords(uint64_t centralOffset, const std::vector<std::string>& rawNames);

  std::string FPath;
  TFileHandle FFile;
  uint64_t FFileSize = 0;
  std::vector<TZipEntry> FEntries;
  std::vector<char> FInput;
  std::vector<char> FOutput;
};

}  // namespace velkor
