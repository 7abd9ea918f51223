// The archive writer on its own: which names it accepts, and ZIP64 only where an entry needs it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>

#include "RunFixture.h"
#include "engine/BlockDeflater.h"
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

// Exactly what the restore's guard would refuse: "." and ".." parts (with "\" read as a separator too), a drive as
// the first part, empty "/" parts. Odd but legal Linux names, and bytes that are not UTF-8, are entries.
TEST(ZipEntryName, RefusesOnlyNamesTheRestoreWouldRefuse) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"Docs/a.txt", true},
      {"Görev/alt/rapor.txt", true},
      {"Docs/..a/b..", true},
      {"v2../..gizli/...", true},
      {"Disk D:/a b:c.txt", true},
      {"Docs/C:/x", true},
      {"Docs/a\\b.txt", true},
      {"Docs/a\\", true},
      {"Docs/\\x", true},
      {" baştaki boşluk / sondaki. /x", true},
      {"Docs/\xF0\x9F\x93\x81.txt", true},  // outside the basic plane
      {"Docs/bad\xFF.txt", true},
      {"Docs/G\xF6rev.txt", true},  // Latin-1
      {"Docs/\xC0\xAF", true},      // over-long "/", stored as bytes
      {"Docs/\xE2\x82", true},      // cut short
      {"", false},
      {"/etc/passwd", false},
      {"Docs/../../x", false},
      {"..", false},
      {"Docs/./a", false},
      {"Docs//a", false},
      {"Docs/", false},
      {"Docs/..\\..\\x", false},
      {"Docs/x\\..", false},
      {"Docs/.\\a", false},
      {"C:/x", false},
      {"c:x/y", false},
      {std::string("Docs/a\0b", 7), false},
  };
  for (const auto& [name, accepted] : cases)
    EXPECT_EQ(TZipArchiveWriter::EntryNameProblem(name).empty(), accepted) << name;
}

// Names go in byte for byte; only UTF-8 ones carry the UTF-8 flag, and the archive says it was made on Unix, so
// readers take "\" as part of the name. Read back by python3's zipfile, which decodes unflagged names as code
// page 437 (reversibly).
TEST(ZipArchiveWriter, StoresNamesAsTheirBytesFlaggedUtf8OnlyWhenTheyAre) {
  TTempDir dir;
  WriteFile(dir / "f.txt", "x");
  const std::string archive = (dir / "a.zip").string();
  const std::vector<std::string> names = {"Docs/düz.txt", "Docs/ascii.txt", "Docs/G\xF6rev\xFF.txt", "Docs/a\\b"};
  {
    TZipArchiveWriter writer(archive);
    for (const auto& name : names) {
      TFileHandle in(::open((dir / "f.txt").c_str(), O_RDONLY));
      ASSERT_TRUE(writer.AddFile(name, in.Get(), [](int64_t) { return true; }));
    }
    writer.Close();
  }
  const std::string probe =
      "import sys, zipfile\n"
      "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
      "    u = i.flag_bits & 0x800\n"
      "    print(i.filename.encode('utf-8' if u else 'cp437').hex(), 1 if u else 0, i.create_system)\n";
  WriteFile(dir / "probe.py", probe);
  std::string listed;
  ASSERT_EQ(
      RunCommand("/usr/bin/python3 " + ShellQuote((dir / "probe.py").string()) + " " + ShellQuote(archive), &listed), 0)
      << listed;
  auto hex = [](const std::string& text) {
    std::string out;
    for (const unsigned char c : text) out += "0123456789abcdef"[c >> 4], out += "0123456789abcdef"[c & 15];
    return out;
  };
  EXPECT_EQ(listed,
            hex(names[0]) + " 1 3\n" + hex(names[1]) + " 0 3\n" + hex(names[2]) + " 0 3\n" + hex(names[3]) + " 0 3\n");
  EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(archive)), 0);
}

// Adds one entry compressed on the calling thread in blocks of `block` bytes, as the compression threads would.
void AddEntry(TZipArchiveWriter& writer, const std::string& name, const std::string& data, size_t block) {
  writer.BeginEntry(name, 0640, EncodeDateTime(2024, 5, 1, 10, 0, 0), data.size());
  TBlockDeflater deflater;
  TDeflateJob job;
  uint32_t crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
  size_t at = 0;
  do {
    job.InputSize = std::min(block, data.size() - at);
    job.Input.assign(data.begin() + static_cast<ptrdiff_t>(at),
                     data.begin() + static_cast<ptrdiff_t>(at + job.InputSize));
    job.Dictionary.assign(data.begin() + static_cast<ptrdiff_t>(at - std::min<size_t>(at, 32768)),
                          data.begin() + static_cast<ptrdiff_t>(at));
    at += job.InputSize;
    job.Last = at == data.size();
    ASSERT_TRUE(deflater.Compress(job));
    writer.AppendData(job.Output.data(), job.OutputSize);
    crc = static_cast<uint32_t>(crc32_combine(crc, job.Crc, static_cast<z_off_t>(job.InputSize)));
  } while (!job.Last);
  writer.FinishEntry(crc, data.size());
}

// An entry taken back leaves the archive exactly as if it had never been begun, whether its bytes were still in the
// writer's buffer or already in the file; blocks compressed apart join into entries that read back whole.
TEST(ZipArchiveWriter, AnAbandonedEntryLeavesNoTraceAndBlocksJoinIntoWholeEntries) {
  TTempDir dir;
  std::string text;
  while (text.size() < 300000) text += "yedek " + std::to_string(text.size() % 977) + " rapor\n";
  const std::string noise = test::Incompressible(3u << 20, 9);
  {
    TZipArchiveWriter reference((dir / "reference.zip").string());
    AddEntry(reference, "a.txt", text, 65536);
    AddEntry(reference, "c.txt", "son", 65536);
    reference.Close();
  }
  for (const size_t abandoned : {size_t{5000}, noise.size()}) {
    SCOPED_TRACE(abandoned);
    const fs::path archive = dir / ("with-" + std::to_string(abandoned) + ".zip");
    TZipArchiveWriter writer(archive.string());
    AddEntry(writer, "a.txt", text, 65536);
    writer.BeginEntry("b.bin", 0600, EncodeDateTime(2024, 5, 1, 10, 0, 0), abandoned);
    writer.AppendData(noise.data(), abandoned);
    writer.AbandonEntry();
    AddEntry(writer, "c.txt", "son", 65536);
    writer.Close();
    EXPECT_TRUE(test::ReadFile(archive) == test::ReadFile(dir / "reference.zip"));
  }
  std::string listed;
  ASSERT_EQ(RunCommand(Inspect + " zip " + ShellQuote((dir / "reference.zip").string()), &listed), 0) << listed;
  EXPECT_EQ(listed, "a.txt|0|8|0|" + std::to_string(text.size()) + "\nc.txt|0|8|0|3\nplain-end\n");
  std::string content;
  RunCommand("unzip -p " + ShellQuote((dir / "reference.zip").string()) + " a.txt", &content);
  EXPECT_TRUE(content == text);
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
