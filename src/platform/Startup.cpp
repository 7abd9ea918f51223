#include "platform/Startup.h"

#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"

namespace velkor {

namespace {

// Quotes an Exec argument as the desktop-entry format asks: inside double quotes, the characters " ` $ \ are
// escaped with a backslash, and then every backslash is doubled again at the string-value level.
std::string QuoteExecArgument(const std::string& arg) {
  std::string quoted = "\"";
  for (char c : arg) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string escaped;
  for (char c : quoted) {
    if (c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace

std::filesystem::path StartWithSessionEntryPath() { return GetAutostartDirectory() / "velkor.desktop"; }

void RegisterStartWithSession(const std::filesystem::path& executable) {
  try {
    std::error_code ec;
    std::filesystem::create_directories(GetAutostartDirectory(), ec);
    if (ec) return;
    const std::string entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Velkor\n"
        "Comment=Velkor - Profesyonel Yedekleme Çözümü\n"
        "Exec=" +
        QuoteExecArgument(executable.string()) +
        " /tray\n"
        "Icon=velkor\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n";
    WriteFileAtomic(StartWithSessionEntryPath(), entry);
  } catch (const std::exception&) {
  }
}

void UnregisterStartWithSession() {
  std::error_code ec;
  std::filesystem::remove(StartWithSessionEntryPath(), ec);
}

}  // namespace velkor
