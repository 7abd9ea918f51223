#include "RestoreTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "crypto/EncryptionManager.h"

namespace velkor::test {

namespace fs = std::filesystem;

namespace {

std::string Hex(const std::string& data) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(data.size() * 2);
  for (unsigned char c : data) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

}  // namespace

void WriteZipFixture(const fs::path& zipPath, const std::vector<TZipFixtureEntry>& entries,
                     const TZipFixtureOptions& options) {
  nlohmann::json spec;
  spec["entries"] = nlohmann::json::array();
  for (const auto& entry : entries)
    spec["entries"].push_back({{"name", entry.Name}, {"hex", Hex(entry.Data)}, {"symlink", entry.SymbolicLink}});
  spec["declared_size"] = options.DeclaredSize ? nlohmann::json(*options.DeclaredSize) : nlohmann::json();
  spec["damage"] = options.Damage.empty() ? nlohmann::json() : nlohmann::json(options.Damage);
  const fs::path specPath = zipPath.string() + ".json";
  WriteFile(specPath, spec.dump());
  std::string output;
  const int status = RunCommand("/usr/bin/python3 " + ShellQuote(VELKOR_TEST_DATA_DIR "/zip_fixture.py") + " " +
                                    ShellQuote(specPath.string()) + " " + ShellQuote(zipPath.string()),
                                &output);
  fs::remove(specPath);
  ASSERT_EQ(status, 0) << output;
}

const char* OutputKindName(TOutputKind kind) {
  switch (kind) {
    case okFolder: return "Folder";
    case okEncryptedFolder: return "EncryptedFolder";
    case okZip: return "Zip";
    case okZipBackslashNames: return "ZipBackslashNames";
    case okEncryptedZip: return "EncryptedZip";
  }
  return "?";
}

fs::path BuildBackupOutput(TOutputKind kind, const TFileTree& tree, const fs::path& destination,
                           const std::string& password) {
  const fs::path base = destination / "Günlük_2024-05-01_10-00-00";
  TEncryptionManager manager(destination / "registry.json");
  manager.SetPassword(password);
  if (kind == okFolder || kind == okEncryptedFolder) {
    if (kind == okFolder) {
      WriteTree(base, tree);
    } else {
      const fs::path plain = destination / "plain";
      WriteTree(plain, tree);
      for (const auto& [relative, content] : tree) manager.EncryptFile(plain / relative, base / (relative + ".mbe"));
      fs::remove_all(plain);
    }
    return base;
  }
  std::vector<TZipFixtureEntry> entries;
  for (const auto& [relative, content] : tree) {
    std::string name = relative;
    if (kind == okZipBackslashNames) std::replace(name.begin(), name.end(), '/', '\\');
    entries.push_back({name, content});
  }
  const fs::path zip = base.string() + ".zip";
  WriteZipFixture(zip, entries);
  if (kind != okEncryptedZip) return zip;
  const fs::path mbe = base.string() + ".mbe";
  manager.EncryptFile(zip, mbe);
  fs::remove(zip);
  return mbe;
}

std::set<std::string> ListEverything(const fs::path& root) {
  std::set<std::string> paths;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const std::string relative = fs::relative(it->path(), root).generic_string();
    paths.insert(it->is_directory() && !it->is_symlink() ? relative + "/" : relative);
  }
  return paths;
}

}  // namespace velkor::test
