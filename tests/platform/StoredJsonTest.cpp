#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "platform/StoredJson.h"
#include "support/TempDir.h"

namespace velkor {
namespace {

using test::TTempDir;
using test::WriteFile;

const std::string Fffd = "\xEF\xBF\xBD";

class StoredJsonTest : public ::testing::Test {
protected:
  TTempDir FDir;

  TStoredJson Read(const std::string& content, TJsonTextLimits limits = {}) {
    WriteFile(FDir / "doc.json", content);
    return ReadStoredJson(FDir / "doc.json", limits);
  }
};

TEST_F(StoredJsonTest, BytesThatAreNotUtf8BecomeReplacementCharactersAndTheRestIsKept) {
  const struct {
    const char* Raw;
    std::string Expected;
    int Replaced;
  } cases[] = {
      {"a\xC3\xA7\xC4\xB1", "a\xC3\xA7\xC4\xB1", 0},       // Turkish letters stay as they are
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", 0},         // four-byte sequence
      {"x\xFFy", "x" + Fffd + "y", 1},                     // a byte that starts nothing
      {"\xC3", Fffd, 1},                                   // cut short by the closing quote
      {"\xE2\x82z", Fffd + Fffd + "z", 2},                 // cut short by an ASCII letter
      {"\xC0\xAF", Fffd + Fffd, 2},                        // overlong form of "/"
      {"\xED\xA0\x80", Fffd + Fffd + Fffd, 3},             // UTF-16 surrogate
      {"\xF5\x80\x80", Fffd + Fffd + Fffd, 3},             // no lead byte above F4
      {"\xF4\x90\x80\x80", Fffd + Fffd + Fffd + Fffd, 4},  // beyond U+10FFFF
      {"\x80\xBF", Fffd + Fffd, 2},                        // continuation bytes alone
  };
  for (const auto& c : cases) {
    const TStoredJson doc = Read(std::string("{\"a\":\"ok\",\"b\":\"") + c.Raw + "\",\"c\":[1,2]}");
    ASSERT_TRUE(doc.Value.is_object()) << c.Raw;
    EXPECT_EQ(doc.Value["b"].get<std::string>(), c.Expected) << c.Raw;
    EXPECT_EQ(doc.Value["a"], "ok");
    EXPECT_EQ(doc.Value["c"].size(), 2u);
    EXPECT_EQ(doc.Problem.empty(), c.Replaced == 0) << c.Raw << ": " << doc.Problem;
    if (c.Replaced > 0) {
      EXPECT_EQ(doc.Problem, ReplacedBytesProblem(c.Replaced));
    }
  }
}

// The file is read in 64 KiB blocks: a sequence split by a block end is still one character, and a sequence cut
// by the end of the file is still replaced.
TEST_F(StoredJsonTest, SequencesAcrossBlockEndsAndAtTheEndOfTheFile) {
  for (size_t before = 65530; before <= 65540; ++before) {
    const std::string padding(before - 2, 'p');
    const TStoredJson doc = Read("[\"" + padding + "\xF0\x9F\x98\x80\xC3\xA7\"]");
    ASSERT_TRUE(doc.Value.is_array()) << before;
    EXPECT_EQ(doc.Value[0].get<std::string>(), padding + "\xF0\x9F\x98\x80\xC3\xA7") << before;
    EXPECT_EQ(doc.Problem, "") << before;
  }
  WriteFile(FDir / "cut.json", "[1]\xE2\x82");
  TJsonTextReader reader(FDir / "cut.json", {});
  std::istreambuf_iterator<char> it(&reader), end;
  EXPECT_EQ(std::string(it, end), "[1]" + Fffd + Fffd);
  EXPECT_EQ(reader.ReplacedBytes(), 2u);
}

TEST_F(StoredJsonTest, NestingAndSizeBeyondTheLimitsEndTheText) {
  const TJsonTextLimits limits{0, 3};
  EXPECT_TRUE(Read("[[[1]],{\"a\":{\"b\":2}}]", limits).Problem.empty());
  // Brackets inside strings, also after escaped quotes and backslashes, are text.
  const TStoredJson text = Read(R"([["[[[[", "\"[[[[", "\\", "{{{{"]])", limits);
  EXPECT_TRUE(text.Problem.empty()) << text.Problem;
  EXPECT_EQ(text.Value[0][1], "\"[[[[");

  for (const std::string& deep : {std::string("[[[[1]]]]"), std::string("{\"a\":[{\"b\":[]}]}"),
                                  std::string(100000, '[') + std::string(100000, ']')}) {
    const TStoredJson doc = Read(deep, limits);
    EXPECT_TRUE(doc.Value.is_discarded()) << deep.substr(0, 20);
    EXPECT_EQ(doc.Problem, "iç içe yapı sınırını (3 düzey) aşıyor") << deep.substr(0, 20);
  }

  const TJsonTextLimits small{1024 * 1024, 0};
  const std::string fits = "[\"" + std::string(1024 * 1024 - 4, 'x') + "\"]";
  EXPECT_TRUE(Read(fits, small).Value.is_array());
  const TStoredJson large = Read(fits + " ", small);
  EXPECT_TRUE(large.Value.is_discarded());
  EXPECT_EQ(large.Problem, "boyut sınırını (1 MB) aşıyor");
}

TEST_F(StoredJsonTest, MissingBlankAndBrokenFiles) {
  const TStoredJson missing = ReadStoredJson(FDir / "none.json", {});
  EXPECT_FALSE(missing.Exists);
  EXPECT_TRUE(missing.Problem.empty());
  for (const char* blank : {"", " \r\n\t", "\xEF\xBB\xBF", "\xEF\xBB\xBF  \r\n"}) {
    const TStoredJson doc = Read(blank);
    EXPECT_TRUE(doc.Exists && doc.Blank) << blank;
    EXPECT_TRUE(doc.Problem.empty()) << blank;
  }
  EXPECT_TRUE(Read("\xEF\xBB\xBF{\"a\":1}\r\n").Value.is_object()) << "the byte-order mark is skipped";
  for (const std::string& broken : std::vector<std::string>{"{\"a\":", "x", "{} {}", "\x01", std::string(3, '\0')}) {
    const TStoredJson doc = Read(broken);
    EXPECT_FALSE(doc.Blank) << broken;
    EXPECT_EQ(doc.Problem, NotJsonProblem) << broken;
  }
  EXPECT_EQ(Read("\xFF").Problem, NotJsonProblem) << "a replaced byte outside a string is still no JSON";
}

}  // namespace
}  // namespace velkor
