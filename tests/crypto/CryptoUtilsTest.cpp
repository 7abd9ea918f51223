#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "crypto/CryptoUtils.h"
#include "util/Error.h"

namespace velkor {
namespace {

using ::testing::MatchesRegex;

TBytes Hex(std::string_view hex) {
  TBytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

TBytes Bytes(std::string_view text) { return TBytes(text.begin(), text.end()); }

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EVelkorError& e) {
    return e.what();
  }
  return "(no error)";
}

// RFC 7914 ("The scrypt Password-Based Key Derivation Function"), section 11, "Test Vectors for PBKDF2 with
// HMAC-SHA-256".
TEST(CryptoKnownAnswerTest, Pbkdf2HmacSha256Rfc7914) {
  EXPECT_EQ(DerivePbkdf2Sha256("passwd", Bytes("salt"), 1, 64),
            Hex("55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
                "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783"));
  EXPECT_EQ(DerivePbkdf2Sha256("Password", Bytes("NaCl"), 80000, 64),
            Hex("4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"
                "a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d"));
  // The password-hash text is the base64 of the first 32 bytes of the same derivation.
  EXPECT_EQ(CreatePasswordHash("passwd", "c2FsdA==", 1),
            "pbkdf2-sha256$1$VawEblbjCJ/sFpHCJUS2BflBhSFt3gRl5oudV8INrLw=");
}

// RFC 4231 ("Identifiers and Test Vectors for HMAC-SHA-224, HMAC-SHA-256, HMAC-SHA-384, and HMAC-SHA-512"),
// section 4, test cases 1, 2 and 6 (a key longer than the block size).
TEST(CryptoKnownAnswerTest, HmacSha256Rfc4231) {
  struct TCase {
    TBytes Key;
    std::string Data;
    const char* Mac;
  };
  const TCase cases[] = {
      {TBytes(20, 0x0b), "Hi There", "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {Bytes("Jefe"), "what do ya want for nothing?",
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {TBytes(131, 0xaa), "Test Using Larger Than Block-Size Key - Hash Key First",
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
  };
  for (const TCase& c : cases) {
    THmacSha256 whole(c.Key);
    whole.Update(Bytes(c.Data));
    EXPECT_EQ(whole.Finish(), Hex(c.Mac)) << c.Data;
    // Fed in uneven pieces, the MAC is the same.
    THmacSha256 pieces(c.Key);
    for (size_t pos = 0; pos < c.Data.size(); pos += 5)
      pieces.Update(c.Data.data() + pos, static_cast<int32_t>(std::min<size_t>(5, c.Data.size() - pos)));
    EXPECT_EQ(pieces.Finish(), Hex(c.Mac)) << c.Data;
  }
}

// NIST SP 800-38A ("Recommendation for Block Cipher Modes of Operation"), appendix F.2.5 CBC-AES256.Encrypt and
// F.2.6 CBC-AES256.Decrypt. The vector has no padding; our final call adds one block of it.
TEST(CryptoKnownAnswerTest, Aes256CbcSp800_38A) {
  const TBytes key = Hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
  const TBytes iv = Hex("000102030405060708090a0b0c0d0e0f");
  const TBytes plain =
      Hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
          "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
  const TBytes cipher =
      Hex("f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
          "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");

  TAes256CbcCipher encryptor(key, iv, true);
  EXPECT_EQ(encryptor.Process(plain, false), cipher);
  const TBytes padding = encryptor.Process({}, true);
  EXPECT_EQ(padding.size(), 16u);

  TAes256CbcCipher decryptor(key, iv, false);
  EXPECT_EQ(decryptor.Process(cipher, false), plain);  // a non-final call returns every block at once
  EXPECT_TRUE(decryptor.Process(padding, true).empty());
}

TEST(CryptoAesTest, SplitCallsContinueOneChainAndPaddingRoundTrips) {
  const TBytes key = GenerateRandomBytes(32);
  const TBytes iv = GenerateRandomBytes(16);
  for (const size_t length : {0u, 1u, 15u, 16u, 17u, 64u, 100u}) {
    TBytes plain(length);
    for (size_t i = 0; i < length; ++i) plain[i] = static_cast<uint8_t>(i * 7);

    TAes256CbcCipher single(key, iv, true);
    const TBytes once = single.Process(plain, true);
    EXPECT_EQ(once.size(), (length / 16 + 1) * 16) << length;

    // Whole blocks one at a time, then the rest (1 to 16 bytes, or nothing) as the final call.
    TAes256CbcCipher split(key, iv, true);
    const size_t whole = length > 16 ? (length - 1) / 16 * 16 : 0;
    TBytes pieces;
    for (size_t pos = 0; pos <= length; pos += 16) {
      const bool final = pos >= whole;
      const TBytes out =
          split.Process(TBytes(plain.begin() + pos, final ? plain.end() : plain.begin() + pos + 16), final);
      pieces.insert(pieces.end(), out.begin(), out.end());
      if (final) break;
    }
    EXPECT_EQ(pieces, once) << length;

    TAes256CbcCipher back(key, iv, false);
    EXPECT_EQ(back.Process(once, true), plain) << length;
  }
  const TBytes copy = iv;
  TAes256CbcCipher user(key, copy, true);
  user.Process(TBytes(32), false);
  EXPECT_EQ(copy, iv);  // the caller's IV is never touched
}

TEST(CryptoAesTest, LibraryFailuresBecomeTheStatusMessage) {
  const TBytes key = GenerateRandomBytes(32);
  const TBytes iv = GenerateRandomBytes(16);
  TAes256CbcCipher encryptor(key, iv, true);
  const TBytes cipher = encryptor.Process(Bytes("gizli veri"), true);

  // The wrong key almost always leaves invalid padding; try keys until one does (each fails with ~255/256).
  std::string message;
  for (int attempt = 0; attempt < 8 && message.empty(); ++attempt) {
    TAes256CbcCipher wrong(GenerateRandomBytes(32), iv, false);
    message = ErrorOf([&] { wrong.Process(cipher, true); });
    if (message == "(no error)") message.clear();
  }
  EXPECT_THAT(message, MatchesRegex("EVP_DecryptFinal_ex başarısız oldu \\(0x[0-9A-F]{8}\\)\\."));
  EXPECT_EQ(message.find("0x00000000"), std::string::npos);  // the library's own code, not a placeholder

  TAes256CbcCipher partial(key, iv, false);
  EXPECT_THAT(ErrorOf([&] { partial.Process(TBytes(20), true); }),
              MatchesRegex("EVP_DecryptFinal_ex başarısız oldu \\(0x[0-9A-F]{8}\\)\\."));
  TAes256CbcCipher notWhole(key, iv, true);
  EXPECT_THAT(ErrorOf([&] { notWhole.Process(TBytes(10), false); }),
              MatchesRegex("EVP_EncryptUpdate başarısız oldu \\(0x[0-9A-F]{8}\\)\\."));
  EXPECT_THAT(ErrorOf([&] { TAes256CbcCipher(TBytes(20), iv, true); }),
              MatchesRegex("EVP_CipherInit_ex başarısız oldu \\(0x[0-9A-F]{8}\\)\\."));
  EXPECT_THAT(ErrorOf([&] { TAes256CbcCipher(key, TBytes(8), true); }),
              MatchesRegex("EVP_CipherInit_ex başarısız oldu \\(0x[0-9A-F]{8}\\)\\."));
}

TEST(CryptoHmacTest, FinishEndsTheObject) {
  THmacSha256 mac(TBytes{});  // an empty key is allowed
  mac.Update(Bytes("abc"));
  EXPECT_EQ(mac.Finish().size(), 32u);
  EXPECT_NO_THROW(mac.Update("x", 0));
  EXPECT_NO_THROW(mac.Update(TBytes{}));
  EXPECT_EQ(ErrorOf([&] { mac.Update("x", 1); }), "Tamamlanmış HMAC nesnesi güncellenemez.");
  EXPECT_EQ(ErrorOf([&] { mac.Finish(); }), "HMAC Finish birden fazla kez çağrılamaz.");
}

TEST(CryptoBase64Test, Rfc4648VectorsAndLineBreaks) {
  // RFC 4648 section 10.
  const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"}};
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(BytesToBase64(Bytes(plain)), encoded);
    EXPECT_EQ(Base64ToBytes(encoded), Bytes(plain));
  }

  TBytes data(200);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 37 + 11);
  const std::string one = BytesToBase64(TBytes(data.begin(), data.begin() + 57));
  EXPECT_EQ(one.size(), 76u);  // 57 bytes still fit one line
  const std::string two = BytesToBase64(TBytes(data.begin(), data.begin() + 114));
  ASSERT_EQ(two.size(), 154u);  // exactly two lines: one break, none at the end
  EXPECT_EQ(two.substr(76, 2), "\r\n");
  const std::string wrapped = BytesToBase64(data);
  EXPECT_EQ(wrapped.find_first_of("\r\n", 0), 76u);
  EXPECT_NE(wrapped.back(), '\n');
  std::string joined;
  for (const char c : wrapped)
    if (c != '\r' && c != '\n') joined += c;
  EXPECT_EQ(Base64ToBytes(wrapped), data);
  EXPECT_EQ(Base64ToBytes(joined), data);
}

TEST(CryptoRandomTest, CountsAndFreshness) {
  EXPECT_TRUE(GenerateRandomBytes(0).empty());
  EXPECT_EQ(ErrorOf([] { GenerateRandomBytes(-1); }), "Geçersiz rastgele byte sayısı.");
  std::set<TBytes> seen;
  for (int i = 0; i < 16; ++i) seen.insert(GenerateRandomBytes(16));
  EXPECT_EQ(seen.size(), 16u);
}

TEST(CryptoPasswordHashTest, CreateAndVerify) {
  const std::string salt = BytesToBase64(GenerateRandomBytes(16));
  const std::string stored = CreatePasswordHash("Parola-ğüş", salt, 1000);
  EXPECT_THAT(stored, MatchesRegex("pbkdf2-sha256\\$1000\\$[A-Za-z0-9+/]{43}="));
  EXPECT_TRUE(VerifyPasswordHash("Parola-ğüş", stored, salt));
  EXPECT_FALSE(VerifyPasswordHash("parola-ğüş", stored, salt));
  EXPECT_FALSE(VerifyPasswordHash("Parola-ğüş", stored, BytesToBase64(GenerateRandomBytes(16))));

  const std::string noSalt = CreatePasswordHash("x", "", 10);  // an empty salt is allowed
  EXPECT_THAT(noSalt, MatchesRegex("pbkdf2-sha256\\$10\\$[A-Za-z0-9+/]{43}="));
  EXPECT_TRUE(VerifyPasswordHash("x", noSalt, ""));

  EXPECT_EQ(ErrorOf([] { DerivePbkdf2Sha256("x", {}, 0, 32); }), "PBKDF2 iterasyon sayısı pozitif olmalıdır.");
  EXPECT_EQ(ErrorOf([] { DerivePbkdf2Sha256("x", {}, 0, 0); }), "PBKDF2 iterasyon sayısı pozitif olmalıdır.");
  EXPECT_EQ(ErrorOf([] { DerivePbkdf2Sha256("x", {}, 1, 0); }), "PBKDF2 anahtar uzunluğu pozitif olmalıdır.");
  // A stored count of zero reaches the derivation, whose error the caller handles.
  EXPECT_EQ(ErrorOf([] { VerifyPasswordHash("x", "pbkdf2-sha256$0$AAAA", ""); }),
            "PBKDF2 iterasyon sayısı pozitif olmalıdır.");
}

TEST(CryptoPasswordHashTest, ParseAcceptsOnlyThreeFieldsWithAHash) {
  struct TCase {
    const char* Stored;
    bool Ok;
    int32_t Iterations;
  };
  const TCase cases[] = {
      {"pbkdf2-sha256$210000$AAECAw==", true, 210000},
      {"PBKDF2-SHA256$5$AAECAw==", true, 5},
      {"pbkdf2-sha256$+7$AAECAw==", true, 7},
      {"pbkdf2-sha256$-7$AAECAw==", true, -7},
      {"pbkdf2-sha256$2147483647$AAECAw==", true, 2147483647},
      {"pbkdf2-sha256$2147483648$AAECAw==", false, 0},
      {"pbkdf2-sha256$12a$AAECAw==", false, 0},
      {"pbkdf2-sha256$$AAECAw==", false, 0},
      {"pbkdf2-sha256$0x10$AAECAw==", false, 0},
      {"pbkdf2-sha256$1000$", false, 0},
      {"pbkdf2-sha256$1000$AAECAw==$x", false, 0},
      {"pbkdf2-sha1$1000$AAECAw==", false, 0},
      {"", false, 0},
  };
  for (const TCase& c : cases) {
    int32_t iterations = 99;
    TBytes hash{1};
    EXPECT_EQ(ParsePasswordHash(c.Stored, iterations, hash), c.Ok) << c.Stored;
    if (c.Ok) {
      EXPECT_EQ(iterations, c.Iterations) << c.Stored;
      EXPECT_EQ(hash, (TBytes{0, 1, 2, 3})) << c.Stored;
    } else {
      EXPECT_TRUE(hash.empty()) << c.Stored;
    }
  }
}

TEST(CryptoCompareTest, ConstantTimeEquals) {
  EXPECT_TRUE(ConstantTimeEquals(TBytes{}, TBytes{}));
  EXPECT_TRUE(ConstantTimeEquals(TBytes{1, 2, 3}, TBytes{1, 2, 3}));
  EXPECT_FALSE(ConstantTimeEquals(TBytes{1, 2, 3}, TBytes{1, 2}));
  EXPECT_FALSE(ConstantTimeEquals(TBytes{1, 2, 3}, TBytes{1, 2, 2}));
  EXPECT_FALSE(ConstantTimeEquals(TBytes{0x80, 2, 3}, TBytes{0, 2, 3}));
}

}  // namespace
}  // namespace velkor
