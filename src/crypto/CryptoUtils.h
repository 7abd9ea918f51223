#pragma once
// The only place the program touches cryptographic primitives: random bytes, base64, PBKDF2-HMAC-SHA256, the
// password-hash text, a constant-time comparison, an incremental HMAC-SHA256 and a streaming AES-CBC cipher.
//
// Everything sits on OpenSSL 3. Every library status is checked; a failure raises EVelkorError with
// "<function> başarısız oldu (0x%.8X)." naming the OpenSSL function and its packed error code. The free functions
// keep no state and may run on any thread; a THmacSha256 or TAes256CbcCipher object is used by one thread at a
// time. Key material and cipher state are wiped when released, also when a constructor fails part-way.
#include <openssl/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

using TBytes = std::vector<uint8_t>;

// Iterations used for every new password hash and every new encrypted file.
constexpr int32_t DefaultPbkdf2Iterations = 210000;

// Raises the status error for `functionName` with the error code OpenSSL queued on this thread (0 when none),
// and clears that queue so an old code never shows up in a later message.
[[noreturn]] void RaiseCryptoError(std::string_view functionName);
// OpenSSL functions return 1 (or a positive value) on success.
inline void CheckCryptoStatus(int status, std::string_view functionName) {
  if (status <= 0) RaiseCryptoError(functionName);
}

// Overwrites the bytes with zeros in a way the compiler may not drop, then empties the array.
void WipeBytes(TBytes& bytes);
void WipeString(std::string& text);

// Wipes the array it guards when the scope ends, on every path.
class TWipeGuard {
 public:
  explicit TWipeGuard(TBytes& bytes) : FBytes(bytes) {}
  ~TWipeGuard() { WipeBytes(FBytes); }
  TWipeGuard(const TWipeGuard&) = delete;
  TWipeGuard& operator=(const TWipeGuard&) = delete;

 private:
  TBytes& FBytes;
};

TBytes GenerateRandomBytes(int32_t count);

// Standard alphabet with "=" padding and CR LF after every 76 characters when more follow.
std::string BytesToBase64(const TBytes& bytes);
std::string BytesToBase64(const uint8_t* data, size_t count);
// Skips every character outside the alphabet (line breaks included); stops at the first "=".
TBytes Base64ToBytes(std::string_view text);

TBytes DerivePbkdf2Sha256(std::string_view password, const TBytes& salt, int32_t iterations, int32_t keyLength);

// "pbkdf2-sha256$<iterations>$<base64 of the 32-byte key>"; the salt is kept by the caller beside it.
std::string CreatePasswordHash(std::string_view password, std::string_view saltBase64, int32_t iterations);
// Never raises; false for anything that is not a three-field hash text with a non-empty hash.
bool ParsePasswordHash(std::string_view stored, int32_t& iterations, TBytes& hash);
// The stored hash length sets the derived length. A stored iteration count of zero or less raises the PBKDF2 error.
bool VerifyPasswordHash(std::string_view password, std::string_view stored, std::string_view saltBase64);

// One-shot SHA-256 of a small buffer.
TBytes Sha256Digest(const void* data, size_t count);

// Looks at every byte pair whatever the contents; arrays of different length are unequal.
bool ConstantTimeEquals(const TBytes& a, const TBytes& b);
bool ConstantTimeEquals(const uint8_t* a, const uint8_t* b, size_t count);

// Incremental HMAC-SHA256: Create, any number of Update calls, one Finish.
class THmacSha256 {
 public:
  explicit THmacSha256(const TBytes& key);
  ~THmacSha256();
  THmacSha256(const THmacSha256&) = delete;
  THmacSha256& operator=(const THmacSha256&) = delete;

  void Update(const void* buffer, int32_t count);
  void Update(const TBytes& bytes);
  TBytes Finish();

 private:
  EVP_MAC* FMac = nullptr;
  EVP_MAC_CTX* FContext = nullptr;
  bool FFinished = false;
};

// Streaming AES-CBC with PKCS#7 padding on the last call. Every call except the last passes whole 16-byte
// blocks; the last passes finalBlock = true and any length (for decryption, whole blocks), including zero.
// Consecutive calls continue one CBC chain. The key size follows the key length (every caller passes 32 bytes).
class TAes256CbcCipher {
 public:
  TAes256CbcCipher(const TBytes& key, const TBytes& iv, bool encrypting);
  ~TAes256CbcCipher();
  TAes256CbcCipher(const TAes256CbcCipher&) = delete;
  TAes256CbcCipher& operator=(const TAes256CbcCipher&) = delete;

  TBytes Process(const TBytes& input, bool finalBlock);
  // The same into a caller's buffer of at least count + BlockSize() bytes; returns the bytes written.
  size_t Process(const uint8_t* input, size_t count, bool finalBlock, uint8_t* output);
  int32_t BlockSize() const { return FBlockSize; }

 private:
  EVP_CIPHER_CTX* FContext = nullptr;
  bool FEncrypting;
  int32_t FBlockSize = 16;
};

}  // namespace velkor
