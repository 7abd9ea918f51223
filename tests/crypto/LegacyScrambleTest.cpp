#include <gtest/gtest.h>

#include "crypto/LegacyScramble.h"

namespace velkor {
namespace {

// Values written by the older versions' encoder (UTF-16 code units XORed with the stream, then UTF-8, then base64),
// made independently of the decoder.
TEST(LegacyScrambleTest, DecodesTheProgramsKeyStream) {
  const struct {
    const char* Stored;
    const char* Plain;
  } cases[] = {
      {"", ""},
      {"w6DCrcKbwpJyCWdB", "Gizli123"},
      {"x7nCrcKHwox+FcWKwo7Gvlou", "Şifre-ğüıöç"},
      // Longer than the stream's first wrap past 255.
      {"w5LCvsKUwpA7WjwAwq/DnMKowpRsTFx6R8KlwoPDvcOfPRN1Z0U=", "uzun bir parola 0123456789"},
      // A character outside the basic plane is two code units, each with its own key byte.
      {"8LarhMKZ", "😀x"},
      // Line breaks of a wrapped base64 text are skipped.
      {"w74ywo/C\r\nm29RNhs=", "Yönetici"},
      // Plain text that looks like base64: bytes that are not UTF-8 read as U+FFFD before the XOR, as the older
      // decoder read them, so it decodes to a different text instead of failing.
      {"user", "\xEF\xBD\x9A\xC4\xAF"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeScrambledText(c.Stored), c.Plain) << c.Stored;
}

TEST(LegacyScrambleTest, StepZeroIsOneFixedByte) {
  // The stored encryption password's form: every code unit XORed with 0x5A.
  EXPECT_EQ(DecodeScrambledText("HTMgNjNraGk=", {0x5A, 0}), "Gizli123");
}

}  // namespace
}  // namespace velkor
