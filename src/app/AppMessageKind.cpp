#include "app/AppMessageKind.h"

#include <initializer_list>

#include "util/StringUtils.h"

namespace velkor {

namespace {

bool ContainsAnyKeyword(std::string_view text, std::initializer_list<std::string_view> keywords) {
  for (std::string_view keyword : keywords)
    if (PosText(keyword, text) != std::string_view::npos) return true;
  return false;
}

}  // namespace

TAppMessageKind ClassifyMessageKind(std::string_view text) {
  if (ContainsAnyKeyword(text, {"emin misiniz", "devam etmek istiyor musunuz", "ister misiniz", "silinsin mi"}))
    return amQuestion;
  if (ContainsAnyKeyword(text, {"başarıyla", "başarılı", "tamamlandı", "doğrulandı", "kaydedildi", "gönderildi"}))
    return amSuccess;
  if (ContainsAnyKeyword(
          text, {"hata", "geçersiz", "boş olamaz", "eşleşmiyor", "yanlış", "gönderilemedi", "çözülemedi", "başarısız"}))
    return amError;
  if (ContainsAnyKeyword(text, {"uyarı", "dikkat", "iptal edildi", "yetersiz", "seçin", "gerekli"})) return amWarning;
  return amInfo;
}

std::string MessageKindTitle(TAppMessageKind kind) {
  switch (kind) {
    case amSuccess: return "Başarılı";
    case amWarning: return "Uyarı";
    case amError: return "Hata";
    case amQuestion: return "Onay";
    default: return "Bilgilendirme";
  }
}

}  // namespace velkor
