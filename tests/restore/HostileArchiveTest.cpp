// Archives built to escape the target or to break the reader. Whatever they hold, nothing may be written outside
// the target or the staging folder, and no staging folder may stay behind.
#include <gtest/gtest.h>

#include "RestoreTestSupport.h"
#include "platform/ProcessLocale.h"
#include "restore/RestoreManager.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::TFileTree;
using test::TScopedEnv;
using test::TTempDir;
using test::TZipFixtureEntry;
using test::TZipFixtureOptions;

constexpr char Unsafe[] = "Arşiv içinde güvenli olmayan bir yol algılandı: ";
constexpr char Outside[] = "Arşiv girdisi hedef klasör dışına çıkmaya çalışıyor: ";
constexpr char Damaged[] = "ZIP arşivi";

struct THostileCase {
  const char* Label = "";
  std::vector<TZipFixtureEntry> Entries;  // written after a harmless "iyi.txt"
  TZipFixtureOptions Options;
  // Failure: the message, or its beginning when `PrefixOnly`. Success: empty, and `Restored` is the tree written.
  std::string Error;
  bool PrefixOnly = false;
  bool AnalysisFails = false;  // the analysis reads names only, so it fails on names but not on damaged data
  TFileTree Restored;
};

std::string BigText() {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "satır " + std::to_string(i) + "\n";
  return text;
}

// The reader may hand backslashes over as slashes; the name in the message is compared either way.
std::string Slashes(const std::string& text) { return ReplaceAll(text, "\\", "/"); }

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
      Restores("FolderEntriesAreSkipped", {{"docs/", ""}, {"docs\\alt\\", ""}, {"docs/y.txt", "y"}},
               {{"iyi.txt", "iyi"}, {"docs/y.txt", "y"}}),
      Restores("SymlinkBecomesAPlainFile", {{"lnk", "/etc/passwd", true}},
               {{"iyi.txt", "iyi"}, {"lnk", "/etc/passwd"}}),
      // Were "lnk" made a link, the second entry would land outside; as a plain file it blocks the folder instead.
      Broken("SymlinkThenEntryThroughIt", {{"lnk", "../../../outside", true}, {"lnk/pwned.txt", "x"}}, {},
             "Klasör oluşturulamadı"),
      Broken("Truncated", {{"big.txt", BigText()}}, {std::nullopt, "truncate"}, Damaged),
      Broken("DamagedDeflateStream", {{"big.txt", BigText()}}, {std::nullopt, "deflate"}, Damaged),
      // Claims one byte, inflates to hundreds of kilobytes: the room counted beforehand must bound what is unpacked.
      Broken("UnderstatedSize", {{"big.txt", BigText()}}, {1u, ""}, Damaged),
  };
  return cases;
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
        EXPECT_EQ(Slashes(e.what()), Slashes(c.Error));
    }
  };
  int32_t restored = -1, skipped = -1;
  auto restore = [&] {
    FManager.RestoreBackupOutput(FZip.string(), FTarget.string(), "", rcRename, restored, skipped);
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

}  // namespace
}  // namespace velkor
