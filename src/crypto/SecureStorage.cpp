#include "crypto/SecureStorage.h"

#include "crypto/CryptoUtils.h"
#include "crypto/SecretProtector.h"
#include "util/StringUtils.h"

namespace velkor {

namespace {
constexpr std::string_view ProtectedPrefix = "dpapi:";
}

std::string ProtectString(std::string_view plain) {
  if (plain.empty()) return {};
  TBytes bytes(plain.begin(), plain.end());
  TWipeGuard wipe(bytes);
  return std::string(ProtectedPrefix) + BytesToBase64(ProtectData(bytes));
}

std::string UnprotectString(std::string_view stored) {
  if (stored.empty()) return {};
  if (!IsProtectedString(stored)) return std::string(stored);
  TBytes plain = UnprotectData(Base64ToBytes(stored.substr(ProtectedPrefix.size())));
  TWipeGuard wipe(plain);
  return std::string(plain.begin(), plain.end());
}

bool IsProtectedString(std::string_view value) { return StartsText(ProtectedPrefix, value); }

}  // namespace velkor
