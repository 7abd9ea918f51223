#pragma once
// The general settings page's rules and its save, shared by the window's "Ayarları Kaydet" and velkor-cli's
// settings command. Main thread only.
#include <filesystem>
#include <string_view>

#include "config/BackupModel.h"
#include "config/ConfigManager.h"
#include "crypto/EncryptionManager.h"

namespace velkor {

inline constexpr char SettingsSavedMessage[] = "Tüm ayarlar ve görevler kaydedildi.";

// "Hız limiti (MB/sn, 0 = limitsiz)" as typed: the trimmed text read as a decimal integer; 0 when it is not one or
// when it is negative.
int SpeedLimitFromText(std::string_view text);

// Saves the settings once the front end has written them (and the editor's task) into `config`, in this order:
// the stored encryption password follows the remember setting (the one held in `encryption` is stored, or the
// stored one is removed), config.json is written, and `startupProgram` is registered to start with the session, or
// the registration removed. Errors of the first two steps reach the caller, and the registration is then left as
// it was; the registration itself never fails loudly.
void SaveGeneralSettings(const TBackupConfig& config, TConfigManager& manager, TEncryptionManager* encryption,
                         const std::filesystem::path& startupProgram);

}  // namespace velkor
