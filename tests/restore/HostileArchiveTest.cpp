// Archives built to escape the target or to break the reader. Whatever they hold, nothing may be written outside
// the target or the staging folder, and no staging folder may stay behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "RestoreTestSupport.h"
#include "platform/ProcessLocale.h"
#include "restore/RestoreManager.h"
#include "util/Error.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::TFileTree;
using test::TScopedEnv;
using test::TTempDir;
using test::TZipFixtureEntry;
using test::TZipFixtureOptions;
using test::WriteFile;

constexpr char Unsafe[] = "Arşiv içinde güvenli olmayan bir yol algılandı: ";
constexpr char Outside[] = "Arşiv girdisi hedef klasör dışına çıkmaya çalışıyor: ";
constexpr char Damaged[] = "ZIP arşivi bozuk: ";

struct THostileCase {
  const char* Label = "";
  std::vector<TZipFixtureEntry> Entries;  // written after a harmless "iyi.txt"
  TZipFixtureOptions Options;
  // Failure: the message, or its beginning when `PrefixOnly`. Success: empty, and `Restored` is the tree written.
  std::string Error;
  bool PrefixOnly = false;
  // The analysis checks names and the archive's structure, but does not inflate the data.
  bool AnalysisFails = false;
  // When set, the restore runs in a process whose files cannot grow past this many bytes: the error must still be
  // the expected one, so no staged file ever got larger.
  uint64_t FileSizeLimit = 0;
  TFileTree Restored;
};

std::string BigText() {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "satır " + std::to_string(i) + "\n";
  return text;
}


// An unsafe name: both the analysis and the restore refuse it with exactly this message.
THostileCase Refused(const char* label, std::vector<TZipFixtureEntry> entries, std::string error) {
  THostileCase c;
  c.Label = label;
  c.Entries = std::move(entries);
  c.Error = std::move(error);
  c.AnalysisFails = true;
  return c;
}

// Damaged data: the restore fails with a message beginning with `error`.
THostileCase Broken(const char* label, std::vector<TZipFixtureEntry> entries, TZipFixtureOptions options,
                    std::string error) {
  THostileCase c;
  c.Label = label;
  c.Entries = std::move(entries);
  c.Options = std::move(options);
  c.Error = std::move(error);
  c.PrefixOnly = true;
  return c;
}

// A damaged structure: the analysis and the restore refuse it alike.
THostileCase Damage(const char* label, std::vector<TZipFixtureEntry> entries, TZipFixtureOptions options = {}) {
  THostileCase c = Broken(label, std::move(entries), std::move(options), Damaged);
  c.AnalysisFails = true;
  return c;
}

THostileCase Restores(const char* label, std::vector<TZipFixtureEntry> entries, TFileTree restored) {
  THostileCase c;
  c.Label = label;
  c.Entries = std::move(entries);
  c.Restored = std::move(restored);
  return c;
}

const std::vector<THostileCase>& Cases() {
  static const std::vector<THostileCase> cases = {
      Refused("ParentPrefix", {{"../evil.txt", "x"}}, std::string(Unsafe) + "../evil.txt"),
      Refused("ParentPrefixBackslash", {{"..\\evil.txt", "x"}}, std::string(Unsafe) + "..\\evil.txt"),
      Refused("ParentInside", {{"a/../../evil.txt", "x"}}, std::string(Unsafe) + "a/../../evil.txt"),
      Refused("DrivePath", {{"C:\\Windows\\x.dll", "x"}}, std::string(Unsafe) + "C:\\Windows\\x.dll"),
      Refused("NulInName", {{std::string("evil\0.txt", 9), "x"}}, std::string(Unsafe) + "evil\\0.txt"),
      Refused("ResolvesToTheRootItself", {{"a\\..", "x"}}, std::string(Outside) + "a\\.."),
      Restores("AbsoluteNameStaysInside", {{"/etc/x.txt", "x"}}, {{"iyi.txt", "iyi"}, {"etc/x.txt", "x"}}),
      Restores("FolderEntriesAreSkipped",
               {{"docs/", ""}, {.Name = "docs\\alt\\", .WindowsHost = true}, {"docs/y.txt", "y"}},
               {{"iyi.txt", "iyi"}, {"docs/y.txt", "y"}}),
      Restores("SymlinkBecomesAPlainFile", {{"lnk", "/etc/passwd", true}},
               {{"iyi.txt", "iyi"}, {"lnk", "/etc/passwd"}}),
      // Were "lnk" made a link, the second entry would land outside; as a plain file it blocks the folder instead.
      Broken("SymlinkThenEntryThroughIt", {{"lnk", "../../../outside", true}, {"lnk/pwned.txt", "x"}}, {},
             "Klasör oluşturulamadı"),
      Damage("Truncated", {{"big.txt", BigText()}}, {std::nullopt, "truncate"}),
      Broken("DamagedDeflateStream", {{"big.txt", BigText()}}, {std::nullopt, "deflate"}, Damaged),
      // Claims ten bytes, inflates to 64 MiB: unpacking stops at the declared size, long before the limit.
      [] {
        THostileCase c =
            Broken("UnderstatedSize", {{.Name = "bomb.bin", .Zeros = 64u << 20, .DeclaredSize = 10}}, {}, Damaged);
        c.FileSizeLimit = 64 * 1024;
        return c;
      }(),
      // The central directory contradicts the rest of the archive.
      Damage("CentralSizeZero", {{"big.txt", BigText()}}, {std::nullopt, "central-size"}),
      Damage("CentralCrc", {{"big.txt", BigText()}}, {std::nullopt, "crc"}),
      Damage("EntryNotCounted", {{"a.txt", "a"}, {"b.txt", "b"}}, {std::nullopt, "uncounted"}),
      Damage("OverlappingEntries", {{"a.txt", "a"}}, {std::nullopt, "overlap"}),
      // One path twice would leave only one of them.
      Damage("DuplicateName", {{"a.txt", "1"}, {"a.txt", "2"}}),
      Damage("DuplicateAfterSeparators",
             {{.Name = "docs\\a.txt", .Data = "1", .WindowsHost = true}, {"docs/a.txt", "2"}}),
      Damage("EmptyName", {{"", "x"}}),
      Damage("FolderEntryWithData", {{"docs/", "veri"}}),
  };
  return cases;
}

// Runs `run` in a child process whose files cannot grow past `limit` bytes (a write beyond fails with EFBIG) and
// returns the message of the error it raised, or "no error".
std::string ErrorUnderFileSizeLimit(uint64_t limit, const std::function<void()>& run) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeEnds[0]);
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit bound{limit, limit};
    std::string message = ::setrlimit(RLIMIT_FSIZE, &bound) == 0 ? "no error" : "setrlimit failed";
    try {
      run();
    } catch (const std::exception& e) {
      message = e.what();
    }
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], message.data(), message.size());
    ::_exit(0);
  }
  ::close(pipeEnds[1]);
  std::string message;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) message.append(buffer, static_cast<size_t>(n));
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return message;
}

class HostileArchive : public ::testing::TestWithParam<size_t> {
protected:
  TTempDir FDir;
  TScopedEnv FTemp{"TMPDIR", (FDir / "tmp").string()};
  TRestoreManager FManager;
  fs::path FZip = FDir / "work/arsiv.zip";
  // Deep enough that every climb out of the target or the staging folder still lands inside FDir.
  fs::path FTarget = FDir / "work/a/b/hedef";

  void SetUp() override {
    InitProcessLocale();
    fs::create_directories(FDir / "tmp");
    fs::create_directories(FDir / "work/a/b");
  }
};

TEST_P(HostileArchive, EndsAsExpectedWithoutWritingOutsideTheTarget) {
  const THostileCase& c = Cases()[GetParam()];
  std::vector<TZipFixtureEntry> entries{{"iyi.txt", "iyi"}};
  entries.insert(entries.end(), c.Entries.begin(), c.Entries.end());
  test::WriteZipFixture(FZip, entries, c.Options);
  const std::set<std::string> before = test::ListEverything(FDir.Path());

  auto expectError = [&](const std::function<void()>& run) {
    try {
      run();
      ADD_FAILURE() << "no error";
    } catch (const EVelkorError& e) {
      if (c.PrefixOnly)
        EXPECT_TRUE(std::string(e.what()).starts_with(c.Error)) << e.what();
      else
        EXPECT_EQ(e.what(), c.Error);  // the entry named exactly as stored
    }
  };
  int32_t restored = -1, skipped = -1;
  auto restore = [&] {
    FManager.RestoreBackupOutput(FZip.string(), FTarget.string(), "", rcRename, restored, skipped);
  };
  auto limitedRestore = [&] {
    const std::string error = ErrorUnderFileSizeLimit(c.FileSizeLimit, restore);
    throw EVelkorError(error);
  };
  auto analyze = [&] { return FManager.AnalyzeRestore(FZip.string(), FTarget.string(), ""); };

  if (c.Error.empty()) {
    EXPECT_EQ(analyze().TotalFiles, static_cast<int32_t>(c.Restored.size()));
    restore();
    EXPECT_EQ(restored, static_cast<int32_t>(c.Restored.size()));
    EXPECT_EQ(test::ReadTree(FTarget), c.Restored);
    for (const auto& path : test::ListEverything(FTarget)) EXPECT_FALSE(fs::is_symlink(FTarget / path)) << path;
  } else {
    if (c.AnalysisFails) expectError([&] { analyze(); });
    if (c.FileSizeLimit)
      expectError(limitedRestore);
    else
      expectError(restore);
    EXPECT_FALSE(fs::exists(FTarget)) << "a file reached the target before the error";
  }
  // Nothing appeared anywhere else: not beside the target, not in or beside the staging folder.
  std::set<std::string> after = test::ListEverything(FDir.Path());
  std::erase_if(after, [](const std::string& path) { return path.starts_with("work/a/b/hedef"); });
  EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(Corpus, HostileArchive, ::testing::Range<size_t>(0, Cases().size()),
                         [](const auto& info) { return std::string(Cases()[info.param].Label); });

// Every byte of a real archive changed in turn: each copy is either refused with an error or restored whole, never
// restored with a file missing, renamed or different.
TEST(MutatedArchive, IsRefusedOrRestoredWholeWhateverByteChanged) {
  InitProcessLocale();
  TTempDir dir;
  TScopedEnv temp{"TMPDIR", (dir / "tmp").string()};
  fs::create_directories(dir / "tmp");
  const TFileTree tree = {{"Docs/a.txt", "alfa alfa alfa"}, {"Docs/alt/ğ.txt", std::string(300, 'g')}, {"Foto/c", ""}};
  const fs::path original = test::BuildBackupOutput(test::okZip, tree, dir / "dest", "");
  const std::string bytes = test::ReadFile(original);
  TRestoreManager manager;
  const fs::path mutated = dir / "bozuk.zip";
  const fs::path target = dir / "hedef";
  // Offset "size" is the unchanged archive, which must restore.
  for (size_t offset = 0; offset <= bytes.size(); ++offset) {
    std::string copy = bytes;
    if (offset < bytes.size())
      copy[offset] = static_cast<char>(copy[offset] ^ (offset % 3 == 0 ? 0xFF : 1 << (offset % 8)));
    WriteFile(mutated, copy);
    int32_t restored = -1, skipped = -1;
    try {
      const TRestoreAnalysis analysis = manager.AnalyzeRestore(mutated.string(), target.string(), "");
      EXPECT_EQ(analysis.TotalFiles, 3) << "offset " << offset;
      manager.RestoreBackupOutput(mutated.string(), target.string(), "", rcRename, restored, skipped);
    } catch (const EVelkorError& e) {
      EXPECT_LT(offset, bytes.size()) << e.what();
      EXPECT_TRUE(test::ListEverything(target).empty()) << "offset " << offset;
      fs::remove_all(target);
      continue;
    }
    // A changed mode byte may take the owner's read right away; the content is what is compared.
    for (const auto& path : test::ListEverything(target))
      fs::permissions(target / path, fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::add);
    EXPECT_EQ(restored, 3) << "offset " << offset;
    EXPECT_EQ(test::ReadTree(target), tree) << "offset " << offset;
    fs::remove_all(target);
  }
  EXPECT_TRUE(test::ListEverything(dir / "tmp").empty()) << "staging left behind";
}

}  // namespace
}  // namespace velkor
