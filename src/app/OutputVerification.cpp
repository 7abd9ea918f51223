#include "app/OutputVerification.h"

#include "engine/BackupChecksum.h"
#include "engine/LongPathUtils.h"
#include "util/StringUtils.h"

namespace velkor {

TVerifyOutcome VerifyHistoryOutput(const TBackupHistoryItem& item) {
  TVerifyOutcome outcome;
  outcome.Path = Trim(item.OutputPath);
  outcome.Recorded = item.Checksum;
  if (outcome.Path.empty()) return outcome;
  if (StartsText("s3://", outcome.Path)) {
    outcome.Verdict = vvCloud;
    return outcome;
  }
  if (item.Checksum.empty()) {
    outcome.Verdict = vvNoChecksum;
    return outcome;
  }
  const bool folder = LongDirectoryExists(outcome.Path);
  if (!folder && !LongFileExists(outcome.Path)) {
    outcome.Verdict = vvMissing;
    return outcome;
  }
  outcome.Actual = folder ? ComputeFolderChecksum(outcome.Path) : ComputeFileChecksum(outcome.Path);
  if (outcome.Actual.empty())
    outcome.Verdict = vvUnreadable;
  else
    outcome.Verdict = SameText(outcome.Actual, item.Checksum) ? vvMatch : vvMismatch;
  return outcome;
}

TVerifyReport VerifyOutcomeReport(const TVerifyOutcome& o) {
  const std::string output = "\r\nÇıktı: " + o.Path;
  switch (o.Verdict) {
    case vvNoOutput: return {"Bu kayıt için doğrulanacak bir yedek çıktısı yok.", amWarning, ""};
    case vvCloud: return {"Yedek çıktısı bulutta; bu bilgisayardan doğrulanamaz." + output, amWarning, ""};
    case vvNoChecksum:
      return {"Bu kayıt için SHA-256 değeri kaydedilmemiş; doğrulama yapılamaz." + output, amWarning, ""};
    case vvMissing:
      return {"Doğrulama yapılamadı: yedek çıktısı bulunamadı." + output, amError,
              "Doğrulama: yedek çıktısı bulunamadı: " + o.Path};
    case vvUnreadable:
      return {"Doğrulama yapılamadı: yedek çıktısı okunamadı." + output, amError,
              "Doğrulama: yedek çıktısı okunamadı: " + o.Path};
    case vvMismatch:
      return {"Doğrulama başarısız: yedek çıktısı kayıttaki SHA-256 değeriyle eşleşmiyor!" + output +
                  "\r\nKayıtlı SHA-256: " + o.Recorded + "\r\nŞimdiki SHA-256: " + o.Actual,
              amError, "Doğrulama başarısız, SHA-256 eşleşmiyor: " + o.Path};
    case vvMatch: break;
  }
  return {
      "Doğrulama başarılı: yedek çıktısı kayıttaki SHA-256 değeriyle eşleşiyor." + output + "\r\nSHA-256: " + o.Actual,
      amSuccess, "Doğrulama başarılı, SHA-256 eşleşti: " + o.Path};
}

}  // namespace velkor
