#include "crypto/CryptoUtils.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <charconv>
#include <cstdio>

#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {

constexpr char Base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t Base64LineLength = 76;
constexpr char PasswordHashScheme[] = "pbkdf2-sha256";
constexpr size_t Sha256Length = 32;

int8_t Base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<int8_t>(c - 'A');
  if (c >= 'a' && c <= 'z') return static_cast<int8_t>(c - 'a' + 26);
  if (c >= '0' && c <= '9') return static_cast<int8_t>(c - '0' + 52);
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// A decimal integer with an optional sign that fits 32 bits; nothing else.
bool ParseInt32(std::string_view text, int32_t& value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  return ec == std::errc() && end == text.data() + text.size();
}

// The library may hold a pointer to a zero-length buffer but not a null one for an empty HMAC key.
const uint8_t EmptyBuffer[1] = {0};

}  // namespace

void RaiseCryptoError(std::string_view functionName) {
  const unsigned long code = ERR_peek_last_error();
  ERR_clear_error();
  char text[32];
  std::snprintf(text, sizeof text, "0x%.8X", static_cast<unsigned>(code & 0xFFFFFFFFu));
  throw EVelkorError(std::string(functionName) + " başarısız oldu (" + text + ").");
}

void WipeBytes(TBytes& bytes) {
  if (!bytes.empty()) OPENSSL_cleanse(bytes.data(), bytes.size());
  bytes.clear();
}

void WipeString(std::string& text) {
  if (!text.empty()) OPENSSL_cleanse(text.data(), text.size());
  text.clear();
}

TBytes GenerateRandomBytes(int32_t count) {
  if (count < 0) throw EVelkorError("Geçersiz rastgele byte sayısı.");
  TBytes bytes(static_cast<size_t>(count));
  if (count == 0) return bytes;
  CheckCryptoStatus(RAND_bytes(bytes.data(), count), "RAND_bytes");
  return bytes;
}

std::string BytesToBase64(const TBytes& bytes) { return BytesToBase64(bytes.data(), bytes.size()); }

std::string BytesToBase64(const uint8_t* data, size_t count) {
  std::string plain;
  plain.reserve((count + 2) / 3 * 4);
  for (size_t i = 0; i < count; i += 3) {
    const uint32_t b0 = data[i];
    const uint32_t b1 = i + 1 < count ? data[i + 1] : 0;
    const uint32_t b2 = i + 2 < count ? data[i + 2] : 0;
    const uint32_t group = (b0 << 16) | (b1 << 8) | b2;
    plain += Base64Alphabet[(group >> 18) & 63];
    plain += Base64Alphabet[(group >> 12) & 63];
    plain += i + 1 < count ? Base64Alphabet[(group >> 6) & 63] : '=';
    plain += i + 2 < count ? Base64Alphabet[group & 63] : '=';
  }
  if (plain.size() <= Base64LineLength) return plain;
  std::string wrapped;
  wrapped.reserve(plain.size() + plain.size() / Base64LineLength * 2);
  for (size_t pos = 0; pos < plain.size(); pos += Base64LineLength) {
    if (pos > 0) wrapped += "\r\n";
    wrapped.append(plain, pos, Base64LineLength);
  }
  return wrapped;
}

TBytes Base64ToBytes(std::string_view text) {
  TBytes bytes;
  bytes.reserve(text.size() / 4 * 3 + 3);
  uint32_t accumulator = 0;
  int bits = 0;
  for (const char c : text) {
    if (c == '=') break;
    const int8_t value = Base64Value(static_cast<unsigned char>(c));
    if (value < 0) continue;
    accumulator = (accumulator << 6) | static_cast<uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<uint8_t>(accumulator >> bits));
      accumulator &= (1u << bits) - 1;
    }
  }
  return bytes;
}

TBytes DerivePbkdf2Sha256(std::string_view password, const TBytes& salt, int32_t iterations, int32_t keyLength) {
  if (iterations <= 0) throw EVelkorError("PBKDF2 iterasyon sayısı pozitif olmalıdır.");
  if (keyLength <= 0) throw EVelkorError("PBKDF2 anahtar uzunluğu pozitif olmalıdır.");
  TBytes key(static_cast<size_t>(keyLength));
  CheckCryptoStatus(PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                                      static_cast<int>(salt.size()), iterations, EVP_sha256(), keyLength, key.data()),
                    "PKCS5_PBKDF2_HMAC");
  return key;
}

std::string CreatePasswordHash(std::string_view password, std::string_view saltBase64, int32_t iterations) {
  TBytes key = DerivePbkdf2Sha256(password, Base64ToBytes(saltBase64), iterations, Sha256Length);
  TWipeGuard wipe(key);
  return std::string(PasswordHashScheme) + "$" + std::to_string(iterations) + "$" + BytesToBase64(key);
}

bool ParsePasswordHash(std::string_view stored, int32_t& iterations, TBytes& hash) {
  iterations = 0;
  hash.clear();
  const std::vector<std::string> fields = SplitString(stored, '$');
  if (fields.size() != 3) return false;
  if (!SameText(fields[0], PasswordHashScheme)) return false;
  int32_t parsed = 0;
  if (!ParseInt32(fields[1], parsed)) return false;
  iterations = parsed;
  hash = Base64ToBytes(fields[2]);
  return !hash.empty();
}

bool VerifyPasswordHash(std::string_view password, std::string_view stored, std::string_view saltBase64) {
  int32_t iterations = 0;
  TBytes hash;
  if (!ParsePasswordHash(stored, iterations, hash)) return false;
  TBytes derived =
      DerivePbkdf2Sha256(password, Base64ToBytes(saltBase64), iterations, static_cast<int32_t>(hash.size()));
  TWipeGuard wipe(derived);
  return ConstantTimeEquals(hash, derived);
}

TBytes Sha256Digest(const void* data, size_t count) {
  TBytes digest(Sha256Length);
  unsigned int written = 0;
  CheckCryptoStatus(EVP_Digest(data, count, digest.data(), &written, EVP_sha256(), nullptr), "EVP_Digest");
  digest.resize(written);
  return digest;
}

bool ConstantTimeEquals(const TBytes& a, const TBytes& b) {
  if (a.size() != b.size()) return false;
  return ConstantTimeEquals(a.data(), b.data(), a.size());
}

bool ConstantTimeEquals(const uint8_t* a, const uint8_t* b, size_t count) {
  // CRYPTO_memcmp is OpenSSL's comparison that the compiler cannot shorten.
  return count == 0 || CRYPTO_memcmp(a, b, count) == 0;
}

THmacSha256::THmacSha256(const TBytes& key) {
  try {
    FMac = EVP_MAC_fetch(nullptr, OSSL_MAC_NAME_HMAC, nullptr);
    if (!FMac) RaiseCryptoError("EVP_MAC_fetch");
    FContext = EVP_MAC_CTX_new(FMac);
    if (!FContext) RaiseCryptoError("EVP_MAC_CTX_new");
    char digest[] = "SHA256";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_construct_end()};
    CheckCryptoStatus(EVP_MAC_init(FContext, key.empty() ? EmptyBuffer : key.data(), key.size(), params),
                      "EVP_MAC_init");
  } catch (...) {
    EVP_MAC_CTX_free(FContext);
    EVP_MAC_free(FMac);
    throw;
  }
}

THmacSha256::~THmacSha256() {
  // Freeing the context wipes the keyed state inside the library.
  EVP_MAC_CTX_free(FContext);
  EVP_MAC_free(FMac);
}

void THmacSha256::Update(const void* buffer, int32_t count) {
  if (count <= 0) return;
  if (FFinished) throw EVelkorError("Tamamlanmış HMAC nesnesi güncellenemez.");
  CheckCryptoStatus(EVP_MAC_update(FContext, static_cast<const unsigned char*>(buffer), static_cast<size_t>(count)),
                    "EVP_MAC_update");
}

void THmacSha256::Update(const TBytes& bytes) {
  if (bytes.empty()) return;
  Update(bytes.data(), static_cast<int32_t>(bytes.size()));
}

TBytes THmacSha256::Finish() {
  if (FFinished) throw EVelkorError("HMAC Finish birden fazla kez çağrılamaz.");
  TBytes mac(EVP_MAC_CTX_get_mac_size(FContext));
  size_t written = 0;
  CheckCryptoStatus(EVP_MAC_final(FContext, mac.data(), &written, mac.size()), "EVP_MAC_final");
  mac.resize(written);
  FFinished = true;
  return mac;
}

TAes256CbcCipher::TAes256CbcCipher(const TBytes& key, const TBytes& iv, bool encrypting) : FEncrypting(encrypting) {
  try {
    const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_cbc()
                               : key.size() == 24 ? EVP_aes_192_cbc()
                               : key.size() == 32 ? EVP_aes_256_cbc()
                                                  : nullptr;
    // The library reads a fixed number of key and IV bytes, so wrong lengths are refused before it sees them.
    if (!cipher) {
      ERR_raise(ERR_LIB_EVP, EVP_R_INVALID_KEY_LENGTH);
      RaiseCryptoError("EVP_CipherInit_ex");
    }
    if (iv.size() != static_cast<size_t>(EVP_CIPHER_get_iv_length(cipher))) {
      ERR_raise(ERR_LIB_EVP, EVP_R_INVALID_IV_LENGTH);
      RaiseCryptoError("EVP_CipherInit_ex");
    }
    FContext = EVP_CIPHER_CTX_new();
    if (!FContext) RaiseCryptoError("EVP_CIPHER_CTX_new");
    CheckCryptoStatus(EVP_CipherInit_ex(FContext, cipher, nullptr, key.data(), iv.data(), encrypting ? 1 : 0),
                      "EVP_CipherInit_ex");
    FBlockSize = EVP_CIPHER_CTX_get_block_size(FContext);
    // Padding is switched on for the final call only, so every earlier call returns all of its blocks.
    EVP_CIPHER_CTX_set_padding(FContext, 0);
  } catch (...) {
    EVP_CIPHER_CTX_free(FContext);
    throw;
  }
}

TAes256CbcCipher::~TAes256CbcCipher() {
  // Freeing the context wipes the key schedule and the chaining vector inside the library.
  EVP_CIPHER_CTX_free(FContext);
}

TBytes TAes256CbcCipher::Process(const TBytes& input, bool finalBlock) {
  TBytes output(input.size() + (finalBlock ? static_cast<size_t>(FBlockSize) : 0));
  output.resize(Process(input.data(), input.size(), finalBlock, output.data()));
  return output;
}

size_t TAes256CbcCipher::Process(const uint8_t* input, size_t count, bool finalBlock, uint8_t* output) {
  const char* updateName = FEncrypting ? "EVP_EncryptUpdate" : "EVP_DecryptUpdate";
  if (!FContext) {
    ERR_raise(ERR_LIB_EVP, ERR_R_SHOULD_NOT_HAVE_BEEN_CALLED);
    RaiseCryptoError(updateName);
  }
  if (!finalBlock && count % static_cast<size_t>(FBlockSize) != 0) {
    ERR_raise(ERR_LIB_EVP, EVP_R_DATA_NOT_MULTIPLE_OF_BLOCK_LENGTH);
    RaiseCryptoError(updateName);
  }
  if (finalBlock) EVP_CIPHER_CTX_set_padding(FContext, 1);
  int written = 0;
  if (count > 0) {
    const int status = FEncrypting ? EVP_EncryptUpdate(FContext, output, &written, input, static_cast<int>(count))
                                   : EVP_DecryptUpdate(FContext, output, &written, input, static_cast<int>(count));
    CheckCryptoStatus(status, updateName);
  }
  if (!finalBlock) return static_cast<size_t>(written);
  int tail = 0;
  const int status = FEncrypting ? EVP_EncryptFinal_ex(FContext, output + written, &tail)
                                 : EVP_DecryptFinal_ex(FContext, output + written, &tail);
  // The chain ends here; the context is released now so its key leaves memory as early as possible.
  EVP_CIPHER_CTX_free(FContext);
  FContext = nullptr;
  CheckCryptoStatus(status, FEncrypting ? "EVP_EncryptFinal_ex" : "EVP_DecryptFinal_ex");
  return static_cast<size_t>(written + tail);
}

}  // namespace velkor
