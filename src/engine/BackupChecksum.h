#pragma once
// The SHA-256 checksums that verify a backup's output, as 64 lower-case hexadecimal digits.
//
// Both read their input a block at a time and keep no state; safe on any thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

// The digest of the file's bytes (an archive or an encrypted file); empty when the file does not exist or cannot
// be read to its end.
std::string ComputeFileChecksum(std::string_view path);

// The digest of the folder's manifest: one line per file below it, "relative path|size in bytes" with "/" between
// the path's components, each line ending in CR LF, lines sorted without regard to letter case, UTF-8. Only names
// and sizes enter it, so copying the same files again later gives the same checksum. Empty when the folder does
// not exist or cannot be listed.
std::string ComputeFolderChecksum(std::string_view folder);

// The manifest itself, for what the checksum stands for. Throws EVelkorError when the folder or one of its
// sub-folders cannot be listed.
std::string BuildFolderManifest(std::string_view folder);

// One file of a manifest: its path relative to the folder ("/" between components) and its size.
struct TManifestEntry {
  std::string RelativePath;
  int64_t Size = 0;
};
// The manifest of these entries, in the manifest's order whatever order they come in.
std::string FormatFolderManifest(std::vector<TManifestEntry> entries);
// The digest of a manifest's text.
std::string ComputeManifestChecksum(std::string_view manifest);

}  // namespace velkor
