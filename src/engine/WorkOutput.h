#pragma once
// The folders a backup run works in and the way its output reaches its final name.
//
// A run's work folders (its staging folder, the hidden entry its output is built in) are created exclusively,
// are private (0700) and stay locked (Leftovers.h) for as long as their object lives, so a cleanup running
// meanwhile passes them over and the folder of a killed run is recognised as a leftover. An output becomes
// visible under its final name in one step, and only by a move that never replaces anything already there:
// whoever claims a name first keeps it, the other moves on to the next free name.
//
// Objects are used by one thread at a time. Errors throw EVelkorError with the system's message.
#include <filesystem>
#include <string>

#include "platform/FileHandle.h"

namespace velkor {

class TWorkFolder {
public:
  TWorkFolder() = default;
  // Removes the folder with its content, unless it was kept.
  ~TWorkFolder();
  TWorkFolder(TWorkFolder&& other) noexcept;
  TWorkFolder& operator=(TWorkFolder&& other) noexcept;
  TWorkFolder(const TWorkFolder&) = delete;
  TWorkFolder& operator=(const TWorkFolder&) = delete;

  // A hidden work entry (".velkor-tmp-XXXXXX") inside `folder`.
  static TWorkFolder CreateWorkEntry(const std::filesystem::path& folder);
  // `base`, or the first of `base`_2, `base`_3, ... that is free.
  static TWorkFolder CreateNumbered(const std::filesystem::path& base);

  const std::filesystem::path& Path() const { return FPath; }
  // The open, locked folder.
  int Descriptor() const { return FHandle.Get(); }
  bool Exists() const { return FHandle.IsOpen(); }
  // The folder has been moved to `path`.
  void Moved(std::filesystem::path path) { FPath = std::move(path); }
  // Unlocks the folder and leaves it where it is.
  void Keep();
  // Removes the folder with its content (while still holding it locked), then unlocks it. Never throws.
  void Remove();

private:
  // Opens and locks the folder just created at `path`; false when it is no longer the folder that was created (a
  // cleanup took it away before the lock).
  bool Adopt(const std::filesystem::path& path);

  std::filesystem::path FPath;
  TFileHandle FHandle;
};

// One output under construction in a destination folder: the content of a folder output, or the one file of a
// file output, inside a hidden locked work entry. Destroyed before Publish, it goes with everything in it.
class TWorkOutput {
public:
  // A folder output: its content is written straight into the work entry.
  static TWorkOutput ForFolder(const std::filesystem::path& destinationFolder);
  // A file output: written as `fileName` inside the work entry.
  static TWorkOutput ForFile(const std::filesystem::path& destinationFolder, const std::string& fileName);

  // Where the content goes.
  const std::filesystem::path& ContentPath() const { return FContent; }
  // Puts what was written on the disk: the file itself, or the folder's whole file system in one go.
  void Flush();
  // Gives the output the first free name of `baseName` + `extension`, `baseName`_2 + `extension`, ... in the
  // destination, never replacing anything, and puts the new name on the disk. Returns the final path.
  std::filesystem::path Publish(const std::string& baseName, const std::string& extension);
  bool Published() const { return FPublished; }

private:
  TWorkOutput(TWorkFolder folder, std::filesystem::path destination, std::filesystem::path content, bool isFolder);

  TWorkFolder FFolder;
  std::filesystem::path FDestination;
  std::filesystem::path FContent;
  bool FIsFolder = false;
  bool FPublished = false;
};

// The ways to move an entry to a name only while the name is free, in the order they are tried: the system's
// rename that refuses to replace; for a file, a second link under the new name, then the old name removed; an
// empty entry created exclusively under the new name as a claim, then the entry renamed over that claim.
enum TClaimMethod { cmRenameNoReplace, cmLinkThenUnlink, cmPlaceholder };
enum TClaimResult { crClaimed, crTaken, crUnsupported };

// Moves `from` (a file, or a folder when `isFolder`) to `to` unless something, even a dangling link, is named
// `to`; false when the name is taken, with nothing changed. Falls back to the next method where a file system
// refuses one.
bool ClaimName(const std::filesystem::path& from, const std::filesystem::path& to, bool isFolder);
// One method alone; crUnsupported when the file system (or, for a link, a folder) does not allow it.
TClaimResult ClaimNameBy(TClaimMethod method, const std::filesystem::path& from, const std::filesystem::path& to,
                         bool isFolder);

}  // namespace velkor
