#include "app/LongPathSupport.h"

#include <exception>

#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "util/DateTime.h"

namespace velkor {

namespace {

constexpr char OffQuestion[] =
    "Windows uzun dosya yolu desteği şu anda kapalı.\r\n\r\nBu durum derin klasörlerde, USB/NAS yollarında ve uzun "
    "dosya adlarında sorun çıkarabilir.\r\n\r\nŞimdi yönetici izni ile etkinleştirmek ister misiniz?";
constexpr char StartedMessage[] =
    "Yönetici onayından sonra LongPathsEnabled ayarı uygulanacaktır.\r\nDeğişikliğin tam etkili olması için "
    "uygulamayı yeniden başlatın; gerekirse Windows'u yeniden başlatın.";
constexpr char NotStartedMessage[] =
    "Yönetici komutu başlatılamadı.\r\nLong path registry ayarı otomatik uygulanamadı.";

std::string Quoted(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

void RemoveQuietly(const std::filesystem::path& file) {
  std::error_code ec;
  std::filesystem::remove(file, ec);
}

}  // namespace

std::string LongPathRegistryFileBytes() {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\FileSystem]\r\n"
      "\"LongPathsEnabled\"=dword:00000001\r\n";
  // The text is ASCII, so each character is one UTF-16 unit.
  std::string bytes = "\xFF\xFE";
  for (const char c : text) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

std::string LongPathScriptText(const std::filesystem::path& registryFile) {
  return "@echo off\r\n"
         "reg import " +
         Quoted(registryFile) +
         "\r\n"
         "set EXITCODE=%ERRORLEVEL%\r\n"
         "del /f /q " +
         Quoted(registryFile) +
         " >nul 2>nul\r\n"
         "del /f /q \"%~f0\" >nul 2>nul\r\n"
         "exit /b %EXITCODE%\r\n";
}

bool IsLongPathSupportEnabled(ILongPathSwitch& longPaths, const TAddLog& addLog) {
  try {
    return longPaths.ReadLongPathsEnabled();
  } catch (const std::exception& e) {
    addLog(std::string("Long path registry durumu okunamadi: ") + e.what());
    return false;
  }
}

void CheckLongPathSupport(ILongPathSwitch& longPaths, IAppPrompts& prompts, IClock& clock, const TAddLog& addLog) {
  if (IsLongPathSupportEnabled(longPaths, addLog)) return addLog("Windows long path desteği etkin.");
  addLog("Windows long path desteği kapalı bulundu.");
  if (!prompts.AskQuestion(OffQuestion, amWarning)) return addLog("Long path desteği kullanıcı tarafından ertelendi.");
  if (EnableLongPathSupportElevated(longPaths, clock, addLog)) {
    addLog("Long path registry ayarı için yükseltilmiş komut başlatıldı.");
    ShowAutoMessage(prompts, StartedMessage);
  } else {
    addLog("Long path registry ayarı için yükseltilmiş komut başlatılamadı.");
    ShowAutoMessage(prompts, NotStartedMessage);
  }
}

bool EnableLongPathSupportElevated(ILongPathSwitch& longPaths, IClock& clock, const TAddLog& addLog) {
  const std::filesystem::path base =
      GetUserTempDirectory() / ("QeltBackup_LongPaths_" + FormatDateTime("yyyymmddhhnnsszzz", clock.Now()));
  std::filesystem::path registryFile = base;
  registryFile += ".reg";
  std::filesystem::path scriptFile = base;
  scriptFile += ".cmd";
  try {
    WriteFileAtomic(registryFile, LongPathRegistryFileBytes());
    WriteFileAtomic(scriptFile, LongPathScriptText(registryFile));
    if (longPaths.StartElevated("cmd.exe", "/c " + Quoted(scriptFile))) return true;
  } catch (const std::exception& e) {
    addLog(std::string("Long path registry dosyası hazırlanamadı: ") + e.what());
  }
  RemoveQuietly(registryFile);
  RemoveQuietly(scriptFile);
  return false;
}

}  // namespace velkor
