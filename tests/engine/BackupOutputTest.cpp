// What a run leaves in the destination and what it reports: ZIP archives checked with unzip, zipinfo and python's
// zipfile, the empty archive, encrypted outputs opened with the independent reference reader, folder copies and
// their manifest checksum, every outcome message, name collisions, cancellation and fault injection.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "RunFixture.h"
#include "engine/BackupChecksum.h"
#include "engine/BackupEngine.h"
#include "support/TempDir.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::CommandOutput;
using test::Incompressible;
using test::ReadFile;
using test::ReadTree;
using test::RunCommand;
using test::Sha256Of;
using test::ShellQuote;
using test::TCompletion;
using test::TFileSizeCap;
using test::TFileTree;
using test::TRunFixture;
using test::WriteFile;
using test::WriteTree;

const std::string Inspect = std::string("/usr/bin/python3 ") + VELKOR_TEST_DATA_DIR + "/output_probe.py";
const std::string MbeReader = std::string("/usr/bin/python3 ") + VELKOR_SOURCE_DIR + "/tests/crypto/mbe_reference.py";
const std::string EmptySha256 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

const std::string Rapor = "Rapor içeriği";
const std::string RaporSize = std::to_string(Rapor.size());

// "name|utf8 flag|method|zip64 extra|size" per entry, then the kind of end record.
std::string InspectZip(const std::string& archive) { return CommandOutput(Inspect + " zip " + ShellQuote(archive)); }

class BackupOutput : public TRunFixture {
protected:
  void SetUp() override {
    WriteTree(FDir.Path(), {{"src/Görev/rapor.txt", Rapor},
                            {"src/Görev/alt/b.txt", std::string(5000, 'b')},
                            {"src/Photos/p.jpg", "pppp"}});
    fs::create_directories(P("src/Görev/empty-folder"));
    FEngine->SourceFolders() = {P("src/Görev"), P("src/Photos")};
  }
  std::string Output(const std::string& name) const { return P("dest/" + name); }
};

TEST_F(BackupOutput, CompressedRunWritesOneDeflatedEntryPerFileWithUtf8NamesAndItsChecksum) {
  const std::string archive = Output("Daily_2024-05-01_10-00-00.zip");
  const TCompletion done = Run();
  EXPECT_EQ(done, TCompletion(true, "3 dosya yedeklendi (" + MegabytesText("0.00") + " MB) - " + archive));
  EXPECT_EQ(DestinationEntries(), std::vector<std::string>{"Daily_2024-05-01_10-00-00.zip"});
  EXPECT_TRUE(TempEntries().empty());
  EXPECT_EQ(FEngine->LastBackupOutputPath(), archive);
  EXPECT_EQ(FEngine->LastBackupChecksum(), Sha256Of(archive));
  EXPECT_TRUE(FEngine->LastBackupVerified());
  EXPECT_EQ(FEngine->LastBackupTotalSize(), 5000 + 4 + static_cast<int64_t>(Rapor.size()));

  CommandOutput("unzip -tq " + ShellQuote(archive));
  EXPECT_EQ(CommandOutput("zipinfo -1 " + ShellQuote(archive)), "Görev/alt/b.txt\nGörev/rapor.txt\nPhotos/p.jpg\n");
  // UTF-8 flag on the non-ASCII names, Deflate (8) everywhere, no ZIP64 anywhere in a small archive.
  EXPECT_EQ(InspectZip(archive),
            "Görev/alt/b.txt|1|8|0|5000\nGörev/rapor.txt|1|8|0|" + RaporSize + "\nPhotos/p.jpg|0|8|0|4\nplain-end\n");
  EXPECT_EQ(CommandOutput("/usr/bin/python3 -c \"import sys, zipfile; "
                          "sys.stdout.write(zipfile.ZipFile(sys.argv[1]).read('Görev/rapor.txt').decode())\" " +
                          ShellQuote(archive)),
            Rapor);
}

// Files larger than a block are compressed in blocks on several threads and joined in order: every entry still reads
// back byte for byte (CRC checked), says Deflate, and data that does not compress costs about its own size (stored
// blocks inside the Deflate stream) while text across block borders still compresses.
TEST_F(BackupOutput, LargeFilesAreDeflatedInBlocksThatJoinIntoEntriesReadBackWhole) {
  std::string text;
  for (int line = 0; text.size() < (7u << 19); ++line)
    text += "satır " + std::to_string(line * 7919 % 100003) + " yedek rapor klasör görev\n";
  const TFileTree tree = {{"big/Data/text.txt", text},
                          {"big/Data/noise.bin", Incompressible((3u << 20) + 100, 4)},
                          {"big/Data/exact.bin", std::string(2u << 20, 'z')},
                          {"big/Data/empty", ""}};
  WriteTree(FDir.Path(), tree);
  FEngine->SourceFolders() = {P("big/Data")};
  const TCompletion done = Run();
  ASSERT_TRUE(done.first) << done.second;
  const std::string archive = FEngine->LastBackupOutputPath();
  CommandOutput("unzip -tq " + ShellQuote(archive));
  const std::string folder = P("unpacked");
  CommandOutput("/usr/bin/python3 -c \"import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])\" " +
                ShellQuote(archive) + " " + ShellQuote(folder));
  TFileTree expected;
  for (const auto& [name, content] : tree) expected[name.substr(std::string("big/").size())] = content;
  EXPECT_TRUE(ReadTree(folder) == expected);
  // "name method compressed-size" per entry.
  const std::string sizes = CommandOutput(
      "/usr/bin/python3 -c \"import sys, zipfile\n"
      "for i in zipfile.ZipFile(sys.argv[1]).infolist(): print(i.filename, i.compress_type, i.compress_size)\" " +
      ShellQuote(archive));
  std::map<std::string, std::pair<int, int64_t>> entries;
  std::istringstream lines(sizes);
  for (std::string name; lines >> name;) lines >> entries[name].first >> entries[name].second;
  ASSERT_EQ(entries.size(), 4u) << sizes;
  for (const auto& [name, entry] : entries) EXPECT_EQ(entry.first, 8) << name;
  const auto noise = static_cast<int64_t>(tree.at("big/Data/noise.bin").size());
  EXPECT_LT(entries["Data/noise.bin"].second, noise + noise / 100);
  EXPECT_LT(entries["Data/text.txt"].second, static_cast<int64_t>(text.size() / 4));
  EXPECT_LT(entries["Data/exact.bin"].second, 20000);
}

TEST_F(BackupOutput, FullCompressedRunOfEmptySourcesIsTheExact22ByteEmptyArchive) {
  fs::create_directories(P("empty/A"));
  fs::create_directories(P("empty/B"));
  FEngine->SourceFolders() = {P("empty/A"), P("empty/B")};
  const std::string archive = Output("Daily_2024-05-01_10-00-00.zip");
  EXPECT_EQ(Run(), TCompletion(true, "Boş klasör yedeklendi (0 dosya) - " + archive));
  EXPECT_EQ(ReadFile(archive), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  EXPECT_EQ(FEngine->LastBackupChecksum(), Sha256Of(archive));
  EXPECT_EQ(CommandOutput(
                "/usr/bin/python3 -c \"import sys, zipfile; print(len(zipfile.ZipFile(sys.argv[1]).infolist()))\" " +
                ShellQuote(archive)),
            "0\n");
  EXPECT_TRUE(TempEntries().empty());
}

TEST_F(BackupOutput, EncryptedArchiveLeavesOnlyTheMbeWhichDecryptsToASoundZip) {
  FEngine->SetEncryptBackup(true);
  FEngine->SetEncryptionPassword("Gizli şifre 1");
  const std::string encrypted = Output("Daily_2024-05-01_10-00-00.mbe");
  const TCompletion done = Run();
  EXPECT_TRUE(done.first) << done.second;
  EXPECT_TRUE(done.second.starts_with("3 dosya yedeklendi (")) << done.second;
  EXPECT_TRUE(done.second.ends_with(" MB) - " + encrypted)) << done.second;
  EXPECT_EQ(DestinationEntries(), std::vector<std::string>{"Daily_2024-05-01_10-00-00.mbe"});
  EXPECT_EQ(FEngine->LastBackupOutputPath(), encrypted);
  EXPECT_EQ(FEngine->LastBackupChecksum(), Sha256Of(encrypted));

  const std::string zip = P("decrypted.zip");
  CommandOutput(MbeReader + " decrypt " + ShellQuote("Gizli şifre 1") + " " + ShellQuote(encrypted) + " " +
                ShellQuote(zip));
  CommandOutput("unzip -tq " + ShellQuote(zip));
  EXPECT_EQ(CommandOutput("zipinfo -1 " + ShellQuote(zip)), "Görev/alt/b.txt\nGörev/rapor.txt\nPhotos/p.jpg\n");
}

TEST_F(BackupOutput, EncryptionWithoutAPasswordWritesPlainOutputs) {
  FEngine->SetEncryptBackup(true);
  ASSERT_TRUE(Run().first);
  EXPECT_EQ(DestinationEntries(), std::vector<std::string>{"Daily_2024-05-01_10-00-00.zip"});
  FClock.Advance(1000);
  FEngine->SetCompressBackup(false);
  ASSERT_TRUE(Run().first);
  EXPECT_EQ(ReadTree(FEngine->LastBackupOutputPath()).count("Photos/p.jpg"), 1u);
}

TEST_F(BackupOutput, EncryptedFolderRunEncryptsEveryFileIntoItsOwnMbe) {
  FEngine->SetCompressBackup(false);
  FEngine->SetEncryptBackup(true);
  FEngine->SetEncryptionPassword("pw");
  const TCompletion done = Run();
  ASSERT_TRUE(done.first) << done.second;
  const std::string output = FEngine->LastBackupOutputPath();
  std::vector<std::string> names;
  for (const auto& [name, content] : ReadTree(output)) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"Görev/alt/b.txt.mbe", "Görev/rapor.txt.mbe", "Photos/p.jpg.mbe"}));
  CommandOutput(MbeReader + " decrypt pw " + ShellQuote(output + "/Görev/rapor.txt.mbe") + " " +
                ShellQuote(P("rapor.txt")));
  EXPECT_EQ(ReadFile(P("rapor.txt")), Rapor);
  // The checksum covers the encrypted sizes; the reported size is that of the source files.
  EXPECT_EQ(FEngine->LastBackupChecksum(), CommandOutput(Inspect + " manifest " + ShellQuote(output)).substr(0, 64));
  EXPECT_EQ(FEngine->LastBackupTotalSize(), 5000 + 4 + static_cast<int64_t>(Rapor.size()));
}

TEST_F(BackupOutput, FolderChecksumIsTheManifestHashAndDoesNotChangeWhenCopiedAgain) {
  WriteTree(FDir.Path(), {{"src/Photos/A.jpg", "AA"}, {"src/Photos/b.jpg", "b"}, {"src/Photos/Z/_x.jpg", "x"}});
  FEngine->SetCompressBackup(false);
  const std::string output = Output("Daily_2024-05-01_10-00-00");
  const TCompletion done = Run();
  EXPECT_EQ(done, TCompletion(true, "6 dosya yedeklendi (" + MegabytesText("0.00") + " MB) - " + output));
  const std::string checksum = FEngine->LastBackupChecksum();
  EXPECT_EQ(checksum, CommandOutput(Inspect + " manifest " + ShellQuote(output)).substr(0, 64));
  EXPECT_EQ(BuildFolderManifest(output), "Görev/alt/b.txt|5000\r\nGörev/rapor.txt|" + RaporSize +
                                             "\r\nPhotos/A.jpg|2\r\nPhotos/b.jpg|1\r\nPhotos/p.jpg|4\r\n"
                                             "Photos/Z/_x.jpg|1\r\n");
  EXPECT_TRUE(FEngine->LastBackupVerified());

  FClock.Advance(3600 * 1000);
  ASSERT_TRUE(Run().first);
  EXPECT_NE(FEngine->LastBackupOutputPath(), output);
  EXPECT_EQ(FEngine->LastBackupChecksum(), checksum);
}

TEST_F(BackupOutput, FullFolderRunOfEmptySourcesKeepsOneFolderPerSourceAndTheEmptyDigest) {
  fs::create_directories(P("empty/A"));
  fs::create_directories(P("other/B"));
  FEngine->SourceFolders() = {P("empty/A"), P("other/B")};
  FEngine->SetCompressBackup(false);
  const std::string output = Output("Daily_2024-05-01_10-00-00");
  EXPECT_EQ(Run(), TCompletion(true, "0 dosya yedeklendi (" + MegabytesText("0.00") + " MB) - " + output));
  EXPECT_EQ(Entries(output), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(FEngine->LastBackupChecksum(), EmptySha256);
  EXPECT_EQ(ComputeFolderChecksum(P("no/such/folder")), "");
  EXPECT_EQ(ComputeFileChecksum(P("no/such/file")), "");
}

TEST_F(BackupOutput, SomeUnreadableFilesAreCountedAndTheRestIsBackedUp) {
  fs::create_symlink(P("nowhere"), P("src/Photos/broken.jpg"));
  fs::create_symlink(P("src/Görev/rapor.txt"), P("src/Photos/link.txt"));
  fs::create_directory_symlink(P("src/Görev"), P("src/Photos/linked-folder"));
  for (const bool compress : {true, false}) {
    SCOPED_TRACE(compress ? "compressed" : "folder");
    FEngine->SetCompressBackup(compress);
    const TCompletion done = Run();
    EXPECT_TRUE(done.first) << done.second;
    EXPECT_TRUE(done.second.starts_with("4 dosya yedeklendi (")) << done.second;
    EXPECT_TRUE(done.second.ends_with(FEngine->LastBackupOutputPath() + " (1 dosya atlandı/okunamadı)")) << done.second;
    ASSERT_EQ(FEngine->FailedFiles().size(), 1u);
    EXPECT_TRUE(FEngine->FailedFiles()[0].starts_with(P("src/Photos/broken.jpg") + " (")) << FEngine->FailedFiles()[0];
    // A link to a file is backed up as the file's content; a link to a folder is not followed.
    const std::string names =
        compress ? CommandOutput("zipinfo -1 " + ShellQuote(FEngine->LastBackupOutputPath())) : [&] {
          std::string listed;
          for (const auto& [name, c] : ReadTree(FEngine->LastBackupOutputPath())) listed += name + "\n";
          return listed;
        }();
    EXPECT_EQ(names, "Görev/alt/b.txt\nGörev/rapor.txt\nPhotos/link.txt\nPhotos/p.jpg\n");
    FClock.Advance(1000);
  }
}

TEST_F(BackupOutput, NamesAnArchiveCannotHoldSafelyAreFailedFilesAndTheArchiveStaysSound) {
  // A legal name here, but "..\" climbs out of the folder for readers that split names at backslashes too. A name
  // that is not UTF-8 is carried: stored as its bytes without the UTF-8 flag (zipfile shows it as code page 437).
  WriteFile(P("src/Photos/..\\..\\evil.txt"), "x");
  WriteFile(P("src/Photos/latin1-G\xF6rev.txt"), "x");
  const TCompletion done = Run();
  EXPECT_TRUE(done.first) << done.second;
  EXPECT_TRUE(done.second.ends_with(" (1 dosya atlandı/okunamadı)")) << done.second;
  EXPECT_EQ(FEngine->LastBackupFileCount(), 4);
  EXPECT_EQ(FEngine->LastBackupTotalSize(), 5000 + 4 + 1 + static_cast<int64_t>(Rapor.size()));
  EXPECT_EQ(FEngine->SuccessfulFiles(),
            (std::vector<std::string>{P("src/Görev/alt/b.txt"), P("src/Görev/rapor.txt"),
                                      P("src/Photos/latin1-G\xF6rev.txt"), P("src/Photos/p.jpg")}));
  ASSERT_EQ(FEngine->FailedFiles().size(), 1u);
  EXPECT_TRUE(FEngine->FailedFiles()[0].starts_with(P("src/Photos/..\\..\\evil.txt") + " ("))
      << FEngine->FailedFiles()[0];
  EXPECT_EQ(InspectZip(FEngine->LastBackupOutputPath()), "Görev/alt/b.txt|1|8|0|5000\nGörev/rapor.txt|1|8|0|" +
                                                             RaporSize +
                                                             "\nPhotos/latin1-G÷rev.txt|0|8|0|1\nPhotos/p.jpg|0|8|0|4\n"
                                                             "plain-end\n");
}

TEST_F(BackupOutput, OutputsOfTheSameSecondNeverReplaceEachOther) {
  struct TCase {
    const char* Name;
    bool Compress;
    bool Encrypt;
    std::vector<std::string> Existing;  // names already in the destination
    std::string Expected;
  };
  const std::vector<TCase> cases = {
      {"archive", true, false, {"Daily_2024-05-01_10-00-00.zip"}, "Daily_2024-05-01_10-00-00_2.zip"},
      {"third archive",
       true,
       false,
       {"Daily_2024-05-01_10-00-00.zip", "Daily_2024-05-01_10-00-00_2.zip"},
       "Daily_2024-05-01_10-00-00_3.zip"},
      {"encrypted archive", true, true, {"Daily_2024-05-01_10-00-00.mbe"}, "Daily_2024-05-01_10-00-00_2.mbe"},
      {"folder", false, false, {"Daily_2024-05-01_10-00-00"}, "Daily_2024-05-01_10-00-00_2"},
      {"folder beside a file of its name",
       false,
       false,
       {"Daily_2024-05-01_10-00-00.zip"},
       "Daily_2024-05-01_10-00-00"},
  };
  FEngine->SetEncryptionPassword("pw");
  for (const auto& c : cases) {
    fs::remove_all(P("dest"));
    fs::create_directories(P("dest"));
    for (const auto& name : c.Existing) WriteFile(Output(name), "earlier output");
    FEngine->SetCompressBackup(c.Compress);
    FEngine->SetEncryptBackup(c.Encrypt);
    const TCompletion done = Run();
    EXPECT_TRUE(done.first) << c.Name << ": " << done.second;
    EXPECT_EQ(FEngine->LastBackupOutputPath(), Output(c.Expected)) << c.Name;
    for (const auto& name : c.Existing) EXPECT_EQ(ReadFile(Output(name)), "earlier output") << c.Name;
  }
}

TEST_F(BackupOutput, CancellingLeavesNeitherOutputNorStagingFolder) {
  WriteTree(FDir.Path(), {{"src/Photos/q.jpg", "q"}, {"src/Photos/r.jpg", "r"}});
  struct TCase {
    const char* Name;
    bool Compress;
    std::function<bool(const std::string&)> CancelAt;  // cancels at the first progress of a file it accepts
  };
  const std::vector<TCase> cases = {
      {"compressed, at the first file", true, [&](const std::string&) { return true; }},
      {"compressed, at the last file", true, [&](const std::string& f) { return f.ends_with("r.jpg"); }},
      {"folder", false, [&](const std::string&) { return true; }},
  };
  for (const auto& c : cases) {
    fs::remove_all(P("dest"));
    FEngine->SetCompressBackup(c.Compress);
    FAfterProgress = [&](const std::string& file, int) {
      FClock.AdvanceTick(200);
      if (c.CancelAt(file)) FEngine->CancelBackup();
    };
    EXPECT_EQ(Run(), TCompletion(false, BackupCancelledMessage)) << c.Name;
    EXPECT_TRUE(DestinationEntries().empty()) << c.Name;
    EXPECT_TRUE(TempEntries().empty()) << c.Name;
    EXPECT_TRUE(FEngine->LastBackupOutputPath().empty()) << c.Name;
  }
}

TEST_F(BackupOutput, FailuresEachReportTheirOwnMessage) {
  // Three staged files of 40 KB each that the archive cannot shrink: a cap of 100 KB lets every staged copy
  // through and stops the archive.
  WriteTree(FDir.Path(), {{"big/Data/1.bin", Incompressible(40000, 1)},
                          {"big/Data/2.bin", Incompressible(40000, 2)},
                          {"big/Data/3.bin", Incompressible(40000, 3)}});
  FEngine->SourceFolders() = {P("big/Data")};
  {
    TFileSizeCap cap(100000);
    EXPECT_EQ(Run(), TCompletion(false, "Sıkıştırma sırasında hata oluştu"));
  }
  EXPECT_TRUE(DestinationEntries().empty());  // no half-written archive
  EXPECT_TRUE(TempEntries().empty());

  // An archive that fits but whose encrypted form does not: no plaintext stays, neither in the destination nor in
  // the temporary folder; the run is made again from the sources.
  ASSERT_TRUE(Run().first);
  const auto archiveSize = static_cast<rlim_t>(fs::file_size(FEngine->LastBackupOutputPath()));
  fs::remove_all(P("dest"));
  FEngine->SetEncryptBackup(true);
  FEngine->SetEncryptionPassword("pw");
  {
    TFileSizeCap cap(archiveSize + 40);
    const TCompletion done = Run();
    EXPECT_FALSE(done.first);
    EXPECT_TRUE(done.second.starts_with("Şifreleme hatası: ")) << done.second;
  }
  EXPECT_TRUE(DestinationEntries().empty());
  EXPECT_TRUE(TempEntries().empty());
  EXPECT_TRUE(FEngine->LastBackupOutputPath().empty());

  // A destination that cannot be a folder: the error guard.
  WriteFile(P("file-not-folder"), "x");
  FEngine->SetDestinationFolder(P("file-not-folder/dest"));
  const TCompletion guarded = Run();
  EXPECT_FALSE(guarded.first);
  EXPECT_TRUE(guarded.second.starts_with("Hata: ")) << guarded.second;
  EXPECT_NE(guarded.second.find("file-not-folder"), std::string::npos) << guarded.second;
}

TEST_F(BackupOutput, SpeedLimitPacesTheArchiveLikeTheCopies) {
  WriteTree(FDir.Path(), {{"five/Data/5mib.bin", std::string(5 * 1048576, 'x')}});
  FEngine->SourceFolders() = {P("five/Data")};
  FEngine->SetSpeedLimitBytesPerSec(1048576);
  ASSERT_TRUE(Run().first);
  // Five seconds to pack it: the archive reads its files once, straight from the sources.
  EXPECT_EQ(FClock.SleptMs(), 5000u);
}

TEST_F(BackupOutput, TooLittleSpaceRefusesTheRunBeforeAnythingIsWritten) {
  int64_t required = 0, available = 0;
  FEngine->CheckDestinationCapacity(required, available);
  // A sparse file larger than the free space takes no room itself.
  const int64_t huge = available + (int64_t{1} << 40);
  fs::create_directories(P("src/Huge"));
  fs::resize_file(P("src/Photos/p.jpg"), 0);
  { std::ofstream(P("src/Huge/big.bin")); }
  fs::resize_file(P("src/Huge/big.bin"), static_cast<uintmax_t>(huge));
  FEngine->SourceFolders() = {P("src/Huge"), P("src/Photos")};
  FEngine->SetCompressBackup(false);
  const TCompletion done = Run();
  EXPECT_FALSE(done.first);
  char requiredText[64];
  std::snprintf(requiredText, sizeof requiredText, "%.2f", static_cast<double>(huge) / 1024 / 1024);
  EXPECT_TRUE(done.second.starts_with("Kapasite yetersiz: tahmini gerekli alan " + MegabytesText(requiredText) +
                                      " MB, kullanilabilir alan "))
      << done.second;
  EXPECT_TRUE(done.second.ends_with(" MB. Hedef diskte yeterli bos alan olmadigi icin yedekleme baslatilmadi."))
      << done.second;
  EXPECT_TRUE(DestinationEntries().empty());
  EXPECT_TRUE(TempEntries().empty());
}

}  // namespace
}  // namespace velkor
