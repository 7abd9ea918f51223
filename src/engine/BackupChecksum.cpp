#include "engine/BackupChecksum.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "engine/LongPathUtils.h"
#include "platform/FileHandle.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr size_t ReadBlockSize = 1048576;

// Incremental SHA-256 over OpenSSL; false from any step that fails.
class TSha256 {
public:
  TSha256() : FContext(EVP_MD_CTX_new()) {
    FOk = FContext && EVP_DigestInit_ex(FContext.get(), EVP_sha256(), nullptr) == 1;
  }
  void Update(const void* data, size_t count) {
    if (FOk && count > 0) FOk = EVP_DigestUpdate(FContext.get(), data, count) == 1;
  }
  // The lower-case hexadecimal digest; empty after any failure.
  std::string FinishHex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!FOk || EVP_DigestFinal_ex(FContext.get(), digest, &length) != 1) return "";
    static constexpr char Hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
      text += Hex[digest[i] >> 4];
      text += Hex[digest[i] & 0x0F];
    }
    return text;
  }

private:
  struct TFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD_CTX, TFree> FContext;
  bool FOk = false;
};

}  // namespace

std::string ComputeFileChecksum(std::string_view path) {
  if (!LongFileExists(path)) return "";
  const TFileHandle fd(::open(ToNativePath(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.IsOpen()) return "";
  ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  TSha256 sha;
  std::vector<char> buffer(ReadBlockSize);
  bool complete = false;
  for (;;) {
    const ssize_t got = ::read(fd.Get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      complete = got == 0;
      break;
    }
    sha.Update(buffer.data(), static_cast<size_t>(got));
  }
  return complete ? sha.FinishHex() : "";
}

std::string FormatFolderManifest(std::vector<TManifestEntry> entries) {
  std::vector<std::string> lines;
  lines.reserve(entries.size());
  for (auto& entry : entries) lines.push_back(std::move(entry.RelativePath) + "|" + std::to_string(entry.Size));
  // Ties between names that differ only in letter case are broken by their bytes, so the order is always the same.
  std::sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
    const int c = CompareText(a, b);
    return c != 0 ? c < 0 : a < b;
  });
  std::string manifest;
  for (const auto& line : lines) manifest += line + "\r\n";
  return manifest;
}

std::string BuildFolderManifest(std::string_view folder) {
  const std::string root = ToNativePath(folder).string();
  std::vector<TManifestEntry> entries;
  for (const auto& file : LongGetFiles(folder, "*.*", true)) {
    std::string relative = file.substr(std::min(root.size(), file.size()));
    if (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
    entries.push_back({std::move(relative), LongGetFileSize(file)});
  }
  return FormatFolderManifest(std::move(entries));
}

std::string ComputeManifestChecksum(std::string_view manifest) {
  TSha256 sha;
  sha.Update(manifest.data(), manifest.size());
  return sha.FinishHex();
}

std::string ComputeFolderChecksum(std::string_view folder) {
  if (!LongDirectoryExists(folder)) return "";
  try {
    return ComputeManifestChecksum(BuildFolderManifest(folder));
  } catch (const std::exception&) {
    return "";
  }
}

}  // namespace velkor
