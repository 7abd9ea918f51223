#pragma once
// Backup outputs as the backup run makes them, and listings to prove what a restore left behind.
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace velkor::test {

struct TZipFixtureEntry {
  std::string Name;  // as stored: "/" or "\" separators, may hold a NUL
  std::string Data = "";
  bool SymbolicLink = false;
  bool Cp437Name = false;                     // stored in code page 437 without the UTF-8 flag, as older writers did
  bool WindowsHost = false;                   // says it was made on DOS/Windows, where "\" separates; else on Unix
  std::optional<uint32_t> Mode = {};          // Unix permission bits recorded in the entry
  uint64_t Zeros = 0;                         // when not 0, the data is that many zero bytes instead of Data
  std::optional<uint32_t> DeclaredSize = {};  // claimed uncompressed size, in both headers
};

struct TZipFixtureOptions {
  std::optional<uint32_t> DeclaredSize = {};  // claimed uncompressed size of every entry
  // "", "truncate", "deflate", or damage of the last entry's central record: "central-size", "crc",
  // "uncounted", "overlap" (see zip_fixture.py)
  std::string Damage;
};

// Writes the archive with /usr/bin/python3's zipfile (an independent writer).
void WriteZipFixture(const std::filesystem::path& zipPath, const std::vector<TZipFixtureEntry>& entries,
                     const TZipFixtureOptions& options = {});

enum TOutputKind { okFolder, okEncryptedFolder, okZip, okZipBackslashNames, okEncryptedZip };
const char* OutputKindName(TOutputKind kind);

// The output of a full run over `tree` (relative paths "Docs/a.txt", their first part naming a source folder) in
// `destination`, made by the backup engine itself: an output folder, its files encrypted one by one as ".mbe", a
// ZIP archive, or that archive encrypted whole as ".mbe". Archives of older versions, whose entry names used "\"
// separators, are written by python3's zipfile. Returns the output path. The run must succeed; the files it
// reports as failed ("path (reason)") go to `failedFiles`, or, without it, there must be none. `modes` gives
// source files (by their tree path) permission bits other than the usual.
std::filesystem::path BuildBackupOutput(TOutputKind kind, const TFileTree& tree,
                                        const std::filesystem::path& destination, const std::string& password,
                                        std::vector<std::string>* failedFiles = nullptr,
                                        const std::map<std::string, uint32_t>& modes = {});
// The source folder BuildBackupOutput made for `destination`: the tree's paths are relative to it.
inline std::filesystem::path BackupSourceRoot(const std::filesystem::path& destination) {
  return destination.string() + "-kaynak";
}

// An entry name as error messages show it: a NUL as the two characters "\0".
std::string ShownName(const std::string& name);

// Sets the process's file creation mask for the lifetime of the object.
class TScopedUmask {
public:
  explicit TScopedUmask(unsigned mask);
  ~TScopedUmask();
  TScopedUmask(const TScopedUmask&) = delete;
  TScopedUmask& operator=(const TScopedUmask&) = delete;

private:
  unsigned FOld;
};

// Every path below `root` (folders with a trailing "/"), relative; empty when `root` does not exist.
std::set<std::string> ListEverything(const std::filesystem::path& root);

}  // namespace velkor::test
