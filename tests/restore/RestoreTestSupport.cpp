#include "RestoreTestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "engine/BackupEngine.h"
#include "platform/MainThread.h"
#include "util/StringUtils.h"

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
  nlohmann::json layout;
  layout["entries"] = nlohmann::json::array();
  for (const auto& entry : entries)
    layout["entries"].push_back(
        {{"name", entry.Name},
         {"hex", Hex(entry.Data)},
         {"symlink", entry.SymbolicLink},
         {"cp437", entry.Cp437Name},
         {"windows", entry.WindowsHost},
         {"mode", entry.Mode ? nlohmann::json(*entry.Mode) : nlohmann::json()},
         {"zeros", entry.Zeros},
         {"declared_size", entry.DeclaredSize ? nlohmann::json(*entry.DeclaredSize) : nlohmann::json()}});
  layout["declared_size"] = options.DeclaredSize ? nlohmann::json(*options.DeclaredSize) : nlohmann::json();
  layout["damage"] = options.Damage.empty() ? nlohmann::json() : nlohmann::json(options.Damage);
  const fs::path layoutPath = zipPath.string() + ".json";
  WriteFile(layoutPath, layout.dump());
  std::string output;
  const int status = RunCommand("/usr/bin/python3 " + ShellQuote(VELKOR_TEST_DATA_DIR "/zip_fixture.py") + " " +
                                    ShellQuote(layoutPath.string()) + " " + ShellQuote(zipPath.string()),
                                &output);
  fs::remove(layoutPath);
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

namespace {

// A full run of the real engine over `sources`, on its own worker thread, with this thread pumping its hand-overs.
fs::path RunEngine(const std::vector<std::string>& sources, const fs::path& destination, bool compress,
                   const std::string& password, std::vector<std::string>* failedFiles) {
  TQueuedMainThread mainThread;
  TBackupEngine engine(mainThread);
  std::optional<std::pair<bool, std::string>> completion;
  engine.SourceFolders() = sources;
  engine.SetDestinationFolder(destination.string());
  engine.SetBackupNamePrefix("Günlük");
  engine.SetCompressBackup(compress);
  engine.SetEncryptBackup(!password.empty());
  engine.SetEncryptionPassword(password);
  engine.SetOnComplete([&](bool success, const std::string& message) { completion.emplace(success, message); });
  engine.StartBackup();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!completion && std::chrono::steady_clock::now() < deadline)
    if (mainThread.WaitForWork(10)) mainThread.ProcessPending();
  EXPECT_TRUE(completion && completion->first) << (completion ? completion->second : "no completion");
  if (failedFiles)
    *failedFiles = engine.FailedFiles();
  else
    EXPECT_TRUE(engine.FailedFiles().empty()) << engine.FailedFiles().front();
  return engine.LastBackupOutputPath();
}

}  // namespace

fs::path BuildBackupOutput(TOutputKind kind, const TFileTree& tree, const fs::path& destination,
                           const std::string& password, std::vector<std::string>* failedFiles,
                           const std::map<std::string, uint32_t>& modes) {
  if (kind == okZipBackslashNames) {
    std::vector<TZipFixtureEntry> entries;
    for (const auto& [relative, content] : tree)
      entries.push_back({.Name = ReplaceAll(relative, "/", "\\"), .Data = content, .WindowsHost = true});
    const fs::path zip = destination / "Günlük_2024-05-01_10-00-00.zip";
    WriteZipFixture(zip, entries);
    return zip;
  }
  // The tree's first path parts name the source folders.
  const fs::path sourceRoot = BackupSourceRoot(destination);
  WriteTree(sourceRoot, tree);
  for (const auto& [relative, mode] : modes) fs::permissions(sourceRoot / relative, fs::perms(mode));
  std::set<std::string> sources;
  for (const auto& entry : tree) sources.insert((sourceRoot / fs::path(entry.first).begin()->string()).string());
  const bool encrypt = kind == okEncryptedFolder || kind == okEncryptedZip;
  return RunEngine({sources.begin(), sources.end()}, destination, kind == okZip || kind == okEncryptedZip,
                   encrypt ? password : "", failedFiles);
}

std::string ShownName(const std::string& name) { return ReplaceAll(name, std::string_view("\0", 1), "\\0"); }

TScopedUmask::TScopedUmask(unsigned mask) : FOld(::umask(static_cast<mode_t>(mask))) {}
TScopedUmask::~TScopedUmask() { ::umask(static_cast<mode_t>(FOld)); }

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
