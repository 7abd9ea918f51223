// The restore of a run's state from its backup chain: which outputs the plan takes and when it refuses, the newest
// version of each file winning over every kind of output, the target's own files kept, and nothing written when an
// output cannot be used.
#include <gtest/gtest.h>

#include "RestoreTestSupport.h"
#include "platform/ProcessLocale.h"
#include "util/Error.h"
#include "restore/ChainRestore.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::ListEverything;
using test::ReadTree;
using test::TFileTree;
using test::TOutputKind;
using test::TScopedEnv;
using test::TTempDir;
using test::WriteFile;

constexpr char Password[] = "Zincir Parolası 7";

class ChainRestoreTest : public ::testing::Test {
public:
  TTempDir FDir;
  TScopedEnv FTemp{"TMPDIR", (FDir / "tmp").string()};
  TBackupConfig FConfig;
  TBackupTask* FTask = nullptr;
  std::vector<TBackupHistoryItem> FHistory;
  fs::path FTarget = FDir / "hedef";
  std::string FSetId;

  void SetUp() override {
    InitProcessLocale();
    fs::create_directories(FDir / "tmp");
    FConfig.Tasks.push_back(std::make_unique<TBackupTask>());
    FTask = FConfig.Tasks.back().get();
    FTask->Name = "Belgeler";
  }
  void TearDown() override { EXPECT_TRUE(ListEverything(FDir / "tmp").empty()) << "staging left behind"; }

  // Records a run of the task: its chain item (a full backup opens a set; the others join the newest one) and its
  // history entry, one minute after the previous run.
  TBackupChainItem& AddItem(const std::string& id, TBackupType type, const std::string& parent,
                            const std::string& outputPath) {
    auto item = std::make_unique<TBackupChainItem>();
    if (type == btFull) FSetId = id;
    item->BackupId = id;
    item->SetId = FSetId;
    item->BaseFullBackupId = FSetId;
    item->ParentBackupId = parent;
    item->OutputPath = outputPath;
    item->EffectiveType = item->RequestedType = type;
    item->BackupTime = EncodeDateTime(2024, 5, 1, 10, static_cast<int>(FHistory.size()), 0);
    TBackupHistoryItem entry;
    entry.TaskName = FTask->Name;
    entry.Success = true;
    entry.OutputPath = outputPath;
    entry.BackupTime = item->BackupTime;
    FHistory.push_back(entry);
    FTask->BackupChain.push_back(std::move(item));
    return *FTask->BackupChain.back();
  }
  // A run whose output is an empty folder: enough for planning.
  TBackupChainItem& AddRun(const std::string& id, TBackupType type, const std::string& parent = "") {
    const fs::path output = FDir / "cikti" / id;
    fs::create_directories(output);
    return AddItem(id, type, parent, output.string());
  }
  // A run whose output the backup engine made from `tree`.
  TBackupChainItem& AddRun(const std::string& id, TBackupType type, const std::string& parent, const TFileTree& tree,
                           TOutputKind kind) {
    const fs::path output = test::BuildBackupOutput(kind, tree, FDir / ("dest-" + id), Password);
    return AddItem(id, type, parent, output.string());
  }

  TChainRestorePlan Plan(size_t entry) { return PlanChainRestore(FHistory.at(entry), FConfig, FHistory); }
  std::string PlanRefusal(size_t entry) {
    try {
      Plan(entry);
    } catch (const EVelkorError& e) {
      return e.what();
    }
    return "(no refusal)";
  }
  static std::vector<std::string> Ids(const TChainRestorePlan& plan) {
    std::vector<std::string> ids;
    for (const auto& step : plan.Steps) ids.push_back(step.BackupId);
    return ids;
  }
};

TEST_F(ChainRestoreTest, ThePlanFollowsEachRunsParentBackToItsFullBackup) {
  AddRun("F1", btFull);
  AddRun("I1", btIncremental, "F1");
  AddRun("D1", btDifferential, "F1");
  AddRun("I2", btIncremental, "D1");
  AddRun("I3", btIncremental, "I2");
  AddRun("F2", btFull);
  AddRun("I4", btIncremental);  // an older chain item without a parent: it was compared with its full backup
  const struct {
    size_t Entry;
    std::vector<std::string> Ids;
  } cases[] = {
      {0, {"F1"}}, {1, {"F1", "I1"}}, {2, {"F1", "D1"}}, {3, {"F1", "D1", "I2"}}, {4, {"F1", "D1", "I2", "I3"}},
      {5, {"F2"}}, {6, {"F2", "I4"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Ids(Plan(c.Entry)), c.Ids) << "entry " << c.Entry;

  const TChainRestorePlan plan = Plan(3);
  EXPECT_EQ(plan.TaskName, "Belgeler");
  EXPECT_FALSE(plan.RequiresPassword);
  EXPECT_EQ(plan.Steps[1].OutputPath, FHistory[2].OutputPath);
  EXPECT_EQ(plan.Steps[1].Type, btDifferential);
  EXPECT_EQ(plan.Steps[1].BackupTime, FHistory[2].BackupTime);

  // One encrypted output is enough to need the password; a renamed task is found by the output all the same.
  WriteFile(FDir / "cikti/I5.mbe", "şifreli");
  AddItem("I5", btIncremental, "I4", (FDir / "cikti/I5.mbe").string());
  FTask->Name = "Yeni Ad";
  const TChainRestorePlan encrypted = Plan(7);
  EXPECT_TRUE(encrypted.RequiresPassword);
  EXPECT_EQ(encrypted.TaskName, "Yeni Ad");
  EXPECT_EQ(Ids(encrypted), (std::vector<std::string>{"F2", "I4", "I5"}));
}

TEST_F(ChainRestoreTest, ThePlanRefusesNamingWhatIsWrong) {
  const struct {
    const char* Name;
    std::function<void(ChainRestoreTest&)> Break;
    std::function<std::string(ChainRestoreTest&)> Message;
  } cases[] = {
      {"an output deleted from the destination", [](ChainRestoreTest& t) { fs::remove_all(t.FHistory[1].OutputPath); },
       [](ChainRestoreTest& t) {
         return "Zincirdeki yedek bulunamadı: " + t.FHistory[1].OutputPath + " (Artımlı, 01.05.2024 10:01:00)";
       }},
      {"a link a later run pruned: the history names its output",
       [](ChainRestoreTest& t) {
         fs::remove_all(t.FHistory[1].OutputPath);
         t.FTask->BackupChain.erase(t.FTask->BackupChain.begin() + 1);
       },
       [](ChainRestoreTest& t) {
         return "Zincirdeki bir yedek artık kayıtlı değil (kimlik I1); eksik olabilecek yedek: " +
                t.FHistory[1].OutputPath + ". Bu kaydın durumu oluşturulamaz.";
       }},
      {"a parent of another set", [](ChainRestoreTest& t) { t.FTask->BackupChain[1]->SetId = "BAŞKA"; },
       [](ChainRestoreTest& t) {
         return "Zincirdeki yedek başka bir yedek setine ait: " + t.FHistory[1].OutputPath +
                " (Artımlı, 01.05.2024 10:01:00)";
       }},
      {"links that go round", [](ChainRestoreTest& t) { t.FTask->BackupChain[1]->ParentBackupId = "I2"; },
       [](ChainRestoreTest& t) {
         return "Yedek zinciri bozuk: bağlantıları bir döngü oluşturuyor (" + t.FHistory[2].OutputPath +
                " (Artımlı, 01.05.2024 10:02:00))";
       }},
      {"an entry whose output no chain holds", [](ChainRestoreTest& t) { t.FTask->BackupChain.pop_back(); },
       [](ChainRestoreTest& t) {
         return "Bu kaydın çıktısı hiçbir görevin yedek zincirinde kayıtlı değil: " + t.FHistory[2].OutputPath +
                ". Yalnızca bu çıktı tek başına geri yüklenebilir.";
       }},
      {"an output of a kind no restore reads",
       [](ChainRestoreTest& t) {
         const std::string rar = (t.FDir / "cikti/F1.rar").string();
         WriteFile(rar, "rar");
         t.FTask->BackupChain[0]->OutputPath = rar;
       },
       [](ChainRestoreTest& t) {
         return "Desteklenmeyen yedek formatı: .rar (" + (t.FDir / "cikti/F1.rar").string() + ")";
       }},
      {"an entry without an output", [](ChainRestoreTest& t) { t.FHistory[2].OutputPath = " "; },
       [](ChainRestoreTest&) { return std::string("Geri yüklenecek kayıt için çıktı yolu bulunamadı."); }},
  };
  for (const auto& c : cases) {
    FTask->BackupChain.clear();
    FHistory.clear();
    AddRun("F1", btFull);
    AddRun("I1", btIncremental, "F1");
    AddRun("I2", btIncremental, "I1");
    c.Break(*this);
    EXPECT_EQ(PlanRefusal(2), c.Message(*this)) << c.Name;
  }
}

struct TChainCase {
  const char* Name;
  TOutputKind Kinds[3];  // of the full backup and the two incrementals
};

void PrintTo(const TChainCase& c, std::ostream* os) { *os << c.Name; }

class ChainRestoreKinds : public ChainRestoreTest, public ::testing::WithParamInterface<TChainCase> {
protected:
  // A full backup and two incrementals: a file changed in both, one changed once, one added, one never touched,
  // and a name that a rename of the target's own a.txt would choose.
  void BuildChain() {
    const TOutputKind* kinds = GetParam().Kinds;
    AddRun("F", btFull, "",
           {{"Docs/a.txt", "a1"},
            {"Docs/a (1).txt", "x1"},
            {"Docs/b.txt", "b1"},
            {"Docs/c.txt", "c1"},
            {"Photos/p.jpg", "p1"}},
           kinds[0]);
    AddRun("I1", btIncremental, "F", {{"Docs/a.txt", "a2"}, {"Docs/yeni/d.txt", "d1"}}, kinds[1]);
    AddRun("I2", btIncremental, "I1", {{"Docs/a.txt", "a3"}, {"Docs/b.txt", "b2"}}, kinds[2]);
  }
  static TFileTree StateAtI2() {
    return {{"Docs/a.txt", "a3"}, {"Docs/a (1).txt", "x1"}, {"Docs/b.txt", "b2"},
            {"Docs/c.txt", "c1"}, {"Photos/p.jpg", "p1"},   {"Docs/yeni/d.txt", "d1"}};
  }
};

TEST_P(ChainRestoreKinds, TheNewestVersionOfEachFileWinsAndTheTargetsOwnFilesStay) {
  BuildChain();
  TChainRestore fresh(Plan(2), FTarget.string(), Password);
  std::vector<TChainRestoreProgress> progress;
  const TChainRestoreCallbacks callbacks{[&](const TChainRestoreProgress& p) { progress.push_back(p); }, {}};
  ASSERT_TRUE(fresh.Prepare(callbacks));
  EXPECT_FALSE(fs::exists(FTarget)) << "preparing wrote to the target";
  EXPECT_EQ(fresh.Analysis().TotalFiles, 6);
  EXPECT_EQ(fresh.Analysis().ConflictCount, 0);
  const TChainRestoreResult result = fresh.Restore(rcRename, callbacks);
  EXPECT_EQ(ReadTree(FTarget), StateAtI2());
  EXPECT_EQ(ListEverything(FTarget).count("Docs/"), 1u);
  EXPECT_EQ(result.RestoredCount, 6);
  EXPECT_EQ(result.SkippedCount, 0);
  EXPECT_FALSE(result.Cancelled);
  EXPECT_EQ(result.FilesPerStep, (std::vector<int32_t>{3, 1, 2})) << "each file taken from its newest output only";
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front().Phase, TChainRestoreProgress::cpReading);
  EXPECT_EQ(progress.back().Phase, TChainRestoreProgress::cpRestoring);
  EXPECT_EQ(progress.back().Percent, 100);

  // The target's own a.txt stays; the chain's a.txt is written once, in its newest version, beside it and beside
  // the chain's own "a (1).txt".
  const fs::path target = FDir / "dolu";
  WriteFile(target / "Docs/a.txt", "benim");
  TChainRestore renaming(Plan(2), target.string(), Password);
  ASSERT_TRUE(renaming.Prepare());
  EXPECT_EQ(renaming.Analysis().ConflictCount, 1);
  EXPECT_EQ(renaming.Analysis().FirstConflictPath, (target / "Docs/a.txt").string());
  EXPECT_EQ(renaming.Restore(rcRename).RestoredCount, 6);
  TFileTree expected = StateAtI2();
  expected["Docs/a.txt"] = "benim";
  expected["Docs/a (2).txt"] = "a3";
  EXPECT_EQ(ReadTree(target), expected);

  const fs::path skipping = FDir / "atla";
  WriteFile(skipping / "Docs/a.txt", "benim");
  const TChainRestoreResult skipped = TChainRestore(Plan(2), skipping.string(), Password).Restore(rcSkip);
  EXPECT_EQ(skipped.RestoredCount, 5);
  EXPECT_EQ(skipped.SkippedCount, 1);
  expected = StateAtI2();
  expected["Docs/a.txt"] = "benim";
  EXPECT_EQ(ReadTree(skipping), expected);

  // As of the first incremental: its own version of a.txt, the full backup's b.txt.
  TChainRestore(Plan(1), (FDir / "ilk").string(), Password).Restore(rcRename);
  EXPECT_EQ(ReadTree(FDir / "ilk"), (TFileTree{{"Docs/a.txt", "a2"},
                                               {"Docs/a (1).txt", "x1"},
                                               {"Docs/b.txt", "b1"},
                                               {"Docs/c.txt", "c1"},
                                               {"Photos/p.jpg", "p1"},
                                               {"Docs/yeni/d.txt", "d1"}}));
}

TEST_P(ChainRestoreKinds, AnOutputThatCannotBeUsedStopsItBeforeTheFirstWrite) {
  BuildChain();
  const TChainRestorePlan plan = Plan(2);
  const bool encrypted = plan.RequiresPassword;
  auto refusal = [&](const std::string& password) -> std::string {
    try {
      TChainRestore(plan, FTarget.string(), password).Restore(rcRename);
    } catch (const EVelkorError& e) {
      return e.what();
    }
    return "(no refusal)";
  };
  if (encrypted) {
    EXPECT_NE(refusal("yanlış parola").find("Şifrelenmiş dosya bütünlük doğrulamasını geçemedi."), std::string::npos);
    EXPECT_EQ(refusal("").rfind(RestorePasswordRequiredMessage, 0), 0u);
    EXPECT_FALSE(fs::exists(FTarget));
  }

  // The second output spoiled after planning: a cut archive, or a missing folder.
  const std::string spoiled = FHistory[1].OutputPath;
  if (fs::is_directory(spoiled))
    fs::remove_all(spoiled);
  else
    fs::resize_file(spoiled, fs::file_size(spoiled) - 30);
  const std::string message = refusal(Password);
  EXPECT_NE(message.find(spoiled), std::string::npos) << message;
  EXPECT_FALSE(fs::exists(FTarget)) << message;
}

INSTANTIATE_TEST_SUITE_P(
    OutputKinds, ChainRestoreKinds,
    ::testing::Values(TChainCase{"Zip", {test::okZip, test::okZip, test::okZip}},
                      TChainCase{"Folder", {test::okFolder, test::okFolder, test::okFolder}},
                      TChainCase{"EncryptedZip", {test::okEncryptedZip, test::okEncryptedZip, test::okEncryptedZip}},
                      TChainCase{"EncryptedFolder",
                                 {test::okEncryptedFolder, test::okEncryptedFolder, test::okEncryptedFolder}},
                      TChainCase{"Mixed", {test::okFolder, test::okEncryptedZip, test::okZip}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ChainRestoreTest, ACancelKeepsWhatWasRestoredWholeAndLeavesNoWorkBehind) {
  std::string big(3 * 1024 * 1024 + 5, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 1000);
  AddRun("F", btFull, "", {{"Docs/a.txt", "a1"}, {"Docs/c.txt", "c1"}, {"Docs/z.bin", big}}, test::okFolder);
  AddRun("I1", btIncremental, "F", {{"Docs/a.txt", "a2"}}, test::okZip);
  // A leftover of a restore killed here earlier: the next restore clears it.
  fs::create_directories(FTarget / ".velkor-tmp-Ab3dE9");
  WriteFile(FTarget / ".velkor-tmp-Ab3dE9/dosya", "yarım");

  // Stops once the big file is half-way into the work folder.
  auto halfWay = [&] {
    for (const auto& entry : fs::directory_iterator(FTarget))
      if (entry.path().filename().string().starts_with(".velkor-tmp-") && fs::exists(entry.path() / "dosya") &&
          fs::file_size(entry.path() / "dosya") >= 1024 * 1024)
        return true;
    return false;
  };
  const TChainRestoreCallbacks callbacks{{}, [&] { return fs::exists(FTarget) && halfWay(); }};
  const TChainRestoreResult cancelled = TChainRestore(Plan(1), FTarget.string(), Password).Restore(rcRename, callbacks);
  EXPECT_TRUE(cancelled.Cancelled);
  EXPECT_EQ(cancelled.RestoredCount, 1);
  EXPECT_EQ(ListEverything(FTarget), (std::set<std::string>{"Docs/", "Docs/c.txt"})) << "no part of z.bin";

  // Run again with skip, it completes the restore.
  const TChainRestoreResult rest = TChainRestore(Plan(1), FTarget.string(), Password).Restore(rcSkip);
  EXPECT_EQ(rest.RestoredCount, 2);
  EXPECT_EQ(rest.SkippedCount, 1);
  EXPECT_EQ(ReadTree(FTarget), (TFileTree{{"Docs/a.txt", "a2"}, {"Docs/c.txt", "c1"}, {"Docs/z.bin", big}}));
  EXPECT_EQ(ListEverything(FTarget).size(), 4u) << "no work folder left";
}

}  // namespace
}  // namespace velkor
