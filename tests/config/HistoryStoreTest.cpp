#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>

#include "config/ConfigManager.h"
#include "platform/StoredJson.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace velkor {
namespace {

using test::ReadFile;
using test::TFakeClock;
using test::TTempDir;
using test::WriteFile;

const TDateTime Now = EncodeDateTime(2024, 7, 1, 9, 15, 0);

TBackupHistoryItem Entry(const std::string& output, bool success = true) {
  TBackupHistoryItem item;
  item.BackupTime = EncodeDateTime(2024, 5, 1, 10, 0, 5);
  item.Success = success;
  item.TaskName = "Muhasebe";
  item.Details = "Yedekleme başarıyla tamamlandı";
  item.StorageModeText = "Lokal Disk";
  item.LocalOutputPath = output;
  item.OutputPath = output;
  item.Checksum = std::string(64, 'a');
  item.Verified = true;
  item.SourceFolders = {"/home/ayşe/Belgeler"};
  item.SourceCount = 1;
  item.FileCount = 1;
  item.TotalSize = 5000000000LL;
  item.Files = {{"/home/ayşe/Belgeler/a.txt", 5000000000LL, true},
                {"/home/ayşe/Belgeler/b.txt (Erişim reddedildi)", 0, false}};
  return item;
}

class HistoryStoreTest : public ::testing::Test {
protected:
  TTempDir FDir;
  TFakeClock FClock{Now};
  TConfigManager FManager{FDir.Path(), FClock};

  std::vector<TBackupHistoryItem> LoadText(const std::string& text) {
    WriteFile(FManager.HistoryFile(), text);
    return FManager.LoadHistory();
  }
  TBackupHistoryItem LoadOne(const std::string& entryFields) {
    auto items = LoadText(R"([{"BackupTime":"2024-05-01T10:00:00","Success":true,"Details":"d","SourceCount":1,)"
                          R"("FileCount":0,"TotalSize":0)" +
                          entryFields + "}]");
    EXPECT_EQ(items.size(), 1u);
    return items.empty() ? TBackupHistoryItem{} : items[0];
  }
  // The copies kept of damaged files, by content, sorted.
  std::vector<std::string> DamagedCopies() const {
    std::vector<std::string> copies;
    for (const auto& e : std::filesystem::directory_iterator(FDir.Path()))
      if (e.path().filename().string().find(".damaged-") != std::string::npos) copies.push_back(ReadFile(e.path()));
    std::sort(copies.begin(), copies.end());
    return copies;
  }
  std::vector<std::string> Outputs() {
    std::vector<std::string> r;
    for (const auto& i : FManager.LoadHistory()) r.push_back(i.OutputPath);
    return r;
  }
};

TEST_F(HistoryStoreTest, EntriesRoundTripWithEveryField) {
  TBackupHistoryItem empty;  // empty strings and a BackupTime of 0 are written too
  FManager.AddHistoryItem(Entry("/mnt/yedek/a.zip"));
  FManager.AddHistoryItem(empty);
  TBackupHistoryItem cloud = Entry("s3://kova/b.zip", false);
  cloud.StorageMode = smHybrid;
  cloud.StorageModeText = "Lokal + Cloud";
  cloud.CloudOutputPath = "s3://kova/b.zip";
  cloud.CloudProvider = "Cloud";
  cloud.CloudStatus = "Başarısız";
  cloud.Details = "Yedek \"tamam\" | Cloud upload: s3://kova/b.zip\r\n\t\x01";
  FManager.AddHistoryItem(cloud);

  const auto items = FManager.LoadHistory();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0], Entry("/mnt/yedek/a.zip"));
  EXPECT_EQ(items[2], cloud);
  EXPECT_EQ(items[1].BackupTime, 0);
  EXPECT_EQ(items[1].StorageModeText, "");
  const std::string text = ReadFile(FManager.HistoryFile());
  EXPECT_EQ(text.substr(0, 5), "\xEF\xBB\xBF[{");
  EXPECT_EQ(text.substr(text.size() - 3), "]\r\n");
  EXPECT_NE(text.find(R"("BackupTime":"1899-12-30T00:00:00")"), std::string::npos);
  EXPECT_NE(text.find(R"("TotalSize":5000000000,"Files":[{"FileName":"/home/ayşe/Belgeler/a.txt")"), std::string::npos);
}

TEST_F(HistoryStoreTest, OlderEntriesDeriveTheirStorageFields) {
  struct Case {
    const char* fields;
    TStorageMode mode;
    const char* local;
    const char* cloud;
    const char* status;
  } cases[] = {
      {R"(,"CloudOutputPath":"s3://bucket/key","LocalOutputPath":"D:\\B\\x.zip")", smHybrid, "D:\\B\\x.zip",
       "s3://bucket/key", "Tamamlandı"},
      {R"(,"CloudOutputPath":"s3://bucket/key","LocalOutputPath":"")", smCloud, "", "s3://bucket/key", "Tamamlandı"},
      {R"(,"OutputPath":"S3://bucket/key")", smCloud, "", "S3://bucket/key", "Kaydedilmedi"},
      {R"(,"StorageMode":5,"OutputPath":"/y/a.zip")", smLocalDisk, "/y/a.zip", "", ""},
      {R"(,"OutputPath":"/y/a.zip")", smLocalDisk, "/y/a.zip", "", ""},
      {R"(,"StorageMode":1,"CloudOutputPath":"","OutputPath":"/tmp/stage/a.zip")", smCloud, "", "", "Kaydedilmedi"},
      {R"(,"StorageMode":2,"CloudStatus":"  ","OutputPath":"/y/a.zip")", smHybrid, "/y/a.zip", "", "Kaydedilmedi"},
  };
  for (const auto& c : cases) {
    const TBackupHistoryItem item = LoadOne(c.fields);
    EXPECT_EQ(item.StorageMode, c.mode) << c.fields;
    EXPECT_EQ(item.LocalOutputPath, c.local) << c.fields;
    EXPECT_EQ(item.CloudOutputPath, c.cloud) << c.fields;
    EXPECT_EQ(item.CloudStatus, c.status) << c.fields;
    EXPECT_EQ(item.StorageModeText, StorageModeToText(c.mode)) << c.fields;
  }
  auto failed = LoadText(R"([{"BackupTime":"x","Success":false,"Details":"hata","OutputPath":"s3://b/k",)"
                         R"("SourceCount":0,"FileCount":0,"TotalSize":0,"CloudProvider":" minio "}])");
  EXPECT_EQ(failed[0].CloudStatus, "Başarısız");
  EXPECT_EQ(failed[0].CloudProvider, "Cloud");
  EXPECT_EQ(failed[0].BackupTime, Now);
}

TEST_F(HistoryStoreTest, CloudPathComesFromTheDetailsText) {
  EXPECT_EQ(ExtractCloudPathFromDetails("Yedekleme tamamlandı | Cloud upload:  s3://bucket/x.zip  | Süre: 3 sn"),
            "s3://bucket/x.zip");
  EXPECT_EQ(ExtractCloudPathFromDetails("Tamam | Cloud kopyası: /mnt/nas/x.zip"), "/mnt/nas/x.zip");
  EXPECT_EQ(ExtractCloudPathFromDetails("Tamam | Cloud kopyası: a | Cloud upload: b"), "b");
  EXPECT_EQ(ExtractCloudPathFromDetails("Tamam"), "");
  const auto item =
      LoadOne(R"(,"Details":"Tamam | Cloud upload: s3://bucket/x.zip | daha fazla","LocalOutputPath":"/l")");
  EXPECT_EQ(item.CloudOutputPath, "s3://bucket/x.zip");
  EXPECT_EQ(item.StorageMode, smHybrid);
}

TEST_F(HistoryStoreTest, DeletingEntries) {
  for (const char* p : {"/y/a.zip", "/y/B.zip", "/y/c.zip", "/y/b.zip"}) FManager.AddHistoryItem(Entry(p));
  const std::string before = ReadFile(FManager.HistoryFile());
  FManager.DeleteHistoryItem(-1);
  FManager.DeleteHistoryItem(4);
  EXPECT_EQ(ReadFile(FManager.HistoryFile()), before);
  FManager.DeleteHistoryItem(2);
  EXPECT_EQ(Outputs(), (std::vector<std::string>{"/y/a.zip", "/y/B.zip", "/y/b.zip"}));

  FManager.AddHistoryItem(Entry("/y/d.zip"));
  FManager.DeleteHistoryByOutputPaths({"/Y/B.ZIP", "/y/d.zip"});
  EXPECT_EQ(Outputs(), (std::vector<std::string>{"/y/a.zip"}));
  FManager.DeleteHistoryByOutputPaths({});
  EXPECT_EQ(Outputs().size(), 1u);

  FManager.ClearHistory();
  EXPECT_FALSE(std::filesystem::exists(FManager.HistoryFile()));
  EXPECT_NO_THROW(FManager.ClearHistory());
  EXPECT_TRUE(FManager.LoadHistory().empty());
}

TEST_F(HistoryStoreTest, MalformedEntriesKeepTheRest) {
  auto items = LoadText(R"([1,"x",null,{"TaskName":"eksik"},{"BackupTime":"2024-05-01T10:00:00","Success":"evet",)"
                        R"("Details":7,"SourceCount":1,"FileCount":2,"TotalSize":3,"TaskName":"B",)"
                        R"("Files":[{"FileName":"f","FileSize":"big","Success":true},[],{"FileName":"g"}]}])");
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].TaskName, "eksik");
  EXPECT_EQ(items[1].TaskName, "B");
  EXPECT_FALSE(items[1].Success);
  EXPECT_EQ(items[1].Details, "");
  ASSERT_EQ(items[1].Files.size(), 2u);
  EXPECT_EQ(items[1].Files[0].FileSize, 0);
  EXPECT_TRUE(items[1].Files[0].Success);
  EXPECT_EQ(items[1].Files[1].FileName, "g");
}

TEST_F(HistoryStoreTest, UnreadableFileIsKeptWhenTheNextEntryReplacesIt) {
  const struct {
    std::string Text;
    std::string Problem;
  } damaged[] = {
      {"[{\"BackupTime\":", NotJsonProblem},
      {"{\"not\":\"an array\"}", "kök değeri bir dizi değil"},
      {"\"text\"", "kök değeri bir dizi değil"},
      {"[{\"BackupTime\":\"2024-05-01T10:00:00\",\"Success\":tr", NotJsonProblem},
  };
  std::vector<std::string> texts;
  for (const auto& d : damaged) {
    EXPECT_TRUE(LoadText(d.Text).empty()) << d.Text;
    EXPECT_EQ(FManager.HistoryNote().Problem, d.Problem) << d.Text;
    texts.push_back(d.Text);
  }
  FManager.AddHistoryItem(Entry("/y/new.zip"));
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(DamagedCopies(), texts);
  EXPECT_EQ(Outputs(), (std::vector<std::string>{"/y/new.zip"}));
  FManager.AddHistoryItem(Entry("/y/second.zip"));  // a good file is not copied again
  EXPECT_EQ(DamagedCopies().size(), texts.size());
  EXPECT_TRUE(FManager.DamageReport().empty());
}

const std::string Fffd = "\xEF\xBF\xBD";

// One damaged byte used to hide the whole history, and the next run's entry replaced it.
TEST_F(HistoryStoreTest, DamagedBytesCostOnlyTheCharactersTheyStoodFor) {
  FManager.AddHistoryItem(Entry("/y/a.zip"));
  FManager.AddHistoryItem(Entry("/y/b.zip"));
  std::string damaged = ReadFile(FManager.HistoryFile());
  damaged.replace(damaged.find("Muhasebe"), 1, "\xFF");
  WriteFile(FManager.HistoryFile(), damaged);

  const auto items = FManager.LoadHistory();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].TaskName, Fffd + "uhasebe");
  EXPECT_EQ(items[1], Entry("/y/b.zip"));
  EXPECT_EQ(FManager.HistoryNote().Problem, ReplacedBytesProblem(1));
  EXPECT_EQ(DamagedCopies(), std::vector<std::string>{damaged});
  ASSERT_EQ(FManager.DamageReport().size(), 1u);
  EXPECT_EQ(FManager.DamageReport()[0], "Yedekleme geçmişi dosyası hasarlı: " + FManager.HistoryFile().string() + " (" +
                                            ReplacedBytesProblem(1) +
                                            "). Özgün dosyanın kopyası: " + FManager.HistoryNote().KeptCopy.string());
  FManager.AddHistoryItem(Entry("/y/c.zip"));
  EXPECT_EQ(Outputs(), (std::vector<std::string>{"/y/a.zip", "/y/b.zip", "/y/c.zip"}));
  EXPECT_EQ(DamagedCopies().size(), 1u);
}

// Paths are bytes: they read back exactly. Free text keeps the replacement, and never makes the file unreadable
// (a lead byte above F4 used to be written as it was).
TEST_F(HistoryStoreTest, StoredPathsKeepBytesThatAreNotUtf8) {
  TBackupHistoryItem item = Entry("/y/ad\xFF.zip");
  item.LocalOutputPath = "/y/ad\xFF.zip";
  item.CloudOutputPath = "s3://kova/ad\xFF.zip";
  item.SourceFolders = {
      "/home/ay\xFE"
      "e",
      std::string("/nul\0"
                  "41",
                  7)};
  item.Files = {{"/home/ay\xFE"
                 "e/\xC3.txt",
                 3, true},
                {"/home/ay\xFE"
                 "e/\xF5\x80\x80 (Erişim reddedildi)",
                 0, false}};
  item.TaskName = "Görev \xF5\x80\x80";
  item.Details = "Bitti \xC0\xAF";
  FManager.AddHistoryItem(item);

  const auto items = FManager.LoadHistory();
  EXPECT_FALSE(FManager.HistoryNote().Damaged()) << FManager.HistoryNote().Problem;
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].OutputPath, item.OutputPath);
  EXPECT_EQ(items[0].LocalOutputPath, item.LocalOutputPath);
  EXPECT_EQ(items[0].CloudOutputPath, item.CloudOutputPath);
  EXPECT_EQ(items[0].SourceFolders, item.SourceFolders);
  EXPECT_EQ(items[0].Files, item.Files);
  EXPECT_EQ(items[0].TaskName, "Görev " + Fffd + Fffd + Fffd);
  EXPECT_EQ(items[0].Details, "Bitti " + Fffd + Fffd);
  EXPECT_NE(ReadFile(FManager.HistoryFile()).find(R"("OutputPath":"/y/ad\u0000FF.zip")"), std::string::npos);
}

// The history is read entry by entry, so its size is not bounded, but nesting is.
TEST_F(HistoryStoreTest, NestingBeyondTheBoundIsDamage) {
  const std::string deep = R"([{"BackupTime":"2024-05-01T10:00:00","Success":true,"Details":"d","SourceCount":1,)"
                           R"("FileCount":0,"TotalSize":0,"Files":[)" +
                           std::string(100000, '[') + std::string(100000, ']') + "]}]";
  EXPECT_TRUE(LoadText(deep).empty());
  EXPECT_EQ(FManager.HistoryNote().Problem, "iç içe yapı sınırını (32 düzey) aşıyor");
  FManager.AddHistoryItem(Entry("/y/new.zip"));
  EXPECT_EQ(DamagedCopies(), std::vector<std::string>{deep});
}

// A history the user cannot read still holds every entry: it is never replaced, and the change says why.
TEST_F(HistoryStoreTest, UnreadableFileIsNeverReplaced) {
  FManager.AddHistoryItem(Entry("/y/a.zip"));
  const std::string stored = ReadFile(FManager.HistoryFile());
  ASSERT_EQ(::chmod(FManager.HistoryFile().c_str(), 0), 0);
  const std::function<void(TConfigManager&)> changes[] = {
      [](TConfigManager& m) { m.AddHistoryItem(Entry("/y/new.zip")); },
      [](TConfigManager& m) { m.DeleteHistoryByOutputPaths({"/y/a.zip"}); },
  };
  for (const auto& change : changes) {
    const test::TChildOutcome outcome = test::RunUnprivileged([&] {
      TConfigManager manager(FDir.Path(), FClock);
      if (!manager.LoadHistory().empty()) return std::string("read");
      change(manager);
      return std::string("written");
    });
    EXPECT_FALSE(outcome.Returned) << outcome.Text;
    EXPECT_EQ(outcome.Text.rfind("Yedekleme geçmişi dosyası hasarlı ve kopyası alınamadığı için üzerine yazılmadı: " +
                                     FManager.HistoryFile().string() + " (okunamadı: ",
                                 0),
              0u)
        << outcome.Text;
  }
  ASSERT_EQ(::chmod(FManager.HistoryFile().c_str(), 0600), 0);
  EXPECT_EQ(ReadFile(FManager.HistoryFile()), stored);
  EXPECT_TRUE(DamagedCopies().empty());
}

}  // namespace
}  // namespace velkor

namespace velkor {
namespace {

// Texts that the passes which step over file lists by their bytes must read as the full read does, each with the
// number of entries a full read finds in it; the first is what the store itself writes.
std::vector<std::pair<std::string, size_t>> HistoryTextsToAgreeOn(TConfigManager& manager) {
  manager.AddHistoryItem(Entry("/mnt/yedek/a.zip"));
  TBackupHistoryItem allGood = Entry("/mnt/yedek/b.zip");
  allGood.Files.pop_back();
  manager.AddHistoryItem(allGood);
  manager.AddHistoryItem(TBackupHistoryItem{});
  // Entries whose texts look like the structure around them: brackets, quotes, a "Files" key, escapes.
  TBackupHistoryItem tricky = Entry("/mnt/yedek/[x]\"{y}\".zip", false);
  tricky.TaskName = R"(Files":[{"FileName":"sahte"}],"x":{)";
  tricky.Details = "] } [ { \\ \" \\u0022 \\u005b Files";
  tricky.Files = {{R"(/a/"Files":[1]/{b}.txt)", 3, true}, {"/a/\\]\"", 0, false}};
  manager.AddHistoryItem(tricky);
  manager.AddHistoryItem(Entry("/mnt/yedek/c.zip"));
  const std::string written = ReadFile(manager.HistoryFile());
  const std::string entry = R"({"BackupTime":"2024-05-01T10:00:00","Success":true,"Details":"d","SourceCount":1,)"
                            R"("FileCount":1,"TotalSize":0,"Files":[{"FileName":"x","FileSize":1,"Success":true}],)";
  const std::string head = R"([{"BackupTime":"2024-05-01T10:00:00","Success":false,"Details":"d","SourceCount":1,)"
                           R"("FileCount":1,"TotalSize":0,"TaskName":"Files","Files":)";
  return {
      {written, 5},
      // Elements of the root that are not objects are no entries; an object inside one is none either.
      {"[7," + entry + R"("TaskName":"a"},[)" + entry + R"("TaskName":"x"}],"s",)" + entry + R"("TaskName":"b"}])", 2},
      // Escapes spelling the structure inside strings, and a key spelled with escapes.
      {"[" + entry + R"("TaskName":"\u007b\u005b\"Files\":[\\"},)" + entry +
           R"("Fil\u0065s":[{"FileName":"y",)"
           R"("FileSize":2,"Success":false}],"TaskName":"\ud83d\ude00 ]"},)" +
           entry + R"("TaskName":"c"}])",
       3},
      {head + R"([{"FileName":"a","FileSize":1}]}])", 1},                          // no "Success": not backed up
      {head + R"([{"FileName":"a","Success":"yes"}]}])", 1},                       // not a Boolean
      {head + R"([{"Success":true,"FileName":"a","Success":false}]}])", 1},        // the last one counts
      {head + R"([{"FileName":"a","Success":true,"X":{"Success":false}}]}])", 1},  // nested: not the file's
      {head + R"([1,"x",null,[false],{"FileName":"a \" [ { \\","FileSize":-1.5e3,"Success":true}]}])", 1},
      {head + R"([ ]} , {"BackupTime":"2024-05-02T10:00:00","Success":true,"Details":"e","SourceCount":0,)"
              R"("FileCount":0,"TotalSize":0,"Files" : [{"FileName":"b","Success":false}]}])",
       2},
      {head + R"([{"Success":true},{"Success":true},{"FileName":"c"},{"Success":true}]}])", 1},
      {head + R"(null}])", 1},
      {head + "[{\"FileName\":\"bad \xFF byte\",\"Success\":true}]}]", 1},
      {R"([{"BackupTime":"2024-05-01T10:00:00","Success":false,"Details":"d","SourceCount":1,"FileCount":1,)"
       R"("TotalSize":0,"Fil\u0065s":[{"FileName":"a","Success":false}]}])",
       1},
      // Damage inside a file list fails the whole read, as it does for the parser.
      {head + R"([{"FileName":"a" "Success":true}]}])", 0},
      {head + R"([{"FileName":"a","Success":true},]}])", 0},
      {head + R"([{"FileName":"a\q","Success":true}]}])", 0},
      {head + "[{\"FileName\":\"a\tb\",\"Success\":true}]}]", 0},
      {head + R"([{"FileName":"a","Success":tru}]}])", 0},
      {head + R"([{"FileName":"a","FileSize":01}]}])", 0},
      {head + R"([{"FileName":"a"]}])", 0},
      {head + R"([{"FileName":"a","Success":true})", 0},
  };
}

// The summary pass steps over the file lists without the parser; whatever a file holds, it must give the entries,
// the counts of backed-up and failed files and the damage note that a full read gives.
TEST_F(HistoryStoreTest, SummaryAgreesWithTheFullReadWhateverTheFileHolds) {
  const auto texts = HistoryTextsToAgreeOn(FManager);
  for (const auto& [text, entries] : texts) {
    SCOPED_TRACE(text);
    WriteFile(FManager.HistoryFile(), text);
    std::vector<TBackupHistoryItem> full = FManager.LoadHistory();
    EXPECT_EQ(full.size(), entries);
    const std::string problem = FManager.HistoryNote().Problem;
    const std::vector<THistorySummary> summary = FManager.LoadHistorySummary();
    EXPECT_EQ(FManager.HistoryNote().Problem, problem);
    ASSERT_EQ(summary.size(), full.size());
    for (size_t i = 0; i < full.size(); ++i) {
      int succeeded = 0;
      int failed = 0;
      for (const auto& file : full[i].Files) ++(file.Success ? succeeded : failed);
      EXPECT_EQ(summary[i].SuccessfulFiles, succeeded) << i;
      EXPECT_EQ(summary[i].FailedFiles, failed) << i;
      full[i].Files.clear();
      EXPECT_TRUE(summary[i].Item == full[i]) << i;
    }
  }
}

// One entry read whole, the others only stepped over: at every index it must give what the full read gives there
// (nothing outside it), and note the same damage.
TEST_F(HistoryStoreTest, OneEntryAgreesWithTheFullReadWhateverTheFileHolds) {
  for (const auto& [text, entries] : HistoryTextsToAgreeOn(FManager)) {
    SCOPED_TRACE(text);
    WriteFile(FManager.HistoryFile(), text);
    const std::vector<TBackupHistoryItem> full = FManager.LoadHistory();
    ASSERT_EQ(full.size(), entries);
    const TStoredFileNote note = FManager.HistoryNote();
    for (int index = -1; index <= static_cast<int>(full.size()); ++index) {
      const std::optional<TBackupHistoryItem> one = FManager.LoadHistoryItem(index);
      if (index < 0 || index == static_cast<int>(full.size())) {
        EXPECT_FALSE(one.has_value()) << index;
        continue;
      }
      ASSERT_TRUE(one.has_value()) << index;
      EXPECT_TRUE(*one == full[static_cast<size_t>(index)]) << index;
      EXPECT_EQ(FManager.HistoryNote().Problem, note.Problem) << index;
      EXPECT_EQ(FManager.HistoryNote().KeptCopy, note.KeptCopy) << index;
    }
  }
}

TEST_F(HistoryStoreTest, OneEntryOfADamagedFileIsNoneAndTheFileIsKept) {
  FManager.AddHistoryItem(Entry("/mnt/yedek/a.zip"));
  FManager.AddHistoryItem(Entry("/mnt/yedek/b.zip"));
  std::string text = ReadFile(FManager.HistoryFile());
  // Cut in the last entry: the first one parses whole, but a full read keeps nothing.
  text.resize(text.size() - 40);
  WriteFile(FManager.HistoryFile(), text);
  EXPECT_FALSE(FManager.LoadHistoryItem(0).has_value());
  EXPECT_TRUE(FManager.HistoryNote().Damaged());
  EXPECT_EQ(DamagedCopies(), std::vector<std::string>{text});
  const std::string problem = FManager.HistoryNote().Problem;
  EXPECT_TRUE(FManager.LoadHistory().empty());
  EXPECT_EQ(FManager.HistoryNote().Problem, problem);
}

// What the history writer's readers show for an entry still queued must be what the file will give back.
TEST_F(HistoryStoreTest, AnEntryAsStoredIsWhatTheFileGivesBack) {
  TBackupHistoryItem item = Entry("s3://kova/x.zip");
  item.BackupTime += 0.4 / 86400;  // a fraction of a second the file does not keep
  item.StorageMode = smCloud;
  item.LocalOutputPath.clear();
  item.CloudStatus.clear();
  item.Files[0].FileName = "/a/\xFF/b";  // a path byte that is not UTF-8
  FManager.AddHistoryItem(item);
  const TBackupHistoryItem stored = HistoryItemAsStored(item, FClock);
  EXPECT_TRUE(stored == FManager.LoadHistory().at(0));
  EXPECT_NE(stored.BackupTime, item.BackupTime);
  EXPECT_EQ(stored.CloudStatus, "Kaydedilmedi") << "derived as a read derives it";
}

// Entries whose text makes a byte-range reader stumble if it gets the ranges wrong: quotes, brackets and braces in
// strings, escapes, control characters, path bytes that are not UTF-8, an entry without files.
std::vector<TBackupHistoryItem> AwkwardEntries() {
  std::vector<TBackupHistoryItem> items;
  items.push_back(Entry("/y/\"ilk\" {a}.zip"));
  items[0].Details = "bitti ]}, {\"Files\":[";
  items[0].BackupTime += 0.7 / 86400;
  items.push_back(Entry("/y/orta[1].zip", false));
  items[1].TaskName = "Görev \\ \x01 \t ğüşöç";
  items[1].Files.push_back({"/y/\xFF\xFE/}{\"Success\":true}", 7, true});
  items.push_back(Entry("/y/son\xC3.zip"));
  items[2].Files.clear();
  items[2].SourceFolders = {"/home/ay\xFE", "[]"};
  return items;
}

// The file made settled: any later write in place shows as another modification time.
void Settle(const std::filesystem::path& file, int secondsAgo = 10) {
  std::filesystem::last_write_time(file,
                                   std::filesystem::file_time_type::clock::now() - std::chrono::seconds(secondsAgo));
}

void ExpectSameSummaries(const std::vector<THistorySummary>& a, const std::vector<THistorySummary>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_TRUE(a[i].Item == b[i].Item) << i;
    EXPECT_EQ(a[i].SuccessfulFiles, b[i].SuccessfulFiles) << i;
    EXPECT_EQ(a[i].FailedFiles, b[i].FailedFiles) << i;
  }
}

// An index, whether the write that made the file built it or a read of a file written elsewhere did, gives the
// rows and entries a full read gives, and reads keep using it.
TEST_F(HistoryStoreTest, AnIndexGivesWhatAFullReadGives) {
  const std::string handWritten =
      std::string(Utf8Bom) +
      "[ 5, {\"BackupTime\":\"2024-05-01T10:00:00\",\"TaskName\":\"el \\u00e7\\\"}\\u005d\",\"Su\\u0063cess\":true,"
      "\"\\u0046iles\":[{\"FileName\":\"/"
      "a\\u0000ff\",\"Success\":true},{\"FileName\":\"b\"}],\"Bilinmeyen\":{\"x\":[[]]}}"
      " ,\n{\"OutputPath\":\"/y/\\u0000FE.zip\",\"Files\":[{\"FileName\":\"]\",\"Success\":false}]}\n]\r\n";
  const struct {
    const char* Name;
    bool ByWrite;
    std::string Text;
  } sources[] = {{"written here", true, {}}, {"written elsewhere", false, handWritten}};
  for (const auto& source : sources) {
    SCOPED_TRACE(source.Name);
    TTempDir dir;
    TConfigManager manager(dir.Path(), FClock);
    if (source.ByWrite) {
      for (const TBackupHistoryItem& item : AwkwardEntries()) manager.AddHistoryItem(item);
    } else {
      WriteFile(manager.HistoryFile(), source.Text);
      Settle(manager.HistoryFile());
      manager.LoadHistorySummary();
    }
    const std::shared_ptr<const THistoryIndex> index = manager.HistoryIndex();
    ASSERT_TRUE(index);

    TConfigManager fresh(dir.Path(), FClock);
    const std::vector<TBackupHistoryItem> full = fresh.LoadHistory();
    ASSERT_FALSE(fresh.HistoryNote().Damaged()) << fresh.HistoryNote().Problem;
    ASSERT_GE(full.size(), 2u);
    ExpectSameSummaries(manager.LoadHistorySummary(), TConfigManager(dir.Path(), FClock).LoadHistorySummary());
    for (int at : {0, static_cast<int>(full.size()) / 2, static_cast<int>(full.size()) - 1}) {
      const std::optional<TBackupHistoryItem> one = manager.LoadHistoryItem(at);
      ASSERT_TRUE(one.has_value()) << at;
      EXPECT_TRUE(*one == full[static_cast<size_t>(at)]) << at;
    }
    EXPECT_FALSE(manager.LoadHistoryItem(static_cast<int>(full.size())).has_value());
    EXPECT_FALSE(manager.HistoryNote().Damaged());
    EXPECT_EQ(manager.HistoryIndex(), index) << "no pass was needed";
  }
}

// Whatever changed the file behind the index, reads give the file's new content, never entries at stale offsets.
TEST_F(HistoryStoreTest, AFileChangedBehindTheIndexIsReadAfresh) {
  // "aaa" becomes "bbb" and "bbb" "ccc", each `length` letters long.
  const auto Rename = [](std::string& text, size_t length) {
    for (const auto& [from, to] : {std::pair{"bbb", 'c'}, std::pair{"aaa", 'b'}})
      for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + length))
        text.replace(at, 3, std::string(length, to));
  };
  enum TChange { chSameSizeInPlace, chOtherSizeInPlace, chReplacedByAnotherWriter };
  for (const TChange change : {chSameSizeInPlace, chOtherSizeInPlace, chReplacedByAnotherWriter}) {
    SCOPED_TRACE(change);
    TTempDir dir;
    TConfigManager manager(dir.Path(), FClock);
    manager.AddHistoryItem(Entry("/y/aaa.zip"));
    manager.AddHistoryItem(Entry("/y/bbb.zip"));
    ASSERT_EQ(manager.LoadHistorySummary().size(), 2u);
    ASSERT_TRUE(manager.HistoryIndex());
    const std::filesystem::path file = manager.HistoryFile();
    std::string text = ReadFile(file);
    switch (change) {
      case chSameSizeInPlace: {
        const auto mtime = std::filesystem::last_write_time(file);
        Rename(text, 3);
        WriteFile(file, text);
        std::filesystem::last_write_time(file, mtime + std::chrono::seconds(1));
        break;
      }
      case chOtherSizeInPlace:
        Rename(text, 4);
        WriteFile(file, text);
        break;
      case chReplacedByAnotherWriter: {
        TConfigManager other(dir.Path(), FClock);
        other.DeleteHistoryItem(0);
        other.AddHistoryItem(Entry("/y/ccc.zip"));
        break;
      }
    }
    const std::vector<TBackupHistoryItem> full = TConfigManager(dir.Path(), FClock).LoadHistory();
    ASSERT_EQ(full.size(), 2u);
    EXPECT_EQ(full[1].OutputPath, change == chOtherSizeInPlace ? "/y/cccc.zip" : "/y/ccc.zip");
    const std::optional<TBackupHistoryItem> last = manager.LoadHistoryItem(1);
    ASSERT_TRUE(last.has_value());
    EXPECT_TRUE(*last == full[1]);
    ExpectSameSummaries(manager.LoadHistorySummary(), TConfigManager(dir.Path(), FClock).LoadHistorySummary());
  }
}

// Damage is found with an index in hand: in a file changed behind it, and in an entry's own bytes even where the
// file system shows no change.
TEST_F(HistoryStoreTest, DamageIsNotedAndKeptAsideWithAnIndexInHand) {
  enum TDamage { dmCutFile, dmBadByteInTheEntryUnseen };
  for (const TDamage damage : {dmCutFile, dmBadByteInTheEntryUnseen}) {
    SCOPED_TRACE(damage);
    TTempDir dir;
    TConfigManager manager(dir.Path(), FClock);
    manager.AddHistoryItem(Entry("/y/a.zip"));
    manager.AddHistoryItem(Entry("/y/b.zip"));
    ASSERT_TRUE(manager.HistoryIndex());
    const std::filesystem::path file = manager.HistoryFile();
    const auto mtime = std::filesystem::last_write_time(file);
    std::string text = ReadFile(file);
    if (damage == dmCutFile) {
      text.resize(text.size() - 40);
    } else {
      text[text.find("/y/a.zip") + 3] = '\xFF';
    }
    WriteFile(file, text);
    if (damage == dmBadByteInTheEntryUnseen) std::filesystem::last_write_time(file, mtime);

    const std::optional<TBackupHistoryItem> first = manager.LoadHistoryItem(0);
    EXPECT_TRUE(manager.HistoryNote().Damaged());
    ASSERT_FALSE(manager.HistoryNote().KeptCopy.empty());
    EXPECT_EQ(ReadFile(manager.HistoryNote().KeptCopy), text);
    if (damage == dmCutFile) {
      EXPECT_FALSE(first.has_value()) << "nothing of a cut file is trusted";
      EXPECT_TRUE(manager.LoadHistorySummary().empty());
    } else {
      ASSERT_TRUE(first.has_value()) << "a replaced byte costs only its character";
      EXPECT_EQ(first->LocalOutputPath, "/y/" + Fffd + ".zip");
    }
    EXPECT_TRUE(manager.HistoryNote().Damaged());
  }
}

}  // namespace
}  // namespace velkor
