#pragma once
// What the restore of one output (RestoreManager) and the restore of a chain of outputs (ChainRestore) share: the
// checks of an output path, the guard that keeps every write below the target, the listing of an archive's files
// and the writing of restored files. Used inside restore/ only.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velkor {

class TStagingFolder;
class TZipReader;
struct TZipEntry;

// The text from the last "." of the file name, including it; empty when the name has none.
std::string FileExtension(const std::string& path);
// An entry name as messages show it: a NUL as the two characters "\0".
std::string ShownEntryName(const std::string& name);
[[noreturn]] void RaiseOutsideTarget(const std::string& entryName);
// Anything standing at the path counts, a link too (even one whose target is gone: writing through it would land
// wherever it points).
bool PathEntryExists(const std::string& path);

// Raises the restore's message for a blank output path and for one where neither a file nor a folder stands.
void CheckSourcePath(const std::string& sourcePath);
// Raises for a blank target: it would mean the process's current folder, never a place the user chose.
void CheckTargetFolder(const std::string& targetFolder);
[[noreturn]] void RaiseUnsupportedFormat(const std::string& sourcePath);

// Moves a file of ours into place, never replacing anything; false (errno set) when the system cannot, for
// instance across volumes, so the caller copies instead.
bool MoveWithoutReplacing(const std::string& source, const std::string& target);
// The path relative to `folderNative` of a file listed below it.
std::string RelativeName(const std::string& folderNative, const std::string& file);
[[noreturn]] void RaiseWriteError(int err, const std::string& path);
void WriteAll(int fd, const char* data, size_t size, const std::string& path);
// Gives a file we just placed the permission bits `mode` (0777 of it). A link put in its place meanwhile is not
// followed; a file system without Unix permissions refuses and the file keeps its mode.
void ApplyRecordedMode(const std::string& path, uint32_t mode);

// Decrypts an encrypted archive output into `staging` as `zipName` and returns the ZIP's path. The password and
// the staging volume's room are checked before anything is written.
std::string DecryptArchiveInto(const std::string& sourcePath, const std::string& password,
                               const TStagingFolder& staging, const std::string& zipName = "decrypted.zip");

// Keeps every write below the real location of one root folder, which it creates. Names are already checked as
// text; this also refuses a folder that reaches outside through a link standing inside the root.
class TTargetGuard {
public:
  explicit TTargetGuard(const std::string& rootFolder);

  // Creates the folder of a file about to be written, after making sure it lies inside the root; raises the
  // outside-the-target message with `entryName` otherwise.
  void PrepareFolderOf(const std::string& filePath, const std::string& entryName);

private:
  std::string FRealRoot;
  std::filesystem::path FLastFolder;
};

// A file entry of an archive and the path it maps to.
struct TArchiveFile {
  const TZipEntry* Entry;
  std::string Target;
};
// The file entries of an archive with the paths they map to below `folder`. Raises on an unsafe name and on two
// entries that would land on the same path (damage: one of them would be lost).
std::vector<TArchiveFile> ListArchiveFiles(const TZipReader& reader, const std::string& folder);

}  // namespace velkor
