#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "util/FormatSettings.h"
#include "util/Guid.h"
#include "util/StringUtils.h"

namespace velkor {
namespace {

TEST(FormatByteSize, UnitsAndSeparators) {
  const TFormatSettings tr = TurkishFormatSettings();
  TFormatSettings en;
  en.DecimalSeparator = ".";
  en.ThousandSeparator = ",";
  struct Case {
    long long bytes;
    const char* turkish;
    const char* english;
  } cases[] = {
      {0, "0 B", "0 B"},
      {1023, "1023 B", "1023 B"},
      {-5, "-5 B", "-5 B"},
      {1024, "1,00 KB", "1.00 KB"},
      {1536, "1,50 KB", "1.50 KB"},
      {1048576, "1,00 MB", "1.00 MB"},
      {1073741824, "1,00 GB", "1.00 GB"},
      {1234LL * 1073741824 + 536870912, "1.234,50 GB", "1,234.50 GB"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatByteSize(c.bytes, tr), c.turkish) << c.bytes;
    EXPECT_EQ(FormatByteSize(c.bytes, en), c.english) << c.bytes;
  }
}

TEST(FormatSettings, CLocaleGetsTurkishSeparators) {
  for (const char* name : {"", "C", "POSIX", "C.UTF-8"}) {
    const TFormatSettings fs = FormatSettingsForLocale(name);
    EXPECT_EQ(fs.DecimalSeparator, ",") << name;
    EXPECT_EQ(fs.ThousandSeparator, ".") << name;
    EXPECT_EQ(fs.TimeSeparator, ":") << name;
  }
}

TEST(Text, TrimFoldsOnlyBlanksAndControls) {
  EXPECT_EQ(Trim("  \t NAS / WebDAV \r\n"), "NAS / WebDAV");
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("\xC2\xA0x"), "\xC2\xA0x");  // a non-breaking space is text, not a blank
}

TEST(Text, CaseFoldingIsAsciiOnly) {
  EXPECT_TRUE(SameText("MinIO", "minio"));
  EXPECT_TRUE(SameText("C:\\Yedek\\A.ZIP", "c:\\yedek\\a.zip"));
  EXPECT_FALSE(SameText("İ", "i"));
  EXPECT_FALSE(SameText("abc", "abcd"));
  EXPECT_LT(CompareText("apple", "Banana"), 0);
  EXPECT_TRUE(StartsText("S3://", "s3://bucket/key"));
  EXPECT_TRUE(EndsText(".MBE", "backup.mbe"));
  EXPECT_EQ(PosText("CLOUD", "x cloud y"), 2u);
}

TEST(Guid, UpperCaseHexGroupedWithoutBraces) {
  const std::regex shape("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string g = NewGuidText();
    EXPECT_TRUE(std::regex_match(g, shape)) << g;
    seen.insert(g);
  }
  EXPECT_EQ(seen.size(), 200u);
}

}  // namespace
}  // namespace velkor
