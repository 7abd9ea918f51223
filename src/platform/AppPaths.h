#pragma once
// Where the program keeps its files on this system.
#include <filesystem>
#include <string>

namespace velkor {

// The per-user application data root: $APPDATA when set, else $XDG_CONFIG_HOME, else ~/.config.
std::filesystem::path GetAppDataRoot();
// The folder of config.json and history.json: <root>/Pardex.
std::filesystem::path GetConfigDirectory();
// The per-user registry store and the secret-protection key: <root>/QeltBackup/...
std::filesystem::path GetRegistryFile();
std::filesystem::path GetSecretKeyFile();
// The user's temporary folder: $TMPDIR, else /tmp.
std::filesystem::path GetUserTempDirectory();
// The folder of session autostart entries: $XDG_CONFIG_HOME/autostart, else ~/.config/autostart.
std::filesystem::path GetAutostartDirectory();
// Full path of the running program.
std::filesystem::path GetExecutablePath();

}  // namespace velkor
