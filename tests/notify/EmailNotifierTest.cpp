// The notifier's settings over a real registry file, its recipient list, the failures raised before any network
// activity and the settings dialog's checks.
#include <gtest/gtest.h>

#include <map>
#include <variant>

#include "crypto/CryptoUtils.h"
#include "crypto/SecureStorage.h"
#include "notify/EmailNotifier.h"
#include "notify/EmailSettings.h"
#include "notify/MailMessage.h"
#include "platform/Registry.h"
#include "support/TempDir.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

using test::TScopedEnv;
using test::TTempDir;

constexpr char EmailKey[] = "Software\\QeltBackup\\Email";

using TValue = std::variant<std::string, int32_t>;

class EmailNotifierTest : public ::testing::Test {
protected:
  std::filesystem::path RegistryFile() const { return FDir / "user" / "QeltBackup" / "registry.json"; }

  void Store(const std::map<std::string, TValue>& values) {
    TRegistry registry(RegistryFile());
    ASSERT_TRUE(registry.OpenKey(EmailKey, true));
    for (const auto& [name, value] : values) {
      if (const auto* text = std::get_if<std::string>(&value))
        registry.WriteString(name, *text);
      else
        registry.WriteInteger(name, std::get<int32_t>(value));
    }
  }
  std::string StoredString(const std::string& name) const {
    TRegistry registry(RegistryFile());
    EXPECT_TRUE(registry.OpenKeyReadOnly(EmailKey));
    return registry.ReadString(name);
  }
  std::vector<std::string> ValueNames() const {
    TRegistry registry(RegistryFile());
    registry.OpenKeyReadOnly(EmailKey);
    return registry.GetValueNames();
  }

  // A notifier whose every setting differs from the defaults.
  static TSMTPSettings Custom() {
    return {"mail.örnek.com.tr", 465, "kullanıcı", "Şifre ğü 1", true, false, "yedek@örnek", "Yedek Sunucusu"};
  }

  TTempDir FDir;
  TScopedEnv FAppData{"APPDATA", (FDir / "user").string()};
};

TEST_F(EmailNotifierTest, FreshProfileKeepsTheDefaultsAndFailsBeforeAnyNetworkActivity) {
  TEmailNotifier notifier(RegistryFile());
  notifier.LoadSettings();
  const TSMTPSettings expected{DefaultSmtpServer, 587, "", "", false, true, "", "QeltBackup"};
  EXPECT_EQ(notifier.Settings(), expected);
  EXPECT_TRUE(notifier.Recipients().empty());
  EXPECT_FALSE(TRegistry(RegistryFile()).KeyExists(EmailKey)) << "loading creates nothing";

  // Both early failures come as they are, without the send prefix; the server is never reached.
  const struct {
    std::string Server;
    bool WithRecipient;
    const char* Message;
  } cases[] = {
      {"127.0.0.1", false, "Alıcı e-posta adresi belirtilmemiş!"},
      {"   ", true, "SMTP sunucusu belirtilmemiş!"},
  };
  for (const auto& c : cases) {
    TEmailNotifier n(RegistryFile());
    TSMTPSettings s = n.Settings();
    s.Server = c.Server;
    s.Port = 1;
    n.SetSettings(s);
    if (c.WithRecipient) n.AddRecipient("a@b.c");
    try {
      n.SendNotification("Konu", "<p>x</p>", "", true);
      ADD_FAILURE() << "sent";
    } catch (const std::exception& e) {
      EXPECT_STREQ(e.what(), c.Message);
    }
  }
}

TEST_F(EmailNotifierTest, SettingsRoundTripWithTheStoredLayout) {
  TEmailNotifier notifier(RegistryFile());
  notifier.SetSettings(Custom());
  for (const char* r : {"a@x", "b@x", "c@x", "d@x", "e@x"}) notifier.AddRecipient(r);
  notifier.SaveSettings();
  EXPECT_EQ(ValueNames(), (std::vector<std::string>{"Server", "Port", "Username", "Password", "UseSSL", "UseTLS",
                                                    "FromEmail", "FromName", "RecipientCount", "Recipient0",
                                                    "Recipient1", "Recipient2", "Recipient3", "Recipient4"}));
  const std::string password = StoredString("Password");
  EXPECT_TRUE(StartsText("dpapi:", password));
  EXPECT_EQ(UnprotectString(password), "Şifre ğü 1");

  // Three saved after five: the count bounds what is read, the two older values stay.
  notifier.ClearRecipients();
  for (const char* r : {"x@y", "Y@z", "z@q"}) notifier.AddRecipient(r);
  notifier.SaveSettings();
  EXPECT_EQ(StoredString("Recipient3"), "d@x");
  EXPECT_EQ(StoredString("Recipient4"), "e@x");
  TEmailNotifier loaded(RegistryFile());
  loaded.LoadSettings();
  EXPECT_EQ(loaded.Settings(), Custom());
  EXPECT_EQ(loaded.Recipients(), (std::vector<std::string>{"x@y", "Y@z", "z@q"}));
  EXPECT_TRUE(loaded.NotificationsEnabled());

  // An empty password is stored as an empty string; notifications switched off are one more value.
  TSMTPSettings s = Custom();
  s.Password = "";
  loaded.SetSettings(s);
  loaded.SetNotificationsEnabled(false);
  loaded.SaveSettings();
  EXPECT_EQ(StoredString("Password"), "");
  TEmailNotifier off(RegistryFile());
  off.LoadSettings();
  EXPECT_FALSE(off.NotificationsEnabled());
  off.SetNotificationsEnabled(true);
  off.SaveSettings();
  EXPECT_EQ(ValueNames().size(), 14u) << "switched back on: the extra value is gone";
}

TEST_F(EmailNotifierTest, LoadStopsAtTheFirstMissingOrMistypedValue) {
  const std::map<std::string, TValue> full{
      {"Server", "smtp.kayıt"},
      {"Port", 2525},
      {"Username", "u"},
      {"Password", ProtectString("p")},
      {"UseSSL", 1},
      {"UseTLS", 0},
      {"FromEmail", "f@k"},
      {"FromName", "Kayıt"},
      {"RecipientCount", 2},
      {"Recipient0", "r0@k"},
      {"Recipient1", "r1@k"},
  };
  const TSMTPSettings before = Custom();
  const std::vector<std::string> beforeRecipients{"önce@x"};
  const struct {
    const char* What;
    std::string Name;
    std::optional<TValue> Value;  // nullopt: the value is missing
    TSMTPSettings Expected;
    std::vector<std::string> ExpectedRecipients;
  } cases[] = {
      {"mistyped Port",
       "Port",
       TValue("2525"),
       {"smtp.kayıt", 465, "kullanıcı", "Şifre ğü 1", true, false, "yedek@örnek", "Yedek Sunucusu"},
       beforeRecipients},
      {"missing UseTLS",
       "UseTLS",
       std::nullopt,
       {"smtp.kayıt", 2525, "u", "p", true, false, "yedek@örnek", "Yedek Sunucusu"},
       beforeRecipients},
      {"mistyped FromName",
       "FromName",
       TValue(3),
       {"smtp.kayıt", 2525, "u", "p", true, false, "f@k", "Yedek Sunucusu"},
       beforeRecipients},
      // The list is emptied before its count is read.
      {"missing count",
       "RecipientCount",
       std::nullopt,
       {"smtp.kayıt", 2525, "u", "p", true, false, "f@k", "Kayıt"},
       {}},
      // A missing string reads as empty, a missing recipient as an empty entry.
      {"missing Username",
       "Username",
       std::nullopt,
       {"smtp.kayıt", 2525, "", "p", true, false, "f@k", "Kayıt"},
       {"r0@k", "r1@k"}},
      {"missing Recipient1",
       "Recipient1",
       std::nullopt,
       {"smtp.kayıt", 2525, "u", "p", true, false, "f@k", "Kayıt"},
       {"r0@k", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    TRegistry(RegistryFile()).DeleteKey(EmailKey);
    std::map<std::string, TValue> values = full;
    if (c.Value)
      values[c.Name] = *c.Value;
    else
      values.erase(c.Name);
    Store(values);
    TEmailNotifier notifier(RegistryFile());
    notifier.SetSettings(before);
    notifier.AddRecipient(beforeRecipients[0]);
    EXPECT_NO_THROW(notifier.LoadSettings());
    EXPECT_EQ(notifier.Settings(), c.Expected);
    EXPECT_EQ(notifier.Recipients(), c.ExpectedRecipients);
  }
}

TEST_F(EmailNotifierTest, ScrambledPasswordIsConvertedOnTheFirstLoadOnly) {
  // "Şifre-ğüıöç" in the older scrambled form, written by the older versions' encoder.
  Store({{"Server", "s"}, {"Port", 25}, {"Username", "u"}, {"Password", "x7nCrcKHwox+FcWKwo7Gvlou"}});
  TEmailNotifier first(RegistryFile());
  first.LoadSettings();
  EXPECT_EQ(first.Settings().Password, "Şifre-ğüıöç");
  const std::string converted = StoredString("Password");
  EXPECT_TRUE(StartsText("dpapi:", converted));
  EXPECT_EQ(UnprotectString(converted), "Şifre-ğüıöç");

  TEmailNotifier second(RegistryFile());
  second.LoadSettings();
  EXPECT_EQ(second.Settings().Password, "Şifre-ğüıöç");
  EXPECT_EQ(StoredString("Password"), converted) << "the protected form is not written again";

  // A value protected under another user's key reads as no password and is left as it is.
  std::string foreign;
  {
    TScopedEnv other("APPDATA", (FDir / "other").string());
    foreign = ProtectString("başkası");
  }
  Store({{"Password", foreign}});
  TEmailNotifier third(RegistryFile());
  third.LoadSettings();
  EXPECT_EQ(third.Settings().Password, "");
  EXPECT_EQ(StoredString("Password"), foreign);
}

TEST_F(EmailNotifierTest, RecipientListIgnoresBlanksAndCaseDuplicates) {
  TEmailNotifier notifier(RegistryFile());
  for (const char* r : {"ali@örnek.com", "  ", "", "ALI@örnek.com", " veli@x ", " VELI@x "}) notifier.AddRecipient(r);
  EXPECT_EQ(notifier.Recipients(), (std::vector<std::string>{"ali@örnek.com", " veli@x "}));
  notifier.RemoveRecipient("Ali@Örnek.com");  // only ASCII letters fold: not the same address
  EXPECT_EQ(notifier.Recipients().size(), 2u);
  notifier.RemoveRecipient("ALI@örnek.com");
  EXPECT_EQ(notifier.Recipients(), (std::vector<std::string>{" veli@x "}));
  notifier.ClearRecipients();
  EXPECT_TRUE(notifier.Recipients().empty());
}

TEST_F(EmailNotifierTest, SettingsDialogChecksInOrder) {
  const struct {
    const char* Server;
    const char* Port;
    const char* From;
    const char* Message;  // "" when the checks pass
    TEmailSettingsField Field;
  } cases[] = {
      {" ", "abc", "", "SMTP sunucusu boş olamaz!", efServer},
      {"s", "0", "", "Geçersiz port numarası!", efPort},
      {"s", "-25", "f@x", "Geçersiz port numarası!", efPort},
      {"s", "abc", "f@x", "Geçersiz port numarası!", efPort},
      {"s", "", "f@x", "Geçersiz port numarası!", efPort},
      {"s", "25x", "f@x", "Geçersiz port numarası!", efPort},
      {"s", "99999999999", "f@x", "Geçersiz port numarası!", efPort},
      {"s", "587", "  ", "Gönderen e-posta adresi boş olamaz!", efFromEmail},
      {"s", "587", "f@x", "", efNone},
  };
  for (const auto& c : cases) {
    TEmailSettingsFields fields;
    fields.Server = c.Server;
    fields.Port = c.Port;
    fields.FromEmail = c.From;
    const auto problem = CheckEmailSettings(fields);
    EXPECT_EQ(problem ? problem->Message : "", c.Message) << c.Port;
    if (problem) {
      EXPECT_EQ(problem->Field, c.Field);
    }
  }

  // The Ekle button trims, wants an "@" anywhere and no listed address in other letter case.
  std::vector<std::string> list;
  const std::pair<const char*, const char*> additions[] = {
      {"  ", "Lütfen e-posta adresi girin!"},
      {"ali", "Geçersiz e-posta adresi!"},
      {" @ ", ""},
      {" Ali@X.com ", ""},
      {"ali@x.COM", "Bu e-posta adresi zaten listede!"},
  };
  for (const auto& [typed, message] : additions) {
    const auto problem = AddRecipientField(list, typed);
    EXPECT_EQ(problem ? problem->Message : "", message) << typed;
  }
  EXPECT_EQ(list, (std::vector<std::string>{"@", "Ali@X.com"}));

  // Saved as typed: texts untrimmed, a port that cannot be read as 587; an empty list saves a count of 0.
  TEmailSettingsFields fields;
  fields.Server = " smtp.x ";
  fields.Port = "on";
  fields.FromEmail = "f@x";
  TEmailNotifier notifier(RegistryFile());
  notifier.AddRecipient("eski@x");
  ApplyEmailSettings(notifier, fields);
  TEmailNotifier loaded(RegistryFile());
  loaded.LoadSettings();
  EXPECT_EQ(loaded.Settings().Server, " smtp.x ");
  EXPECT_EQ(loaded.Settings().Port, 587);
  EXPECT_TRUE(loaded.Recipients().empty());
}

TEST_F(EmailNotifierTest, TestMailNeedsARecipientAndReportsTheSendError) {
  TEmailSettingsFields fields;
  EXPECT_EQ(SendTestMail(fields, 0).Message, "Test için en az bir alıcı e-posta adresi ekleyin!");
  fields.Recipients = {"a@x", "b@x"};
  fields.Server = "";
  const TTestMailOutcome outcome = SendTestMail(fields, 0);
  EXPECT_FALSE(outcome.Sent);
  EXPECT_EQ(outcome.Message, "Test e-postası gönderilemedi!\r\n\r\nHata: SMTP sunucusu belirtilmemiş!");
}

TEST(MailMessageTest, HeaderWordsStayShortAndSplitBetweenCharacters) {
  const std::string subject = "Yedekleme Başarılı: Çok uzun bir görev adı ğüşıöç ĞÜŞİÖÇ 😀 ve daha fazlası";
  const std::string encoded = EncodeHeaderWords(subject);
  std::string decoded;
  for (const std::string& line : SplitString(encoded, '\n')) {
    const std::string word = Trim(line);
    EXPECT_LE(word.size(), 75u);
    ASSERT_TRUE(StartsText("=?UTF-8?B?", word) && EndsText("?=", word)) << word;
    const TBytes bytes = Base64ToBytes(word.substr(10, word.size() - 12));
    const std::string piece(bytes.begin(), bytes.end());
    // Each word holds whole characters: it does not end inside a UTF-8 sequence.
    EXPECT_NE(static_cast<uint8_t>(piece.back()) & 0xC0, 0xC0) << word;
    EXPECT_NE(static_cast<uint8_t>(piece.front()) & 0xC0, 0x80) << word;
    decoded += piece;
  }
  EXPECT_EQ(decoded, subject);
  EXPECT_EQ(NormalizeLineBreaks("a\r\nb\nc\rd\r\n"), "a\r\nb\r\nc\r\nd\r\n");
}

}  // namespace
}  // namespace velkor
