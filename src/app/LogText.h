#pragma once
// Text helpers of the activity log.
#include <string>
#include <string_view>

#include "util/DateTime.h"
#include "util/FormatSettings.h"

namespace velkor {

// Replaces each backslash-u escape with four hexadecimal digits by the character it names (messages built from
// JSON replies or error texts carry them); anything else, shorter or non-hexadecimal escapes included, stays as
// it is. A surrogate pair becomes its one character; a lone surrogate, which UTF-8 cannot hold, becomes U+FFFD.
std::string UnescapeUnicodeSequences(std::string_view text);

// "[dd.mm.yyyy hh:nn:ss] message", the message unescaped.
std::string FormatLogLine(TDateTime time, std::string_view message, const TFormatSettings& fs = UserFormatSettings());

}  // namespace velkor
