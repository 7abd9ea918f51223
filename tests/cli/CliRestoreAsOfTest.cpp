// `velkor-cli restore INDEX TARGET --as-of` over a chain that velkor-cli runs built: the plan it prints, the state
// it restores, its refusal of a broken chain, and a restore killed half-way that a second one completes.
#include <gtest/gtest.h>

#include "CliHarness.h"
#include "util/DateTime.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::TFileTree;

// Files that must count as unchanged for the next run are made two seconds before it (see CliTest.cpp).
void LetASecondPass() { std::this_thread::sleep_for(2200ms); }

class CliRestoreAsOf : public test::CliHarness {
protected:
  TFileTree FStateAtFull, FStateAtIncremental;

  // A full run, then an incremental that changes one file and adds one.
  void BuildChain(const TFileTree& sources) {
    test::WriteTree(FDir / "src" / "Docs", sources);
    SaveTasks({Task("Belgeler", btIncremental)});
    LetASecondPass();
    ASSERT_EQ(RunCli({"run", "Belgeler"}).Exit, 0);
    for (const auto& [path, content] : sources) FStateAtFull["Docs/" + path] = content;
    test::WriteFile(FDir / "src/Docs/a.txt", "a, değişti");
    test::WriteFile(FDir / "src/Docs/yeni.txt", "yeni");
    LetASecondPass();
    ASSERT_EQ(RunCli({"run", "Belgeler"}).Exit, 0);
    FStateAtIncremental = FStateAtFull;
    FStateAtIncremental["Docs/a.txt"] = "a, değişti";
    FStateAtIncremental["Docs/yeni.txt"] = "yeni";
    ASSERT_EQ(Manager().LoadHistory().size(), 2u);
    ASSERT_EQ(Manager().LoadHistory()[1].FileCount, 2) << "the second run is an incremental";
  }

  // Visible files only: a restore's hidden work folder is no restored file.
  static TFileTree VisibleTree(const fs::path& root) {
    TFileTree tree;
    for (const auto& [path, content] : test::ReadTree(root))
      if (!path.starts_with(".velkor-tmp-")) tree[path] = content;
    return tree;
  }
};

TEST_F(CliRestoreAsOf, PrintsThePlanRestoresTheRunsStateAndRefusesABrokenChain) {
  BuildChain({{"a.txt", "a"}, {"b.txt", "b"}, {"alt/c.txt", "c"}});
  const auto history = Manager().LoadHistory();
  auto time = [](const TBackupHistoryItem& item) { return FormatDateTime("dd.mm.yyyy hh:nn:ss", item.BackupTime); };
  const std::string plan = "Geri yükleme planı: Belgeler, " + time(history[1]) +
                           " itibarıyla; 2 yedek bu sırayla geri yüklenir:\n"
                           "  1. " +
                           time(history[0]) + "  Tam     " + history[0].OutputPath + "\n  2. " + time(history[1]) +
                           "  Artımlı " + history[1].OutputPath + "\n";

  const fs::path target = FDir / "geri";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"restore", "2", target.string(), "--as-of", "--dry-run"},
        std::vector<std::string>{"restore", "2", "--dry-run", "--as-of"}}) {
    const TResult dry = RunCli(args);
    EXPECT_EQ(dry.Exit, 0) << dry.Err;
    EXPECT_EQ(dry.Out, plan);
  }
  EXPECT_FALSE(fs::exists(target)) << "a dry run writes nothing";

  const TResult restored = RunCli({"restore", "2", target.string(), "--as-of"});
  ASSERT_EQ(restored.Exit, 0) << restored.Out << restored.Err;
  EXPECT_EQ(restored.Out, plan +
                              "Toplam geri yüklenecek dosya: 4\n"
                              "Çakışacak mevcut dosya: 0\n"
                              "Çakışma davranışı: Yeniden adlandır\n"
                              "Hedef klasör: " +
                              target.string() +
                              "\n"
                              "Geri yükleme başlatıldı: Belgeler\n"
                              "Alınan dosyalar: 1. yedekten 2, 2. yedekten 2\n"
                              "Geri yükleme tamamlandı: 4 dosya geri yüklendi, 0 dosya atlandı.\n");
  EXPECT_EQ(test::ReadTree(target), FStateAtIncremental);
  // The plain form keeps restoring the one output: the incremental's own two files.
  EXPECT_EQ(RunCli({"restore", "2", (FDir / "tek").string()}).Exit, 0);
  EXPECT_EQ(test::ReadTree(FDir / "tek"), (TFileTree{{"Docs/a.txt", "a, değişti"}, {"Docs/yeni.txt", "yeni"}}));

  const TResult usage = RunCli({"restore", "2", target.string(), "--dry-run"});
  EXPECT_EQ(usage.Exit, 2);
  EXPECT_NE(usage.Err.find("--dry-run goes with --as-of"), std::string::npos) << usage.Err;
  EXPECT_NE(RunCli({"--help"}).Out.find("Files deleted from the sources between runs cannot be known"),
            std::string::npos);

  fs::remove(history[0].OutputPath);
  const TResult refused = RunCli({"restore", "2", (FDir / "yok").string(), "--as-of"});
  EXPECT_EQ(refused.Exit, 1);
  EXPECT_EQ(refused.Err, "Geri yükleme planı oluşturulamadı: Zincirdeki yedek bulunamadı: " + history[0].OutputPath +
                             " (Tam, " + time(history[0]) + ")\n");
  EXPECT_EQ(refused.Out, "");
  EXPECT_FALSE(fs::exists(FDir / "yok"));
}

TEST_F(CliRestoreAsOf, AKilledRestoreLeavesOnlyWholeFilesAndASecondOneWithSkipCompletesIt) {
  BuildChain({{"a.txt", "a"}, {"büyük.bin", test::NoiseBytes(3 * 1024 * 1024, 11)}, {"c.txt", "c"}});
  const struct {
    const char* Name;
    const char* Call;
    const char* Path;
    int At;
    size_t WholeFiles;  // under their names when killed
  } cases[] = {
      {"between moving two files to their names", "rename", "/hedef-", 2, 1},
      {"while writing the big file", "write", ".velkor-tmp-", 2, 0},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const fs::path target = FDir / ("hedef-" + std::to_string(++n));
    EXPECT_EQ(RunCliKilledAt({"restore", "2", target.string(), "--as-of"}, c.Call, c.Path, c.At).Exit, 128 + SIGKILL);
    const TFileTree left = VisibleTree(target);
    EXPECT_EQ(left.size(), c.WholeFiles);
    EXPECT_NE(test::ReadTree(target).size(), left.size()) << "the work folder holds the file being written";
    for (const auto& [path, content] : left)
      EXPECT_EQ(content, FStateAtIncremental.at(path)) << path << " is not whole under its name";

    const TResult rest = RunCli({"restore", "2", target.string(), "--as-of", "--skip"});
    EXPECT_EQ(rest.Exit, 0) << rest.Err;
    EXPECT_EQ(test::ReadTree(target), FStateAtIncremental) << "completed, and the work folder is gone";
  }
}

}  // namespace
}  // namespace velkor
