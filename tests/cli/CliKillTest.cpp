// velkor-cli killed at chosen points of a real run, then run again. A preloaded library (preload/kill_point.c) sends
// SIGKILL at the N-th call of a libc function on a path it names, so each point is reached the same way every time.
// Whatever a kill leaves, nothing half done may look like a backup, and the next run clears the rest.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>

#include "CliHarness.h"
#include "crypto/EncryptionManager.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

constexpr const char* RemovedLine = "Yarım kalmış bir işlemden kalan geçici öğe silindi: ";

enum TOutputKind { okZip, okEncryptedZip, okFolder };

struct TKillCase {
  const char* Name;
  TOutputKind Kind;
  bool OlderSet;     // a finished run first and a limit of one set, so the killed run's completion removes it
  const char* Call;  // what kill_point.c watches
  const char* Path;  // text the call's path contains; "/dest/" is the task's destination
  int At;
};

void PrintTo(const TKillCase& c, std::ostream* os) { *os << c.Name; }

class CliKill : public test::CliHarness, public ::testing::WithParamInterface<TKillCase> {
protected:
  test::TFileTree FSources;

  fs::path Destination() const { return FDir / "dest"; }

  void SetUp() override {
    // Incompressible content, so the archive and its encryption take several writes each.
    std::mt19937 random(7);
    for (int i = 1; i <= 6; ++i) {
      std::string content(256 * 1024, '\0');
      for (char& c : content) c = static_cast<char>(random());
      FSources["dosya" + std::to_string(i) + ".bin"] = content;
    }
    FSources["alt/not.txt"] = "küçük bir dosya";
    test::WriteTree(FDir / "src" / "Docs", FSources);
    const TKillCase& c = GetParam();
    SaveTasks({[&](TBackupTask& task) {
      Task("Kasa")(task);
      task.CompressBackup = c.Kind != okFolder;
      task.EncryptBackup = c.Kind == okEncryptedZip;
      task.MaxBackupsToKeep = c.OlderSet ? 1 : 0;
    }});
    if (c.Kind == okEncryptedZip) TEncryptionManager().SavePasswordToRegistry("kasa parolası");
  }

  TResult RunKilled(const TKillCase& c) { return RunCliKilledAt({"run", "Kasa"}, c.Call, c.Path, c.At); }

  // Why `path` is not a whole backup of the sources; empty when it is.
  std::string Incomplete(const fs::path& path) {
    test::TFileTree expected;
    for (const auto& [name, content] : FSources) expected["Docs/" + name] = content;
    if (fs::is_directory(path)) return test::ReadTree(path) == expected ? "" : "the folder is not the sources";
    fs::path archive = path;
    if (EndsText(".mbe", path.string())) {
      archive = FDir / "check" / (path.filename().string() + ".zip");
      fs::create_directories(archive.parent_path());
      const TResult decrypted = RunCli({"decrypt", path.string(), archive.string()});
      if (decrypted.Exit != 0) return "it does not decrypt: " + decrypted.Err;
    } else if (!EndsText(".zip", path.string())) {
      return "not an output";
    }
    const fs::path unpacked = FDir / "check" / (path.filename().string() + ".d");
    fs::remove_all(unpacked);
    std::string output;
    // extractall checks every entry's CRC.
    if (test::RunCommand(
            "/usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' " +
                test::ShellQuote(archive.string()) + " " + test::ShellQuote(unpacked.string()),
            &output) != 0)
      return "the archive is damaged: " + output;
    return test::ReadTree(unpacked) == expected ? "" : "the archive does not hold the sources";
  }

  // A name the engine gives a finished output: the task's name, the run's time, a number when taken, the extension.
  static bool IsFinalName(std::string name) {
    for (const char* extension : {".zip", ".mbe"})
      if (EndsText(extension, name)) name.resize(name.size() - 4);
    const std::string_view shape = "Kasa_dddd-dd-dd_dd-dd-dd";
    if (name.size() < shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i)
      if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(name[i])) : name[i] != shape[i]) return false;
    const std::string_view number = std::string_view(name).substr(shape.size());
    return number.empty() || (number.size() > 1 && number[0] == '_' &&
                              number.find_first_not_of("0123456789", 1) == std::string_view::npos);
  }

  static bool StartsAsZip(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    char magic[4] = {};
    in.read(magic, sizeof magic);
    return in.gcount() == 4 && magic[0] == 'P' && magic[1] == 'K' && (magic[2] == 3 || magic[2] == 5);
  }

  // What a reader of the destination, the history and the chain would take for a backup must be one.
  void ExpectNothingHalfDone(const TKillCase& c) {
    std::map<fs::path, std::string> verdicts;
    auto incomplete = [&](const fs::path& path) {
      auto known = verdicts.find(path);
      return known != verdicts.end() ? known->second : verdicts[path] = Incomplete(path);
    };
    for (const auto& entry : fs::directory_iterator(Destination())) {
      if (!IsFinalName(entry.path().filename().string())) continue;
      EXPECT_EQ(incomplete(entry.path()), "") << "under a final name: " << entry.path();
    }
    for (const TBackupHistoryItem& item : Manager().LoadHistory()) {
      if (!item.Success || item.OutputPath.empty()) continue;
      EXPECT_EQ(incomplete(item.OutputPath), "") << "a successful history entry names " << item.OutputPath;
    }
    const std::unique_ptr<TBackupConfig> config = Manager().LoadConfig();
    for (const auto& item : config->Tasks.at(0)->BackupChain) {
      if (!fs::exists(item->OutputPath)) continue;
      EXPECT_EQ(incomplete(item->OutputPath), "") << "a chain item names " << item->OutputPath;
    }
    if (c.Kind != okEncryptedZip) return;
    for (const auto& entry : fs::recursive_directory_iterator(Destination()))
      EXPECT_FALSE(entry.is_regular_file() && StartsAsZip(entry.path())) << "plaintext: " << entry.path();
  }

  // Everything but finished outputs in the destination, anything in the temporary folder, and the temporary
  // files of atomic writes beside the stored files.
  std::vector<fs::path> Leftovers() {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(Destination()))
      if (!IsFinalName(entry.path().filename().string())) found.push_back(entry.path());
    for (const auto& entry : fs::directory_iterator(FDir / "tmp")) found.push_back(entry.path());
    for (const fs::path& folder : {GetConfigDirectory(), GetRegistryFile().parent_path()}) {
      if (!fs::is_directory(folder)) continue;
      for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().find(".tmp-") != std::string::npos) found.push_back(entry.path());
    }
    return found;
  }
};

TEST_P(CliKill, NothingHalfDoneLooksLikeABackupAndTheNextRunClearsTheRest) {
  const TKillCase& c = GetParam();
  if (c.OlderSet) {
    const TResult first = RunCli({"run", "Kasa"});
    ASSERT_EQ(first.Exit, 0) << first.Out << first.Err;
  }
  const TResult killed = RunKilled(c);
  ASSERT_EQ(killed.Exit, 128 + SIGKILL) << "the kill point was not reached\n" << killed.Out << killed.Err;
  ExpectNothingHalfDone(c);
  const std::vector<fs::path> left = Leftovers();
  EXPECT_FALSE(left.empty()) << "a kill at this point leaves work behind, which the next run must clear";

  const TResult next = RunCli({"run", "Kasa"});
  ASSERT_EQ(next.Exit, 0) << next.Out << next.Err;
  for (const fs::path& path : left) {
    EXPECT_FALSE(fs::exists(fs::symlink_status(path))) << path;
    EXPECT_NE(next.Out.find(RemovedLine + path.string()), std::string::npos) << path << "\n" << next.Out;
  }
  EXPECT_EQ(Leftovers(), std::vector<fs::path>{});
  ExpectNothingHalfDone(c);
  const auto history = Manager().LoadHistory();
  ASSERT_FALSE(history.empty());
  EXPECT_TRUE(history.back().Success) << history.back().Details;
}

const TKillCase KillCases[] = {
    {"MidArchive", okZip, false, "write", "/dest/", 3},
    {"MidFolderCopy", okFolder, false, "write", "/dest/", 3},
    {"MidEncryption", okEncryptedZip, false, "write", "/dest/", 5},
    // Retention deleting the older set's folder, one file gone.
    {"MidRetention", okFolder, true, "unlink", "/dest/", 2},
    // Retention has taken the old set out of view and saves the shortened chain.
    {"MidRetentionSave", okZip, true, "rename", "config.json.tmp-", 1},
    {"MidHistorySave", okZip, false, "rename", "history.json.tmp-", 1},
};

INSTANTIATE_TEST_SUITE_P(Points, CliKill, ::testing::ValuesIn(KillCases),
                         [](const ::testing::TestParamInfo<TKillCase>& info) { return info.param.Name; });

}  // namespace
}  // namespace velkor
