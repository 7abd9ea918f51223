// What killed operations leave behind: the core removes the entries that are ours and that nobody holds, at
// start-up and before a run, and says so in the log.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "AppCoreHarness.h"
#include "platform/Leftovers.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

constexpr const char* RemovedLine = "Yarım kalmış bir işlemden kalan geçici öğe silindi: ";

struct TEntryCase {
  fs::path Folder;
  std::string Name;
  bool Folderish;  // a folder with content, else a file
  bool Locked;     // held by a living operation
  bool Removed;
};

class AppCoreLeftovers : public test::AppCoreHarness {
protected:
  std::vector<TWorkLock> FLocks;

  void Make(const TEntryCase& c) {
    const fs::path path = c.Folder / c.Name;
    if (c.Folderish)
      test::WriteTree(path, {{"Docs/a.txt", "half a copy"}});
    else
      test::WriteFile(path, "half a file");
    if (c.Locked) FLocks.emplace_back(path);
  }

  void Check(const std::vector<TEntryCase>& cases) {
    for (const TEntryCase& c : cases) {
      const fs::path path = c.Folder / c.Name;
      EXPECT_EQ(fs::exists(fs::symlink_status(path)), !c.Removed) << path;
      EXPECT_EQ(FView.Logged(RemovedLine + path.string()), c.Removed) << path;
    }
  }
};

TEST_F(AppCoreLeftovers, StartRemovesWhatKilledOperationsLeft) {
  const fs::path temp = FDir / "tmp";
  const fs::path config = ConfigDir();
  const fs::path registry = RegistryFile().parent_path();
  const fs::path destination = FDir / "dest" / "Görev";
  const std::vector<TEntryCase> cases = {
      {temp, "BackupTemp_20240501100000", true, false, true},
      {temp, "BackupTemp_20240501100000_2", true, true, false},
      {temp, "RestoreZip_20240501100000123", true, false, true},
      {temp, "RestoreMbe_20240501100000123", false, false, true},
      {temp, "RestoreAnalyze_20240501100000123", true, true, false},
      {temp, "Backup_20240501100000", true, false, false},
      {config, "config.json.tmp-Ab12Cd", false, false, true},
      {config, "history.json.tmp-Xy34Zw", false, false, true},
      {config, "config.json.tmp-Lo56Ck", false, true, false},
      {config, "config.json.tmp-1", false, false, false},
      {registry, "registry.json.tmp-Qw78Er", false, false, true},
      // A destination is cleaned before its task's run, not at start-up.
      {destination, ".velkor-tmp-Ab12Cd", true, false, false},
  };
  for (const TEntryCase& c : cases) Make(c);

  StartCore();
  Check(cases);
  EXPECT_TRUE(FCore->StartupComplete());
}

TEST_F(AppCoreLeftovers, ARunFirstClearsTheFoldersItWorksIn) {
  StartCore();
  TBackupTask& task = AddTask("Hedef");
  TBackupTask& other = AddTask("Başka");
  const fs::path destination = task.DestinationFolder;
  // An earlier output in a folder that is no longer the destination: retention takes outputs out of view there.
  const fs::path earlier = FDir / "eski";
  test::WriteTree(earlier / "Hedef_2024-04-01_10-00-00", {{"Hedef/a.txt", "alfa"}});
  auto item = std::make_unique<TBackupChainItem>();
  item->BackupId = item->SetId = item->BaseFullBackupId = "{5B0E7D5A-0000-4000-8000-000000000001}";
  item->OutputPath = (earlier / "Hedef_2024-04-01_10-00-00").string();
  item->BackupTime = EncodeDateTime(2024, 4, 1, 10, 0, 0);
  task.BackupChain.push_back(std::move(item));
  const std::vector<TEntryCase> cases = {
      {destination, ".velkor-tmp-Ab12Cd", true, false, true},
      {destination, ".velkor-tmp-Cd34Ef", false, false, true},
      {destination, ".velkor-tmp-Lo56Ck", false, true, false},
      {destination, ".velkor-tmp-abc", true, false, false},
      {destination, "Hedef_2024-05-01_10-00-00", true, false, false},
      {earlier, ".velkor-tmp-Ee55Ff", true, false, true},
      {other.DestinationFolder, ".velkor-tmp-Zz99Yy", true, false, false},
      {FDir / "tmp", "BackupTemp_20240501100000", true, false, true},
  };
  for (const TEntryCase& c : cases) Make(c);

  RunManual(task);
  Check(cases);
  ASSERT_EQ(History().size(), 1u);
  EXPECT_TRUE(History()[0].Success) << History()[0].Details;
  // Gone before the run could meet them.
  EXPECT_LT(FView.IndexOf(RemovedLine + (destination / ".velkor-tmp-Ab12Cd").string()),
            FView.IndexOf("BackupEngine.StartBackup çağrılıyor..."));
}

}  // namespace
}  // namespace velkor
