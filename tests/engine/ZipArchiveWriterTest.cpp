// The archive writer on its own: which names it accepts, and ZIP64 only where an entry needs it.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/ZipArchiveWriter.h"
#include "platform/FileHandle.h"
#include "support/TempDir.h"
#include "util/Error.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::RunCommand;
using test::ShellQuote;
using test::TTempDir;
using test::WriteFile;

const std::string Inspect = std::string("/usr/bin/python3 ") + VELKOR_TEST_DATA_DIR + "/output_probe.py";

TEST(ZipEntryName, OnlyRelativeUtf8NamesThatStayInsideTheExtractionFolder) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"Docs/a.txt", true},
      {"Görev/alt/rapor.txt", true},
      {"Docs/..a/b..", true},
      {"Docs/a b:c.txt", true},
      {"Docs/\xF0\x9F\x93\x81.txt", true},  // outside the basic plane
      {"", false},
      {"/etc/passwd", false},
      {"Docs/../../x", false},
      {"..", false},
      {"Docs/./a", false},
      {"Docs//a", false},
      {"Docs/", false},
      {"Docs/..\\..\\x", false},
      {"\\x", false},
      {"Docs/bad\xFF.txt", false},
      {"Docs/G\xF6rev.txt", false},  // Latin-1, not UTF-8
      {"Docs/\xC0\xAF", false},      // over-long "/"
      {"Docs/\xED\xA0\x80", false},  // a surrogate
      {"Docs/\xE2\x82", false},      // cut short
  };
  for (const auto& [name, accepted] : cases)
    EXPECT_EQ(TZipArchiveWriter::EntryNameProblem(name).empty(), accepted) << name;
}

TEST(ZipArchiveWriter, RefusesAnUnsafeNameBeforeWritingIt) {
  TTempDir dir;
  WriteFile(dir / "f.txt", "x");
  TZipArchiveWriter writer((dir / "a.zip").string());
  TFileHandle in(::open((dir / "f.txt").c_str(), O_RDONLY));
  EXPECT_THROW(writer.AddFile("../f.txt", in.Get(), [](int64_t) { return true; }), EVelkorError);
  EXPECT_THROW(writer.Close(), EVelkorError);
}

// Compressing and checking 4 GiB takes about a minute on a small machine, so it runs on request only.
TEST(ZipArchiveWriter, UsesZip64ForAnEntryOf4GiBOrMoreAndNowhereElse) {
  if (!std::getenv("VELKOR_SLOW_TESTS")) GTEST_SKIP() << "set VELKOR_SLOW_TESTS=1 to run";
  TTempDir dir;
  WriteFile(dir / "small.txt", "small");
  // Sparse: 4 GiB and a bit of zeros cost no disk space and compress to a few MiB.
  const uintmax_t big = (uintmax_t{4} << 30) + 12345;
  WriteFile(dir / "big.bin", "");
  fs::resize_file(dir / "big.bin", big);
  const std::string archive = (dir / "a.zip").string();
  {
    TZipArchiveWriter writer(archive);
    int64_t written = 0;
    for (const char* name : {"small.txt", "big.bin", "small.txt"}) {
      TFileHandle in(::open((dir / name).c_str(), O_RDONLY));
      const std::string entry = std::string(name) == "small.txt" && written > 0 ? "after/small.txt" : name;
      ASSERT_TRUE(writer.AddFile(entry, in.Get(), [&](int64_t bytes) {
        written += bytes;
        return true;
      }));
    }
    writer.Close();
    EXPECT_EQ(written, static_cast<int64_t>(big) + 10);
  }
  std::string listed;
  ASSERT_EQ(RunCommand(Inspect + " zip " + ShellQuote(archive), &listed), 0) << listed;
  EXPECT_EQ(listed,
            "small.txt|0|8|0|5\nbig.bin|0|8|1|" + std::to_string(big) + "\nafter/small.txt|0|8|0|5\nplain-end\n");
}

}  // namespace
}  // namespace velkor
