// History changes on the writer's thread: order, what the main thread's reads see meanwhile, the outcome handed
// back, and the core's shutdown waiting for them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "AppCoreHarness.h"
#include "app/HistoryWriter.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::TFakeClock;
using test::TTempDir;

TBackupHistoryItem Entry(const std::string& name, int files = 2) {
  TBackupHistoryItem item;
  item.BackupTime = EncodeDateTime(2024, 5, 1, 10, 0, 0) + 0.3 / 86400;  // the file keeps whole seconds
  item.Success = true;
  item.TaskName = name;
  item.Details = "Yedekleme tamamlandı";
  item.OutputPath = "/yedek/" + name + ".zip";
  item.SourceCount = 1;
  item.FileCount = files;
  for (int f = 0; f < files; ++f) item.Files.push_back({"/kaynak/" + name + "/" + std::to_string(f), f, f % 2 == 0});
  return item;
}

std::vector<std::string> Names(const std::vector<THistorySummary>& entries) {
  std::vector<std::string> names;
  for (const THistorySummary& e : entries) names.push_back(e.Item.TaskName);
  return names;
}

std::vector<std::string> Names(const std::vector<TBackupHistoryItem>& entries) {
  std::vector<std::string> names;
  for (const TBackupHistoryItem& e : entries) names.push_back(e.TaskName);
  return names;
}

class HistoryWriterTest : public ::testing::Test {
protected:
  TTempDir FDir;
  TFakeClock FClock;
  TQueuedMainThread FMain;
  TConfigManager FReader{FDir.Path(), FClock};
  std::vector<std::string> FEvents;  // outcomes and refreshes as the main thread got them
  std::unique_ptr<THistoryWriter> FWriter = std::make_unique<THistoryWriter>(
      FDir.Path(), FClock, FMain, [this] { FEvents.push_back("refresh:" + std::to_string(OnDisk().size())); },
      [this](const std::string& error) { FEvents.push_back("failed:" + error); });

  std::vector<TBackupHistoryItem> OnDisk() { return TConfigManager(FDir.Path(), FClock).LoadHistory(); }

  // Runs `check` on the main thread again and again while the writer works, then until its outcomes are in.
  void PumpUntilIdle(const std::function<void()>& check = {}) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (FWriter->Busy()) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the writer did not finish";
      if (check) check();
      if (FMain.ProcessPending() == 0) FMain.WaitForWork(1);
    }
  }
};

// Whatever the writer has done so far, the main thread's reads give the history as it will be once everything
// queued has landed; the file ends in that state, the outcomes come in queue order and the refresh follows them.
TEST_F(HistoryWriterTest, QueuedChangesLandInOrderAndReadsSeeThemAllAlong) {
  TConfigManager(FDir.Path(), FClock).AddHistoryItem(Entry("Eski"));
  FWriter->AddItem(Entry("A"));
  FWriter->AddItem(Entry("B", 3000));
  FWriter->AddItem(Entry("C"));
  FWriter->DeleteItem(0, [this] { FEvents.push_back("deleted"); });
  FWriter->DeleteByOutputPaths({"/YEDEK/C.ZIP"}, [this] { FEvents.push_back("deleted-by-path"); });
  FWriter->DeleteItem(7, [this] { FEvents.push_back("nothing-deleted"); });  // outside the list: no change
  FWriter->AddItem(Entry("D"));

  const std::vector<std::string> expected = {"A", "B", "D"};
  std::vector<TBackupHistoryItem> seen;  // entry 1 read whole, at each look
  PumpUntilIdle([&] {
    ASSERT_EQ(Names(FWriter->LoadHistorySummary(FReader)), expected);
    const std::optional<TBackupHistoryItem> b = FWriter->LoadHistoryItem(FReader, 1);
    ASSERT_TRUE(b.has_value());
    seen.push_back(*b);
    EXPECT_FALSE(FWriter->LoadHistoryItem(FReader, 3).has_value());
  });
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(Names(OnDisk()), expected);
  const TBackupHistoryItem b = OnDisk().at(1);
  EXPECT_EQ(b.Files.size(), 3000u);
  for (const TBackupHistoryItem& item : seen) EXPECT_TRUE(item == b) << "as the file gives it back";
  EXPECT_EQ(Names(FWriter->LoadHistorySummary(FReader)), expected);
  // The three "landed" steps in queue order; a refresh after the last outcome, with the file already final.
  std::vector<std::string> steps;
  for (const std::string& e : FEvents)
    if (e.rfind("refresh:", 0) != 0) steps.push_back(e);
  EXPECT_EQ(steps, (std::vector<std::string>{"deleted", "deleted-by-path", "nothing-deleted"}));
  ASSERT_FALSE(FEvents.empty());
  EXPECT_EQ(FEvents.back(), "refresh:3");
}

// A change that cannot be written leaves the file as it was; the main thread hears why, and reads stop showing it.
TEST_F(HistoryWriterTest, AFailedChangeIsReportedAndDropped) {
  // A history.json that can be neither read, copied aside, replaced nor removed.
  fs::create_directories(FReader.HistoryFile());
  test::WriteFile(FReader.HistoryFile() / "x", "x");
  FWriter->AddItem(Entry("A"));
  std::string ownError;
  FWriter->Clear({}, [&](const std::string& error) { ownError = error; });
  PumpUntilIdle();
  ASSERT_GE(FEvents.size(), 2u);
  EXPECT_EQ(FEvents[0].rfind("failed:", 0), 0u) << FEvents[0];
  EXPECT_GT(FEvents[0].size(), std::string("failed:").size()) << "with the store's message";
  EXPECT_EQ(std::count_if(FEvents.begin(), FEvents.end(), [](const std::string& e) { return e[0] == 'f'; }), 1);
  EXPECT_FALSE(ownError.empty()) << "a change's own handler takes its failure";
  EXPECT_EQ(FEvents.back(), "refresh:0");
  EXPECT_TRUE(FWriter->LoadHistorySummary(FReader).empty());
  EXPECT_TRUE(fs::is_directory(FReader.HistoryFile()));
}

// Going away, the writer finishes what was queued and reports its failures, but runs no step and no refresh.
TEST_F(HistoryWriterTest, DestructionWaitsForEveryQueuedChange) {
  bool landed = false;
  for (int i = 0; i < 5; ++i) FWriter->AddItem(Entry("E" + std::to_string(i), 2000));
  FWriter->DeleteItem(0, [&] { landed = true; });
  FWriter.reset();
  EXPECT_EQ(Names(OnDisk()), (std::vector<std::string>{"E1", "E2", "E3", "E4"}));
  EXPECT_FALSE(landed);
  FMain.ProcessPending();  // outcomes posted to a writer that is gone do nothing
  EXPECT_FALSE(landed);
  EXPECT_TRUE(FEvents.empty());
}

// Reads of a file the writer made, or one another program made afterwards, go by that file's index: queued changes
// still replay on top of it, and an index the reader built itself is not swapped back for the writer's older one.
TEST_F(HistoryWriterTest, ReadsGoByTheIndexOfTheFileAsItIsNow) {
  FWriter->AddItem(Entry("A", 50));
  FWriter->AddItem(Entry("B", 50));
  PumpUntilIdle();
  ASSERT_EQ(Names(FWriter->LoadHistorySummary(FReader)), (std::vector<std::string>{"A", "B"}));
  ASSERT_TRUE(FReader.HistoryIndex());

  FWriter->DeleteItem(0);
  FWriter->AddItem(Entry("C", 50));
  PumpUntilIdle([&] {
    ASSERT_EQ(Names(FWriter->LoadHistorySummary(FReader)), (std::vector<std::string>{"B", "C"}));
    const std::optional<TBackupHistoryItem> b = FWriter->LoadHistoryItem(FReader, 0);
    ASSERT_TRUE(b.has_value());
    EXPECT_EQ(b->TaskName, "B");
    EXPECT_EQ(b->Files.size(), 50u);
    EXPECT_EQ(FWriter->LoadHistoryItem(FReader, 1)->TaskName, "C");
  });
  const std::vector<TBackupHistoryItem> written = OnDisk();
  ASSERT_EQ(Names(written), (std::vector<std::string>{"B", "C"}));
  EXPECT_TRUE(*FWriter->LoadHistoryItem(FReader, 1) == written[1]);
  const std::shared_ptr<const THistoryIndex> index = FReader.HistoryIndex();
  ASSERT_TRUE(index);
  FWriter->LoadHistorySummary(FReader);
  EXPECT_EQ(FReader.HistoryIndex(), index) << "the file is unchanged: no pass over it";

  // The command-line tool adds an entry.
  TConfigManager(FDir.Path(), FClock).AddHistoryItem(Entry("D", 50));
  EXPECT_EQ(Names(FWriter->LoadHistorySummary(FReader)), (std::vector<std::string>{"B", "C", "D"}));
  EXPECT_EQ(FWriter->LoadHistoryItem(FReader, 2)->Files.size(), 50u);
  const std::shared_ptr<const THistoryIndex> own = FReader.HistoryIndex();
  ASSERT_TRUE(own);
  EXPECT_NE(own, index);
  FWriter->LoadHistorySummary(FReader);
  EXPECT_EQ(FReader.HistoryIndex(), own);
}

class AppCoreHistoryWrites : public test::AppCoreHarness {};

// A run's entry is queued as the completion returns; the core, going away at once, still writes it.
TEST_F(AppCoreHistoryWrites, TheCoreWaitsForAQueuedEntryAsItGoes) {
  StartCore();
  TBackupResultSnapshot snapshot;
  snapshot.TaskName = "Son";
  snapshot.Success = true;
  snapshot.Message = "Yedekleme tamamlandı";
  snapshot.SuccessfulFiles = {{"/kaynak/a.txt", 4, true}};
  FCore->AddHistoryFromSnapshot(snapshot);
  EXPECT_EQ(FCore->HistorySummary().size(), 1u) << "seen before it is written";
  FCore.reset();
  const auto history = TConfigManager(ConfigDir(), FClock).LoadHistory();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].TaskName, "Son");
  EXPECT_EQ(history[0].Files.size(), 1u);
}

// Deleting a row: the list loses it at once (it reads the queue); the log line and a second refresh follow the
// write.
TEST_F(AppCoreHistoryWrites, DeletingARowRefreshesAtOnceAndLogsOnceWritten) {
  StartCore();
  for (const char* name : {"Bir", "İki", "Üç"}) FCore->ConfigManager()->AddHistoryItem(Entry(name));
  FView.Events.clear();
  FPrompts.YesNoAnswers = {true};
  FCore->DeleteHistoryItemClick(1);
  EXPECT_EQ(FView.Events, std::vector<std::string>{"history:2"});
  EXPECT_EQ(Names(FCore->HistorySummary()), (std::vector<std::string>{"Bir", "Üç"}));
  ASSERT_TRUE(FCore->HistoryItem(1).has_value());
  EXPECT_EQ(FCore->HistoryItem(1)->TaskName, "Üç");
  RunUntilIdle();
  EXPECT_EQ(FView.Events, (std::vector<std::string>{"history:2", "Seçili history kaydı silindi.", "history:2"}));
  EXPECT_EQ(Names(History()), (std::vector<std::string>{"Bir", "Üç"}));
}

}  // namespace
}  // namespace velkor
