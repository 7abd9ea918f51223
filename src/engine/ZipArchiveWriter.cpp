#include "engine/ZipArchiveWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "engine/BlockDeflater.h"
#include "engine/LongPathUtils.h"
#include "platform/AtomicFile.h"
#include "util/Error.h"

namespace velkor {

namespace {

constexpr uint32_t LocalHeaderSignature = 0x04034b50;
constexpr uint32_t CentralHeaderSignature = 0x02014b50;
constexpr uint32_t EndSignature = 0x06054b50;
constexpr uint32_t Zip64EndSignature = 0x06064b50;
constexpr uint32_t Zip64LocatorSignature = 0x07064b50;
constexpr uint16_t FlagUtf8 = 0x0800;
constexpr uint16_t MethodDeflate = 8;
// "Made by" Unix (3) with version 6.3 of the format; version 2.0 is needed to read Deflate, 4.5 for ZIP64.
constexpr uint16_t VersionMadeBy = (3 << 8) | 63;
constexpr uint16_t VersionDeflate = 20;
constexpr uint16_t VersionZip64 = 45;
constexpr uint64_t Saturated32 = 0xFFFFFFFF;
constexpr size_t LocalHeaderSize = 30;
// Where the CRC and the two sizes sit in a local header.
constexpr size_t LocalCrcOffset = 14;
// Bytes gathered before each write to the file; small entries would otherwise cost a system call each.
constexpr size_t WriteBufferSize = 262144;
constexpr size_t ReadBlockSize = 1048576;

int OpenForWriting(const std::string& path) {
  const std::string native = ToNativePath(path).string();
  int fd;
  do fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) throw EVelkorError("Arşiv dosyası oluşturulamadı: " + native + " (" + SystemErrorMessage(errno) + ")");
  return fd;
}

void Put16(std::vector<unsigned char>& out, uint64_t v) {
  out.push_back(static_cast<unsigned char>(v));
  out.push_back(static_cast<unsigned char>(v >> 8));
}
void Put32(std::vector<unsigned char>& out, uint64_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void Put64(std::vector<unsigned char>& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void PutBytes(std::vector<unsigned char>& out, std::string_view bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

// Date and time in the format's MS-DOS form: two-second steps, years 1980 to 2107.
uint32_t DosDateTime(TDateTime time) {
  const TCivilDateTime t = DecodeDateTime(time);
  if (t.Year < 1980) return (1 << 21) | (1 << 16);  // 1980-01-01 00:00
  const int year = std::min(t.Year, 2107) - 1980;
  const uint32_t date = (static_cast<uint32_t>(year) << 9) | (static_cast<uint32_t>(t.Month) << 5) | t.Day;
  const uint32_t clock =
      (static_cast<uint32_t>(t.Hour) << 11) | (static_cast<uint32_t>(t.Minute) << 5) | (t.Second / 2);
  return (date << 16) | clock;
}

// Well-formed UTF-8: no stray continuation bytes, no over-long forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t length;
    uint32_t code;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      length = 2;
      code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3;
      code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      length = 4;
      code = c & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    static constexpr uint32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < Smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

// Writes at the file's own position (appending), or at `offset` when one is given (patching).
bool WriteAll(int fd, const void* data, size_t size, std::optional<uint64_t> offset = std::nullopt) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = offset ? ::pwrite(fd, bytes, size, static_cast<off_t>(*offset)) : ::write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    bytes += n;
    size -= static_cast<size_t>(n);
    if (offset) *offset += static_cast<uint64_t>(n);
  }
  return true;
}

}  // namespace

TZipArchiveWriter::TZipArchiveWriter(const std::string& archivePath)
    : FPath(archivePath), FFile(OpenForWriting(archivePath)) {
  FBuffer.reserve(WriteBufferSize);
}

void TZipArchiveWriter::Fail(const std::string& what) {
  FUsable = false;
  throw EVelkorError(what);
}

void TZipArchiveWriter::CheckUsable() {
  if (!FUsable) Fail("Arşiv kullanılamaz durumda: " + FPath);
}

void TZipArchiveWriter::FlushBuffer() {
  if (FBuffer.empty()) return;
  if (!WriteAll(FFile.Get(), FBuffer.data(), FBuffer.size()))
    Fail("Arşive yazılamadı: " + FPath + " (" + SystemErrorMessage(errno) + ")");
  FBufferStart += FBuffer.size();
  FBuffer.clear();
}

void TZipArchiveWriter::Write(const void* data, size_t size) {
  if (FBuffer.size() + size > WriteBufferSize) FlushBuffer();
  if (size >= WriteBufferSize) {
    if (!WriteAll(FFile.Get(), data, size))
      Fail("Arşive yazılamadı: " + FPath + " (" + SystemErrorMessage(errno) + ")");
    FBufferStart += size;
    return;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  FBuffer.insert(FBuffer.end(), bytes, bytes + size);
}

void TZipArchiveWriter::Patch(uint64_t offset, const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  // The part still in the buffer is changed there, the rest in the file.
  if (offset + size > FBufferStart) {
    const uint64_t from = std::max(offset, FBufferStart);
    std::memcpy(FBuffer.data() + (from - FBufferStart), bytes + (from - offset), offset + size - from);
    size = from > offset ? static_cast<size_t>(from - offset) : 0;
  }
  if (size > 0 && !WriteAll(FFile.Get(), bytes, size, offset))
    Fail("Arşive yazılamadı: " + FPath + " (" + SystemErrorMessage(errno) + ")");
}

void TZipArchiveWriter::BeginEntry(const std::string& entryName, mode_t mode, TDateTime time, uint64_t declaredSize) {
  CheckUsable();
  if (FEntryOpen) Fail("Arşiv girdisi tamamlanmadı: " + FEntry.Name);
  if (const std::string problem = EntryNameProblem(entryName); !problem.empty()) Fail(problem);
  if (entryName.size() > 0xFFFF) Fail("Arşiv girdisi adı çok uzun: " + entryName);
  FEntry = TEntryRecord{};
  FEntry.Name = entryName;
  FEntry.Offset = FBufferStart + FBuffer.size();
  FEntry.DosTime = DosDateTime(time);
  FEntry.Mode = S_IFREG | (mode & 07777);
  // Plain ASCII reads the same either way; other bytes are flagged only when they are UTF-8.
  FEntry.Utf8 = IsValidUtf8(entryName) && std::any_of(entryName.begin(), entryName.end(),
                                                      [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  FEntry.Zip64 = declaredSize >= Saturated32;

  std::vector<unsigned char> header;
  header.reserve(LocalHeaderSize + entryName.size() + 20);
  Put32(header, LocalHeaderSignature);
  Put16(header, FEntry.Zip64 ? VersionZip64 : VersionDeflate);
  Put16(header, FEntry.Utf8 ? FlagUtf8 : 0);
  Put16(header, MethodDeflate);
  Put32(header, FEntry.DosTime);
  // CRC and sizes follow once the entry is complete.
  Put32(header, 0);
  Put32(header, FEntry.Zip64 ? Saturated32 : 0);
  Put32(header, FEntry.Zip64 ? Saturated32 : 0);
  Put16(header, entryName.size());
  Put16(header, FEntry.Zip64 ? 20 : 0);
  PutBytes(header, entryName);
  if (FEntry.Zip64) {
    Put16(header, 0x0001);
    Put16(header, 16);
    Put64(header, 0);
    Put64(header, 0);
  }
  FEntryOpen = true;
  Write(header.data(), header.size());
}

void TZipArchiveWriter::AppendData(const void* data, size_t size) {
  CheckUsable();
  if (!FEntryOpen) Fail("Arşiv girdisi başlatılmadı: " + FPath);
  Write(data, size);
  FEntry.CompressedSize += size;
}

void TZipArchiveWriter::FinishEntry(uint32_t crc, uint64_t size) {
  CheckUsable();
  if (!FEntryOpen) Fail("Arşiv girdisi başlatılmadı: " + FPath);
  if (!FEntry.Zip64 && (size >= Saturated32 || FEntry.CompressedSize >= Saturated32))
    Fail("Dosya okunurken 4 GB sınırını aştı: " + FEntry.Name);
  FEntry.Crc = crc;
  FEntry.Size = size;
  std::vector<unsigned char> fields;
  Put32(fields, crc);
  Put32(fields, FEntry.Zip64 ? Saturated32 : FEntry.CompressedSize);
  Put32(fields, FEntry.Zip64 ? Saturated32 : size);
  Patch(FEntry.Offset + LocalCrcOffset, fields.data(), fields.size());
  if (FEntry.Zip64) {
    fields.clear();
    Put64(fields, size);
    Put64(fields, FEntry.CompressedSize);
    Patch(FEntry.Offset + LocalHeaderSize + FEntry.Name.size() + 4, fields.data(), fields.size());
  }
  FEntries.push_back(std::move(FEntry));
  FEntryOpen = false;
}

void TZipArchiveWriter::AbandonEntry() {
  if (!FEntryOpen) return;
  FEntryOpen = false;
  const uint64_t start = FEntry.Offset;
  if (start >= FBufferStart) {
    FBuffer.resize(static_cast<size_t>(start - FBufferStart));
    return;
  }
  FBuffer.clear();
  FBufferStart = start;
  int status;
  do status = ::ftruncate(FFile.Get(), static_cast<off_t>(start));
  while (status != 0 && errno == EINTR);
  if (status == 0 && ::lseek(FFile.Get(), static_cast<off_t>(start), SEEK_SET) < 0) status = -1;
  if (status != 0) Fail("Arşive yazılamadı: " + FPath + " (" + SystemErrorMessage(errno) + ")");
}

bool TZipArchiveWriter::AddFile(const std::string& entryName, int fd, const std::function<bool(int64_t)>& afterBlock) {
  CheckUsable();
  struct stat st {};
  if (::fstat(fd, &st) != 0) Fail("Dosya okunamadı: " + entryName + " (" + SystemErrorMessage(errno) + ")");
  BeginEntry(entryName, st.st_mode, FromUnixTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec),
             static_cast<uint64_t>(st.st_size));
  TBlockDeflater deflater;
  TDeflateJob job;
  job.Input.resize(ReadBlockSize);
  uint32_t crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
  uint64_t size = 0;
  for (bool last = false; !last;) {
    job.InputSize = 0;
    while (job.InputSize < job.Input.size()) {
      const ssize_t got = ::read(fd, job.Input.data() + job.InputSize, job.Input.size() - job.InputSize);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) Fail("Dosya okunamadı: " + entryName + " (" + SystemErrorMessage(errno) + ")");
      if (got == 0) break;
      job.InputSize += static_cast<size_t>(got);
    }
    last = job.InputSize < job.Input.size();
    job.Last = last;
    if (!deflater.Compress(job)) Fail("Arşiv girdisi sıkıştırılamadı: " + entryName);
    AppendData(job.Output.data(), job.OutputSize);
    crc = static_cast<uint32_t>(crc32_combine(crc, job.Crc, static_cast<z_off_t>(job.InputSize)));
    size += job.InputSize;
    const size_t keep = std::min<size_t>(job.InputSize, 32768);
    job.Dictionary.assign(job.Input.begin() + static_cast<ptrdiff_t>(job.InputSize - keep),
                          job.Input.begin() + static_cast<ptrdiff_t>(job.InputSize));
    if (job.InputSize > 0 && !afterBlock(static_cast<int64_t>(job.InputSize))) {
      FUsable = false;
      return false;
    }
  }
  FinishEntry(crc, size);
  return true;
}

void TZipArchiveWriter::Close() {
  CheckUsable();
  if (FEntryOpen) Fail("Arşiv girdisi tamamlanmadı: " + FEntry.Name);
  const uint64_t centralOffset = FBufferStart + FBuffer.size();
  std::vector<unsigned char> record;
  for (const TEntryRecord& e : FEntries) {
    record.clear();
    const bool farOffset = e.Offset >= Saturated32;
    const bool zip64 = e.Zip64 || farOffset;
    std::vector<unsigned char> extra;
    if (zip64) {
      Put16(extra, 0x0001);
      Put16(extra, (e.Zip64 ? 16 : 0) + (farOffset ? 8 : 0));
      if (e.Zip64) {
        Put64(extra, e.Size);
        Put64(extra, e.CompressedSize);
      }
      if (farOffset) Put64(extra, e.Offset);
    }
    Put32(record, CentralHeaderSignature);
    Put16(record, VersionMadeBy);
    Put16(record, zip64 ? VersionZip64 : VersionDeflate);
    Put16(record, e.Utf8 ? FlagUtf8 : 0);
    Put16(record, MethodDeflate);
    Put32(record, e.DosTime);
    Put32(record, e.Crc);
    Put32(record, e.Zip64 ? Saturated32 : e.CompressedSize);
    Put32(record, e.Zip64 ? Saturated32 : e.Size);
    Put16(record, e.Name.size());
    Put16(record, extra.size());
    Put16(record, 0);  // comment
    Put16(record, 0);  // disk
    Put16(record, 0);  // internal attributes
    Put32(record, static_cast<uint64_t>(e.Mode) << 16);
    Put32(record, farOffset ? Saturated32 : e.Offset);
    PutBytes(record, e.Name);
    record.insert(record.end(), extra.begin(), extra.end());
    Write(record.data(), record.size());
  }
  const uint64_t centralEnd = FBufferStart + FBuffer.size();
  const uint64_t centralSize = centralEnd - centralOffset;
  const uint64_t count = FEntries.size();
  record.clear();
  if (count >= 0xFFFF || centralSize >= Saturated32 || centralOffset >= Saturated32) {
    Put32(record, Zip64EndSignature);
    Put64(record, 44);
    Put16(record, VersionMadeBy);
    Put16(record, VersionZip64);
    Put32(record, 0);
    Put32(record, 0);
    Put64(record, count);
    Put64(record, count);
    Put64(record, centralSize);
    Put64(record, centralOffset);
    Put32(record, Zip64LocatorSignature);
    Put32(record, 0);
    Put64(record, centralEnd);
    Put32(record, 1);
  }
  Put32(record, EndSignature);
  Put16(record, 0);
  Put16(record, 0);
  Put16(record, std::min<uint64_t>(count, 0xFFFF));
  Put16(record, std::min<uint64_t>(count, 0xFFFF));
  Put32(record, std::min(centralSize, Saturated32));
  Put32(record, std::min(centralOffset, Saturated32));
  Put16(record, 0);  // comment
  Write(record.data(), record.size());
  FlushBuffer();
  FUsable = false;
  // Delayed write errors of the file system surface only when the file is closed.
  if (FFile.Close() != 0) throw EVelkorError("Arşiv tamamlanamadı: " + FPath + " (" + SystemErrorMessage(errno) + ")");
}

std::string TZipArchiveWriter::EntryNameProblem(std::string_view name) {
  const std::string problem = "Güvensiz arşiv girdisi adı: " + std::string(name);
  if (name.empty() || name.find('\0') != std::string_view::npos) return problem;
  // The restore reads "\" as a separator when it judges a name, whatever the entry's origin: a part that either
  // separator delimits must not be "." or "..", nor the first one a drive ("C:"). "/" parts are never empty.
  size_t start = 0;
  for (bool first = true;; first = false) {
    const size_t end = name.find_first_of("/\\", start);
    const std::string_view part = name.substr(start, end == std::string_view::npos ? end : end - start);
    if (part == "." || part == "..") return problem;
    const bool letter = part.size() >= 2 && ((part[0] >= 'A' && part[0] <= 'Z') || (part[0] >= 'a' && part[0] <= 'z'));
    if (first && letter && part[1] == ':') return problem;
    if (part.empty() && (start == 0 || name[start - 1] == '/') && (end == std::string_view::npos || name[end] == '/'))
      return problem;
    if (end == std::string_view::npos) return "";
    start = end + 1;
  }
}

void TZipArchiveWriter::WriteEmptyArchive(const std::string& archivePath) {
  static constexpr char EmptyArchive[22] = {'P', 'K', 5, 6};
  TFileHandle file(OpenForWriting(archivePath));
  if (!WriteAll(file.Get(), EmptyArchive, sizeof EmptyArchive) || file.Close() != 0)
    throw EVelkorError("Arşive yazılamadı: " + archivePath + " (" + SystemErrorMessage(errno) + ")");
}

}  // namespace velkor
