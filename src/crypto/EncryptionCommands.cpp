#include "crypto/EncryptionCommands.h"

#include <exception>

#include "util/StringUtils.h"

namespace velkor {

TCommandOutcome ApplyEncryptionPassword(TEncryptionManager& manager, const std::string& password, bool cachePassword) {
  if (password.empty()) return {};
  manager.SetPassword(password);
  if (cachePassword)
    manager.SavePasswordToRegistry(password);
  else
    manager.ClearPasswordFromRegistry();
  return {true,
          "Şifreleme şifresi başarıyla kaydedildi!\r\n\r\nArtık yedeklemeler program içi parola koruması ile .mbe "
          "uzantısında saklanacak.",
          "Şifreleme şifresi güncellendi"};
}

TCommandOutcome AcceptDecryptPassword(const std::string& entered) {
  if (entered.empty()) return {false, "Şifre girilmediği için işlem iptal edildi.", ""};
  return {true, "", ""};
}

void KeepDecryptPassword(TEncryptionManager& manager, const std::string& entered, bool cachePassword) {
  manager.SetPassword(entered);
  if (cachePassword) manager.SavePasswordToRegistry(entered);
}

std::filesystem::path DecryptToolOutputPath(const std::filesystem::path& chosenFile) {
  if (LowerCaseAscii(chosenFile.extension().string()) == ".mbe") {
    std::filesystem::path output = chosenFile;
    return output.replace_extension();
  }
  return chosenFile.string() + ".decrypted";
}

TCommandOutcome RunDecryptTool(TEncryptionManager& manager, const std::filesystem::path& chosenFile) {
  return RunDecryptTool(manager, chosenFile, DecryptToolOutputPath(chosenFile));
}

TCommandOutcome RunDecryptTool(TEncryptionManager& manager, const std::filesystem::path& chosenFile,
                               const std::filesystem::path& output) {
  try {
    manager.DecryptFile(chosenFile, output);
  } catch (const std::exception& e) {
    return {false,
            std::string("Şifre çözme hatası: ") + e.what() + "\r\n" + "Lütfen şifrenin doğru olduğundan emin olun.",
            ""};
  }
  return {true, "Dosya başarıyla çözüldü!\r\nÇözülen dosya: " + output.string(),
          "Dosya şifresi çözüldü: " + chosenFile.filename().string()};
}

}  // namespace velkor
