#include "restore/ZipReader.h"

#include <archive_entry.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include "engine/LongPathUtils.h"
#include "util/Error.h"

namespace velkor {

namespace {

constexpr size_t ReaderBlockSize = 1 << 20;

uint64_t LittleEndian(const unsigned char* p, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

bool ReadAt(std::ifstream& in, uint64_t offset, unsigned char* buffer, size_t size) {
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  return static_cast<bool>(in.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(size)));
}

// Where the central directory starts and how many entries it holds, from the end record (ZIP64 when needed).
bool LocateCentralDirectory(std::ifstream& in, uint64_t fileSize, uint64_t& offset, uint64_t& count) {
  constexpr size_t EndRecordSize = 22;
  if (fileSize < EndRecordSize) return false;
  const size_t tailSize = static_cast<size_t>(std::min<uint64_t>(fileSize, EndRecordSize + 0xFFFF));
  std::vector<unsigned char> tail(tailSize);
  if (!ReadAt(in, fileSize - tailSize, tail.data(), tailSize)) return false;
  for (size_t i = tailSize - EndRecordSize + 1; i-- > 0;) {
    const unsigned char* end = tail.data() + i;
    if (LittleEndian(end, 4) != 0x06054b50) continue;
    count = LittleEndian(end + 10, 2);
    offset = LittleEndian(end + 16, 4);
    if (count != 0xFFFF && offset != 0xFFFFFFFF) return true;
    const uint64_t endPos = fileSize - tailSize + i;
    unsigned char locator[20], record[56];
    if (endPos < sizeof locator || !ReadAt(in, endPos - sizeof locator, locator, sizeof locator) ||
        LittleEndian(locator, 4) != 0x07064b50)
      return false;
    if (!ReadAt(in, LittleEndian(locator + 8, 8), record, sizeof record) || LittleEndian(record, 4) != 0x06064b50)
      return false;
    count = LittleEndian(record + 32, 8);
    offset = LittleEndian(record + 48, 8);
    return true;
  }
  return false;
}

}  // namespace

TZipReader::TZipReader(const std::string& zipPath) : FPath(zipPath), FArchive(archive_read_new()) {
  if (!FArchive) throw EVelkorError("ZIP arşivi açılamadı: " + zipPath);
  archive_read_support_format_zip(FArchive);
  // Names without the UTF-8 flag are in the format's original character set, code page 437.
  archive_read_set_format_option(FArchive, "zip", "hdrcharset", "CP437");
  if (archive_read_open_filename(FArchive, ToNativePath(zipPath).c_str(), ReaderBlockSize) != ARCHIVE_OK) {
    const std::string detail = archive_error_string(FArchive) ? archive_error_string(FArchive) : "";
    archive_read_free(FArchive);
    FArchive = nullptr;
    throw EVelkorError("ZIP arşivi okunamadı: " + zipPath + (detail.empty() ? "" : " (" + detail + ")"));
  }
}

TZipReader::~TZipReader() {
  if (FArchive) archive_read_free(FArchive);
}

void TZipReader::Fail(const std::string& what) const {
  const char* detail = archive_error_string(FArchive);
  throw EVelkorError(what + ": " + FPath + (detail && *detail ? std::string(" (") + detail + ")" : std::string()));
}

bool TZipReader::NextEntry(TZipEntry& entry) {
  struct archive_entry* header = nullptr;
  const int result = archive_read_next_header(FArchive, &header);
  if (result == ARCHIVE_EOF) return false;
  if (result < ARCHIVE_WARN) Fail("ZIP arşivi okunamadı, arşiv bozuk veya eksik");
  // UTF-8 when the archive marks its names so or they convert; the bytes as stored otherwise. A name that cannot
  // be read at all must not pass for an empty (folder) name and be dropped in silence.
  const char* utf8 = archive_entry_pathname_utf8(header);
  const char* raw = utf8 ? utf8 : archive_entry_pathname(header);
  if (!raw) Fail("ZIP arşivindeki bir girdinin adı okunamadı");
  entry.Name = raw;
  const auto type = archive_entry_filetype(header);
  entry.Directory = type == AE_IFDIR;
  entry.SymbolicLink = type == AE_IFLNK;
  const char* link = entry.SymbolicLink ? archive_entry_symlink_utf8(header) : nullptr;
  if (entry.SymbolicLink && !link) link = archive_entry_symlink(header);
  entry.LinkTarget = link ? link : "";
  entry.Size = archive_entry_size_is_set(header) ? archive_entry_size(header) : -1;
  return true;
}

size_t TZipReader::Read(void* buffer, size_t size) {
  const la_ssize_t count = archive_read_data(FArchive, buffer, size);
  if (count < 0) Fail("ZIP arşivi okunamadı, girdi bozuk veya desteklenmiyor");
  return static_cast<size_t>(count);
}

std::optional<std::string> TZipReader::FindNameWithNul(const std::string& zipPath) {
  std::ifstream in(ToNativePath(zipPath), std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(0, std::ios::end);
  const auto fileSize = static_cast<uint64_t>(in.tellg());
  uint64_t offset = 0, count = 0;
  if (!LocateCentralDirectory(in, fileSize, offset, count)) return std::nullopt;
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  std::string name;
  for (uint64_t i = 0; i < count; ++i) {
    unsigned char header[46];
    if (!in.read(reinterpret_cast<char*>(header), sizeof header) || LittleEndian(header, 4) != 0x02014b50)
      return std::nullopt;
    name.resize(LittleEndian(header + 28, 2));
    if (!in.read(name.data(), static_cast<std::streamsize>(name.size()))) return std::nullopt;
    if (name.find('\0') != std::string::npos) return name;
    in.seekg(static_cast<std::streamoff>(LittleEndian(header + 30, 2) + LittleEndian(header + 32, 2)), std::ios::cur);
  }
  return std::nullopt;
}

}  // namespace velkor
