#pragma once
// The SHA-256 checksums that verify a backup's output, as 64 lower-case hexadecimal digits.
//
// Both read their input a block at a time and keep no state; safe on any thread.
#include <string>
#include <string_view>

namespace velkor {

// The digest of the file's bytes (an archive or an encrypted file); empty when the file does not exist or cannot
// be read to its end.
std::string ComputeFileChecksum(std::string_view path);

// The digest of the folder's manifest: one line per file below it, "relative path|size in bytes" with "/" between
// the path's components, each line ending in CR LF, lines sorted without regard to letter case, UTF-8. Only names
// and sizes enter it, so copying the same files again later gives the same checksum. Empty when the folder does
// not exist or cannot be listed.
std::string ComputeFolderChecksum(std::string_view folder);

// The manifest itself, for what the checksum stands for.
std::string BuildFolderManifest(std::string_view folder);

}  // namespace velkor
