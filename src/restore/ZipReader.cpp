#include "restore/ZipReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>

#include "engine/LongPathUtils.h"
#include "platform/AtomicFile.h"
#include "util/Error.h"

namespace velkor {

namespace {

constexpr uint32_t LocalHeaderSignature = 0x04034b50;
constexpr uint32_t CentralHeaderSignature = 0x02014b50;
constexpr uint32_t EndRecordSignature = 0x06054b50;
constexpr uint32_t Zip64EndRecordSignature = 0x06064b50;
constexpr uint32_t Zip64LocatorSignature = 0x07064b50;
constexpr uint32_t DescriptorSignature = 0x08074b50;
constexpr size_t LocalHeaderSize = 30;
constexpr size_t CentralHeaderSize = 46;
constexpr size_t EndRecordSize = 22;
constexpr size_t Zip64LocatorSize = 20;
constexpr size_t Zip64EndRecordSize = 56;
constexpr uint16_t FlagEncrypted = 0x0001;
constexpr uint16_t FlagDescriptor = 0x0008;
constexpr uint16_t FlagStrongEncryption = 0x0040;
constexpr uint16_t FlagUtf8 = 0x0800;
constexpr size_t InputBlockSize = 256 * 1024;
constexpr size_t OutputBlockSize = 1024 * 1024;

uint64_t LittleEndian(const unsigned char* p, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

// Offsets and sizes come from the file; sums that overflow are damage, not wrapped numbers.
bool Add(uint64_t a, uint64_t b, uint64_t& sum) { return !__builtin_add_overflow(a, b, &sum); }

// The upper half of code page 437; the lower half is ASCII.
constexpr uint16_t Cp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

std::string Cp437ToUtf8(const std::string& raw) {
  std::string text;
  text.reserve(raw.size() * 2);
  for (const char c : raw) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text += c;
      continue;
    }
    const uint16_t code = Cp437High[byte - 0x80];
    if (code < 0x800) {
      text += static_cast<char>(0xC0 | (code >> 6));
    } else {
      text += static_cast<char>(0xE0 | (code >> 12));
      text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    }
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
  return text;
}

// Hosts of the "version made by" field whose names use "\" and, without the UTF-8 flag, code page 437: MS-DOS
// and FAT, OS/2 HPFS, NTFS, VFAT.
bool IsWindowsHost(unsigned host) { return host == 0 || host == 6 || host == 11 || host == 14; }
constexpr unsigned UnixHost = 3;

// The ZIP64 extra field holds, in this order, each of these that its 32-bit field could not.
bool ApplyZip64Extra(const std::string& extra, TZipEntry& entry, bool sizeSaturated, bool compressedSaturated,
                     bool offsetSaturated) {
  for (size_t at = 0; at + 4 <= extra.size();) {
    const auto* p = reinterpret_cast<const unsigned char*>(extra.data() + at);
    const size_t id = LittleEndian(p, 2), length = LittleEndian(p + 2, 2);
    if (at + 4 + length > extra.size()) return false;
    if (id == 0x0001) {
      size_t used = 0;
      for (auto [saturated, field] :
           {std::pair{sizeSaturated, &entry.Size}, std::pair{compressedSaturated, &entry.CompressedSize},
            std::pair{offsetSaturated, &entry.HeaderOffset}}) {
        if (!saturated) continue;
        if (used + 8 > length) return false;
        *field = LittleEndian(p + 4 + used, 8);
        used += 8;
      }
      return true;
    }
    at += 4 + length;
  }
  return !sizeSaturated && !compressedSaturated && !offsetSaturated;
}

}  // namespace

TZipReader::TZipReader(const std::string& zipPath) : FPath(zipPath) {
  const std::string native = ToNativePath(zipPath).string();
  FFile = TFileHandle(::open(native.c_str(), O_RDONLY | O_CLOEXEC));
  if (!FFile.IsOpen()) throw EVelkorError("ZIP arşivi açılamadı: " + zipPath + " (" + SystemErrorMessage(errno) + ")");
  struct stat st {};
  if (::fstat(FFile.Get(), &st) != 0 || !S_ISREG(st.st_mode))
    throw EVelkorError("ZIP arşivi açılamadı: " + zipPath + " (" + SystemErrorMessage(errno ? errno : EINVAL) + ")");
  FFileSize = static_cast<uint64_t>(st.st_size);

  // The end record is the last thing in the file: its comment runs exactly to the end.
  if (FFileSize < EndRecordSize) Damaged("arşiv sonu kaydı yok");
  const size_t tailSize = static_cast<size_t>(std::min<uint64_t>(FFileSize, EndRecordSize + 0xFFFF));
  std::vector<unsigned char> tail(tailSize);
  ReadAt(FFileSize - tailSize, tail.data(), tailSize);
  size_t found = std::string::npos;
  for (size_t i = tailSize - EndRecordSize + 1; i-- > 0;) {
    if (LittleEndian(&tail[i], 4) == EndRecordSignature &&
        LittleEndian(&tail[i + 20], 2) == tailSize - i - EndRecordSize) {
      found = i;
      break;
    }
  }
  if (found == std::string::npos) Damaged("arşiv sonu kaydı yok");
  const unsigned char* end = &tail[found];
  uint64_t endStart = FFileSize - tailSize + found;
  uint64_t count = LittleEndian(end + 10, 2);
  uint64_t centralSize = LittleEndian(end + 12, 4);
  uint64_t centralOffset = LittleEndian(end + 16, 4);
  if (LittleEndian(end + 4, 2) != 0 || LittleEndian(end + 6, 2) != 0 || LittleEndian(end + 8, 2) != count)
    Damaged("birden çok parçaya bölünmüş arşivler desteklenmiyor");

  unsigned char locator[Zip64LocatorSize];
  if (endStart >= Zip64LocatorSize) {
    ReadAt(endStart - Zip64LocatorSize, locator, sizeof locator);
    if (LittleEndian(locator, 4) == Zip64LocatorSignature) {
      const uint64_t recordOffset = LittleEndian(locator + 8, 8);
      unsigned char record[Zip64EndRecordSize];
      uint64_t recordEnd = 0;
      if (recordOffset > endStart - Zip64LocatorSize || endStart - Zip64LocatorSize - recordOffset < sizeof record)
        Damaged("ZIP64 arşiv sonu kaydı yok");
      ReadAt(recordOffset, record, sizeof record);
      if (LittleEndian(record, 4) != Zip64EndRecordSignature ||
          !Add(recordOffset + 12, LittleEndian(record + 4, 8), recordEnd) || recordEnd != endStart - Zip64LocatorSize)
        Damaged("ZIP64 arşiv sonu kaydı bozuk");
      const uint64_t count64 = LittleEndian(record + 32, 8);
      const uint64_t size64 = LittleEndian(record + 40, 8);
      const uint64_t offset64 = LittleEndian(record + 48, 8);
      if (LittleEndian(record + 16, 4) != 0 || LittleEndian(record + 20, 4) != 0 ||
          LittleEndian(record + 24, 8) != count64)
        Damaged("birden çok parçaya bölünmüş arşivler desteklenmiyor");
      // Where the plain record can hold a value it must say the same.
      if ((count != 0xFFFF && count != count64) || (centralSize != 0xFFFFFFFF && centralSize != size64) ||
          (centralOffset != 0xFFFFFFFF && centralOffset != offset64))
        Damaged("arşiv sonu kayıtları birbirini tutmuyor");
      count = count64;
      centralSize = size64;
      centralOffset = offset64;
      endStart = recordOffset;
    }
  }
  uint64_t centralEnd = 0;
  if (!Add(centralOffset, centralSize, centralEnd) || centralEnd != endStart)
    Damaged("merkezi dizin arşiv sonu kaydıyla uyuşmuyor");
  if (count > centralSize / CentralHeaderSize) Damaged("girdi sayısı merkezi dizinle uyuşmuyor");
  ReadCentralDirectory(centralOffset, centralSize, count);
}

void TZipReader::Damaged(const std::string& detail) const {
  throw EVelkorError("ZIP arşivi bozuk: " + FPath + " (" + detail + ")");
}

void TZipReader::ReadAt(uint64_t offset, void* buffer, size_t size) const {
  auto* bytes = static_cast<char*>(buffer);
  while (size > 0) {
    const ssize_t got = ::pread(FFile.Get(), bytes, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw EVelkorError("ZIP arşivi okunamadı: " + FPath + " (" + SystemErrorMessage(errno) + ")");
    if (got == 0) Damaged("arşiv beklenenden kısa");
    bytes += got;
    offset += static_cast<uint64_t>(got);
    size -= static_cast<size_t>(got);
  }
}

void TZipReader::ReadCentralDirectory(uint64_t offset, uint64_t size, uint64_t count) {
  // Records are read in order, never past the directory's end.
  uint64_t position = offset, left = size;
  auto take = [&](void* buffer, size_t length) {
    if (length > left) Damaged("merkezi dizin kaydı dizinin sonunu aşıyor");
    ReadAt(position, buffer, length);
    position += length;
    left -= length;
  };
  std::vector<std::string> rawNames;
  FEntries.reserve(static_cast<size_t>(count));
  rawNames.reserve(static_cast<size_t>(count));
  for (uint64_t i = 0; i < count; ++i) {
    unsigned char header[CentralHeaderSize];
    take(header, sizeof header);
    if (LittleEndian(header, 4) != CentralHeaderSignature) Damaged("girdi sayısı merkezi dizinle uyuşmuyor");
    TZipEntry entry;
    const unsigned host = static_cast<unsigned>(LittleEndian(header + 4, 2) >> 8);
    entry.Flags = static_cast<uint16_t>(LittleEndian(header + 8, 2));
    entry.Method = static_cast<uint16_t>(LittleEndian(header + 10, 2));
    entry.Crc = static_cast<uint32_t>(LittleEndian(header + 16, 4));
    entry.CompressedSize = LittleEndian(header + 20, 4);
    entry.Size = LittleEndian(header + 24, 4);
    entry.HeaderOffset = LittleEndian(header + 42, 4);
    const uint32_t attributes = static_cast<uint32_t>(LittleEndian(header + 38, 4));
    std::string raw(LittleEndian(header + 28, 2), '\0');
    std::string extra(LittleEndian(header + 30, 2), '\0');
    std::string comment(LittleEndian(header + 32, 2), '\0');
    take(raw.data(), raw.size());
    take(extra.data(), extra.size());
    take(comment.data(), comment.size());
    if (!ApplyZip64Extra(extra, entry, entry.Size == 0xFFFFFFFF, entry.CompressedSize == 0xFFFFFFFF,
                         entry.HeaderOffset == 0xFFFFFFFF))
      Damaged("ZIP64 alanı bozuk: " + raw);
    if (LittleEndian(header + 34, 2) != 0) Damaged("birden çok parçaya bölünmüş arşivler desteklenmiyor");

    entry.WindowsNames = IsWindowsHost(host);
    entry.Name = entry.WindowsNames && !(entry.Flags & FlagUtf8) ? Cp437ToUtf8(raw) : raw;
    if (raw.empty()) Damaged("adı boş bir girdi var");
    entry.Directory = entry.Name.back() == '/' || (entry.WindowsNames && entry.Name.back() == '\\');
    if (host == UnixHost && (attributes >> 16) != 0) {
      const uint32_t mode = attributes >> 16;
      entry.SymbolicLink = S_ISLNK(mode);
      entry.HasMode = !entry.SymbolicLink;
      entry.Mode = mode & 07777;
    }
    if (entry.Flags & (FlagEncrypted | FlagStrongEncryption))
      throw EVelkorError("ZIP arşivindeki şifreli girdiler desteklenmiyor: " + FPath + " (" + entry.Name + ")");
    if (entry.Method != 0 && entry.Method != 8)
      throw EVelkorError("ZIP arşivindeki sıkıştırma yöntemi desteklenmiyor: " + FPath + " (" + entry.Name +
                         ", yöntem " + std::to_string(entry.Method) + ")");
    if (entry.Method == 0 && entry.CompressedSize != entry.Size) Damaged("girdi boyutu tutarsız: " + entry.Name);
    if (entry.Directory && entry.Size != 0) Damaged("klasör girdisi veri taşıyor: " + entry.Name);
    FEntries.push_back(std::move(entry));
    rawNames.push_back(std::move(raw));
  }
  if (left != 0) Damaged("girdi sayısı merkezi dizinle uyuşmuyor");
  CheckLocalRecords(offset, rawNames);
}

// Every entry's local header, data and descriptor follow one another from the file's first byte up to the central
// directory. A gap hides an entry the central directory does not count; an overlap is one counted twice; a local
// record that says otherwise than the central one means one of them is damaged.
void TZipReader::CheckLocalRecords(uint64_t centralOffset, const std::vector<std::string>& rawNames) {
  std::vector<size_t> order(FEntries.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return FEntries[a].HeaderOffset < FEntries[b].HeaderOffset; });
  uint64_t expected = 0;
  for (size_t k = 0; k < order.size(); ++k) {
    TZipEntry& entry = FEntries[order[k]];
    const std::string& raw = rawNames[order[k]];
    if (entry.HeaderOffset < expected) Damaged("girdiler üst üste biniyor: " + entry.Name);
    if (entry.HeaderOffset > expected) Damaged("merkezi dizinde sayılmayan veri var");
    unsigned char header[LocalHeaderSize];
    if (entry.HeaderOffset > centralOffset || centralOffset - entry.HeaderOffset < sizeof header)
      Damaged("girdiler üst üste biniyor: " + entry.Name);
    ReadAt(entry.HeaderOffset, header, sizeof header);
    const uint16_t flags = static_cast<uint16_t>(LittleEndian(header + 6, 2));
    const size_t nameLength = LittleEndian(header + 26, 2);
    const size_t extraLength = LittleEndian(header + 28, 2);
    if (LittleEndian(header, 4) != LocalHeaderSignature || LittleEndian(header + 8, 2) != entry.Method ||
        nameLength != raw.size())
      Damaged("yerel başlık merkezi dizinle uyuşmuyor: " + entry.Name);
    uint64_t dataEnd = 0;
    if (!Add(entry.HeaderOffset + sizeof header, nameLength + extraLength, entry.DataOffset) ||
        !Add(entry.DataOffset, entry.CompressedSize, dataEnd) || dataEnd > centralOffset)
      Damaged("girdiler üst üste biniyor: " + entry.Name);
    std::string localName(nameLength, '\0');
    ReadAt(entry.HeaderOffset + sizeof header, localName.data(), localName.size());
    if (localName != raw) Damaged("yerel başlık merkezi dizinle uyuşmuyor: " + entry.Name);

    const uint64_t next = k + 1 < order.size() ? FEntries[order[k + 1]].HeaderOffset : centralOffset;
    if (next < dataEnd) Damaged("girdiler üst üste biniyor: " + entry.Name);
    const uint64_t trailing = next - dataEnd;
    if (flags & FlagDescriptor) {
      // After the data: an optional signature, the CRC and both sizes in 4 or (ZIP64) 8 bytes each.
      unsigned char descriptor[24];
      if (trailing != 12 && trailing != 16 && trailing != 20 && trailing != 24)
        Damaged("veri tanımlayıcısı bozuk: " + entry.Name);
      ReadAt(dataEnd, descriptor, static_cast<size_t>(trailing));
      const bool withSignature = trailing == 16 || trailing == 24;
      const int width = trailing >= 20 ? 8 : 4;
      const unsigned char* fields = descriptor + (withSignature ? 4 : 0);
      if ((withSignature && LittleEndian(descriptor, 4) != DescriptorSignature) ||
          LittleEndian(fields, 4) != entry.Crc || LittleEndian(fields + 4, width) != entry.CompressedSize ||
          LittleEndian(fields + 4 + width, width) != entry.Size)
        Damaged("girdinin boyutu veya CRC değeri yerel kayıtla uyuşmuyor: " + entry.Name);
    } else {
      if (trailing != 0) Damaged("merkezi dizinde sayılmayan veri var");
      const uint64_t localCompressed = LittleEndian(header + 18, 4), localSize = LittleEndian(header + 22, 4);
      if (LittleEndian(header + 14, 4) != entry.Crc ||
          (localCompressed != 0xFFFFFFFF && localCompressed != entry.CompressedSize) ||
          (localSize != 0xFFFFFFFF && localSize != entry.Size))
        Damaged("girdinin boyutu veya CRC değeri yerel kayıtla uyuşmuyor: " + entry.Name);
    }
    expected = next;
  }
  if (expected != centralOffset) Damaged("merkezi dizinde sayılmayan veri var");
}

void TZipReader::ReadEntry(const TZipEntry& entry, const std::function<void(const char*, size_t)>& consume) {
  if (FInput.empty()) {
    FInput.resize(InputBlockSize);
    FOutput.resize(OutputBlockSize);
  }
  uint64_t position = entry.DataOffset;
  uint64_t compressedLeft = entry.CompressedSize;
  uint64_t produced = 0;
  uLong crc = crc32(0, nullptr, 0);
  auto deliver = [&](const char* data, size_t size) {
    if (size > entry.Size - produced) Damaged("girdi bildirilen boyutundan büyük: " + entry.Name);
    produced += size;
    crc = crc32_z(crc, reinterpret_cast<const Bytef*>(data), size);
    consume(data, size);
  };
  auto readInput = [&] {
    const size_t size = static_cast<size_t>(std::min<uint64_t>(compressedLeft, FInput.size()));
    ReadAt(position, FInput.data(), size);
    position += size;
    compressedLeft -= size;
    return size;
  };

  if (entry.Method == 0 || (entry.Size == 0 && entry.CompressedSize == 0)) {
    while (compressedLeft > 0) {
      const size_t size = readInput();
      deliver(FInput.data(), size);
    }
  } else {
    struct TInflater {
      z_stream Stream{};
      bool Open = false;
      ~TInflater() {
        if (Open) inflateEnd(&Stream);
      }
    } inflater;
    // Raw Deflate data, without a zlib header.
    if (inflateInit2(&inflater.Stream, -MAX_WBITS) != Z_OK) throw EVelkorError("ZIP arşivi açılamadı: bellek yetersiz");
    inflater.Open = true;
    z_stream& z = inflater.Stream;
    for (;;) {
      if (z.avail_in == 0 && compressedLeft > 0) {
        z.avail_in = static_cast<uInt>(readInput());
        z.next_in = reinterpret_cast<Bytef*>(FInput.data());
      }
      z.next_out = reinterpret_cast<Bytef*>(FOutput.data());
      z.avail_out = static_cast<uInt>(FOutput.size());
      const int status = inflate(&z, Z_NO_FLUSH);
      const size_t got = FOutput.size() - z.avail_out;
      if (status != Z_OK && status != Z_STREAM_END && !(status == Z_BUF_ERROR && got == 0 && compressedLeft > 0))
        Damaged("sıkıştırılmış veri bozuk: " + entry.Name);
      if (got > 0) deliver(FOutput.data(), got);
      if (status == Z_STREAM_END) break;
      if (got == 0 && z.avail_in == 0 && compressedLeft == 0) Damaged("sıkıştırılmış veri eksik: " + entry.Name);
    }
    // The stream must end exactly where the entry's compressed data ends.
    if (z.avail_in != 0 || compressedLeft != 0) Damaged("sıkıştırılmış veri bozuk: " + entry.Name);
  }
  if (produced != entry.Size) Damaged("girdi bildirilen boyutundan küçük: " + entry.Name);
  if (crc != entry.Crc) Damaged("CRC değeri uyuşmuyor: " + entry.Name);
}

}  // namespace velkor
