// The credential store over a real registry file. Every PBKDF2 here costs 210000 iterations, so each expensive
// case runs once: a successful login on an older generation costs the one derivation of its upgrade.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <variant>

#include "auth/AuthManager.h"
#include "crypto/CryptoUtils.h"
#include "crypto/SecureStorage.h"
#include "platform/Registry.h"
#include "support/TempDir.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

using test::TScopedEnv;
using test::TTempDir;

constexpr char AuthKey[] = "Software\\QeltBackup\\Auth";
constexpr char Password[] = "Gizli-Şifre1";
// SHA-256 of Password's UTF-8 bytes, from an independent tool.
constexpr char PasswordSha256[] = "88edd6339770d988327f605d30b1ee89c606dfeea5af44e941cc4f2fa3149560";
// "Yönetici" in the older scrambled form, written by the older versions' encoder.
constexpr char ScrambledName[] = "w74ywo/Cm29RNhs=";
constexpr char GuidSalt[] = "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}";
constexpr char GuidDigits[] = "3F2504E04F8911D39A0C0305E82C3301";

using TValue = std::variant<std::string, int32_t>;
using TValues = std::map<std::string, TValue>;

std::string Sha256Hex(const std::string& text) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (const uint8_t b : Sha256Digest(text.data(), text.size())) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}

class AuthManagerTest : public ::testing::Test {
protected:
  std::filesystem::path RegistryFile() const { return FDir / "user" / "QeltBackup" / "registry.json"; }

  // Replaces the key with exactly these values, as an earlier run or version left them.
  void Store(const TValues& values) {
    TRegistry registry(RegistryFile());
    registry.DeleteKey(AuthKey);
    ASSERT_TRUE(registry.OpenKey(AuthKey, true));
    for (const auto& [name, value] : values) {
      if (const auto* text = std::get_if<std::string>(&value))
        registry.WriteString(name, *text);
      else
        registry.WriteInteger(name, std::get<int32_t>(value));
    }
  }

  // Every value of the key; empty when there is no key.
  TValues Stored() const {
    TValues values;
    TRegistry registry(RegistryFile());
    if (!registry.OpenKeyReadOnly(AuthKey)) return values;
    for (const std::string& name : registry.GetValueNames()) {
      if (registry.GetDataType(name) == TRegDataType::rdString)
        values[name] = registry.ReadString(name);
      else
        values[name] = registry.ReadInteger(name);
    }
    return values;
  }

  std::string StoredString(const std::string& name) const {
    const TValues values = Stored();
    const auto it = values.find(name);
    return it == values.end() ? "<missing>" : std::get<std::string>(it->second);
  }

  // The account is in the current form: the name protected, a fresh 16-byte salt and a PBKDF2 hash under it.
  void ExpectCurrentForm(const std::string& name, const std::string& hashName, const std::string& saltName) {
    const std::string salt = StoredString(saltName);
    EXPECT_EQ(salt.size(), 24u) << salt;
    EXPECT_EQ(Base64ToBytes(salt).size(), 16u);
    EXPECT_TRUE(StartsText("pbkdf2-sha256$210000$", StoredString(hashName))) << StoredString(hashName);
    if (name.empty()) return;
    const std::string storedName = StoredString("Username");
    EXPECT_TRUE(StartsText("dpapi:", storedName)) << storedName;
    EXPECT_EQ(UnprotectString(storedName), name);
  }

  // A value protected under another user's key: it cannot be unprotected here.
  std::string ProtectedByAnotherUser(const std::string& text) {
    TScopedEnv otherUser("APPDATA", (FDir / "other").string());
    return ProtectString(text);
  }

  TTempDir FDir;
  TScopedEnv FAppData{"APPDATA", (FDir / "user").string()};
  TAuthManager FAuth{RegistryFile()};
};

TEST_F(AuthManagerTest, WithoutAKeyNothingIsStoredAndNothingIsCreated) {
  EXPECT_TRUE(FAuth.IsFirstRun());
  EXPECT_FALSE(FAuth.ValidateUser("admin", Password));
  EXPECT_EQ(FAuth.GetCurrentUsername(), "");
  EXPECT_FALSE(FAuth.HasSecurityQuestion());
  EXPECT_EQ(FAuth.GetSecurityQuestion(), "");
  EXPECT_FALSE(FAuth.ValidateSecurityAnswer("Ankara"));
  const TCredentials credentials = FAuth.LoadCredentials();
  EXPECT_EQ(credentials.Username, "");
  EXPECT_FALSE(credentials.RememberMe);
  FAuth.ClearCredentials();
  EXPECT_FALSE(TRegistry(RegistryFile()).KeyExists(AuthKey));
}

TEST_F(AuthManagerTest, StatesOfTheKey) {
  const struct {
    const char* What;
    TValues Values;
    bool FirstRun;
    bool HasQuestion;
  } cases[] = {
      {"empty key", {}, true, false},
      {"name without hash", {{"Username", "admin"}}, true, false},
      {"hash without name", {{"PasswordHash", PasswordSha256}}, true, false},
      {"account", {{"Username", "admin"}, {"PasswordHash", PasswordSha256}}, false, false},
      // A value of the wrong type still exists.
      {"account with a mistyped name", {{"Username", 7}, {"PasswordHash", PasswordSha256}}, false, false},
      {"account with a question",
       {{"Username", "admin"}, {"PasswordHash", PasswordSha256}, {"SecurityQuestion", "Soru?"}},
       false,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    Store(c.Values);
    EXPECT_EQ(FAuth.IsFirstRun(), c.FirstRun);
    EXPECT_EQ(FAuth.HasSecurityQuestion(), c.HasQuestion);
  }
}

TEST_F(AuthManagerTest, OlderGenerationsLogInAndAreRewrittenInTheCurrentForm) {
  const std::string s = Password;
  const std::string u = "Yönetici";
  const std::string t = GuidSalt;
  const std::string n = GuidDigits;
  struct TCase {
    std::string What;
    std::string RawName;
    std::string Hash;
    std::optional<std::string> Salt;
    std::string TypedName;
  };
  std::vector<TCase> cases = {
      {"plain name, no salt value, unsalted hash", "admin", PasswordSha256, std::nullopt, "admin"},
      {"plain name typed in other letter case, empty salt", "admin", PasswordSha256, "", "ADMIN"},
      {"scrambled name", ScrambledName, PasswordSha256, std::nullopt, "yönetici"},
      {"protected name, unsalted hash", ProtectString("admin"), PasswordSha256, "", "admin"},
      {"GUID salt in braces, hash of password + salt digits", "admin", Sha256Hex(s + n), t, "admin"},
      {"GUID salt, hash in capital letters", "admin", UpperCaseAscii(Sha256Hex(s + n)), t, "admin"},
      {"GUID salt, unsalted hash", "admin", Sha256Hex(s), t, "admin"},
  };
  // Every order the older versions joined the secret, the salt (as stored and as digits) and the user name in.
  const std::pair<const char*, std::string> orders[] = {
      {"S+T", s + t},       {"T+S", t + s},       {"N+S", n + s},       {"S+U", s + u},       {"U+S", u + s},
      {"S+U+T", s + u + t}, {"S+T+U", s + t + u}, {"T+S+U", t + s + u}, {"T+U+S", t + u + s}, {"U+S+T", u + s + t},
      {"U+T+S", u + t + s}, {"S+U+N", s + u + n}, {"S+N+U", s + n + u}, {"N+S+U", n + s + u}, {"N+U+S", n + u + s},
      {"U+S+N", u + s + n}, {"U+N+S", u + n + s},
  };
  for (const auto& [order, joined] : orders)
    cases.push_back({std::string("GUID salt, ") + order, u, Sha256Hex(joined), t, u});

  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TValues values{{"Username", c.RawName}, {"PasswordHash", c.Hash}};
    if (c.Salt) values["PasswordSalt"] = *c.Salt;
    Store(values);
    EXPECT_TRUE(FAuth.ValidateUser(c.TypedName, Password));
    // The name is stored as it was just typed.
    ExpectCurrentForm(c.TypedName, "PasswordHash", "PasswordSalt");
  }

  // The upgraded account logs in through PBKDF2 and is left as it is.
  const TValues upgraded = Stored();
  EXPECT_TRUE(FAuth.ValidateUser(u, Password));
  EXPECT_EQ(Stored(), upgraded);
}

TEST_F(AuthManagerTest, RefusedLoginsChangeNothing) {
  const std::string otherUsersName = ProtectedByAnotherUser("admin");
  const TValues cases[] = {
      {{"Username", "admin"}, {"PasswordHash", Sha256Hex("başka")}},
      {{"Username", "başkası"}, {"PasswordHash", PasswordSha256}},
      // Without a salt the hex digits must match exactly.
      {{"Username", "admin"}, {"PasswordHash", UpperCaseAscii(PasswordSha256)}},
      // A current salt with a hash of an older generation.
      {{"Username", "admin"}, {"PasswordHash", PasswordSha256}, {"PasswordSalt", "c2FsdHNhbHRzYWx0c2FsdA=="}},
      // The PBKDF2 prefix is recognised in small letters only.
      {{"Username", "admin"},
       {"PasswordHash", "PBKDF2-SHA256$210000$" + BytesToBase64(TBytes(32, 1))},
       {"PasswordSalt", "c2FsdHNhbHRzYWx0c2FsdA=="}},
      // An iteration count of 0 makes the derivation fail: a refusal, not an error.
      {{"Username", "admin"},
       {"PasswordHash", "pbkdf2-sha256$0$" + BytesToBase64(TBytes(32, 1))},
       {"PasswordSalt", "c2FsdHNhbHRzYWx0c2FsdA=="}},
      {{"Username", "admin"}, {"PasswordHash", PasswordSha256}, {"PasswordSalt", 5}},
      {{"Username", "admin"}, {"PasswordHash", 5}},
      {{"Username", 5}, {"PasswordHash", PasswordSha256}},
      {{"Username", "admin"}},
      // A name protected by another account matches only as its raw text.
      {{"Username", otherUsersName}, {"PasswordHash", PasswordSha256}},
  };
  for (const TValues& values : cases) {
    Store(values);
    bool accepted = true;
    EXPECT_NO_THROW(accepted = FAuth.ValidateUser("admin", Password));
    EXPECT_FALSE(accepted);
    EXPECT_EQ(Stored(), values);
  }
}

TEST_F(AuthManagerTest, SetupStoresTheCurrentFormWithAFreshSaltEachTime) {
  FAuth.SetupDefaultUser(" admin ", Password);
  EXPECT_FALSE(FAuth.IsFirstRun());
  ExpectCurrentForm(" admin ", "PasswordHash", "PasswordSalt");
  EXPECT_EQ(std::get<int32_t>(Stored().at("FirstRun")), 0);
  EXPECT_EQ(FAuth.GetCurrentUsername(), " admin ");
  const TValues first = Stored();

  FAuth.SetupDefaultUser(" admin ", Password);
  const TValues second = Stored();
  EXPECT_NE(second.at("PasswordSalt"), first.at("PasswordSalt"));
  EXPECT_NE(second.at("PasswordHash"), first.at("PasswordHash"));

  // The name matches in any letter case; the password exactly, never trimmed. A current account is not rewritten.
  EXPECT_TRUE(FAuth.ValidateUser(" ADMIN ", Password));
  EXPECT_FALSE(FAuth.ValidateUser(" admin ", std::string(Password) + " "));
  EXPECT_FALSE(FAuth.ValidateUser("admin", Password));
  EXPECT_EQ(Stored(), second);
}

TEST_F(AuthManagerTest, NameValuesAreReadInEveryFormAndRewrittenProtected) {
  const std::string protectedName = ProtectString("Ayşe");
  const std::string otherUsersName = ProtectedByAnotherUser("Ayşe");
  const struct {
    const char* What;
    TValue Raw;
    std::string Expected;
    bool RewrittenProtected;
  } cases[] = {
      {"plain", "Ayşe", "Ayşe", true},
      {"scrambled", ScrambledName, "Yönetici", true},
      // Four letters look like base64: read through the scrambled form, giving a different text.
      {"four-letter plain name", "user", "\xEF\xBD\x9A\xC4\xAF", true},
      {"protected", protectedName, "Ayşe", false},
      {"protected by another user: shown as its raw text", otherUsersName, otherUsersName, false},
      {"empty", "", "", false},
      {"mistyped", 12, "", false},
  };
  const char* names[] = {"Username", "SecurityQuestion", "RememberedUser"};
  for (const auto& c : cases) {
    for (const char* name : names) {
      SCOPED_TRACE(std::string(c.What) + ", " + name);
      Store({{name, c.Raw}, {"RememberMe", 1}});
      const std::string read = std::string(name) == "Username"           ? FAuth.GetCurrentUsername()
                               : std::string(name) == "SecurityQuestion" ? FAuth.GetSecurityQuestion()
                                                                         : FAuth.LoadCredentials().Username;
      EXPECT_EQ(read, c.Expected);
      const TValue after = Stored().at(name);
      if (c.RewrittenProtected) {
        ASSERT_TRUE(std::holds_alternative<std::string>(after));
        EXPECT_TRUE(StartsText("dpapi:", std::get<std::string>(after)));
        EXPECT_EQ(UnprotectString(std::get<std::string>(after)), c.Expected);
      } else {
        EXPECT_EQ(after, c.Raw);
      }
    }
  }
}

TEST_F(AuthManagerTest, RememberMeStoresAndForgetsTheName) {
  FAuth.SaveCredentials("Ayşe", "", true);
  EXPECT_TRUE(StartsText("dpapi:", StoredString("RememberedUser")));
  EXPECT_EQ(std::get<int32_t>(Stored().at("RememberMe")), 1);
  EXPECT_EQ(Stored().count("Username"), 0u) << "no password: the account is not written";
  TCredentials loaded = FAuth.LoadCredentials();
  EXPECT_EQ(loaded.Username, "Ayşe");
  EXPECT_TRUE(loaded.RememberMe);
  EXPECT_EQ(loaded.PasswordHash, "");

  FAuth.SaveCredentials("", "", false);
  EXPECT_EQ(Stored().count("RememberedUser"), 0u);
  EXPECT_EQ(std::get<int32_t>(Stored().at("RememberMe")), 0);
  loaded = FAuth.LoadCredentials();
  EXPECT_EQ(loaded.Username, "");
  EXPECT_FALSE(loaded.RememberMe);

  // A remembered name is read only while the choice is on; a mistyped choice reads as nothing remembered.
  const struct {
    TValues Values;
    std::string Username;
    bool RememberMe;
  } cases[] = {
      {{{"RememberedUser", ProtectString("Ayşe")}, {"RememberMe", 0}}, "", false},
      {{{"RememberedUser", ProtectString("Ayşe")}, {"RememberMe", 5}}, "Ayşe", true},
      {{{"RememberMe", 1}}, "", true},
      {{{"RememberedUser", ProtectString("Ayşe")}, {"RememberMe", "1"}}, "", false},
  };
  for (const auto& c : cases) {
    Store(c.Values);
    TCredentials credentials;
    EXPECT_NO_THROW(credentials = FAuth.LoadCredentials());
    EXPECT_EQ(credentials.Username, c.Username);
    EXPECT_EQ(credentials.RememberMe, c.RememberMe);
  }

  // With a password, the account is written too, under the name as given.
  Store({});
  FAuth.SaveCredentials("Ayşe", Password, true);
  ExpectCurrentForm("Ayşe", "PasswordHash", "PasswordSalt");
}

TEST_F(AuthManagerTest, SecurityAnswerIsComparedExactlyAndClearedWithTheAccount) {
  FAuth.SetupDefaultUser("admin", Password);
  FAuth.SetSecurityQuestion("İlk okulunuzun adı?", "Atatürk İlkokulu");
  EXPECT_TRUE(FAuth.HasSecurityQuestion());
  EXPECT_TRUE(StartsText("dpapi:", StoredString("SecurityQuestion")));
  EXPECT_EQ(FAuth.GetSecurityQuestion(), "İlk okulunuzun adı?");
  ExpectCurrentForm("", "SecurityAnswer", "SecurityAnswerSalt");
  const TValues stored = Stored();
  EXPECT_FALSE(FAuth.ValidateSecurityAnswer("atatürk İlkokulu"));
  EXPECT_FALSE(FAuth.ValidateSecurityAnswer("Atatürk İlkokulu "));
  EXPECT_TRUE(FAuth.ValidateSecurityAnswer("Atatürk İlkokulu"));
  EXPECT_EQ(Stored(), stored) << "a current answer is not rewritten";

  FAuth.ClearCredentials();
  EXPECT_FALSE(TRegistry(RegistryFile()).KeyExists(AuthKey));
  EXPECT_FALSE(FAuth.HasSecurityQuestion());
  EXPECT_TRUE(FAuth.IsFirstRun());
}

TEST_F(AuthManagerTest, OlderAnswersAreUpgradedAndBadOnesRefused) {
  const struct {
    const char* What;
    TValues Values;
    bool Accepted;
  } cases[] = {
      {"unsalted", {{"SecurityAnswer", Sha256Hex("Ankara")}}, true},
      {"GUID salt, answer + salt",
       {{"SecurityAnswer", Sha256Hex("Ankara" + std::string(GuidSalt))}, {"SecurityAnswerSalt", GuidSalt}},
       true},
      {"wrong answer", {{"SecurityAnswer", Sha256Hex("ankara")}}, false},
      {"no answer stored", {{"SecurityAnswerSalt", GuidSalt}}, false},
      {"mistyped answer", {{"SecurityAnswer", 3}}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    Store(c.Values);
    EXPECT_EQ(FAuth.ValidateSecurityAnswer("Ankara"), c.Accepted);
    if (c.Accepted)
      ExpectCurrentForm("", "SecurityAnswer", "SecurityAnswerSalt");
    else
      EXPECT_EQ(Stored(), c.Values);
  }
}

TEST_F(AuthManagerTest, ResetPasswordKeepsTheNameAndReplacesTheHash) {
  Store({{"Username", "admin"}, {"PasswordHash", PasswordSha256}, {"SecurityQuestion", ProtectString("Soru?")}});
  FAuth.ResetPassword("Yeni-Şifre");
  ExpectCurrentForm("admin", "PasswordHash", "PasswordSalt");
  EXPECT_TRUE(FAuth.HasSecurityQuestion());
  EXPECT_FALSE(FAuth.ValidateUser("admin", Password));
  EXPECT_TRUE(FAuth.ValidateUser("admin", "Yeni-Şifre"));
}

}  // namespace
}  // namespace velkor
