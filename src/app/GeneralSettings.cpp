#include "app/GeneralSettings.h"

#include <charconv>

#include "platform/Startup.h"
#include "util/StringUtils.h"

namespace velkor {

int SpeedLimitFromText(std::string_view text) {
  const std::string trimmed = Trim(text);
  const char* begin = trimmed.data();
  const char* end = begin + trimmed.size();
  if (begin != end && *begin == '+') ++begin;
  int value = 0;
  const auto [stop, error] = std::from_chars(begin, end, value);
  if (begin == end || error != std::errc() || stop != end) return 0;
  return value < 0 ? 0 : value;
}

void SaveGeneralSettings(const TBackupConfig& config, TConfigManager& manager, TEncryptionManager* encryption,
                         const std::filesystem::path& startupProgram) {
  if (encryption != nullptr) {
    if (!config.CacheEncryptionPassword)
      encryption->ClearPasswordFromRegistry();
    else if (!encryption->GetPassword().empty())
      encryption->SavePasswordToRegistry(encryption->GetPassword());
  }
  manager.SaveConfig(config);
  if (config.StartWithWindows)
    RegisterStartWithSession(startupProgram);
  else
    UnregisterStartWithSession();
}

}  // namespace velkor
