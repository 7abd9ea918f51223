#pragma once
#include <string>

namespace velkor {

// A new random (version 4) GUID as 32 upper-case hexadecimal digits grouped 8-4-4-4-12, without braces.
// Backup and set identifiers use it; it comes from the kernel's strong random source.
std::string NewGuidText();

}  // namespace velkor
