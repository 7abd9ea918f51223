// Work folders and the claim of a final name, on real folders: what the cleanup of leftovers may take, and that no
// way of claiming a name ever replaces what is there.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/WorkOutput.h"
#include "platform/Leftovers.h"
#include "support/TempDir.h"
#include "util/Error.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::ReadTree;
using test::TFileTree;
using test::TTempDir;
using test::WriteFile;

class WorkOutput : public ::testing::Test {
protected:
  TTempDir FDir;
  fs::path P(const std::string& rel) const { return FDir.Path() / rel; }
  std::vector<fs::path> Cleanup() const { return RemoveAbandonedWork(FDir.Path(), IsWorkEntryName); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(FDir.Path())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(WorkOutput, ClaimingANameNeverReplacesWhatIsThere) {
  enum TTarget { tgFree, tgFile, tgFolder, tgDanglingLink };
  const auto methodName = [](TClaimMethod m) {
    return m == cmRenameNoReplace ? "rename" : m == cmLinkThenUnlink ? "link" : "placeholder";
  };
  for (const TClaimMethod method : {cmRenameNoReplace, cmLinkThenUnlink, cmPlaceholder}) {
    for (const bool isFolder : {false, true}) {
      for (const TTarget target : {tgFree, tgFile, tgFolder, tgDanglingLink}) {
        SCOPED_TRACE(std::string(methodName(method)) + (isFolder ? ", folder" : ", file") + ", target " +
                     std::to_string(target));
        fs::remove_all(P("from"));
        fs::remove_all(P("to"));
        if (isFolder)
          WriteFile(P("from/inside.txt"), "new");
        else
          WriteFile(P("from"), "new");
        if (target == tgFile) WriteFile(P("to"), "old");
        if (target == tgFolder) fs::create_directory(P("to"));
        if (target == tgDanglingLink) fs::create_symlink(P("nowhere"), P("to"));

        const TClaimResult result = ClaimNameBy(method, P("from"), P("to"), isFolder);
        if (method == cmLinkThenUnlink && isFolder) {
          EXPECT_EQ(result, crUnsupported);
          continue;
        }
        EXPECT_EQ(result, target == tgFree ? crClaimed : crTaken);
        if (result == crClaimed) {
          EXPECT_FALSE(fs::exists(fs::symlink_status(P("from"))));
          EXPECT_EQ(ReadFile(isFolder ? P("to/inside.txt") : P("to")), "new");
        } else {
          EXPECT_EQ(ReadFile(isFolder ? P("from/inside.txt") : P("from")), "new");
          const fs::file_status left = fs::symlink_status(P("to"));
          EXPECT_EQ(left.type(), target == tgFile     ? fs::file_type::regular
                                 : target == tgFolder ? fs::file_type::directory
                                                      : fs::file_type::symlink);
          EXPECT_TRUE(target != tgFile || ReadFile(P("to")) == "old");
          EXPECT_TRUE(target != tgFolder || fs::is_empty(P("to")));
        }
      }
    }
  }
  // The usual way: the first method the file system offers.
  WriteFile(P("free-from"), "x");
  EXPECT_TRUE(ClaimName(P("free-from"), P("free-to"), false));
  WriteFile(P("taken-from"), "y");
  EXPECT_FALSE(ClaimName(P("taken-from"), P("free-to"), false));
  EXPECT_EQ(ReadFile(P("free-to")), "x");
  EXPECT_THROW(ClaimName(P("gone"), P("anywhere"), false), EVelkorError);
}

TEST_F(WorkOutput, AWorkFolderIsPrivateAndLockedUntilItsObjectLetsGo) {
  TWorkFolder work = TWorkFolder::CreateWorkEntry(FDir.Path());
  const fs::path path = work.Path();
  EXPECT_TRUE(IsWorkEntryName(path.filename().string())) << path;
  EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_all);
  WriteFile(path / "sub/file.txt", "x");
  EXPECT_TRUE(Cleanup().empty());
  // Unlocked, as a killed run leaves it: a leftover.
  work.Keep();
  EXPECT_EQ(Cleanup(), std::vector<fs::path>{path});

  // Numbered folders move on past taken names, and go with their content when their object does.
  fs::create_directory(P("BackupTemp_1"));
  {
    const TWorkFolder first = TWorkFolder::CreateNumbered(P("BackupTemp_1"));
    const TWorkFolder second = TWorkFolder::CreateNumbered(P("BackupTemp_1"));
    EXPECT_EQ(first.Path(), P("BackupTemp_1_2"));
    EXPECT_EQ(second.Path(), P("BackupTemp_1_3"));
    WriteFile(first.Path() / "copy.txt", "x");
    EXPECT_EQ(RemoveAbandonedWork(FDir.Path(), [](std::string_view name) { return name.starts_with("Backup"); }),
              std::vector<fs::path>{P("BackupTemp_1")});
  }
  EXPECT_TRUE(Names().empty());
}

TEST_F(WorkOutput, OutputsArePublishedUnderTheFirstFreeNameAndVanishWhenAbandoned) {
  WriteFile(P("Daily.zip"), "earlier");
  {
    TWorkOutput file = TWorkOutput::ForFile(FDir.Path(), "Daily.zip");
    WriteFile(file.ContentPath(), "archive");
    EXPECT_EQ(file.ContentPath().parent_path().parent_path(), FDir.Path());
    EXPECT_TRUE(Cleanup().empty());
    file.Flush();
    EXPECT_EQ(file.Publish("Daily", ".zip"), P("Daily_2.zip"));
    EXPECT_TRUE(file.Published());
  }
  {
    TWorkOutput folder = TWorkOutput::ForFolder(FDir.Path());
    WriteFile(folder.ContentPath() / "Docs/a.txt", "a");
    folder.Flush();
    EXPECT_EQ(folder.Publish("Daily", ""), P("Daily"));
  }
  {
    TWorkOutput abandoned = TWorkOutput::ForFolder(FDir.Path());
    WriteFile(abandoned.ContentPath() / "Docs/half.txt", "h");
  }
  EXPECT_EQ(Names(), (std::vector<std::string>{"Daily", "Daily.zip", "Daily_2.zip"}));
  EXPECT_EQ(ReadFile(P("Daily.zip")), "earlier");
  EXPECT_EQ(ReadFile(P("Daily_2.zip")), "archive");
  EXPECT_EQ(ReadTree(P("Daily")), (TFileTree{{"Docs/a.txt", "a"}}));

  // A destination that is gone by the time the output is complete gets nothing made again in it.
  fs::create_directory(P("gone"));
  TWorkOutput lost = TWorkOutput::ForFile(P("gone"), "Daily.zip");
  WriteFile(lost.ContentPath(), "archive");
  fs::remove_all(P("gone"));
  EXPECT_THROW(lost.Publish("Daily", ".zip"), EVelkorError);
  EXPECT_FALSE(fs::exists(P("gone")));
}

}  // namespace
}  // namespace velkor
