// What a run leaves behind when it is interrupted, when writes fail half-way, when parts of a source cannot be
// read, when the destination vanishes, and when two runs want the same name: never an incomplete output under a
// final name, never plaintext beside an encrypted output, and results that describe exactly the output there is.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <functional>
#include <thread>

#include "RunFixture.h"
#include "UnlistableFolder.h"
#include "engine/BackupEngine.h"
#include "platform/AtomicFile.h"
#include "platform/Leftovers.h"
#include "support/TempDir.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::CommandOutput;
using test::ReadFile;
using test::ReadTree;
using test::Sha256Of;
using test::ShellQuote;
using test::TCompletion;
using test::TFileSizeCap;
using test::TFileTree;
using test::TRunFixture;
using test::TUnlistableFolder;
using test::WriteTree;

const std::string Probe = std::string("/usr/bin/python3 ") + VELKOR_TEST_DATA_DIR + "/output_probe.py";
const std::string MbeReader = std::string("/usr/bin/python3 ") + VELKOR_SOURCE_DIR + "/tests/crypto/mbe_reference.py";

// Every output kind a run makes.
struct TOutputKind {
  const char* Name;
  bool Compress;
  bool Encrypt;
};
const TOutputKind Zip{"zip", true, false};
const TOutputKind EncryptedZip{"encrypted zip", true, true};
const TOutputKind Folder{"folder", false, false};
const TOutputKind EncryptedFolder{"encrypted folder", false, true};

// The files of an output with their contents: a folder as it is, an archive as python's zipfile reads it (which
// checks every entry's CRC), an encrypted archive decrypted by the independent reader first.
TFileTree OutputContent(const std::string& output, const std::string& scratch) {
  std::string archive = output;
  if (output.ends_with(".mbe")) {
    archive = scratch + "/decrypted.zip";
    CommandOutput(MbeReader + " decrypt pw " + ShellQuote(output) + " " + ShellQuote(archive));
  }
  if (!archive.ends_with(".zip")) return ReadTree(output);
  const std::string folder = scratch + "/unpacked";
  fs::remove_all(folder);
  CommandOutput("/usr/bin/python3 -c \"import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])\" " +
                ShellQuote(archive) + " " + ShellQuote(folder));
  return ReadTree(folder);
}

// "name size" per file, for messages short enough to read; contents are compared apart.
std::string Listing(const TFileTree& tree) {
  std::string text;
  for (const auto& [name, content] : tree) text += name + " " + std::to_string(content.size()) + "\n";
  return text;
}

// The checksum an output should carry, computed without the engine.
std::string IndependentChecksum(const std::string& output) {
  return fs::is_directory(output) ? CommandOutput(Probe + " manifest " + ShellQuote(output)).substr(0, 64)
                                  : Sha256Of(output);
}

class BackupSafety : public TRunFixture {
protected:
  void Use(const TOutputKind& kind) {
    FEngine->SetCompressBackup(kind.Compress);
    FEngine->SetEncryptBackup(kind.Encrypt);
    FEngine->SetEncryptionPassword(kind.Encrypt ? "pw" : "");
  }
  // Leaves nothing of an earlier case behind.
  void Fresh() {
    fs::remove_all(P("dest"));
    fs::remove_all(P("scratch"));
    fs::create_directories(P("scratch"));
    FAfterProgress = nullptr;
    FClock.Advance(1000);
  }
  std::string Scratch() const { return P("scratch"); }
};

TEST_F(BackupSafety, OutputsGrowInALockedWorkEntryAndTakeTheirNameOnlyWhenComplete) {
  WriteTree(FDir.Path(), {{"src/Docs/a.txt", "aaaa"}, {"src/Docs/sub/b.txt", "bb"}, {"src/Photos/p.jpg", "pppp"}});
  FEngine->SourceFolders() = {P("src/Docs"), P("src/Photos")};
  for (const TOutputKind& kind : {Zip, EncryptedZip, Folder, EncryptedFolder}) {
    SCOPED_TRACE(kind.Name);
    Fresh();
    Use(kind);
    int checks = 0;
    FAfterProgress = [&](const std::string&, int) {
      ++checks;
      // Whatever the destination holds meanwhile is hidden work, and the cleanup of leftovers leaves it alone.
      for (const auto& name : DestinationEntries()) EXPECT_TRUE(IsWorkEntryName(name)) << name;
      EXPECT_TRUE(RemoveAbandonedWork(P("dest"), IsWorkEntryName).empty());
      // Only an encrypted archive has plaintext to keep in a staging folder; the others need none.
      if (!kind.Compress || !kind.Encrypt) {
        EXPECT_TRUE(TempEntries().empty());
        return;
      }
      EXPECT_TRUE(RemoveAbandonedWork(P("tmp"), IsStagingFolderName).empty());
      const std::vector<std::string> staging = TempEntries();
      ASSERT_EQ(staging.size(), 1u);
      EXPECT_EQ(fs::status(P("tmp/" + staging[0])).permissions(), fs::perms::owner_all);
      // The plaintext archive of an encrypted run is made in the private staging folder only.
      EXPECT_TRUE(DestinationEntries().empty());
      for (const auto& entry : fs::directory_iterator(P("tmp/" + staging[0]))) {
        if (!entry.is_regular_file()) continue;
        EXPECT_EQ(entry.status().permissions(), fs::perms::owner_read | fs::perms::owner_write);
      }
    };
    const TCompletion done = Run();
    ASSERT_TRUE(done.first) << done.second;
    EXPECT_GT(checks, 0);
    const std::string output = FEngine->LastBackupOutputPath();
    EXPECT_EQ(DestinationEntries(), std::vector<std::string>{fs::path(output).filename().string()});
    EXPECT_TRUE(TempEntries().empty());
    EXPECT_EQ(FEngine->LastBackupChecksum(), IndependentChecksum(output));
    EXPECT_TRUE(done.second.ends_with(" MB) - " + output)) << done.second;
  }
}

TEST_F(BackupSafety, CopiesCutShortAreFailedFilesAndNeverPartOfTheOutput) {
  // A cap of 100 KB on every file written stops the copies of the two large files half-way; the small ones fit. (An
  // archive copies nothing: its entries are read straight from the sources, see the half-read file below.)
  WriteTree(FDir.Path(), {{"cap/Data/1.txt", std::string(1000, '1')},
                          {"cap/Data/2.txt", std::string(1000, '2')},
                          {"cap/Data/big.bin", std::string(300000, 'B')},
                          {"cap/Data/sub/3.txt", std::string(1000, '3')},
                          {"cap/Data/sub/large.bin", std::string(200000, 'L')}});
  FEngine->SourceFolders() = {P("cap/Data")};
  const TFileTree kept = {{"Data/1.txt", std::string(1000, '1')},
                          {"Data/2.txt", std::string(1000, '2')},
                          {"Data/sub/3.txt", std::string(1000, '3')}};
  for (const TOutputKind& kind : {Folder, EncryptedFolder}) {
    SCOPED_TRACE(kind.Name);
    Fresh();
    Use(kind);
    TCompletion done;
    {
      TFileSizeCap cap(100000);
      done = Run();
    }
    ASSERT_TRUE(done.first) << done.second;
    const std::string output = FEngine->LastBackupOutputPath();
    EXPECT_TRUE(done.second.starts_with("3 dosya yedeklendi (")) << done.second;
    EXPECT_TRUE(done.second.ends_with(" - " + output + " (2 dosya atlandı/okunamadı)")) << done.second;
    EXPECT_EQ(FEngine->SuccessfulFiles(),
              (std::vector<std::string>{P("cap/Data/1.txt"), P("cap/Data/2.txt"), P("cap/Data/sub/3.txt")}));
    EXPECT_EQ(FEngine->LastBackupFileCount(), 3);
    EXPECT_EQ(FEngine->LastBackupTotalSize(), 3000);
    ASSERT_EQ(FEngine->FailedFiles().size(), 2u);
    EXPECT_TRUE(FEngine->FailedFiles()[0].starts_with(P("cap/Data/big.bin") + " (")) << FEngine->FailedFiles()[0];
    EXPECT_TRUE(FEngine->FailedFiles()[1].starts_with(P("cap/Data/sub/large.bin") + " (")) << FEngine->FailedFiles()[1];
    if (kind.Encrypt) {
      TFileTree names;
      for (const auto& [name, content] : ReadTree(output)) names[name] = "";
      EXPECT_EQ(names, (TFileTree{{"Data/1.txt.mbe", ""}, {"Data/2.txt.mbe", ""}, {"Data/sub/3.txt.mbe", ""}}));
    } else {
      const TFileTree content = OutputContent(output, Scratch());
      EXPECT_EQ(Listing(content), Listing(kept));
      EXPECT_TRUE(content == kept);
    }
    EXPECT_EQ(FEngine->LastBackupChecksum(), IndependentChecksum(output));
    EXPECT_TRUE(TempEntries().empty());
  }
}

// A file whose reading fails half-way through its archive entry (here it shrinks after the run listed it, while the
// run still works on the file before it) is taken back out whole: the archive is cut back to where the entry began
// and stays sound without it, and the file is a failed file. The file spans more blocks than the compression
// threads hold, so part of its entry is in the archive by the time its reading fails.
TEST_F(BackupSafety, AFileThatFailsHalfReadIsTakenBackOutOfTheArchive) {
  const std::string shrinking = P("src/Docs/b.bin");
  FEngine->SourceFolders() = {P("src/Docs")};
  for (const TOutputKind& kind : {Zip, EncryptedZip}) {
    SCOPED_TRACE(kind.Name);
    Fresh();
    Use(kind);
    WriteTree(FDir.Path(), {{"src/Docs/a.txt", "first"},
                            {"src/Docs/b.bin", test::Incompressible(12u << 20, 7)},
                            {"src/Docs/c.txt", "last"}});
    FAfterProgress = [&](const std::string& file, int) {
      FClock.AdvanceTick(200);
      if (file == P("src/Docs/a.txt")) fs::resize_file(shrinking, (10u << 20) + 12345);
    };
    const TCompletion done = Run();
    ASSERT_TRUE(done.first) << done.second;
    EXPECT_TRUE(done.second.ends_with(" (1 dosya atlandı/okunamadı)")) << done.second;
    EXPECT_EQ(FEngine->SuccessfulFiles(), (std::vector<std::string>{P("src/Docs/a.txt"), P("src/Docs/c.txt")}));
    EXPECT_EQ(FEngine->FailedFiles(),
              std::vector<std::string>{shrinking + " (Dosya okunurken kısaldı: " + shrinking + ")"});
    const std::string output = FEngine->LastBackupOutputPath();
    EXPECT_EQ(OutputContent(output, Scratch()), (TFileTree{{"Docs/a.txt", "first"}, {"Docs/c.txt", "last"}}));
    // Nothing of the ten MiB already read stays behind.
    EXPECT_LT(fs::file_size(output), 4096u);
    if (!kind.Encrypt) CommandOutput("unzip -tq " + ShellQuote(output));
    EXPECT_TRUE(TempEntries().empty());
  }
}

TEST_F(BackupSafety, ARunThatBacksUpNothingLeavesNoOutput) {
  // Links that lead nowhere cannot be read, not even by root.
  fs::create_directories(P("src/Docs"));
  fs::create_symlink(P("nowhere/x"), P("src/Docs/x.txt"));
  fs::create_symlink(P("nowhere/y"), P("src/Docs/y.txt"));
  FEngine->SourceFolders() = {P("src/Docs")};
  for (const TOutputKind& kind : {Zip, EncryptedZip, Folder, EncryptedFolder}) {
    SCOPED_TRACE(kind.Name);
    Fresh();
    Use(kind);
    EXPECT_EQ(Run(), TCompletion(false, "Yedeklenecek dosyalar okunamadı (2 dosya atlandı)."));
    EXPECT_TRUE(DestinationEntries().empty());
    EXPECT_TRUE(TempEntries().empty());
    EXPECT_TRUE(FEngine->LastBackupOutputPath().empty());
    EXPECT_TRUE(FEngine->LastBackupChecksum().empty());
    EXPECT_FALSE(FEngine->LastBackupVerified());
  }
}

// A source folder that is not there (an unplugged drive) is no empty source: a set without it would count for
// retention and let it delete the only copies of that source's files. The run fails, lists the folder and names no
// output, whatever it read from the other sources; a source that is there and empty is still backed up.
TEST_F(BackupSafety, AMissingSourceFailsTheRunAndLeavesNoOutput) {
  WriteTree(FDir.Path(), {{"src/Docs/a.txt", "a"}, {"src/Docs/sub/b.txt", "bb"}});
  fs::create_directories(P("src/Empty"));
  const std::string unplugged = P("usb/Photos");
  const std::string gone = P("share/Music");
  auto missing = [](const std::string& folder) { return folder + " (Kaynak klasör bulunamadı)"; };
  struct TCase {
    const char* Name;
    std::vector<std::string> Sources;
    TBackupType Type;
    std::string Message;  // empty: the run succeeds
    std::vector<std::string> Successful;
    std::vector<std::string> Failed;
  };
  const std::string fails = ". Eksik kaynakla yedek oluşturulmadı.";
  const std::vector<TCase> cases = {
      {"the only source is missing",
       {unplugged},
       btFull,
       "Yedekleme hatası: kaynak klasör bulunamadı: " + unplugged + fails,
       {},
       {missing(unplugged)}},
      {"one of two sources is missing",
       {P("src/Docs"), unplugged},
       btFull,
       "Yedekleme hatası: kaynak klasör bulunamadı: " + unplugged + fails,
       {P("src/Docs/a.txt"), P("src/Docs/sub/b.txt")},
       {missing(unplugged)}},
      // Nothing new in the others does not make it a run without changes.
      {"missing in an incremental run that finds nothing new",
       {P("src/Docs"), unplugged},
       btIncremental,
       "Yedekleme hatası: kaynak klasör bulunamadı: " + unplugged + fails,
       {},
       {missing(unplugged)}},
      {"two sources are missing",
       {gone, P("src/Docs"), unplugged},
       btFull,
       "Yedekleme hatası: 2 kaynak klasör bulunamadı: " + gone + ", " + unplugged + fails,
       {P("src/Docs/a.txt"), P("src/Docs/sub/b.txt")},
       {missing(gone), missing(unplugged)}},
      {"an existing empty source", {P("src/Empty")}, btFull, "", {}, {}},
  };
  for (const TOutputKind& kind : {Zip, EncryptedZip, Folder, EncryptedFolder}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(kind.Name) + ": " + c.Name);
      Fresh();
      Use(kind);
      FEngine->SourceFolders() = c.Sources;
      FEngine->SetBackupType(c.Type);
      FEngine->SetReferenceBackupTime(IncDay(test::RealNowSeconds(), 1));
      FEngine->SetLastBackupTime(0);
      const TCompletion done = Run();
      EXPECT_EQ(FEngine->SuccessfulFiles(), c.Successful);
      EXPECT_EQ(FEngine->FailedFiles(), c.Failed);
      EXPECT_TRUE(TempEntries().empty());
      if (c.Message.empty()) {
        ASSERT_TRUE(done.first) << done.second;
        const std::string output = FEngine->LastBackupOutputPath();
        EXPECT_EQ(DestinationEntries(), std::vector<std::string>{fs::path(output).filename().string()});
        EXPECT_TRUE(done.second.ends_with(" - " + output)) << done.second;
        continue;
      }
      EXPECT_EQ(done, TCompletion(false, c.Message));
      EXPECT_TRUE(DestinationEntries().empty());
      EXPECT_TRUE(FEngine->LastBackupOutputPath().empty());
      EXPECT_TRUE(FEngine->LastBackupChecksum().empty());
      EXPECT_FALSE(FEngine->LastBackupVerified());
      EXPECT_EQ(FEngine->LastBackupTime(), 0);
    }
  }
}

// A file that cannot be backed up is reported by the run that meets it; a later differential or incremental run
// that finds nothing new says so, and still lists the file, instead of failing again while nothing changed. A file
// that changed since (a new problem) fails the run as before.
TEST_F(BackupSafety, AFailureAlreadyReportedAndUnchangedDoesNotFailLaterRuns) {
  WriteTree(FDir.Path(), {{"src/Docs/a.txt", "a"}});
  // A link that leads nowhere cannot be read, not even by root.
  fs::create_symlink(P("nowhere"), P("src/Docs/broken.txt"));
  FEngine->SourceFolders() = {P("src/Docs")};
  const std::string broken = P("src/Docs/broken.txt");
  for (const TOutputKind& kind : {Zip, Folder}) {
    SCOPED_TRACE(kind.Name);
    Fresh();
    Use(kind);
    FEngine->SetBackupType(btFull);
    FEngine->ReferenceFileNames().clear();
    const TCompletion full = Run();
    EXPECT_TRUE(full.first) << full.second;
    EXPECT_TRUE(full.second.ends_with(" (1 dosya atlandı/okunamadı)")) << full.second;

    // Everything there is older than the reference run.
    const TDateTime reference = IncSecond(test::RealNowSeconds(), 30);
    FEngine->SetBackupType(btIncremental);
    FEngine->SetReferenceBackupTime(reference);
    FEngine->SetReferenceFullBackupTime(reference);
    FEngine->ReferenceFileNames() = {"Docs/a.txt"};
    const size_t outputs = DestinationEntries().size();
    EXPECT_EQ(Run(), TCompletion(true, std::string(BackupNoChangeMessage) + " (1 dosya atlandı/okunamadı)"));
    EXPECT_EQ(DestinationEntries().size(), outputs) << "no new output";
    ASSERT_EQ(FEngine->FailedFiles().size(), 1u);
    EXPECT_TRUE(FEngine->FailedFiles()[0].starts_with(broken + " (")) << FEngine->FailedFiles()[0];

    FEngine->SetBackupType(btDifferential);
    EXPECT_TRUE(Run().first);

    // The link changed after the reference run.
    const auto later = ToUnixTime(IncSecond(reference, 60));
    ASSERT_TRUE(later.has_value());
    const timespec times[2] = {{*later, 0}, {*later, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, broken.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
    EXPECT_EQ(Run(), TCompletion(false, "Yedeklenecek dosyalar okunamadı (1 dosya atlandı)."));
    const timespec old[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    ASSERT_EQ(::utimensat(AT_FDCWD, broken.c_str(), old, AT_SYMLINK_NOFOLLOW), 0);
  }
}

TEST_F(BackupSafety, ASubFolderThatCannotBeListedIsAFailedEntry) {
  WriteTree(FDir.Path(), {{"src/Docs/a.txt", "a"}, {"src/Docs/private/secret.txt", "s"}, {"src/Only/private/x", "x"}});
  const std::string reason = " (Klasör okunamadı: " + SystemErrorMessage(EACCES) + ")";
  TUnlistableFolder docs(P("src/Docs/private"));
  TUnlistableFolder only(P("src/Only/private"));
  for (const TOutputKind& kind : {Zip, Folder}) {
    SCOPED_TRACE(kind.Name);
    Fresh();
    Use(kind);
    FEngine->SourceFolders() = {P("src/Docs")};
    const TCompletion done = Run();
    EXPECT_TRUE(done.first) << done.second;
    EXPECT_TRUE(done.second.ends_with(" (1 dosya atlandı/okunamadı)")) << done.second;
    EXPECT_EQ(FEngine->SuccessfulFiles(), std::vector<std::string>{P("src/Docs/a.txt")});
    EXPECT_EQ(FEngine->FailedFiles(), std::vector<std::string>{P("src/Docs/private") + reason});

    // When that folder holds everything there is, nothing is backed up: a failure, not an empty backup.
    Fresh();
    FEngine->SourceFolders() = {P("src/Only")};
    EXPECT_EQ(Run(), TCompletion(false, "Yedeklenecek dosyalar okunamadı (1 dosya atlandı)."));
    EXPECT_EQ(FEngine->FailedFiles(), std::vector<std::string>{P("src/Only/private") + reason});
    EXPECT_TRUE(DestinationEntries().empty());
  }
}

TEST_F(BackupSafety, ADestinationThatVanishesMidRunFailsTheRun) {
  WriteTree(FDir.Path(), {{"src/Docs/a.txt", "a"}, {"src/Docs/b/b.txt", "b"}, {"src/Docs/c/c.txt", "c"}});
  FEngine->SourceFolders() = {P("src/Docs")};
  for (const TOutputKind& kind : {Folder, EncryptedFolder, Zip, EncryptedZip}) {
    SCOPED_TRACE(kind.Name);
    Fresh();
    Use(kind);
    bool removed = false;
    FAfterProgress = [&](const std::string&, int) {
      FClock.AdvanceTick(200);  // lets every progress through
      if (removed) return;
      fs::remove_all(P("dest"));
      removed = true;
    };
    const TCompletion done = Run();
    EXPECT_TRUE(removed);
    EXPECT_FALSE(done.first) << done.second;
    if (!kind.Compress) {
      EXPECT_EQ(done.second,
                "Yedek klasörü kopyalanan dosyalarla eşleşmiyor: Docs/a.txt" + std::string(kind.Encrypt ? ".mbe" : ""));
    }
    // Nothing was made again where the destination was.
    EXPECT_FALSE(fs::exists(P("dest")));
    EXPECT_TRUE(FEngine->LastBackupOutputPath().empty());
    EXPECT_TRUE(FEngine->LastBackupChecksum().empty());
    EXPECT_TRUE(TempEntries().empty());
  }
}

TEST_F(BackupSafety, TwoRunsOfTheSameNameAndSecondEndWithTwoSoundOutputs) {
  // A second engine, as another configuration root would run it: same task name, same destination, same second.
  TQueuedMainThread otherMain;
  test::TEngineParts other(otherMain, FClock);
  std::vector<TCompletion> otherCompletions;
  other.SetOnProgress([](const std::string&, int) {});
  other.SetOnComplete(
      [&](bool success, const std::string& message) { otherCompletions.emplace_back(success, message); });
  WriteTree(FDir.Path(), {{"one/Docs/a.txt", "from the first root"}, {"two/Docs/a.txt", "from the second"}});
  FEngine->SourceFolders() = {P("one/Docs")};
  other.SourceFolders() = {P("two/Docs")};
  other.SetDestinationFolder(P("dest"));
  other.SetBackupNamePrefix("Daily");

  for (const TOutputKind& kind : {Zip, EncryptedZip, Folder}) {
    SCOPED_TRACE(kind.Name);
    Fresh();
    Use(kind);
    other.SetCompressBackup(kind.Compress);
    other.SetEncryptBackup(kind.Encrypt);
    other.SetEncryptionPassword(kind.Encrypt ? "pw" : "");
    FCompletions.clear();
    otherCompletions.clear();
    const std::string base = "Daily_" + FormatDateTime("yyyy-mm-dd_hh-nn-ss", FClock.Now());
    // Both runs have chosen their name and wait in their first copy before either has written an output.
    FEngine->StartBackup();
    ASSERT_TRUE(FMain.WaitForWork(60000));
    other.StartBackup();
    ASSERT_TRUE(otherMain.WaitForWork(60000));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (FCompletions.empty() || otherCompletions.empty() || FEngine->IsRunning() || other.IsRunning()) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the runs did not complete";
      FMain.ProcessPending();
      otherMain.ProcessPending();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(FCompletions[0].first) << FCompletions[0].second;
    ASSERT_TRUE(otherCompletions[0].first) << otherCompletions[0].second;

    const std::string first = FEngine->LastBackupOutputPath();
    const std::string second = other.LastBackupOutputPath();
    const std::string extension = !kind.Compress ? "" : kind.Encrypt ? ".mbe" : ".zip";
    std::vector<std::string> names = {fs::path(first).filename(), fs::path(second).filename()};
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{base + extension, base + "_2" + extension}));
    EXPECT_EQ(DestinationEntries(), names);
    EXPECT_NE(FEngine->LastBackupChecksum(), other.LastBackupChecksum());
    EXPECT_EQ(FEngine->LastBackupChecksum(), IndependentChecksum(first));
    EXPECT_EQ(other.LastBackupChecksum(), IndependentChecksum(second));
    EXPECT_EQ(OutputContent(first, Scratch()), (TFileTree{{"Docs/a.txt", "from the first root"}}));
    EXPECT_EQ(OutputContent(second, Scratch()), (TFileTree{{"Docs/a.txt", "from the second"}}));
  }
}

}  // namespace
}  // namespace velkor
