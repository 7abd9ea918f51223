#include "util/Guid.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "util/Error.h"

namespace velkor {

std::string NewGuidText() {
  uint8_t b[16];
  size_t got = 0;
  while (got < sizeof b) {
    const ssize_t n = getrandom(b + got, sizeof b - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EVelkorError("Rastgele sayı üretilemedi");
    }
    got += static_cast<size_t>(n);
  }
  b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);
  b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);
  char text[37];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return text;
}

}  // namespace velkor
