// Which files a run takes: reference names, the reference list and the reference time with its one-second
// tolerance, and how the selection shapes whole runs.
#include <gtest/gtest.h>

#include "RunFixture.h"
#include "engine/BackupEngine.h"
#include "support/TempDir.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::ReadTree;
using test::RealNowSeconds;
using test::SetWriteTime;
using test::TCompletion;
using test::TFileTree;
using test::TRunFixture;
using test::WriteTree;

TEST(ReferenceName, IsTheSourceFoldersLastComponentAndThePathInsideIt) {
  const std::vector<std::string> sources = {"/data/Documents", "/mnt/b/Docs/", "/srv/x/Docs", "/"};
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/data/Documents/2024/report.docx", "Documents/2024/report.docx"},
      {"/DATA/documents/a.txt", "Documents/a.txt"},         // the folder is matched without regard to case
      {"/mnt/b/Docs/x.txt", "Docs/x.txt"},                  // a trailing separator changes nothing
      {"/srv/x/Docs/x.txt", "Docs/x.txt"},                  // same last component, same name
      {"/data/Documents2/x.txt", "data/Documents2/x.txt"},  // a longer name is not inside; the root takes it
  };
  for (const auto& [file, name] : cases) EXPECT_EQ(MakeReferenceName(sources, file), name) << file;
  EXPECT_EQ(MakeReferenceName({"/data/Documents"}, "/elsewhere/sub/f.txt"), "f.txt");
}

// The example of a differential run against a base full backup at R with the list {Docs/a.txt}. A file's creation
// time cannot be set back, so R lies an hour after the files were made and the write times are set around it.
class BackupSelection : public TRunFixture {
protected:
  TDateTime FReference = IncSecond(RealNowSeconds(), 3600);

  void SetUp() override {
    WriteTree(FDir.Path(), {{"src/Docs/a.txt", "aaaa"}, {"src/Docs/b.txt", "bb"}, {"src/Docs/sub/c.txt", "c"}});
    FEngine->SourceFolders() = {P("src/Docs")};
  }
};

TEST_F(BackupSelection, ReferenceListFirstThenTheLaterTimeStampAgainstTheReferenceLessOneSecond) {
  struct TCase {
    const char* Name;
    TBackupType Type;
    TDateTime FullTime, IncrementalTime;
    std::vector<std::string> List;
    const char* File;
    long long WrittenMsFromReference;
    bool Taken;
  };
  const TDateTime r = FReference;
  const long long day = 86400000;
  const std::vector<TCase> cases = {
      {"new name, old stamps", btDifferential, r, 0, {"Docs/a.txt"}, "b.txt", -day, true},
      {"within the tolerance", btDifferential, r, 0, {"Docs/a.txt"}, "a.txt", -500, true},
      {"exactly one second before", btDifferential, r, 0, {"Docs/a.txt"}, "a.txt", -1000, true},
      {"two seconds before", btDifferential, r, 0, {"Docs/a.txt"}, "a.txt", -2000, false},
      {"known in another letter case", btDifferential, r, 0, {"DOCS/A.TXT"}, "a.txt", -2000, false},
      {"known under backslashes", btDifferential, r, 0, {"Docs\\sub\\c.txt"}, "sub/c.txt", -2000, false},
      {"empty list: the time alone", btDifferential, r, 0, {}, "b.txt", -2000, false},
      {"differential ignores the incremental time", btDifferential, 0, r, {}, "b.txt", -day, true},
      {"incremental against its own time", btIncremental, 0, r, {}, "b.txt", -2000, false},
      {"incremental, changed after", btIncremental, 0, r, {}, "b.txt", 0, true},
      {"incremental ignores the full time", btIncremental, r, 0, {}, "b.txt", -day, true},
      {"full takes everything", btFull, r, r, {"Docs/a.txt"}, "b.txt", -day, true},
  };
  for (const auto& c : cases) {
    FEngine->SetBackupType(c.Type);
    FEngine->SetReferenceFullBackupTime(c.FullTime);
    FEngine->SetReferenceBackupTime(c.IncrementalTime);
    FEngine->ReferenceFileNames() = {c.List.begin(), c.List.end()};
    const std::string file = P("src/Docs/") + c.File;
    SetWriteTime(file, IncMilliSecond(r, c.WrittenMsFromReference));
    EXPECT_EQ(FEngine->ShouldBackupFile(file), c.Taken) << c.Name;
  }
}

TEST_F(BackupSelection, AFileCreatedAfterTheReferenceCountsAsChangedWhateverItsWriteTime) {
  const TDateTime before = IncSecond(RealNowSeconds(), -3600);
  FEngine->SetBackupType(btDifferential);
  FEngine->SetReferenceFullBackupTime(before);
  FEngine->ReferenceFileNames() = {"Docs/a.txt"};
  SetWriteTime(P("src/Docs/a.txt"), IncDay(before, -30));
  EXPECT_TRUE(FEngine->ShouldBackupFile(P("src/Docs/a.txt")));
}

TEST_F(BackupSelection, DifferentialRunTakesNewAndChangedFilesAndTheEstimateAgrees) {
  WriteTree(FDir.Path(), {{"src/Docs/new.txt", "new!"}});
  SetWriteTime(P("src/Docs/a.txt"), IncMilliSecond(FReference, -500));
  SetWriteTime(P("src/Docs/b.txt"), IncSecond(FReference, -2));
  SetWriteTime(P("src/Docs/sub/c.txt"), IncDay(FReference, -1));
  SetWriteTime(P("src/Docs/new.txt"), IncDay(FReference, -1));
  FEngine->SetBackupType(btDifferential);
  FEngine->SetReferenceFullBackupTime(FReference);
  FEngine->ReferenceFileNames() = {"Docs/a.txt", "Docs/b.txt", "Docs/sub/c.txt"};
  int count = 0;
  EXPECT_EQ(FEngine->EstimateRequiredBytes(count), 8 + 65536);
  EXPECT_EQ(count, 2);

  for (const bool compress : {false, true}) {
    SCOPED_TRACE(compress ? "compressed" : "folder");
    FEngine->SetCompressBackup(compress);
    const TCompletion done = Run();
    EXPECT_TRUE(done.first) << done.second;
    EXPECT_EQ(FEngine->SuccessfulFiles(), (std::vector<std::string>{P("src/Docs/a.txt"), P("src/Docs/new.txt")}));
    EXPECT_EQ(FEngine->LastBackupFileCount(), 2);
    EXPECT_EQ(FEngine->LastBackupTotalSize(), 8);
    if (!compress) {
      EXPECT_EQ(ReadTree(FEngine->LastBackupOutputPath()),
                (TFileTree{{"Docs/a.txt", "aaaa"}, {"Docs/new.txt", "new!"}}));
    }
    FClock.Advance(1000);
  }
}

TEST_F(BackupSelection, NothingChangedLeavesNothingInEitherMode) {
  SetWriteTime(P("src/Docs/a.txt"), IncDay(FReference, -1));
  SetWriteTime(P("src/Docs/b.txt"), IncDay(FReference, -1));
  SetWriteTime(P("src/Docs/sub/c.txt"), IncDay(FReference, -1));
  FEngine->SetBackupType(btIncremental);
  FEngine->SetReferenceBackupTime(FReference);
  for (const bool compress : {false, true}) {
    SCOPED_TRACE(compress ? "compressed" : "folder");
    FEngine->SetCompressBackup(compress);
    EXPECT_EQ(Run(), TCompletion(true, BackupNoChangeMessage));
    EXPECT_TRUE(DestinationEntries().empty());
    EXPECT_TRUE(TempEntries().empty());
    EXPECT_TRUE(FEngine->LastBackupOutputPath().empty());
    EXPECT_TRUE(FEngine->LastBackupChecksum().empty());
    EXPECT_FALSE(FEngine->LastBackupVerified());
  }
}

TEST_F(BackupSelection, EveryChangedFileUnreadableIsAFailureNotNoChange) {
  // Dangling links are unreadable even for root; these appeared after the reference run.
  const auto appeared = ToUnixTime(IncDay(FReference, 1));
  ASSERT_TRUE(appeared.has_value());
  const timespec times[2] = {{*appeared, 0}, {*appeared, 0}};
  for (const char* name : {"x.txt", "y.txt", "z.txt"}) {
    fs::create_symlink(P("nowhere/") + name, P("src/Docs/") + name);
    ASSERT_EQ(::utimensat(AT_FDCWD, (P("src/Docs/") + name).c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
  }
  SetWriteTime(P("src/Docs/a.txt"), IncDay(FReference, -1));
  SetWriteTime(P("src/Docs/b.txt"), IncDay(FReference, -1));
  SetWriteTime(P("src/Docs/sub/c.txt"), IncDay(FReference, -1));
  FEngine->SetBackupType(btDifferential);
  FEngine->SetReferenceFullBackupTime(FReference);
  FEngine->ReferenceFileNames() = {"Docs/a.txt", "Docs/b.txt", "Docs/sub/c.txt"};
  for (const bool compress : {false, true}) {
    SCOPED_TRACE(compress ? "compressed" : "folder");
    FEngine->SetCompressBackup(compress);
    EXPECT_EQ(Run(), TCompletion(false, "Yedeklenecek dosyalar okunamadı (3 dosya atlandı)."));
    ASSERT_EQ(FEngine->FailedFiles().size(), 3u);
    EXPECT_TRUE(FEngine->FailedFiles()[0].starts_with(P("src/Docs/x.txt") + " (")) << FEngine->FailedFiles()[0];
    EXPECT_TRUE(FEngine->FailedFiles()[0].ends_with(")"));
    EXPECT_TRUE(FEngine->SuccessfulFiles().empty());
    EXPECT_TRUE(TempEntries().empty());
    FClock.Advance(1000);
  }
}

TEST_F(BackupSelection, TwoSourcesWithTheSameLastComponentShareOneFolderAndTheLaterCopyWins) {
  WriteTree(FDir.Path(), {{"one/Docs/shared.txt", "from one"},
                          {"one/Docs/only1.txt", "1"},
                          {"two/Docs/shared.txt", "from two"},
                          {"two/Docs/sub/only2.txt", "2"}});
  FEngine->SourceFolders() = {P("one/Docs"), P("two/Docs")};
  EXPECT_EQ(FEngine->GetReferenceName(P("one/Docs/shared.txt")), FEngine->GetReferenceName(P("two/Docs/shared.txt")));

  FEngine->SetCompressBackup(false);
  TCompletion done = Run();
  ASSERT_TRUE(done.first) << done.second;
  EXPECT_EQ(ReadTree(FEngine->LastBackupOutputPath()),
            (TFileTree{{"Docs/only1.txt", "1"}, {"Docs/shared.txt", "from two"}, {"Docs/sub/only2.txt", "2"}}));

  FClock.Advance(1000);
  FEngine->SetCompressBackup(true);
  done = Run();
  ASSERT_TRUE(done.first) << done.second;
  std::string listed;
  ASSERT_EQ(test::RunCommand("zipinfo -1 " + test::ShellQuote(FEngine->LastBackupOutputPath()), &listed), 0);
  EXPECT_EQ(listed, "Docs/only1.txt\nDocs/shared.txt\nDocs/sub/only2.txt\n");
  std::string shared;
  test::RunCommand("unzip -p " + test::ShellQuote(FEngine->LastBackupOutputPath()) + " Docs/shared.txt", &shared);
  EXPECT_EQ(shared, "from two");
}

TEST_F(BackupSelection, ProgressRestartsForEverySourceFolder) {
  WriteTree(FDir.Path(), {{"src/Docs/d.txt", "d"}, {"src/Photos/p.jpg", "p"}, {"src/Photos/q.jpg", "q"}});
  FEngine->SourceFolders() = {P("src/Docs"), P("src/Photos")};
  FEngine->SetCompressBackup(false);
  // Time passes on the main thread with every delivery, so the rate limit lets every value through.
  FAfterProgress = [this](const std::string&, int) { FClock.AdvanceTick(200); };
  ASSERT_TRUE(Run().first);
  std::vector<int> values;
  for (const auto& [file, progress] : FProgress) values.push_back(progress);
  EXPECT_EQ(values, (std::vector<int>{25, 50, 75, 100, 50, 100}));
}

}  // namespace
}  // namespace velkor
