// The room a run asks for in the destination and where the free space is measured.
#include <gtest/gtest.h>

#include "RunFixture.h"
#include "engine/BackupEngine.h"
#include "util/Error.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using test::TRunFixture;
using test::WriteFile;

class Capacity : public TRunFixture {};

TEST_F(Capacity, RequiredBytesAreTheSelectedBytesPlusOverheadAndAtLeast64KiB) {
  struct TCase {
    const char* Name;
    std::vector<int64_t> Sizes;
    bool Compress;
    bool Encrypt;
    int64_t Required;
  };
  const std::vector<TCase> cases = {
      {"5 % below 64 KiB is raised to 64 KiB", {1000000}, true, false, 1065536},
      {"5 % above 64 KiB, encrypted archive", {4000000, 6000000}, true, true, 10508192},
      {"8 bytes per encrypted file", {100, 100, 100}, false, true, 324},
      {"plain folder copy", {100, 100, 100}, false, false, 300},
      {"nothing, folder", {}, false, false, 65536},
      {"nothing, folder, encrypted", {}, false, true, 65536},
      {"nothing, compressed", {}, true, false, 65536},
      {"nothing, compressed and encrypted", {}, true, true, 73728},
  };
  int folder = 0;
  for (const auto& c : cases) {
    const std::string source = P("src" + std::to_string(++folder) + "/Data");
    fs::create_directories(source);
    for (size_t i = 0; i < c.Sizes.size(); ++i) {
      // Sparse: the size counts, no room is taken.
      const std::string file = source + "/f" + std::to_string(i);
      WriteFile(file, "");
      fs::resize_file(file, static_cast<uintmax_t>(c.Sizes[i]));
    }
    FEngine->SourceFolders() = {source};
    FEngine->SetCompressBackup(c.Compress);
    FEngine->SetEncryptBackup(c.Encrypt);
    int64_t required = 0, available = 0;
    const bool fits = FEngine->CheckDestinationCapacity(required, available);
    EXPECT_EQ(required, c.Required) << c.Name;
    EXPECT_GT(available, 0) << c.Name;
    EXPECT_EQ(fits, available >= required) << c.Name;
  }
}

// A run lacking a source fails, so an estimate without that source's bytes would pass for a backup that fits.
TEST_F(Capacity, AMissingSourceGivesNoEstimateButSaysWhichFolder) {
  fs::create_directories(P("src/Docs"));
  FEngine->SourceFolders() = {P("src/Docs"), P("src/Unplugged")};
  int64_t required = 0, available = 0;
  try {
    FEngine->CheckDestinationCapacity(required, available);
    ADD_FAILURE() << "an estimate without the missing source";
  } catch (const EVelkorError& e) {
    EXPECT_EQ(std::string(e.what()), "Kaynak klasör bulunamadı: " + P("src/Unplugged"));
  }
}

TEST_F(Capacity, FreeSpaceIsMeasuredOnTheNearestExistingFolder) {
  fs::create_directories(P("Backups"));
  WriteFile(P("a-file"), "x");
  const std::string root = FDir.Path().string();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {P("Backups/New/Sub"), P("Backups")}, {P("Backups"), P("Backups")},
      {P("Backups/"), P("Backups")},        {P("a-file/sub"), root},
      {"/velkor-no-such-folder/a/b", "/"},  {"", ""},
  };
  for (const auto& [destination, measured] : cases)
    EXPECT_EQ(FEngine->FindExistingAncestor(destination), measured) << destination;

  // A destination that does not exist yet is measured, not refused.
  FEngine->SetDestinationFolder(P("Backups/New/Sub"));
  int64_t required = 0, available = 0;
  EXPECT_TRUE(FEngine->CheckDestinationCapacity(required, available));
  EXPECT_EQ(required, 65536);
  EXPECT_FALSE(fs::exists(P("Backups/New")));
}

}  // namespace
}  // namespace velkor
