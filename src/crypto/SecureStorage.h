#pragma once
// Protected strings: how every secret or personal value is stored in the registry and in config.json.
//
// "dpapi:" + base64 (CR LF every 76 characters) of a blob that only the same user account can open (see
// SecretProtector.h). An empty value stays empty, and text without the prefix reads back unchanged, so plain
// values written by older versions stay readable until their owner rewrites them protected. Stateless; any thread.
#include <string>
#include <string_view>

namespace velkor {

// "" for "", else "dpapi:" + base64 of the protected UTF-8 bytes. Creates the user's key on first use.
std::string ProtectString(std::string_view plain);
// "" for ""; `stored` unchanged without the prefix; else the plain text. Raises EVelkorError when the value was
// protected by another user or is damaged; callers decide what that means for them.
std::string UnprotectString(std::string_view stored);
// True when `value` starts with "dpapi:", ignoring letter case.
bool IsProtectedString(std::string_view value);

}  // namespace velkor
