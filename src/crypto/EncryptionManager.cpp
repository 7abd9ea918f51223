#include "crypto/EncryptionManager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "crypto/LegacyScramble.h"
#include "crypto/SecureStorage.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/Registry.h"
#include "util/Error.h"

namespace velkor {

namespace {

namespace fs = std::filesystem;

constexpr char MagicV2[] = "QELTENC2";
constexpr char MagicV1[] = "QELTENC1";
constexpr size_t MagicLength = 8;
constexpr size_t HeaderLength = 20;
constexpr uint16_t FormatVersion = 2;
constexpr uint16_t SaltLength = 16;
constexpr uint16_t IvLength = 16;
constexpr uint16_t MacLength = 32;
constexpr uint32_t MinIterations = 50000;
constexpr size_t KeyHalfLength = 32;
constexpr size_t ChunkSize = 65536;
constexpr size_t CipherBlock = 16;
constexpr size_t LegacyKeyLength = 32;
// Program constant of the older scrambled "EncKey" form: one fixed byte for every code unit.
constexpr TLegacyKeyStream LegacyPasswordScramble{0x5A, 0};
constexpr char ValueEncKey[] = "EncKey";
constexpr char ValueEnabled[] = "Enabled";

// Reads the source in order; the file is never opened for writing.
class TSourceFile {
public:
  explicit TSourceFile(fs::path path) : FPath(std::move(path)) {
    FFd = ::open(FPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (FFd < 0) Fail(errno);
    ::posix_fadvise(FFd, 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  ~TSourceFile() { ::close(FFd); }
  TSourceFile(const TSourceFile&) = delete;
  TSourceFile& operator=(const TSourceFile&) = delete;

  // Fills the buffer; fewer bytes only at the end of the file.
  size_t Read(uint8_t* buffer, size_t count) {
    size_t got = 0;
    while (got < count) {
      const ssize_t n = ::read(FFd, buffer + got, count - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail(errno);
      if (n == 0) break;
      got += static_cast<size_t>(n);
    }
    return got;
  }

  void ReadExact(uint8_t* buffer, size_t count) {
    if (Read(buffer, count) != count)
      throw EVelkorError("Dosya okuma hatası: " + FPath.string() + " beklenenden kısa.");
  }

  void Seek(uint64_t offset) {
    if (::lseek(FFd, static_cast<off_t>(offset), SEEK_SET) < 0) Fail(errno);
  }

  // The permission bits the output takes over: never set-id or sticky bits, 0600 when they cannot be read.
  mode_t PermissionBits() const {
    struct stat st {};
    return ::fstat(FFd, &st) == 0 ? (st.st_mode & 0777) : 0600;
  }

private:
  [[noreturn]] void Fail(int err) {
    throw EVelkorError("Dosya okunamadı: " + FPath.string() + " (" + SystemErrorMessage(err) + ")");
  }

  fs::path FPath;
  int FFd = -1;
};

// A temporary file beside the destination that replaces it on Commit and is removed otherwise, so a failed
// operation leaves neither a partial output nor a damaged earlier one. It has its final permission bits (those of
// the source, so the output is never more readable than what it came from) before the first byte is written.
class TPartialOutput {
public:
  TPartialOutput(fs::path dest, mode_t mode) : FDest(std::move(dest)) {
    // Keep the temporary name within the file system's limit of 255 bytes per name.
    const std::string name = FDest.filename().string().substr(0, 200);
    for (int attempt = 0; FFd < 0; ++attempt) {
      const TBytes suffix = GenerateRandomBytes(6);
      FTemp = FDest.parent_path() / (name + ".tmp-" + ToHex(suffix));
      FFd = ::open(FTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (FFd < 0 && (errno != EEXIST || attempt >= 10)) Fail(errno);
    }
    // A file system without Unix permissions refuses; the file then stays as private as it was created.
    (void)::fchmod(FFd, mode);
  }
  ~TPartialOutput() {
    if (FFd >= 0) ::close(FFd);
    if (!FCommitted) ::unlink(FTemp.c_str());
  }
  TPartialOutput(const TPartialOutput&) = delete;
  TPartialOutput& operator=(const TPartialOutput&) = delete;

  void Write(const uint8_t* data, size_t count) {
    while (count > 0) {
      const ssize_t n = ::write(FFd, data, count);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail(errno);
      data += n;
      count -= static_cast<size_t>(n);
    }
  }

  void WriteAt(uint64_t offset, const uint8_t* data, size_t count) {
    if (::pwrite(FFd, data, count, static_cast<off_t>(offset)) != static_cast<ssize_t>(count)) Fail(errno);
  }

  void Commit() {
    const int fd = FFd;
    FFd = -1;
    if (::close(fd) != 0) Fail(errno);
    if (::rename(FTemp.c_str(), FDest.c_str()) != 0) Fail(errno);
    FCommitted = true;
  }

private:
  static std::string ToHex(const TBytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const uint8_t b : bytes) {
      hex += digits[b >> 4];
      hex += digits[b & 15];
    }
    return hex;
  }

  [[noreturn]] void Fail(int err) {
    throw EVelkorError("Dosya yazılamadı: " + FDest.string() + " (" + SystemErrorMessage(err) + ")");
  }

  fs::path FDest;
  fs::path FTemp;
  int FFd = -1;
  bool FCommitted = false;
};

void CheckSourceExists(const fs::path& source) {
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) throw EVelkorError("Kaynak dosya bulunamadı: " + source.string());
}

// Writing over the source would destroy it: on Windows the source's share mode refuses this, here we check.
void CheckNotSameFile(const fs::path& source, const fs::path& dest) {
  std::error_code ec;
  if (fs::equivalent(source, dest, ec))
    throw EVelkorError("Hedef dosya kaynak dosyanın üzerine yazılamaz: " + dest.string());
}

void EnsureDestinationFolder(const fs::path& dest) {
  const fs::path folder = dest.parent_path();
  if (folder.empty()) return;
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder)) {
    throw EVelkorError("Hedef klasör oluşturulamadı: " + folder.string() + " (" +
                       (ec ? SystemErrorMessage(ec.value()) : SystemErrorMessage(ENOTDIR)) + ")");
  }
}

void PutUint16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void PutUint32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint16_t GetUint16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t GetUint32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

using THeader = std::array<uint8_t, HeaderLength>;

THeader BuildHeaderV2() {
  THeader header{};
  std::memcpy(header.data(), MagicV2, MagicLength);
  PutUint16(&header[8], FormatVersion);
  PutUint16(&header[10], SaltLength);
  PutUint16(&header[12], IvLength);
  PutUint16(&header[14], MacLength);
  PutUint32(&header[16], static_cast<uint32_t>(DefaultPbkdf2Iterations));
  return header;
}

// The AES key and the HMAC key of one file, wiped when it goes out of scope.
struct TFileKeys {
  TBytes Aes;
  TBytes Mac;
  ~TFileKeys() {
    WipeBytes(Aes);
    WipeBytes(Mac);
  }
};

void DeriveFileKeys(const std::string& password, const TBytes& salt, uint32_t iterations, TFileKeys& keys) {
  // A count of 2^31 or more becomes negative here, which the derivation refuses with its own error.
  TBytes derived = DerivePbkdf2Sha256(password, salt, static_cast<int32_t>(iterations), 2 * KeyHalfLength);
  TWipeGuard wipe(derived);
  keys.Aes.assign(derived.begin(), derived.begin() + KeyHalfLength);
  keys.Mac.assign(derived.begin() + KeyHalfLength, derived.end());
}

// Runs the rest of the source through the cipher. Up to 31 bytes stay pending so that the final call, which pads
// or unpads, always gets the last one or two blocks. `inputMac`, when given, sees every byte read.
template <class TSink>
void StreamThroughCipher(TSourceFile& source, TAes256CbcCipher& cipher, THmacSha256* inputMac, TSink&& sink) {
  std::vector<uint8_t> input(ChunkSize + 2 * CipherBlock);
  std::vector<uint8_t> output(ChunkSize + 4 * CipherBlock);
  size_t pending = 0;
  for (;;) {
    const size_t got = source.Read(input.data() + pending, ChunkSize);
    if (got == 0) break;
    if (inputMac) inputMac->Update(input.data() + pending, static_cast<int32_t>(got));
    pending += got;
    if (pending >= 2 * CipherBlock) {
      const size_t run = (pending / CipherBlock - 1) * CipherBlock;
      sink(output.data(), cipher.Process(input.data(), run, false, output.data()));
      std::memmove(input.data(), input.data() + run, pending - run);
      pending -= run;
    }
  }
  sink(output.data(), cipher.Process(input.data(), pending, true, output.data()));
}

TBytes MacOfRest(TSourceFile& source, THmacSha256& mac) {
  std::vector<uint8_t> buffer(ChunkSize);
  for (size_t got; (got = source.Read(buffer.data(), buffer.size())) > 0;)
    mac.Update(buffer.data(), static_cast<int32_t>(got));
  return mac.Finish();
}

void DecryptLegacyFile(const std::string& password, TSourceFile& source, const uint8_t* firstBytes,
                       const fs::path& destFile) {
  TBytes key = TEncryptionManager::DeriveLegacyKey(password);
  TWipeGuard wipe(key);
  if (std::memcmp(firstBytes, MagicV1, MagicLength) != 0) {
    // The length-prefixed layout: the 32-bit length 8, then the magic.
    uint8_t prefixed[4 + MagicLength];
    source.Seek(0);
    if (source.Read(prefixed, sizeof prefixed) != sizeof prefixed || GetUint32(prefixed) != MagicLength ||
        std::memcmp(prefixed + 4, MagicV1, MagicLength) != 0)
      throw EVelkorError("Geçersiz şifrelenmiş dosya formatı!");
  }
  EnsureDestinationFolder(destFile);
  TPartialOutput output(destFile, source.PermissionBits());
  std::vector<uint8_t> buffer(ChunkSize);
  uint64_t position = 0;
  for (size_t got; (got = source.Read(buffer.data(), buffer.size())) > 0;) {
    for (size_t i = 0; i < got; ++i, ++position) buffer[i] ^= key[position % LegacyKeyLength];
    output.Write(buffer.data(), got);
  }
  output.Commit();
}

}  // namespace

TEncryptionManager::TEncryptionManager() : FRegistryFile(GetRegistryFile()) {}

TEncryptionManager::TEncryptionManager(std::filesystem::path registryFile) : FRegistryFile(std::move(registryFile)) {}

TEncryptionManager::~TEncryptionManager() { WipeString(FPassword); }

void TEncryptionManager::SetPassword(const std::string& password) {
  WipeString(FPassword);
  FPassword = password;
}

void TEncryptionManager::EncryptFile(const std::filesystem::path& sourceFile, const std::filesystem::path& destFile) {
  CheckSourceExists(sourceFile);
  if (FPassword.empty()) throw EVelkorError("Şifreleme şifresi ayarlanmamış!");
  CheckNotSameFile(sourceFile, destFile);
  EnsureDestinationFolder(destFile);

  const THeader header = BuildHeaderV2();
  const TBytes salt = GenerateRandomBytes(SaltLength);
  const TBytes iv = GenerateRandomBytes(IvLength);
  TFileKeys keys;
  DeriveFileKeys(FPassword, salt, DefaultPbkdf2Iterations, keys);

  TSourceFile source(sourceFile);
  TPartialOutput output(destFile, source.PermissionBits());
  output.Write(header.data(), header.size());
  output.Write(salt.data(), salt.size());
  output.Write(iv.data(), iv.size());
  const uint64_t macPosition = HeaderLength + salt.size() + iv.size();
  const uint8_t placeholder[MacLength] = {};
  output.Write(placeholder, sizeof placeholder);

  TAes256CbcCipher cipher(keys.Aes, iv, true);
  THmacSha256 mac(keys.Mac);
  mac.Update(header.data(), HeaderLength);
  mac.Update(salt);
  mac.Update(iv);
  StreamThroughCipher(source, cipher, nullptr, [&](const uint8_t* data, size_t count) {
    mac.Update(data, static_cast<int32_t>(count));
    output.Write(data, count);
  });
  const TBytes tag = mac.Finish();
  output.WriteAt(macPosition, tag.data(), tag.size());
  output.Commit();
}

void TEncryptionManager::DecryptFile(const std::filesystem::path& sourceFile, const std::filesystem::path& destFile) {
  CheckSourceExists(sourceFile);
  if (FPassword.empty()) throw EVelkorError("Şifre çözme şifresi ayarlanmamış!");
  CheckNotSameFile(sourceFile, destFile);

  TSourceFile source(sourceFile);
  THeader header{};
  if (source.Read(header.data(), MagicLength) < MagicLength) throw EVelkorError("Geçersiz şifrelenmiş dosya başlığı.");
  if (std::memcmp(header.data(), MagicV2, MagicLength) != 0) {
    DecryptLegacyFile(FPassword, source, header.data(), destFile);
    return;
  }

  source.ReadExact(header.data() + MagicLength, HeaderLength - MagicLength);
  const uint16_t saltLength = GetUint16(&header[10]);
  const uint16_t ivLength = GetUint16(&header[12]);
  const uint16_t macLength = GetUint16(&header[14]);
  const uint32_t iterations = GetUint32(&header[16]);
  if (saltLength == 0 || ivLength == 0 || macLength != MacLength || iterations < MinIterations)
    throw EVelkorError("Geçersiz yeni nesil şifreleme başlığı.");

  TBytes salt(saltLength);
  TBytes iv(ivLength);
  TBytes storedMac(macLength);
  source.ReadExact(salt.data(), salt.size());
  source.ReadExact(iv.data(), iv.size());
  source.ReadExact(storedMac.data(), storedMac.size());
  const uint64_t cipherStart = HeaderLength + salt.size() + iv.size() + storedMac.size();

  TFileKeys keys;
  DeriveFileKeys(FPassword, salt, iterations, keys);
  auto startMac = [&] {
    auto mac = std::make_unique<THmacSha256>(keys.Mac);
    mac->Update(header.data(), HeaderLength);
    mac->Update(salt);
    mac->Update(iv);
    return mac;
  };

  // First pass: nothing is written before the whole file is authenticated; a wrong password ends here.
  if (!ConstantTimeEquals(MacOfRest(source, *startMac()), storedMac))
    throw EVelkorError("Şifrelenmiş dosya bütünlük doğrulamasını geçemedi.");

  source.Seek(cipherStart);
  EnsureDestinationFolder(destFile);
  TPartialOutput output(destFile, source.PermissionBits());
  TAes256CbcCipher cipher(keys.Aes, iv, false);
  // The second pass authenticates again what it decrypts, so a file changed between the passes is not committed.
  auto recheck = startMac();
  StreamThroughCipher(source, cipher, recheck.get(),
                      [&](const uint8_t* data, size_t count) { output.Write(data, count); });
  if (!ConstantTimeEquals(recheck->Finish(), storedMac))
    throw EVelkorError("Şifrelenmiş dosya bütünlük doğrulamasını geçemedi.");
  output.Commit();
}

void TEncryptionManager::SavePasswordToRegistry(const std::string& password) {
  TRegistry registry(FRegistryFile);
  if (!registry.OpenKey(FRegistryPath, true)) return;
  registry.WriteString(ValueEncKey, ProtectString(password));
  registry.WriteBool(ValueEnabled, !password.empty());
  registry.CloseKey();
}

std::string TEncryptionManager::LoadPasswordFromRegistry() {
  std::string result;
  bool rewrite = false;
  TRegistry registry(FRegistryFile);
  if (!registry.OpenKeyReadOnly(FRegistryPath)) return result;
  try {
    if (registry.ReadBool(ValueEnabled)) {
      const std::string stored = registry.ReadString(ValueEncKey);
      if (!stored.empty()) {
        if (IsProtectedString(stored)) {
          result = UnprotectString(stored);
        } else {
          result = DecodeLegacyPassword(stored);
          rewrite = !result.empty();
        }
      }
      SetPassword(result);
    }
  } catch (const std::exception&) {
    WipeString(result);
    WipeString(FPassword);
    rewrite = false;
  }
  registry.CloseKey();
  // Reading never raises: should the rewrite fail, the older form stays and is converted on the next start.
  if (rewrite) {
    try {
      SavePasswordToRegistry(result);
    } catch (const std::exception&) {
    }
  }
  return result;
}

void TEncryptionManager::ClearPasswordFromRegistry() {
  WipeString(FPassword);
  TRegistry registry(FRegistryFile);
  if (!registry.OpenKey(FRegistryPath, false)) return;
  registry.DeleteValue(ValueEncKey);
  registry.DeleteValue(ValueEnabled);
  registry.CloseKey();
}

bool TEncryptionManager::IsEncryptionEnabled() const {
  TRegistry registry(FRegistryFile);
  if (!registry.OpenKeyReadOnly(FRegistryPath)) return false;
  try {
    return registry.ReadBool(ValueEnabled);
  } catch (const std::exception&) {
    return false;
  }
}

std::string TEncryptionManager::DecodeLegacyPassword(std::string_view stored) {
  return DecodeScrambledText(stored, LegacyPasswordScramble);
}

TBytes TEncryptionManager::DeriveLegacyKey(std::string_view password) {
  static const char digits[] = "0123456789abcdef";
  TBytes digest = Sha256Digest(password.data(), password.size());
  TWipeGuard wipe(digest);
  // The UTF-16LE form of the hex text: each of the first 16 hex digits followed by a zero byte.
  TBytes key(LegacyKeyLength, 0);
  for (size_t i = 0; i < LegacyKeyLength / 2; ++i) {
    const uint8_t b = digest[i / 2];
    key[2 * i] = static_cast<uint8_t>(digits[i % 2 == 0 ? b >> 4 : b & 15]);
  }
  return key;
}

}  // namespace velkor
