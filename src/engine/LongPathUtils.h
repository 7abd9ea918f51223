#pragma once
// The file layer every operation on a user path goes through (sources, destinations, staging, restore, retention).
//
// Two halves. The extended-length path functions (IsExtendedLengthPath, ToLongPath, FromLongPath) are pure text
// functions over Windows-style paths, kept so that paths stored by or shown to a Windows installation behave the
// same here. The file operations work on this system's native path: the absolute, lexically normalised form of
// the path they are given (ToNativePath). Stateless; safe to call from any thread.
//
// Queries never throw for a missing path. Creating, copying and deleting throw EVelkorError carrying the system's
// message.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "util/DateTime.h"

namespace velkor {

// The attribute word of LongGetFileAttributes, in the bit layout the stored data and the callers know.
inline constexpr uint32_t faReadOnly = 0x01;
inline constexpr uint32_t faHidden = 0x02;
inline constexpr uint32_t faDirectory = 0x10;
inline constexpr uint32_t faArchive = 0x20;
inline constexpr uint32_t faNormal = 0x80;
inline constexpr uint32_t faInvalid = 0xFFFFFFFF;

// True when the path begins with "\\?\" or "\\.\".
bool IsExtendedLengthPath(std::string_view path);
// The extended-length form of a Windows path: blank gives "", prefixed and device paths stay as they are, other
// paths are expanded against `currentDirectory` (a full Windows path) and get "\\?\" or "\\?\UNC\".
std::string ToLongPath(std::string_view path, std::string_view currentDirectory);
// Removes "\\?\UNC\" (giving "\\") or "\\?\"; other paths, device paths included, come back unchanged.
std::string FromLongPath(std::string_view path);

// The path handed to the system's file functions: absolute (against the process's current folder), "." and ".."
// removed, no trailing separator except for the root. Empty for an empty path. Use it wherever a user path is
// opened outside this layer (archives, encryption streams).
std::filesystem::path ToNativePath(std::string_view path);

// faInvalid when the path does not exist or cannot be queried. Symbolic links are followed.
uint32_t LongGetFileAttributes(std::string_view path);
bool LongFileExists(std::string_view path);
bool LongDirectoryExists(std::string_view path);

// Creates the folder and its missing parents; nothing when it exists. Throws when a level cannot be created
// (also when a file stands where a folder should be).
void LongForceDirectories(std::string_view path);

// A sub-folder that could not be listed, and the system's message why.
struct TUnlistedFolder {
  std::string Path;
  std::string Error;
};

// Paths of the regular files below `path` whose names match `pattern` ("*.*" matches every name, else "*" and
// "?" wildcards, letter case ignored), hidden files included. With `recursive`, each sub-folder's files appear at
// the sub-folder's place, depth first; entries of one folder come in name order. Every path begins with the
// native form of `path`. Links to folders are not followed (no cycles, no leaving the tree); pipes, sockets and
// devices are not files to back up and are left out; a link that leads nowhere is listed (it cannot be read). A
// missing folder gives an empty list; a folder that exists but cannot be listed throws. A sub-folder that cannot
// be listed throws too, unless `unlisted` is given: then it is reported there and the rest of the tree is listed,
// so that a caller that goes on without it can still say what it left out.
std::vector<std::string> LongGetFiles(std::string_view path, std::string_view pattern, bool recursive,
                                      std::vector<TUnlistedFolder>* unlisted = nullptr);

// A file of a listing with what one look at it told (the system's statx: size, last-write and birth time together).
struct TListedFile {
  std::string Path;
  int64_t Size = -1;  // -1 when it could not be looked at (a link that leads nowhere)
  uint32_t Mode = 0;  // type and permission bits
  // The later of its last-write time and its creation time (LongGetLastWriteTime, LongGetCreationTime); for a link
  // that leads nowhere the later of the link's own last-write and change times, whole seconds; 0 when unknown.
  TDateTime ChangeTime = 0;
};
// One look at a path (a file, or a folder, whose size is 0), links followed.
TListedFile LongLookAt(std::string path);
// The files LongGetFiles(path, "*.*", true, unlisted) lists, in its order, each looked at once.
std::vector<TListedFile> LongListFiles(std::string_view path, std::vector<TUnlistedFolder>* unlisted);

// Copies one file; with `overwrite` false an existing target makes it fail.
void LongCopyFile(std::string_view source, std::string_view target, bool overwrite);
// Deletes the file when it exists.
void LongDeleteFile(std::string_view path);
// Deletes the folder when it exists. Without `recursive` a non-empty folder throws. With it, everything below is
// removed depth first (read-only folders are opened up first); an entry that cannot be removed is passed over
// silently and its parents stay. A link to a folder is removed as a link; what it points to is never touched.
void LongDeleteDirectory(std::string_view path, bool recursive);

// Size in bytes; 0 for a folder; -1 when it cannot be queried.
int64_t LongGetFileSize(std::string_view path);
// Local date-times; 0 when the stamps cannot be read. The creation time is the birth time where the file system
// records one, else the time of the last status change (the closest this system keeps).
TDateTime LongGetLastWriteTime(std::string_view path);
TDateTime LongGetCreationTime(std::string_view path);

}  // namespace velkor
