#pragma once
// The user-bound secret store behind protected strings, standing in for the Windows data-protection interface.
//
// A blob is version (1 byte, 1) | nonce (12) | AES-256-GCM ciphertext | tag (16), the version byte being
// authenticated too. The key is 32 random bytes in the per-user key file (GetSecretKeyFile, mode 0600), created on
// the first protection; only this user's account can read it, so a blob made under another key file fails to
// unprotect, as a value of another Windows user does. Stateless apart from that file; any thread may call.
#include "crypto/CryptoUtils.h"

namespace velkor {

TBytes ProtectData(const TBytes& plain);
// Raises EVelkorError when the key file is missing or unreadable, or the blob was made under another key or damaged.
TBytes UnprotectData(const TBytes& blob);

}  // namespace velkor
