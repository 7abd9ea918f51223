#include "engine/ZipArchiveWriter.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/LongPathUtils.h"
#include "platform/AtomicFile.h"
#include "platform/FileHandle.h"
#include "util/Error.h"

namespace velkor {

struct TZipSink {
  TFileHandle File;
  int Error = 0;
  bool Discard = false;
};

namespace {

constexpr size_t ReadBlockSize = 1048576;
// Bytes libarchive gathers before each write to the file; small blocks would cost a system call per few KiB.
constexpr int OutputBlockSize = 262144;

int OpenForWriting(const std::string& path) {
  const std::string native = ToNativePath(path).string();
  int fd;
  do fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) throw EVelkorError("Arşiv dosyası oluşturulamadı: " + native + " (" + SystemErrorMessage(errno) + ")");
  return fd;
}

// libarchive leaves the text empty (null) for some failures.
std::string ArchiveError(struct archive* a) {
  const char* text = a ? archive_error_string(a) : nullptr;
  return text ? text : "";
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

// libarchive hands every finished block to this sink. It never reports a failure back: a library that has seen
// one refuses to close and then keeps its buffers. The writer checks the sink's error after every step instead;
// an abandoned archive discards what libarchive still has to say.
la_ssize_t WriteToSink(struct archive*, void* client, const void* buffer, size_t length) {
  auto& sink = *static_cast<TZipSink*>(client);
  if (sink.Error != 0 || sink.Discard) return static_cast<la_ssize_t>(length);
  const char* bytes = static_cast<const char*>(buffer);
  for (size_t written = 0; written < length;) {
    const ssize_t n = ::write(sink.File.Get(), bytes + written, length - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      sink.Error = errno;
      break;
    }
    written += static_cast<size_t>(n);
  }
  return static_cast<la_ssize_t>(length);
}

// The character set libarchive names an entry in follows the calling thread's locale at the moment the header is
// written: without a header charset option it stores the name's bytes as given and sets the UTF-8 flag exactly when
// the name is not plain ASCII and the locale's character set is UTF-8. So each header is written under a locale of
// our choosing: UTF-8 for names that are UTF-8, plain C for any other bytes, which are then stored as they are
// without the flag, the way archivers on Unix store such names.
class TNameLocale {
public:
  explicit TNameLocale(bool utf8) {
    static const locale_t Utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    static const locale_t Plain = newlocale(LC_CTYPE_MASK, "C", nullptr);
    const locale_t wanted = utf8 ? Utf8 : Plain;
    if (wanted == nullptr) throw EVelkorError("Arşiv girdisi adı yazılamadı: karakter kümesi yüklenemedi");
    FPrevious = uselocale(wanted);
  }
  ~TNameLocale() { uselocale(FPrevious); }
  TNameLocale(const TNameLocale&) = delete;
  TNameLocale& operator=(const TNameLocale&) = delete;

private:
  locale_t FPrevious;
};

}  // namespace

TZipArchiveWriter::TZipArchiveWriter(const std::string& archivePath)
    : FPath(archivePath), FSink(new TZipSink{TFileHandle(OpenForWriting(archivePath))}) {
  FArchive = archive_write_new();
  if (!FArchive) throw EVelkorError("Arşiv oluşturulamadı: bellek yetersiz");
  if (archive_write_set_format_zip(FArchive) != ARCHIVE_OK ||
      archive_write_set_options(FArchive, "zip:compression=deflate") != ARCHIVE_OK ||
      archive_write_set_bytes_per_block(FArchive, OutputBlockSize) != ARCHIVE_OK ||
      archive_write_set_bytes_in_last_block(FArchive, 1) != ARCHIVE_OK ||
      archive_write_open2(FArchive, FSink.get(), nullptr, WriteToSink, nullptr, nullptr) != ARCHIVE_OK) {
    const std::string error = ArchiveError(FArchive);
    archive_write_free(FArchive);
    FArchive = nullptr;
    throw EVelkorError("Arşiv oluşturulamadı: " + FPath + " (" + error + ")");
  }
}

TZipArchiveWriter::~TZipArchiveWriter() {
  if (!FArchive) return;
  FSink->Discard = true;
  archive_write_close(FArchive);
  archive_write_free(FArchive);
}

void TZipArchiveWriter::Fail(const std::string& what) {
  FUsable = false;
  throw EVelkorError(what);
}

void TZipArchiveWriter::CheckStep(int status) {
  if (FSink->Error != 0) Fail("Arşive yazılamadı: " + FPath + " (" + SystemErrorMessage(FSink->Error) + ")");
  if (status != ARCHIVE_OK) Fail("Arşive yazılamadı: " + FPath + " (" + ArchiveError(FArchive) + ")");
}

bool TZipArchiveWriter::AddFile(const std::string& entryName, int fd, const std::function<bool(int64_t)>& afterBlock) {
  if (!FUsable) Fail("Arşiv kullanılamaz durumda: " + FPath);
  if (const std::string problem = EntryNameProblem(entryName); !problem.empty()) Fail(problem);
  struct stat st {};
  if (::fstat(fd, &st) != 0) Fail("Dosya okunamadı: " + entryName + " (" + SystemErrorMessage(errno) + ")");

  struct TEntry {
    archive_entry* Handle = archive_entry_new();
    ~TEntry() { archive_entry_free(Handle); }
  } entry;
  if (!entry.Handle) Fail("Arşiv girdisi oluşturulamadı: bellek yetersiz");
  archive_entry_set_pathname(entry.Handle, entryName.c_str());
  archive_entry_set_filetype(entry.Handle, AE_IFREG);
  archive_entry_set_perm(entry.Handle, st.st_mode & 07777);
  archive_entry_set_size(entry.Handle, st.st_size);
  archive_entry_set_mtime(entry.Handle, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  {
    const TNameLocale locale(IsValidUtf8(entryName));
    // A warning here means the name or a field was written other than asked; such an entry is not trusted.
    CheckStep(archive_write_header(FArchive, entry.Handle));
  }

  if (FBuffer.empty()) FBuffer.resize(ReadBlockSize);
  for (;;) {
    ssize_t got;
    do got = ::read(fd, FBuffer.data(), FBuffer.size());
    while (got < 0 && errno == EINTR);
    if (got < 0) Fail("Dosya okunamadı: " + entryName + " (" + SystemErrorMessage(errno) + ")");
    if (got == 0) break;
    const la_ssize_t taken = archive_write_data(FArchive, FBuffer.data(), static_cast<size_t>(got));
    CheckStep(taken == got ? ARCHIVE_OK : ARCHIVE_FATAL);
    if (!afterBlock(got)) {
      FUsable = false;
      return false;
    }
  }
  CheckStep(archive_write_finish_entry(FArchive));
  return true;
}

void TZipArchiveWriter::Close() {
  if (!FUsable) Fail("Arşiv kullanılamaz durumda: " + FPath);
  const int closed = archive_write_close(FArchive);
  const std::string error = ArchiveError(FArchive);
  archive_write_free(FArchive);
  FArchive = nullptr;
  if (FSink->Error != 0) Fail("Arşiv tamamlanamadı: " + FPath + " (" + SystemErrorMessage(FSink->Error) + ")");
  if (closed != ARCHIVE_OK) Fail("Arşiv tamamlanamadı: " + FPath + " (" + error + ")");
  // Delayed write errors of the file system surface only when the file is closed.
  if (FSink->File.Close() != 0) Fail("Arşiv tamamlanamadı: " + FPath + " (" + SystemErrorMessage(errno) + ")");
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
  size_t written = 0;
  while (written < sizeof EmptyArchive) {
    const ssize_t n = ::write(file.Get(), EmptyArchive + written, sizeof EmptyArchive - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EVelkorError("Arşive yazılamadı: " + archivePath + " (" + SystemErrorMessage(errno) + ")");
    written += static_cast<size_t>(n);
  }
  if (file.Close() != 0)
    throw EVelkorError("Arşive yazılamadı: " + archivePath + " (" + SystemErrorMessage(errno) + ")");
}

}  // namespace velkor
