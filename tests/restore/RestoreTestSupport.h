#pragma once
// Backup outputs as the backup run makes them, and listings to prove what a restore left behind.
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace velkor::test {

struct TZipFixtureEntry {
  std::string Name;  // as stored: "/" or "\" separators, may hold a NUL
  std::string Data;
  bool SymbolicLink = false;
  bool Cp437Name = false;  // stored in code page 437 without the UTF-8 flag, as older writers did
};

struct TZipFixtureOptions {
  std::optional<uint32_t> DeclaredSize;  // claimed uncompressed size of every entry
  std::string Damage;                    // "", "truncate" or "deflate"
};

// Writes the archive with /usr/bin/python3's zipfile (an independent writer).
void WriteZipFixture(const std::filesystem::path& zipPath, const std::vector<TZipFixtureEntry>& entries,
                     const TZipFixtureOptions& options = {});

enum TOutputKind { okFolder, okEncryptedFolder, okZip, okZipBackslashNames, okEncryptedZip };
const char* OutputKindName(TOutputKind kind);

// The output of a full run over `tree` (relative paths "Docs/a.txt", their first part naming a source folder) in
// `destination`, made by the backup engine itself: an output folder, its files encrypted one by one as ".mbe", a
// ZIP archive, or that archive encrypted whole as ".mbe". Archives of older versions, whose entry names used "\"
// separators, are written by python3's zipfile. Returns the output path.
std::filesystem::path BuildBackupOutput(TOutputKind kind, const TFileTree& tree,
                                        const std::filesystem::path& destination, const std::string& password);

// Every path below `root` (folders with a trailing "/"), relative; empty when `root` does not exist.
std::set<std::string> ListEverything(const std::filesystem::path& root);

}  // namespace velkor::test
