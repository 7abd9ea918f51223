#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/FileHandle.h"
#include "platform/Leftovers.h"
#include "util/DateTime.h"
#include "util/Error.h"

namespace velkor {

namespace {
constexpr size_t BufferSize = 256 * 1024;
}

std::string SystemErrorMessage(int err) {
  char buf[256];
  // GNU strerror_r returns the message pointer, which may not be `buf`.
  const char* msg = strerror_r(err, buf, sizeof buf);
  return msg ? std::string(msg) : std::string("hata ") + std::to_string(err);
}

TAtomicFileWriter::TAtomicFileWriter(std::filesystem::path target) : FTarget(std::move(target)) {
  std::string templ = FTarget.string() + ".tmp-XXXXXX";
  FFd = mkostemp(templ.data(), O_CLOEXEC);
  if (FFd < 0) Fail("oluşturulamadı", errno);
  FTempPath = templ;
  // Held until the file is renamed or discarded, so only the leftover of a killed write is ever cleaned up.
  LockWorkDescriptor(FFd);
  FBuffer.reserve(BufferSize);
}

TAtomicFileWriter::~TAtomicFileWriter() {
  if (FFd >= 0) ::close(FFd);
  if (!FCommitted && !FTempPath.empty()) ::unlink(FTempPath.c_str());
}

void TAtomicFileWriter::Fail(const char* what, int err) {
  throw EVelkorError("Dosya " + std::string(what) + ": " + FTarget.string() + " (" + SystemErrorMessage(err) + ")");
}

void TAtomicFileWriter::Write(std::string_view data) {
  if (FBuffer.size() + data.size() > BufferSize) FlushBuffer();
  if (data.size() >= BufferSize) {
    FBuffer.assign(data);
    FlushBuffer();
  } else {
    FBuffer.append(data);
  }
}

void TAtomicFileWriter::FlushBuffer() {
  const char* p = FBuffer.data();
  size_t left = FBuffer.size();
  while (left > 0) {
    const ssize_t n = ::write(FFd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("yazılamadı", errno);
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  FBuffer.clear();
}

void TAtomicFileWriter::Flush() {
  FlushBuffer();
  if (::fsync(FFd) != 0) Fail("yazılamadı", errno);
}

void TAtomicFileWriter::Commit() {
  FlushBuffer();
  if (::fsync(FFd) != 0) Fail("yazılamadı", errno);
  if (::close(FFd) != 0) {
    FFd = -1;
    Fail("yazılamadı", errno);
  }
  FFd = -1;
  if (::rename(FTempPath.c_str(), FTarget.c_str()) != 0) Fail("kaydedilemedi", errno);
  FCommitted = true;
  // Make the rename itself durable.
  const int dir = ::open(FTarget.parent_path().empty() ? "." : FTarget.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

std::optional<TFileIdentity> FileIdentityOf(int fd) {
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0) return std::nullopt;
  TFileIdentity id;
  id.Device = static_cast<uint64_t>(st.st_dev);
  id.Inode = static_cast<uint64_t>(st.st_ino);
  id.Size = static_cast<uint64_t>(st.st_size);
  id.ModifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return id;
}

bool IdentityIsSettled(const TFileIdentity& identity) {
  // File times come from the coarse clock.
  timespec now{};
  if (::clock_gettime(CLOCK_REALTIME_COARSE, &now) != 0) return false;
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec > identity.ModifiedNs;
}

void WaitUntilSettled(const TFileIdentity& identity) {
  for (int i = 0; i < 50 && !IdentityIsSettled(identity); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool IsAtomicWriteTemporaryName(std::string_view fileName) {
  const size_t mark = fileName.rfind(".tmp-");
  return mark != std::string_view::npos && mark > 0 && fileName.size() == mark + 5 + 6;
}

void WriteFileAtomic(const std::filesystem::path& target, std::string_view content) {
  TAtomicFileWriter writer(target);
  writer.Write(content);
  writer.Commit();
}

std::string ReadTextFile(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EVelkorError("Dosya okunamadı: " + path.string() + " (" + SystemErrorMessage(errno) + ")");
  std::string text;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size > 0) text.reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      throw EVelkorError("Dosya okunamadı: " + path.string() + " (" + SystemErrorMessage(err) + ")");
    }
    text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return text;
}

namespace {

bool SameContent(const std::filesystem::path& a, const std::filesystem::path& b) {
  TFileHandle fa(::open(a.c_str(), O_RDONLY | O_CLOEXEC));
  TFileHandle fb(::open(b.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fa.IsOpen() || !fb.IsOpen()) return false;
  std::string ba(65536, '\0'), bb(65536, '\0');
  for (;;) {
    const ssize_t na = ::read(fa.Get(), ba.data(), ba.size());
    if (na < 0) return false;
    size_t got = 0;
    while (got < static_cast<size_t>(na)) {
      const ssize_t nb = ::read(fb.Get(), bb.data() + got, static_cast<size_t>(na) - got);
      if (nb <= 0) return false;
      got += static_cast<size_t>(nb);
    }
    if (na == 0) {
      char extra;
      return ::read(fb.Get(), &extra, 1) == 0;
    }
    if (std::memcmp(ba.data(), bb.data(), got) != 0) return false;
  }
}

// A copy kept earlier of this very content, so that reading a damaged file again and again keeps one copy.
std::filesystem::path FindKeptCopy(const std::filesystem::path& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return {};
  const std::string prefix = path.filename().string() + ".damaged-";
  const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::filesystem::path candidate = it->path();
    if (candidate.filename().string().rfind(prefix, 0) != 0) continue;
    std::error_code sizeError;
    if (std::filesystem::file_size(candidate, sizeError) == size && !sizeError && SameContent(path, candidate))
      return candidate;
  }
  return {};
}

}  // namespace

std::filesystem::path PreserveDamagedFile(const std::filesystem::path& path, double nowLocal) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return {};
  if (std::filesystem::path kept = FindKeptCopy(path); !kept.empty()) return kept;
  const std::string stamp = FormatDateTime("yyyymmdd-hhnnss", nowLocal);
  std::filesystem::path copy = path.string() + ".damaged-" + stamp;
  for (int n = 2; std::filesystem::exists(copy, ec); ++n)
    copy = path.string() + ".damaged-" + stamp + "_" + std::to_string(n);
  if (std::filesystem::copy_file(path, copy, ec)) return copy;
  // A copy cut short (a full disk) is no copy.
  std::error_code ignored;
  std::filesystem::remove(copy, ignored);
  return {};
}

}  // namespace velkor
