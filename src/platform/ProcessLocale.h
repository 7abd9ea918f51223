#pragma once

namespace velkor {

// Sets a UTF-8 character locale for the process (the user's, or C.UTF-8 when that is C/POSIX), so that archive
// entry names and file names outside ASCII convert correctly. Only LC_CTYPE changes: number formatting and
// parsing stay in the C locale, which the file formats depend on.
void InitProcessLocale();

}  // namespace velkor
