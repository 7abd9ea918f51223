#pragma once
// The older scrambled form in which earlier versions kept some stored values: base64 of UTF-8 text in which the
// low byte of every UTF-16 code unit was XORed with a one-byte key stream. The stream starts at a seed byte and
// grows by a step per code unit, modulo 256. Only ever read: each reader rewrites what it decodes protected.
//
// The stored e-mail password and the credential store's names share one stream (LegacyKeyStream); the stored
// encryption password used a single fixed byte, which is the stream with a step of 0. Stateless; any thread.
#include <cstdint>
#include <string>
#include <string_view>

namespace velkor {

struct TLegacyKeyStream {
  uint8_t Seed;
  uint8_t Step;
};

// The program constants of the e-mail password and credential name form.
inline constexpr TLegacyKeyStream LegacyKeyStream{0xA7, 0x1D};

// Never fails: characters outside the base64 alphabet are skipped and bytes that are not UTF-8 read as U+FFFD,
// as the platform decoder of the older versions did, so any text decodes to some text.
std::string DecodeScrambledText(std::string_view stored, TLegacyKeyStream stream = LegacyKeyStream);

}  // namespace velkor
