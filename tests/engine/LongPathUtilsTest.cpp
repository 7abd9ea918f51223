#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "UnlistableFolder.h"
#include "engine/LongPathUtils.h"
#include "platform/AtomicFile.h"
#include "support/TempDir.h"
#include "util/Error.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TTempDir;
using test::WriteFile;
using test::WriteTree;

struct TPathCase {
  std::string Path;
  std::string CurrentDirectory;
  std::string Expected;
};

TEST(LongPathText, ToLongPath) {
  const std::vector<TPathCase> cases = {
      {"C:\\Data", "C:\\Work", "\\\\?\\C:\\Data"},
      {"c:/Data/./old/../new/", "C:\\Work", "\\\\?\\c:\\Data\\new\\"},
      {"C:\\", "C:\\Work", "\\\\?\\C:\\"},
      {"C:\\..\\..", "C:\\Work", "\\\\?\\C:\\"},
      {"\\\\server\\share\\x", "C:\\Work", "\\\\?\\UNC\\server\\share\\x"},
      {"//server/share/x/../../../y", "C:\\Work", "\\\\?\\UNC\\server\\share\\y"},
      {"data\\x", "C:\\Work", "\\\\?\\C:\\Work\\data\\x"},
      {"..\\..\\x", "C:\\Work\\Sub", "\\\\?\\C:\\x"},
      {"\\Temp\\a", "D:\\Work", "\\\\?\\D:\\Temp\\a"},
      {"C:rel", "C:\\Work", "\\\\?\\C:\\Work\\rel"},
      {"E:rel", "C:\\Work", "\\\\?\\E:\\rel"},
      {"a", "\\\\srv\\sh\\dir", "\\\\?\\UNC\\srv\\sh\\dir\\a"},
      {"C:\\a\\\\b\\c. ", "C:\\Work", "\\\\?\\C:\\a\\b\\c"},
      {"\\\\?\\C:\\x\\..\\y", "C:\\Work", "\\\\?\\C:\\x\\..\\y"},
      {"\\\\?\\unc\\server\\x", "C:\\Work", "\\\\?\\unc\\server\\x"},
      {"\\\\.\\COM1", "C:\\Work", "\\\\.\\COM1"},
      {"", "C:\\Work", ""},
      {"   ", "C:\\Work", ""},
      {"\t", "C:\\Work", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ToLongPath(c.Path, c.CurrentDirectory), c.Expected) << "path: " << c.Path;
}

TEST(LongPathText, FromLongPath) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\\\\?\\UNC\\server\\share\\x", "\\\\server\\share\\x"},
      {"\\\\?\\unc\\server\\share\\x", "\\\\server\\share\\x"},
      {"\\\\?\\C:\\x", "C:\\x"},
      {"\\\\.\\COM1", "\\\\.\\COM1"},
      {"C:\\x", "C:\\x"},
      {"relative\\x", "relative\\x"},
      {"", ""},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(FromLongPath(path), expected) << "path: " << path;
}

TEST(LongPathText, RoundTripGivesTheExpandedPath) {
  const std::vector<TPathCase> cases = {
      {"C:\\Data\\x", "C:\\Work", "C:\\Data\\x"},
      {"data\\.\\x", "C:\\Work", "C:\\Work\\data\\x"},
      {"\\\\server\\share\\a\\..\\b", "C:\\Work", "\\\\server\\share\\b"},
      {"sub", "\\\\server\\share", "\\\\server\\share\\sub"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FromLongPath(ToLongPath(c.Path, c.CurrentDirectory)), c.Expected) << "path: " << c.Path;
  EXPECT_TRUE(IsExtendedLengthPath("\\\\?\\C:\\x"));
  EXPECT_TRUE(IsExtendedLengthPath("\\\\.\\pipe\\x"));
  EXPECT_FALSE(IsExtendedLengthPath("\\\\server\\share"));
  EXPECT_FALSE(IsExtendedLengthPath("C:\\x"));
}

TEST(LongPathNative, AbsoluteAndNormalised) {
  const std::string cwd = fs::current_path().string();
  EXPECT_EQ(ToNativePath("data/x"), fs::path(cwd + "/data/x"));
  EXPECT_EQ(ToNativePath("/a/./b/../c/"), fs::path("/a/c"));
  EXPECT_EQ(ToNativePath("/a//b"), fs::path("/a/b"));
  EXPECT_EQ(ToNativePath("/"), fs::path("/"));
  EXPECT_EQ(ToNativePath(""), fs::path());
}

// Runs `action` in a child process that, when privileged, has given up the right to ignore permission bits, so
// read-only entries stop it as they stop any user. True when `action` returned normally.
template <typename TAction>
bool RunAsOrdinaryUser(TAction action) {
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0) {
      __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
      __user_cap_data_struct data[2]{};
      syscall(SYS_capget, &header, data);
      for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
        data[cap / 32].effective &= ~(1u << (cap % 32));
      if (syscall(SYS_capset, &header, data) != 0) _exit(3);
    }
    try {
      action();
    } catch (...) {
      _exit(2);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class LongPathFiles : public ::testing::Test {
protected:
  TTempDir FDir;
  std::string P(const std::string& rel) const { return (FDir.Path() / rel).string(); }
};

TEST_F(LongPathFiles, QueriesOfMissingPathsAndDeletesOfMissingPathsAreQuiet) {
  const std::string missing = P("nothing/here.txt");
  EXPECT_EQ(LongGetFileAttributes(missing), faInvalid);
  EXPECT_FALSE(LongFileExists(missing));
  EXPECT_FALSE(LongDirectoryExists(missing));
  EXPECT_EQ(LongGetFileSize(missing), -1);
  EXPECT_EQ(LongGetLastWriteTime(missing), 0);
  EXPECT_EQ(LongGetCreationTime(missing), 0);
  EXPECT_TRUE(LongGetFiles(P("nothing"), "*.*", true).empty());
  EXPECT_NO_THROW(LongDeleteFile(missing));
  EXPECT_NO_THROW(LongDeleteDirectory(P("nothing"), true));
  EXPECT_NO_THROW(LongDeleteDirectory(P("nothing"), false));
  EXPECT_EQ(LongGetFileSize(""), -1);
  EXPECT_FALSE(LongDirectoryExists(""));
}

TEST_F(LongPathFiles, AttributesAndTimes) {
  WriteTree(FDir.Path(), {{"plain.txt", "12345"}, {".hidden", ""}, {"locked.txt", "x"}});
  fs::permissions(P("locked.txt"), fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_EQ(LongGetFileAttributes(P("plain.txt")), faNormal);
  EXPECT_EQ(LongGetFileAttributes(P(".hidden")) & faHidden, faHidden);
  EXPECT_EQ(LongGetFileAttributes(P("locked.txt")) & faReadOnly, faReadOnly);
  EXPECT_EQ(LongGetFileAttributes(FDir.Path().string()) & faDirectory, faDirectory);
  EXPECT_TRUE(LongFileExists(P("plain.txt")));
  EXPECT_FALSE(LongDirectoryExists(P("plain.txt")));
  EXPECT_TRUE(LongDirectoryExists(FDir.Path().string()));
  EXPECT_FALSE(LongFileExists(FDir.Path().string()));
  EXPECT_EQ(LongGetFileSize(P("plain.txt")), 5);
  EXPECT_EQ(LongGetFileSize(FDir.Path().string()), 0);

  // Last write is the modification stamp in local time; creation is at least as recent as "just now".
  const timespec stamps[2] = {{1714557600, 0}, {1714557600, 500000000}};
  ASSERT_EQ(utimensat(AT_FDCWD, P("plain.txt").c_str(), stamps, 0), 0);
  EXPECT_DOUBLE_EQ(LongGetLastWriteTime(P("plain.txt")), FromUnixTime(1714557600, 500000000));
  const auto nowSeconds = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  EXPECT_GE(LongGetCreationTime(P("plain.txt")), FromUnixTime(nowSeconds - 60));
  EXPECT_LE(LongGetCreationTime(P("plain.txt")), FromUnixTime(nowSeconds + 60));
}

TEST_F(LongPathFiles, PathsWithNulAreRejected) {
  const std::string bad = P("a") + std::string(1, '\0') + "b";
  EXPECT_THROW(LongGetFiles(bad, "*.*", true), EVelkorError);
  EXPECT_THROW(LongGetLastWriteTime(bad), EVelkorError);
  EXPECT_THROW(LongGetCreationTime(bad), EVelkorError);
  EXPECT_FALSE(LongFileExists(bad));
  EXPECT_EQ(LongGetFileSize(bad), -1);
}

TEST_F(LongPathFiles, ForceDirectoriesCreatesMissingLevelsOnce) {
  fs::create_directory(P("a"));
  LongForceDirectories(P("a/b/c"));
  EXPECT_TRUE(fs::is_directory(P("a/b/c")));
  EXPECT_NO_THROW(LongForceDirectories(P("a/b/c")));
  EXPECT_NO_THROW(LongForceDirectories(P("a/b/c/")));

  WriteFile(P("a/file"), "x");
  for (const std::string& target : {P("a/file"), P("a/file/sub")}) {
    try {
      LongForceDirectories(target);
      ADD_FAILURE() << "no error for " << target;
    } catch (const EVelkorError& e) {
      EXPECT_NE(std::string(e.what()).find(P("a/file")), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(ReadFile(P("a/file")), "x");
}

TEST_F(LongPathFiles, GetFilesListsDepthFirstInNameOrder) {
  WriteTree(FDir.Path(), {{"src/b.txt", "b"},
                          {"src/A.TXT", "a"},
                          {"src/.hidden", "h"},
                          {"src/m/z.doc", "z"},
                          {"src/m/deep/x.txt", "x"},
                          {"src/n.txt", "n"},
                          {"src/noext", "e"},
                          {"outside/o.txt", "o"}});
  fs::create_directory(P("src/empty"));
  ASSERT_EQ(mkfifo(P("src/pipe").c_str(), 0600), 0);
  fs::create_directory_symlink(P("outside"), P("src/linkdir"));
  fs::create_symlink(P("outside/o.txt"), P("src/linkfile.txt"));
  fs::create_symlink(P("outside/gone.txt"), P("src/m/dangling"));
  fs::create_symlink(P("src/m/loop"), P("src/m/loop"));
  fs::create_symlink(P("src/pipe"), P("src/m/linkpipe"));

  const std::string s = P("src");
  EXPECT_EQ(
      LongGetFiles(s, "*.*", true),
      (std::vector<std::string>{s + "/.hidden", s + "/A.TXT", s + "/b.txt", s + "/linkfile.txt", s + "/m/dangling",
                                s + "/m/deep/x.txt", s + "/m/loop", s + "/m/z.doc", s + "/n.txt", s + "/noext"}));
  EXPECT_EQ(LongGetFiles(s + "/", "*.*", false),
            (std::vector<std::string>{s + "/.hidden", s + "/A.TXT", s + "/b.txt", s + "/linkfile.txt", s + "/n.txt",
                                      s + "/noext"}));

  const std::vector<std::pair<std::string, std::vector<std::string>>> patterns = {
      {"*.txt", {"A.TXT", "b.txt", "linkfile.txt", "n.txt"}},
      {"?.txt", {"A.TXT", "b.txt", "n.txt"}},
      {"*ext", {"noext"}},
      {"*", {".hidden", "A.TXT", "b.txt", "linkfile.txt", "n.txt", "noext"}},
      {"b*t", {"b.txt"}},
      {"x*", {}},
  };
  for (const auto& [pattern, names] : patterns) {
    std::vector<std::string> expected;
    for (const auto& name : names) expected.push_back(s + "/" + name);
    EXPECT_EQ(LongGetFiles(s, pattern, false), expected) << "pattern: " << pattern;
  }
}

TEST_F(LongPathFiles, GetFilesReportsUnlistableSubFoldersOrThrowsForThem) {
  WriteTree(FDir.Path(), {{"src/a.txt", "a"}, {"src/locked/x.txt", "x"}, {"src/z/y.txt", "y"}});
  const std::string s = P("src");
  test::TUnlistableFolder locked(P("src/locked"));

  std::vector<TUnlistedFolder> unlisted;
  EXPECT_EQ(LongGetFiles(s, "*.*", true, &unlisted), (std::vector<std::string>{s + "/a.txt", s + "/z/y.txt"}));
  ASSERT_EQ(unlisted.size(), 1u);
  EXPECT_EQ(unlisted[0].Path, s + "/locked");
  EXPECT_EQ(unlisted[0].Error, SystemErrorMessage(EACCES));

  // Callers that cannot go on without the whole tree (a restore) are told, naming the folder.
  try {
    LongGetFiles(s, "*.*", true);
    ADD_FAILURE() << "no error for the unlistable sub-folder";
  } catch (const EVelkorError& e) {
    EXPECT_NE(std::string(e.what()).find(s + "/locked"), std::string::npos) << e.what();
  }
  // Without recursion the sub-folder is never opened; the named folder itself must always be listable.
  EXPECT_EQ(LongGetFiles(s, "*.*", false), std::vector<std::string>{s + "/a.txt"});
  unlisted.clear();
  EXPECT_THROW(LongGetFiles(P("src/locked"), "*.*", true, &unlisted), EVelkorError);
}

TEST_F(LongPathFiles, GetFilesMatchesOneCharacterPerQuestionMark) {
  WriteTree(FDir.Path(), {{"d/ğ.txt", ""}, {"d/ab.txt", ""}});
  EXPECT_EQ(LongGetFiles(P("d"), "?.txt", false), (std::vector<std::string>{P("d/ğ.txt")}));
}

TEST_F(LongPathFiles, CopyFileHonoursOverwriteAndReportsTheSystemError) {
  WriteTree(FDir.Path(), {{"src.txt", "new content"}, {"dst.txt", "old"}});
  EXPECT_THROW(LongCopyFile(P("src.txt"), P("dst.txt"), false), EVelkorError);
  EXPECT_EQ(ReadFile(P("dst.txt")), "old");
  LongCopyFile(P("src.txt"), P("dst.txt"), true);
  EXPECT_EQ(ReadFile(P("dst.txt")), "new content");
  LongCopyFile(P("src.txt"), P("fresh.txt"), false);
  EXPECT_EQ(ReadFile(P("fresh.txt")), "new content");
  try {
    LongCopyFile(P("missing.txt"), P("x.txt"), true);
    ADD_FAILURE() << "no error";
  } catch (const EVelkorError& e) {
    EXPECT_NE(std::string(e.what()).find(P("missing.txt")), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("("), std::string::npos) << e.what();
  }
}

TEST_F(LongPathFiles, DeleteDirectoryWithoutRecursionOnlyTakesEmptyFolders) {
  WriteTree(FDir.Path(), {{"full/a.txt", "a"}});
  fs::create_directory(P("empty"));
  EXPECT_THROW(LongDeleteDirectory(P("full"), false), EVelkorError);
  EXPECT_TRUE(fs::exists(P("full/a.txt")));
  LongDeleteDirectory(P("empty"), false);
  EXPECT_FALSE(fs::exists(P("empty")));
  LongDeleteFile(P("full/a.txt"));
  EXPECT_FALSE(fs::exists(P("full/a.txt")));
}

TEST_F(LongPathFiles, RecursiveDeleteRemovesAReadOnlyTreeButNotWhatLinksPointTo) {
  WriteTree(FDir.Path(),
            {{"tree/a.txt", "a"}, {"tree/sub/b.txt", "b"}, {"tree/sub/deeper/c.txt", "c"}, {"keep/k.txt", "k"}});
  fs::create_directory_symlink(P("keep"), P("tree/sub/link"));
  for (const auto& file : {"tree/a.txt", "tree/sub/b.txt", "tree/sub/deeper/c.txt"})
    fs::permissions(P(file), fs::perms::owner_read);
  for (const auto& dir : {"tree/sub/deeper", "tree/sub", "tree"})
    fs::permissions(P(dir), fs::perms::owner_read | fs::perms::owner_exec);

  EXPECT_TRUE(RunAsOrdinaryUser([&] { LongDeleteDirectory(P("tree"), true); }));
  EXPECT_FALSE(fs::exists(P("tree")));
  EXPECT_EQ(ReadFile(P("keep/k.txt")), "k");

  // A link named as the folder to delete goes as a link.
  fs::create_directory_symlink(P("keep"), P("alias"));
  LongDeleteDirectory(P("alias"), true);
  EXPECT_FALSE(fs::exists(fs::symlink_status(P("alias"))));
  EXPECT_EQ(ReadFile(P("keep/k.txt")), "k");
}

// An immutable folder refuses even a privileged user: its entry stays, the rest goes, no error is raised.
TEST_F(LongPathFiles, RecursiveDeletePassesOverWhatCannotBeRemoved) {
  WriteTree(FDir.Path(), {{"tree/stuck/s.txt", "s"}, {"tree/free/f.txt", "f"}, {"tree/top.txt", "t"}});
  const int fd = open(P("tree/stuck").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  int flags = 0;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0 || (flags |= FS_IMMUTABLE_FL, ioctl(fd, FS_IOC_SETFLAGS, &flags)) != 0) {
    close(fd);
    GTEST_SKIP() << "cannot make a folder immutable here";
  }
  EXPECT_NO_THROW(LongDeleteDirectory(P("tree"), true));
  flags &= ~FS_IMMUTABLE_FL;
  ioctl(fd, FS_IOC_SETFLAGS, &flags);
  close(fd);
  EXPECT_TRUE(fs::exists(P("tree/stuck/s.txt")));
  EXPECT_FALSE(fs::exists(P("tree/free")));
  EXPECT_FALSE(fs::exists(P("tree/top.txt")));
}

TEST_F(LongPathFiles, DeepLongPathIsListedCopiedSizedAndDeleted) {
  // 40 levels below the scratch folder, 600 characters in all.
  const std::string base = P("deep");
  const std::string fileName = "/payload.bin";
  const size_t segment = (600 - base.size() - fileName.size()) / 40 - 1;
  std::string folder = base;
  for (int level = 0; level < 40; ++level) folder += "/" + std::string(segment, static_cast<char>('a' + level % 26));
  std::string file = folder + fileName;
  file.insert(file.size() - fileName.size(), std::string(600 - file.size(), 'z'));
  folder = file.substr(0, file.size() - fileName.size());
  ASSERT_EQ(file.size(), 600u);

  LongForceDirectories(folder);
  WriteFile(file, std::string(70000, 'q'));
  EXPECT_EQ(LongGetFiles(base, "*.*", true), std::vector<std::string>{file});
  EXPECT_EQ(LongGetFileSize(file), 70000);
  EXPECT_GT(LongGetLastWriteTime(file), 0);

  const std::string copy = folder + "/copy.bin";
  LongCopyFile(file, copy, false);
  EXPECT_EQ(LongGetFileSize(copy), 70000);
  LongDeleteFile(file);
  EXPECT_FALSE(LongFileExists(file));
  EXPECT_EQ(LongGetFiles(base, "*.*", true), std::vector<std::string>{copy});
  LongDeleteDirectory(base, true);
  EXPECT_FALSE(LongDirectoryExists(base));
}

}  // namespace
}  // namespace velkor
