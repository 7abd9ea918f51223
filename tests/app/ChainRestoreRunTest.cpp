// Point-in-time restore over chains that real runs built through the application core: the sources change between
// runs, a copy of them is taken at each run, and restoring as of each history entry must give that copy back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "AppCoreHarness.h"
#include "crypto/EncryptionManager.h"
#include "restore/ChainRestore.h"
#include "util/Error.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::TFileTree;

constexpr char Password[] = "Zaman Yolcusu 3";

enum TKind { kZip, kFolder, kEncryptedZip, kEncryptedFolder };

std::string KindName(TKind kind) {
  switch (kind) {
    case kZip: return "Zip";
    case kFolder: return "Folder";
    case kEncryptedZip: return "EncryptedZip";
    case kEncryptedFolder: return "EncryptedFolder";
  }
  return "?";
}

// Every file below `root` with its permission bits.
std::map<std::string, fs::perms> Modes(const fs::path& root) {
  std::map<std::string, fs::perms> modes;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) modes[fs::relative(entry.path(), root).string()] = entry.status().permissions();
  return modes;
}

class ChainRestoreRun : public test::AppCoreHarness, public ::testing::WithParamInterface<TKind> {
protected:
  // The fake clock runs a day ahead of the real one: files written now are older than every run, so a run takes a
  // file only when its last-write time is set past the previous run (Touch), as a later edit would.
  void SetUp() override {
    FClock.SetNow(IncDay(FromUnixTime(std::time(nullptr)), 1));
    FCompress = GetParam() == kZip || GetParam() == kEncryptedZip;
    TEncryptionManager(RegistryFile()).SavePasswordToRegistry(Password);
    StartCore();
  }

  TBackupTask& AddChainTask(const std::string& name, const TFileTree& files) {
    TBackupTask& task = AddTask(name, files);
    task.EncryptBackup = GetParam() == kEncryptedZip || GetParam() == kEncryptedFolder;
    return task;
  }

  // Writes a file of the task's source as an edit after the last run would.
  void Edit(TBackupTask& task, const std::string& relative, const std::string& content) {
    const fs::path path = fs::path(task.SourceFolders[0]) / relative;
    test::WriteFile(path, content);
    const auto seconds = ToUnixTime(IncSecond(FClock.Now(), 1));
    ASSERT_TRUE(seconds.has_value());
    const timespec times[2] = {{*seconds, 0}, {*seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }

  // The task's run of `type`, and a copy of its source as it stood: the tree a restore as of that run must give.
  void Run(TBackupTask& task, TBackupType type, std::vector<TFileTree>& states) {
    RunManual(task, type);
    ASSERT_TRUE(History().back().Success) << History().back().Details;
    TFileTree state;
    const std::string folder = fs::path(task.SourceFolders[0]).filename().string();
    for (const auto& [path, content] : test::ReadTree(task.SourceFolders[0])) state[folder + "/" + path] = content;
    states.push_back(state);
  }

  TChainRestoreResult RestoreAsOf(size_t entry, const fs::path& target) {
    TChainRestore restore(PlanChainRestore(History().at(entry), Config(), History()), target.string(), Password);
    return restore.Restore(rcRename);
  }

  std::string PlanRefusal(size_t entry) {
    try {
      PlanChainRestore(History().at(entry), Config(), History());
    } catch (const EVelkorError& e) {
      return e.what();
    }
    return "(no refusal)";
  }
};

TEST_P(ChainRestoreRun, AsOfEachRunOfAFullAndThreeIncrementalsGivesTheSourcesOfThatRun) {
  TBackupTask& task = AddChainTask("Proje", {{"a.txt", "a0"},
                                             {"b.txt", "b0"},
                                             {"alt/c.txt", "c0"},
                                             {"alt/derin/d.bin", test::NoiseBytes(300000, 1)},
                                             {"sabit.txt", "hiç değişmez"}});
  std::vector<TFileTree> states;
  Run(task, btFull, states);
  // Each incremental: a.txt changed again, one other file changed, something added.
  Edit(task, "a.txt", "a1");
  Edit(task, "b.txt", "b1");
  Edit(task, "yeni.txt", "eklendi 1");
  Run(task, btIncremental, states);
  Edit(task, "a.txt", "a2");
  Edit(task, "alt/derin/d.bin", test::NoiseBytes(310000, 2));
  Edit(task, "alt/yeni klasör/e.txt", "eklendi 2");
  Run(task, btIncremental, states);
  Edit(task, "a.txt", "a3");
  Edit(task, "yeni.txt", "değişti 3");
  Edit(task, "f.txt", "eklendi 3");
  Run(task, btIncremental, states);

  const auto history = History();
  ASSERT_EQ(history.size(), 4u);
  for (size_t i = 1; i < 4; ++i) EXPECT_EQ(history[i].FileCount, 3) << "incremental " << i << " took only its changes";
  for (size_t i = 0; i < 4; ++i) {
    const fs::path target = FDir / ("anı-" + std::to_string(i));
    const TChainRestoreResult result = RestoreAsOf(i, target);
    EXPECT_EQ(test::ReadTree(target), states[i]) << "as of run " << i;
    EXPECT_EQ(result.FilesPerStep.size(), i + 1);
    EXPECT_EQ(result.RestoredCount, static_cast<int32_t>(states[i].size()));
  }

  // As of the full backup, the same as restoring its one output.
  int32_t restored = 0, skipped = 0;
  TRestoreManager(FClock).RestoreBackupOutput(history[0].OutputPath, (FDir / "tek").string(), Password, rcRename,
                                              restored, skipped);
  EXPECT_EQ(test::ReadTree(FDir / "tek"), test::ReadTree(FDir / "anı-0"));
  EXPECT_EQ(Modes(FDir / "tek"), Modes(FDir / "anı-0"));

  // The second incremental's output deleted from the destination: restoring as of the third refuses, naming it,
  // and writes nothing...
  fs::remove_all(history[2].OutputPath);
  EXPECT_EQ(PlanRefusal(3), "Zincirdeki yedek bulunamadı: " + history[2].OutputPath + " (Artımlı, " +
                                FormatDateTime("dd.mm.yyyy hh:nn:ss", task.BackupChain[2]->BackupTime) + ")");
  // ...and still names it once a later run has dropped it from the chain.
  Edit(task, "a.txt", "a4");
  Run(task, btIncremental, states);
  EXPECT_EQ(PlanRefusal(3), "Zincirdeki bir yedek artık kayıtlı değil (kimlik " + task.BackupChain[2]->ParentBackupId +
                                "); eksik olabilecek yedek: " + history[2].OutputPath +
                                ". Bu kaydın durumu oluşturulamaz.");
  EXPECT_EQ(test::ReadTree(FDir / "anı-1"), states[1]) << "earlier entries do not need it";
  EXPECT_EQ(RestoreAsOf(1, FDir / "yine-1").RestoredCount, static_cast<int32_t>(states[1].size()));
}

TEST_P(ChainRestoreRun, AsOfEachRunOfAFullAndTwoDifferentialsGivesTheSourcesOfThatRun) {
  TBackupTask& task =
      AddChainTask("Fark", {{"x.txt", "x0"}, {"y.txt", "y0"}, {"alt/z.bin", test::NoiseBytes(200000, 3)}});
  std::vector<TFileTree> states;
  Run(task, btFull, states);
  Edit(task, "x.txt", "x1");
  Edit(task, "eklendi.txt", "1");
  Run(task, btDifferential, states);
  Edit(task, "alt/z.bin", test::NoiseBytes(100, 4));
  Edit(task, "alt/ikinci.txt", "2");
  Run(task, btDifferential, states);

  const auto history = History();
  ASSERT_EQ(history.size(), 3u);
  EXPECT_EQ(history[2].FileCount, 4) << "a differential takes every change since the full backup";
  for (size_t i = 0; i < 3; ++i) {
    const fs::path target = FDir / ("anı-" + std::to_string(i));
    const TChainRestoreResult result = RestoreAsOf(i, target);
    EXPECT_EQ(test::ReadTree(target), states[i]) << "as of run " << i;
    EXPECT_EQ(result.FilesPerStep.size(), i == 0 ? 1u : 2u) << "the full backup and the one differential";
  }
}

INSTANTIATE_TEST_SUITE_P(OutputKinds, ChainRestoreRun,
                         ::testing::Values(kZip, kFolder, kEncryptedZip, kEncryptedFolder),
                         [](const auto& info) { return KindName(info.param); });

}  // namespace
}  // namespace velkor
