#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <set>

#include "crypto/EncryptionManager.h"
#include "support/TempDir.h"
#include "util/Error.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::ShellQuote;
using test::TScopedEnv;
using test::TTempDir;
using test::WriteFile;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

constexpr char Password[] = "Doğru Parola 1";
constexpr char Integrity[] = "Şifrelenmiş dosya bütünlük doğrulamasını geçemedi.";
constexpr char BadHeaderV2[] = "Geçersiz yeni nesil şifreleme başlığı.";
constexpr char BadHeader[] = "Geçersiz şifrelenmiş dosya başlığı.";
constexpr char BadLegacy[] = "Geçersiz şifrelenmiş dosya formatı!";
constexpr char ReadErrorPrefix[] = "Dosya okuma hatası: ";
constexpr char BadIterations[] = "PBKDF2 iterasyon sayısı pozitif olmalıdır.";

// Bytes that differ from position to position, so a misplaced block cannot go unnoticed.
std::string Pattern(size_t length, unsigned seed = 1) {
  std::string s(length, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return s;
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EVelkorError& e) {
    return e.what();
  }
  return "";
}

std::set<std::string> Entries(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

int RunReference(const std::string& arguments, std::string* output = nullptr) {
  return test::RunCommand(
      "/usr/bin/python3 " + ShellQuote(VELKOR_TEST_DATA_DIR "/mbe_reference.py") + " " + arguments + " 2>&1", output);
}

class EncryptionManagerTest : public ::testing::Test {
protected:
  EncryptionManagerTest() { FManager.SetPassword(Password); }

  fs::path Make(const std::string& name, const std::string& content) {
    WriteFile(FDir / name, content);
    return FDir / name;
  }

  // Decrypting must fail with `expected` and leave the folder as it was, the source included.
  void ExpectDecryptFails(const fs::path& source, const std::string& expected, bool prefixOnly = false) {
    const std::set<std::string> before = Entries(FDir.Path());
    const std::string content = ReadFile(source);
    const fs::path dest = FDir / "out" / "plain.bin";
    const std::string message = ErrorOf([&] { FManager.DecryptFile(source, dest); });
    if (prefixOnly)
      EXPECT_THAT(message, StartsWith(expected));
    else
      EXPECT_EQ(message, expected);
    EXPECT_FALSE(fs::exists(dest));
    std::set<std::string> after = Entries(FDir.Path());
    if (fs::exists(FDir / "out") && Entries(FDir / "out").empty()) after.erase("out");
    EXPECT_EQ(after, before);
    EXPECT_EQ(ReadFile(source), content);
  }

  TTempDir FDir;
  TScopedEnv FAppData{"APPDATA", (FDir / "appdata").string()};
  TEncryptionManager FManager{FDir / "appdata" / "registry.json"};
};

TEST_F(EncryptionManagerTest, WritesTheSecondGenerationLayoutThatTheReferenceReads) {
  for (const size_t length : {0u, 15u, 16u, 65536u + 5u, 200001u}) {
    SCOPED_TRACE(length);
    const std::string plain = Pattern(length, static_cast<unsigned>(length));
    const fs::path source = Make("plain.dat", plain);
    const fs::path encrypted = FDir / "plain.dat.mbe";
    FManager.EncryptFile(source, encrypted);

    const std::string file = ReadFile(encrypted);
    ASSERT_EQ(file.size(), 84 + 16 * (length / 16 + 1));
    // Magic, version 2, salt 16, IV 16, MAC 32, 210000 iterations, all little-endian.
    EXPECT_EQ(file.substr(0, 20), std::string("QELTENC2\x02\x00\x10\x00\x10\x00\x20\x00\x50\x34\x03\x00", 20));
    EXPECT_NE(file.substr(52, 32), std::string(32, '\0'));  // the placeholder was replaced by the MAC

    const fs::path back = FDir / "back.dat";
    FManager.DecryptFile(encrypted, back);
    EXPECT_EQ(ReadFile(back), plain);

    const fs::path byReference = FDir / "reference.dat";
    std::string output;
    ASSERT_EQ(RunReference("decrypt " + ShellQuote(Password) + " " + ShellQuote(encrypted.string()) + " " +
                               ShellQuote(byReference.string()),
                           &output),
              0)
        << output;
    EXPECT_EQ(ReadFile(byReference), plain);
    EXPECT_EQ(ReadFile(source), plain);
  }
}

TEST_F(EncryptionManagerTest, SamePlaintextEncryptsDifferentlyEachTime) {
  const fs::path source = Make("a.txt", "aynı içerik");
  FManager.EncryptFile(source, FDir / "1.mbe");
  FManager.EncryptFile(source, FDir / "2.mbe");
  EXPECT_NE(ReadFile(FDir / "1.mbe"), ReadFile(FDir / "2.mbe"));
  FManager.DecryptFile(FDir / "2.mbe", FDir / "2.txt");
  EXPECT_EQ(ReadFile(FDir / "2.txt"), "aynı içerik");
}

TEST_F(EncryptionManagerTest, ReadsFilesTheReferenceWrites) {
  struct TCase {
    const char* Options;
    bool Readable;
  };
  // The version is never examined; 50000 iterations is the lowest count accepted.
  const TCase cases[] = {
      {"", true}, {"--version 3", true}, {"--iterations 50000", true}, {"--iterations 49999", false}};
  const std::string plain = Pattern(70000, 7);
  const fs::path source = Make("ref-plain.bin", plain);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Options);
    const fs::path encrypted = FDir / "ref.mbe";
    std::string output;
    ASSERT_EQ(RunReference(std::string("encrypt ") + c.Options + " " + ShellQuote(Password) + " " +
                               ShellQuote(source.string()) + " " + ShellQuote(encrypted.string()),
                           &output),
              0)
        << output;
    if (c.Readable) {
      FManager.DecryptFile(encrypted, FDir / "ours.bin");
      EXPECT_EQ(ReadFile(FDir / "ours.bin"), plain);
      fs::remove(FDir / "ours.bin");
    } else {
      ExpectDecryptFails(encrypted, BadHeaderV2);
    }
  }
}

TEST_F(EncryptionManagerTest, ReadsBothFirstGenerationLayouts) {
  const std::string plain = Pattern(10000, 3);
  const fs::path source = Make("legacy-plain.bin", plain);
  for (const char* layout : {"bare", "prefixed"}) {
    SCOPED_TRACE(layout);
    const fs::path encrypted = FDir / (std::string(layout) + ".mbe");
    std::string output;
    ASSERT_EQ(RunReference("legacy-encrypt --layout " + std::string(layout) + " " + ShellQuote(Password) + " " +
                               ShellQuote(source.string()) + " " + ShellQuote(encrypted.string()),
                           &output),
              0)
        << output;
    FManager.DecryptFile(encrypted, FDir / "legacy.out");
    EXPECT_EQ(ReadFile(FDir / "legacy.out"), plain);

    // That format has no check: another password gives other bytes of the same length, without an error.
    TEncryptionManager other(FDir / "appdata" / "registry.json");
    other.SetPassword("başka");
    other.DecryptFile(encrypted, FDir / "legacy.out");
    const std::string wrong = ReadFile(FDir / "legacy.out");
    EXPECT_EQ(wrong.size(), plain.size());
    EXPECT_NE(wrong, plain);
  }
  EXPECT_EQ(TEncryptionManager::DeriveLegacyKey("").size(), 32u);
  // SHA-256("") starts e3b0c442 98fc1c14: the key is those 16 hex digits in UTF-16LE.
  EXPECT_EQ(TEncryptionManager::DeriveLegacyKey(""),
            TBytes({'e', 0, '3', 0, 'b', 0, '0', 0, 'c', 0, '4', 0, '4', 0, '2', 0,
                    '9', 0, '8', 0, 'f', 0, 'c', 0, '1', 0, 'c', 0, '1', 0, '4', 0}));
}

TEST_F(EncryptionManagerTest, TamperedOrTruncatedFilesFailAndLeaveNothing) {
  const fs::path source = Make("orig.bin", Pattern(1000, 9));
  const fs::path encrypted = FDir / "orig.bin.mbe";
  FManager.EncryptFile(source, encrypted);
  const std::string good = ReadFile(encrypted);
  ASSERT_EQ(good.size(), 1092u);

  struct TChange {
    const char* What;
    size_t Offset;
    uint8_t Xor;
    const char* Expected;
  };
  const TChange changes[] = {
      {"magic", 0, 0x01, BadLegacy},
      {"version", 8, 0x01, Integrity},
      {"salt length", 10, 0x01, Integrity},
      {"IV length", 12, 0x01, Integrity},
      {"MAC length", 14, 0x01, BadHeaderV2},
      {"iteration count", 16, 0x01, Integrity},
      {"iteration count 2^31 and more", 19, 0x80, BadIterations},
      {"salt", 20, 0x01, Integrity},
      {"IV", 36, 0x01, Integrity},
      {"MAC first byte", 52, 0x01, Integrity},
      {"MAC last byte", 83, 0x80, Integrity},
      {"ciphertext first byte", 84, 0x01, Integrity},
      {"ciphertext last byte", 1091, 0x01, Integrity},
  };
  const fs::path tampered = FDir / "tampered.mbe";
  for (const TChange& c : changes) {
    SCOPED_TRACE(c.What);
    std::string bytes = good;
    bytes[c.Offset] = static_cast<char>(bytes[c.Offset] ^ c.Xor);
    WriteFile(tampered, bytes);
    ExpectDecryptFails(tampered, c.Expected);
  }

  struct TCut {
    size_t Keep;
    const char* Expected;
    bool PrefixOnly;
  };
  const TCut cuts[] = {{5, BadHeader, false},  {15, ReadErrorPrefix, true}, {60, ReadErrorPrefix, true},
                       {84, Integrity, false}, {1091, Integrity, false},    {1076, Integrity, false}};
  for (const TCut& c : cuts) {
    SCOPED_TRACE(c.Keep);
    WriteFile(tampered, good.substr(0, c.Keep));
    ExpectDecryptFails(tampered, c.Expected, c.PrefixOnly);
  }

  TEncryptionManager wrongPassword(FDir / "appdata" / "registry.json");
  wrongPassword.SetPassword("Yanlış Parola");
  const std::string message = ErrorOf([&] { wrongPassword.DecryptFile(encrypted, FDir / "never.bin"); });
  EXPECT_EQ(message, Integrity);
  EXPECT_FALSE(fs::exists(FDir / "never.bin"));
}

// A file with a correct MAC but a last block without valid padding can only come from someone holding the
// password; it fails only after more than 64 KiB of output were written, which must then disappear.
TEST_F(EncryptionManagerTest, FailureAfterOutputStartedLeavesNothing) {
  const TBytes salt = GenerateRandomBytes(16);
  const TBytes iv = GenerateRandomBytes(16);
  TBytes keys = DerivePbkdf2Sha256(Password, salt, 50000, 64);
  const std::string header("QELTENC2\x02\x00\x10\x00\x10\x00\x20\x00\x50\xC3\x00\x00", 20);
  TAes256CbcCipher encryptor(TBytes(keys.begin(), keys.begin() + 32), iv, true);
  const TBytes cipher = encryptor.Process(TBytes(70000), false);  // zero plaintext: last byte 0 is no padding
  THmacSha256 mac(TBytes(keys.begin() + 32, keys.end()));
  mac.Update(header.data(), 20);
  mac.Update(salt);
  mac.Update(iv);
  mac.Update(cipher);
  const TBytes tag = mac.Finish();
  std::string file = header;
  for (const TBytes* part : {&salt, &iv, &tag, &cipher}) file.append(part->begin(), part->end());
  const fs::path crafted = Make("crafted.mbe", file);

  WriteFile(FDir / "out" / "plain.bin", "earlier output");
  const std::string message = ErrorOf([&] { FManager.DecryptFile(crafted, FDir / "out" / "plain.bin"); });
  EXPECT_THAT(message, MatchesRegex("EVP_DecryptFinal_ex başarısız oldu \\(0x[0-9A-F]{8}\\)\\."));
  // Only the earlier file remains, untouched: no partial output, no temporary file.
  EXPECT_EQ(Entries(FDir / "out"), std::set<std::string>{"plain.bin"});
  EXPECT_EQ(ReadFile(FDir / "out" / "plain.bin"), "earlier output");
}

// The file-size limit makes every write past 100000 bytes fail, as a full disk would.
TEST_F(EncryptionManagerTest, WriteFailureLeavesNothing) {
  const fs::path source = Make("big.bin", Pattern(300000, 5));
  FManager.EncryptFile(source, FDir / "big.mbe");
  fs::create_directory(FDir / "out");

  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit limited = old;
  limited.rlim_cur = 100000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const std::string encryptError = ErrorOf([&] { FManager.EncryptFile(source, FDir / "out" / "x.mbe"); });
  const std::string decryptError = ErrorOf([&] { FManager.DecryptFile(FDir / "big.mbe", FDir / "out" / "x.bin"); });
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_THAT(encryptError, StartsWith("Dosya yazılamadı: " + (FDir / "out" / "x.mbe").string() + " ("));
  EXPECT_THAT(decryptError, StartsWith("Dosya yazılamadı: " + (FDir / "out" / "x.bin").string() + " ("));
  EXPECT_TRUE(Entries(FDir / "out").empty());
}

TEST_F(EncryptionManagerTest, BadInputGivesItsMessageAndChangesNothing) {
  const fs::path source = Make("doc.txt", "belge");
  const fs::path missing = FDir / "yok.txt";
  EXPECT_EQ(ErrorOf([&] { FManager.EncryptFile(missing, FDir / "x.mbe"); }),
            "Kaynak dosya bulunamadı: " + missing.string());
  EXPECT_EQ(ErrorOf([&] { FManager.DecryptFile(missing, FDir / "x"); }),
            "Kaynak dosya bulunamadı: " + missing.string());
  EXPECT_EQ(ErrorOf([&] { FManager.EncryptFile(FDir.Path(), FDir / "x.mbe"); }),  // a folder is not a file
            "Kaynak dosya bulunamadı: " + FDir.Path().string());

  TEncryptionManager noPassword(FDir / "appdata" / "registry.json");
  EXPECT_EQ(ErrorOf([&] { noPassword.EncryptFile(source, FDir / "x.mbe"); }), "Şifreleme şifresi ayarlanmamış!");
  EXPECT_EQ(ErrorOf([&] { noPassword.DecryptFile(source, FDir / "x"); }), "Şifre çözme şifresi ayarlanmamış!");

  // The destination's folder cannot be created below a file.
  EXPECT_THAT(ErrorOf([&] { FManager.EncryptFile(source, FDir / "doc.txt" / "sub" / "x.mbe"); }),
              StartsWith("Hedef klasör oluşturulamadı: " + (FDir / "doc.txt" / "sub").string() + " ("));
  // Reading this file fails with an I/O error whoever runs the test.
  EXPECT_THAT(ErrorOf([&] { FManager.EncryptFile("/proc/self/mem", FDir / "mem.mbe"); }),
              StartsWith("Dosya okunamadı: /proc/self/mem ("));
  // Writing the output over the source would destroy it.
  FManager.EncryptFile(source, FDir / "doc.txt.mbe");
  EXPECT_THAT(ErrorOf([&] { FManager.EncryptFile(source, source); }), StartsWith("Hedef dosya kaynak dosyanın"));
  EXPECT_THAT(ErrorOf([&] { FManager.DecryptFile(FDir / "doc.txt.mbe", FDir / "doc.txt.mbe"); }),
              StartsWith("Hedef dosya kaynak dosyanın"));
  EXPECT_EQ(ReadFile(source), "belge");
  EXPECT_EQ(Entries(FDir.Path()), (std::set<std::string>{"doc.txt", "doc.txt.mbe"}));

  ExpectDecryptFails(Make("plain.txt", "not an encrypted file at all"), BadLegacy);
  ExpectDecryptFails(Make("tiny.mbe", "QELTE"), BadHeader);
}

// An encrypted copy is never more readable than its source, and a decrypted file never more readable than its
// encrypted form: each output takes its source's permission bits, without set-id or sticky bits.
TEST_F(EncryptionManagerTest, OutputsTakeTheirSourcesPermissionBits) {
  const mode_t oldMask = ::umask(022);
  for (const fs::perms mode : {fs::perms(0600), fs::perms(0640), fs::perms(0644), fs::perms(04750)}) {
    SCOPED_TRACE(static_cast<int>(mode));
    const fs::path plain = Make("kaynak.txt", "gizli");
    fs::permissions(plain, mode);
    FManager.EncryptFile(plain, FDir / "kaynak.txt.mbe");
    EXPECT_EQ(fs::status(FDir / "kaynak.txt.mbe").permissions(), mode & fs::perms(0777));
    // The decrypted file follows the encrypted one, also when the two differ.
    fs::permissions(FDir / "kaynak.txt.mbe", fs::perms(0600) | (mode & fs::perms::set_uid));
    FManager.DecryptFile(FDir / "kaynak.txt.mbe", FDir / "çözülmüş.txt");
    EXPECT_EQ(fs::status(FDir / "çözülmüş.txt").permissions(), fs::perms(0600));
    fs::remove(plain);
    fs::remove(FDir / "kaynak.txt.mbe");
    fs::remove(FDir / "çözülmüş.txt");
  }
  ::umask(oldMask);
}

TEST_F(EncryptionManagerTest, CreatesTheFolderAndReplacesAnEarlierOutput) {
  const fs::path source = Make("doc.txt", "yeni içerik");
  const fs::path dest = FDir / "a" / "b" / "doc.txt.mbe";
  FManager.EncryptFile(source, dest);
  WriteFile(FDir / "c" / "doc.txt", "eski içerik daha uzundu");
  FManager.DecryptFile(dest, FDir / "c" / "doc.txt");
  EXPECT_EQ(ReadFile(FDir / "c" / "doc.txt"), "yeni içerik");
  EXPECT_EQ(Entries(FDir / "a" / "b"), std::set<std::string>{"doc.txt.mbe"});
}

}  // namespace
}  // namespace velkor
