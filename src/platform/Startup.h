#pragma once
// Start-with-session registration: an XDG autostart entry "velkor.desktop" that starts the program in the tray.
// Failures are silent by design: the setting is a convenience and must never block saving the settings.
#include <filesystem>

namespace velkor {

// Writes the autostart entry running `executable` with "/tray". Nothing happens when it cannot be written.
void RegisterStartWithSession(const std::filesystem::path& executable);
// Removes the entry when it exists.
void UnregisterStartWithSession();
std::filesystem::path StartWithSessionEntryPath();

}  // namespace velkor
