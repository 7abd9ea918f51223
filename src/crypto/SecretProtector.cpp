#include "crypto/SecretProtector.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>

#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/FileHandle.h"
#include "util/Error.h"

namespace velkor {

namespace {

constexpr uint8_t BlobVersion = 1;
constexpr size_t KeyLength = 32;
constexpr size_t NonceLength = 12;
constexpr size_t TagLength = 16;

struct TCipherContextFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using TCipherContext = std::unique_ptr<EVP_CIPHER_CTX, TCipherContextFree>;

[[noreturn]] void RaiseKeyFileError(const std::filesystem::path& file, int err) {
  throw EVelkorError("Gizli anahtar dosyası okunamadı: " + file.string() + " (" + SystemErrorMessage(err) + ")");
}

[[noreturn]] void RaiseUnprotectError() {
  throw EVelkorError("Korunan değer çözülemedi: değer bu kullanıcının anahtarıyla korunmamış ya da bozuk.");
}

// Reads the key; false when the file does not exist.
bool ReadKeyFile(const std::filesystem::path& file, TBytes& key) {
  TFileHandle fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) {
    if (errno == ENOENT) return false;
    RaiseKeyFileError(file, errno);
  }
  key.assign(KeyLength + 1, 0);
  size_t got = 0;
  while (got < key.size()) {
    const ssize_t n = ::read(fd.Get(), key.data() + got, key.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int err = errno;
      WipeBytes(key);
      RaiseKeyFileError(file, err);
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  if (got != KeyLength) {
    WipeBytes(key);
    throw EVelkorError("Gizli anahtar dosyası geçersiz: " + file.string());
  }
  key.resize(KeyLength);
  return true;
}

// Writes a fresh key to a private temporary file and links it into place, so two processes starting at once
// end up with the same key: the second link fails and that process reads the winner's file.
void CreateKeyFile(const std::filesystem::path& file) {
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  std::string temp = file.string() + ".tmp-XXXXXX";
  TFileHandle fd(::mkstemp(temp.data()));  // mkstemp creates the file with mode 0600
  if (fd.Get() < 0) {
    throw EVelkorError("Gizli anahtar dosyası oluşturulamadı: " + file.string() + " (" + SystemErrorMessage(errno) +
                       ")");
  }
  TBytes key = GenerateRandomBytes(KeyLength);
  TWipeGuard wipe(key);
  const bool written =
      ::write(fd.Get(), key.data(), key.size()) == static_cast<ssize_t>(key.size()) && ::fsync(fd.Get()) == 0;
  const int err = errno;
  const bool linked = written && (::link(temp.c_str(), file.c_str()) == 0 || errno == EEXIST);
  const int linkErr = errno;
  ::unlink(temp.c_str());
  if (!written || !linked) {
    throw EVelkorError("Gizli anahtar dosyası oluşturulamadı: " + file.string() + " (" +
                       SystemErrorMessage(written ? linkErr : err) + ")");
  }
}

TBytes LoadKey(bool createWhenMissing) {
  const std::filesystem::path file = GetSecretKeyFile();
  TBytes key;
  if (ReadKeyFile(file, key)) return key;
  if (!createWhenMissing) RaiseUnprotectError();
  CreateKeyFile(file);
  if (!ReadKeyFile(file, key)) RaiseKeyFileError(file, ENOENT);
  return key;
}

TCipherContext NewGcmContext(const TBytes& key, const uint8_t* nonce, bool encrypting) {
  TCipherContext context(EVP_CIPHER_CTX_new());
  if (!context) RaiseCryptoError("EVP_CIPHER_CTX_new");
  CheckCryptoStatus(EVP_CipherInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, key.data(), nonce, encrypting ? 1 : 0),
                    "EVP_CipherInit_ex");
  int ignored = 0;
  CheckCryptoStatus(EVP_CipherUpdate(context.get(), nullptr, &ignored, &BlobVersion, 1), "EVP_CipherUpdate");
  return context;
}

}  // namespace

TBytes ProtectData(const TBytes& plain) {
  TBytes key = LoadKey(true);
  TWipeGuard wipeKey(key);
  const TBytes nonce = GenerateRandomBytes(NonceLength);
  TBytes blob(1 + NonceLength + plain.size() + TagLength);
  blob[0] = BlobVersion;
  std::copy(nonce.begin(), nonce.end(), blob.begin() + 1);
  TCipherContext context = NewGcmContext(key, nonce.data(), true);
  uint8_t* out = blob.data() + 1 + NonceLength;
  int written = 0;
  if (!plain.empty()) {
    CheckCryptoStatus(EVP_EncryptUpdate(context.get(), out, &written, plain.data(), static_cast<int>(plain.size())),
                      "EVP_EncryptUpdate");
  }
  int tail = 0;
  CheckCryptoStatus(EVP_EncryptFinal_ex(context.get(), out + written, &tail), "EVP_EncryptFinal_ex");
  CheckCryptoStatus(EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_AEAD_GET_TAG, TagLength, out + plain.size()),
                    "EVP_CIPHER_CTX_ctrl");
  return blob;
}

TBytes UnprotectData(const TBytes& blob) {
  if (blob.size() < 1 + NonceLength + TagLength || blob[0] != BlobVersion) RaiseUnprotectError();
  TBytes key = LoadKey(false);
  TWipeGuard wipeKey(key);
  const size_t cipherLength = blob.size() - 1 - NonceLength - TagLength;
  const uint8_t* cipherText = blob.data() + 1 + NonceLength;
  TCipherContext context = NewGcmContext(key, blob.data() + 1, false);
  TBytes plain(cipherLength);
  int written = 0;
  if (cipherLength > 0) {
    CheckCryptoStatus(
        EVP_DecryptUpdate(context.get(), plain.data(), &written, cipherText, static_cast<int>(cipherLength)),
        "EVP_DecryptUpdate");
  }
  TBytes tag(cipherText + cipherLength, cipherText + cipherLength + TagLength);
  CheckCryptoStatus(EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_AEAD_SET_TAG, TagLength, tag.data()),
                    "EVP_CIPHER_CTX_ctrl");
  int tail = 0;
  if (EVP_DecryptFinal_ex(context.get(), plain.data() + written, &tail) <= 0) {
    ERR_clear_error();
    WipeBytes(plain);
    RaiseUnprotectError();
  }
  return plain;
}

}  // namespace velkor
