#include "platform/AppPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace velkor {

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::filesystem::path HomeDirectory() {
  std::string home = Env("HOME");
  if (home.empty()) {
    if (const passwd* pw = getpwuid(getuid())) home = pw->pw_dir;
  }
  return home.empty() ? std::filesystem::path("/tmp") : std::filesystem::path(home);
}

std::filesystem::path XdgConfigHome() {
  const std::string xdg = Env("XDG_CONFIG_HOME");
  return xdg.empty() ? HomeDirectory() / ".config" : std::filesystem::path(xdg);
}

}  // namespace

std::filesystem::path GetAppDataRoot() {
  const std::string appData = Env("APPDATA");
  return appData.empty() ? XdgConfigHome() : std::filesystem::path(appData);
}

std::filesystem::path GetConfigDirectory() { return GetAppDataRoot() / "Pardex"; }
std::filesystem::path GetRegistryFile() { return GetAppDataRoot() / "QeltBackup" / "registry.json"; }
std::filesystem::path GetSecretKeyFile() { return GetAppDataRoot() / "QeltBackup" / "secret.key"; }

std::filesystem::path GetUserTempDirectory() {
  const std::string tmp = Env("TMPDIR");
  return tmp.empty() ? std::filesystem::path("/tmp") : std::filesystem::path(tmp);
}

std::filesystem::path GetAutostartDirectory() { return XdgConfigHome() / "autostart"; }

std::filesystem::path GetExecutablePath() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : p;
}

}  // namespace velkor
