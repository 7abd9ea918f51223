#include "platform/ProcessLocale.h"

#include <langinfo.h>

#include <clocale>
#include <cstring>

namespace velkor {

void InitProcessLocale() {
  const char* set = std::setlocale(LC_CTYPE, "");
  const char* codeset = nl_langinfo(CODESET);
  if (!set || !codeset || (std::strcmp(codeset, "UTF-8") != 0 && std::strcmp(codeset, "utf8") != 0))
    std::setlocale(LC_CTYPE, "C.UTF-8");
}

}  // namespace velkor
