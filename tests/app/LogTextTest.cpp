#include <gtest/gtest.h>

#include "app/AppMessageKind.h"
#include "app/LogText.h"

namespace velkor {
namespace {

TEST(LogText, UnescapesUnicodeSequences) {
  const struct {
    const char* Text;
    const char* Expected;
  } cases[] = {
      {"\\u0130stanbul", "İstanbul"},
      {"Klas\\u00f6r \\u00E7", "Klasör ç"},
      {"a\\u0041b", "aAb"},
      {"\\ud83d\\ude00", "😀"},             // a surrogate pair is one character
      {"x\\ud83dy", "x\xEF\xBF\xBDy"},     // a lone surrogate cannot stand in UTF-8
      {"\\u00e", "\\u00e"},                // fewer than four characters
      {"\\u00g7 kalır", "\\u00g7 kalır"},  // not hexadecimal
      {"\\U00e7", "\\U00e7"},              // only a small u
      {"C:\\users\\u00e7", "C:\\usersç"},  // "\users" is no escape; the one after it is
      {"\\\\u00e7", "\\ç"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(UnescapeUnicodeSequences(c.Text), c.Expected) << c.Text;
}

TEST(LogText, LineFormat) {
  EXPECT_EQ(FormatLogLine(EncodeDateTime(2025, 3, 3, 14, 5, 9), "Klas\\u00f6r", TurkishFormatSettings()),
            "[03.03.2025 14:05:09] Klasör");
}

TEST(AppMessageKind, ClassifiesByKeywords) {
  const struct {
    const char* Text;
    TAppMessageKind Kind;
  } cases[] = {
      {"Lütfen önce bir görev seçin!", amWarning},
      {"Şifreleme şifresi başarıyla kaydedildi!", amSuccess},
      {"Seçili log kaydı silinsin mi?", amQuestion},
      {"HATA oluştu", amError},
      {"Yedekleme tamamlandı ama hata var", amSuccess},  // success is tested before error
      {"Yükleme başarısız", amError},
      {"İPTAL EDİLDİ", amInfo},  // the dotted capital İ is not folded
      {"UYARI", amInfo},         // capital I folds to the dotted i
      {"Şifreleme parolası girilmediği için işlem iptal edildi.", amWarning},
      {"Program zaten çalışıyor.", amInfo},
  };
  for (const auto& c : cases) EXPECT_EQ(ClassifyMessageKind(c.Text), c.Kind) << c.Text;
  EXPECT_EQ(MessageKindTitle(amWarning), "Uyarı");
}

}  // namespace
}  // namespace velkor
