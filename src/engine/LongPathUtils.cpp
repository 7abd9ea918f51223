#include "engine/LongPathUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/AtomicFile.h"
#include "util/Error.h"
#include "util/StringUtils.h"

namespace velkor {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void RaiseOSError(int err, const std::string& what) {
  throw EVelkorError(what + " (" + SystemErrorMessage(err) + ")");
}

// The system cannot take a name with a NUL in it; say so instead of acting on a truncated path.
void CheckPathCharacters(std::string_view path) {
  if (path.find('\0') != std::string_view::npos)
    throw EVelkorError("Geçersiz yol: " + std::string(path.substr(0, path.find('\0'))));
}

// A full Windows path split into its root ("C:", "\\server\share", or "" for a rooted path without a drive)
// and its segments.
struct TWindowsPath {
  std::string Root;
  std::vector<std::string> Segments;
};

bool HasDriveLetter(std::string_view s) {
  return s.size() >= 2 && s[1] == ':' && ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'));
}

// Appends the segments of `rest`, resolving "." and ".." the way the Windows full-path function does: ".." never
// climbs above the root, repeated separators collapse, trailing dots and blanks of a name are dropped.
void AppendSegments(TWindowsPath& full, std::string_view rest) {
  for (std::string segment : SplitString(rest, '\\')) {
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") {
      if (!full.Segments.empty()) full.Segments.pop_back();
      continue;
    }
    while (!segment.empty() && (segment.back() == '.' || segment.back() == ' ')) segment.pop_back();
    if (!segment.empty()) full.Segments.push_back(std::move(segment));
  }
}

// Splits an absolute Windows path (backslashes only) into root and the rest after the root.
void SplitRoot(std::string_view path, std::string& root, std::string_view& rest) {
  if (path.starts_with("\\\\")) {
    // "\\server\share" is the root of a UNC path.
    size_t end = path.find('\\', 2);
    if (end != std::string_view::npos) end = path.find('\\', end + 1);
    root = std::string(path.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : path.substr(end);
  } else if (HasDriveLetter(path)) {
    root = std::string(path.substr(0, 2));
    rest = path.substr(2);
  } else {
    root.clear();
    rest = path;
  }
}

TWindowsPath ParseFull(std::string_view path) {
  TWindowsPath full;
  std::string_view rest;
  SplitRoot(path, full.Root, rest);
  AppendSegments(full, rest);
  return full;
}

std::string ExpandWindowsPath(std::string_view input, std::string_view currentDirectory) {
  std::string path(input);
  std::replace(path.begin(), path.end(), '/', '\\');
  std::string cwd(currentDirectory);
  std::replace(cwd.begin(), cwd.end(), '/', '\\');

  TWindowsPath full;
  if (path.starts_with("\\\\")) {
    full = ParseFull(path);
  } else if (HasDriveLetter(path)) {
    if (path.size() > 2 && path[2] == '\\') {
      full = ParseFull(path);
    } else {
      // "C:x" is relative to the current folder when that is on drive C, else to the drive's root.
      full = HasDriveLetter(cwd) && SameText(cwd.substr(0, 2), path.substr(0, 2)) ? ParseFull(cwd) : TWindowsPath{};
      full.Root = path.substr(0, 2);
      AppendSegments(full, std::string_view(path).substr(2));
    }
  } else if (path.starts_with("\\")) {
    full.Root = ParseFull(cwd).Root;
    AppendSegments(full, path);
  } else {
    full = ParseFull(cwd);
    AppendSegments(full, path);
  }

  std::string result = full.Root;
  for (const auto& segment : full.Segments) result += "\\" + segment;
  const bool driveRoot = HasDriveLetter(full.Root) && full.Segments.empty();
  const bool trailing = !path.empty() && path.back() == '\\' && !full.Segments.empty();
  if (driveRoot || trailing || result.empty()) result += "\\";
  return result;
}

fs::path NativeOrEmpty(std::string_view path) {
  CheckPathCharacters(path);
  return ToNativePath(path);
}

bool StatPath(std::string_view path, struct stat& st) {
  if (path.empty() || path.find('\0') != std::string_view::npos) return false;
  const fs::path native = ToNativePath(path);
  return ::stat(native.c_str(), &st) == 0;
}

// One UTF-8 character's length from its lead byte, so "?" stands for a character, not a byte.
size_t CharLength(const std::string_view s, size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
  return std::min(n, s.size() - i);
}

bool SameFoldedByte(char a, char b) {
  const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return fold(a) == fold(b);
}

// Iterative wildcard match with backtracking to the last "*".
bool MatchesPattern(std::string_view name, std::string_view pattern) {
  if (pattern == "*.*" || pattern == "*") return true;
  size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += CharLength(name, n);
    } else if (p < pattern.size() && SameFoldedByte(pattern[p], name[n])) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      starN += CharLength(name, starN);
      n = starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

struct TListedEntry {
  std::string Name;
  bool Directory = false;  // a real folder, not a link to one
  bool File = false;       // a regular file, directly or through a link
};

// The entries of one folder in name order (the system lists them in no useful order).
bool ListFolder(const fs::path& folder, std::vector<TListedEntry>& entries, int& err) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) {
    err = ec.value();
    return false;
  }
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    std::error_code typeEc;
    // The entry's own type comes with the listing on most file systems; only links need a look at their target.
    const bool link = it->is_symlink(typeEc);
    TListedEntry entry{it->path().filename().string()};
    entry.Directory = !link && it->is_directory(typeEc);
    // A link that leads nowhere (dangling, or a loop) is listed like a file, so that whoever backs the folder up
    // reports it as unreadable instead of leaving it out unnoticed.
    const fs::file_type target = link ? it->status(typeEc).type() : fs::file_type::none;
    entry.File = (!link && it->is_regular_file(typeEc)) || target == fs::file_type::regular ||
                 (link && (target == fs::file_type::not_found || target == fs::file_type::none ||
                           target == fs::file_type::unknown));
    entries.push_back(std::move(entry));
  }
  if (ec) {
    err = ec.value();
    return false;
  }
  std::sort(entries.begin(), entries.end(), [](const TListedEntry& a, const TListedEntry& b) {
    const int c = CompareText(a.Name, b.Name);
    return c != 0 ? c < 0 : a.Name < b.Name;
  });
  return true;
}

void CollectFiles(const fs::path& folder, const std::string& prefix, std::string_view pattern, bool recursive, bool top,
                  std::vector<TUnlistedFolder>* unlisted, std::vector<std::string>& result) {
  std::vector<TListedEntry> entries;
  int err = 0;
  if (!ListFolder(folder, entries, err)) {
    if (top || unlisted == nullptr) RaiseOSError(err, "Klasör okunamadı: " + folder.string());
    unlisted->push_back({prefix, SystemErrorMessage(err)});
    return;
  }
  for (const auto& entry : entries) {
    const std::string path = prefix + "/" + entry.Name;
    if (entry.Directory) {
      if (recursive) CollectFiles(folder / entry.Name, path, pattern, recursive, false, unlisted, result);
    } else if (entry.File && MatchesPattern(entry.Name, pattern)) {
      result.push_back(path);
    }
  }
}

// Depth-first removal that passes over whatever refuses to go.
void RemoveTreeQuietly(const fs::path& folder) {
  struct stat st {};
  // Opening a read-only folder up is what lets its entries go; files themselves need no change to be unlinked
  // (and changing them would change every other hard link to them too).
  if (::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_IRWXU) != S_IRWXU)
    ::chmod(folder.c_str(), (st.st_mode & 07777) | S_IRWXU);
  std::vector<TListedEntry> entries;
  int err = 0;
  ListFolder(folder, entries, err);
  for (const auto& entry : entries) {
    const fs::path child = folder / entry.Name;
    if (entry.Directory)
      RemoveTreeQuietly(child);
    else
      ::unlink(child.c_str());
  }
  ::rmdir(folder.c_str());
}

}  // namespace

bool IsExtendedLengthPath(std::string_view path) { return path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\"); }

std::string ToLongPath(std::string_view path, std::string_view currentDirectory) {
  if (Trim(path).empty()) return "";
  if (IsExtendedLengthPath(path)) return std::string(path);
  const std::string expanded = ExpandWindowsPath(path, currentDirectory);
  if (expanded.starts_with("\\\\")) return "\\\\?\\UNC\\" + expanded.substr(2);
  if (expanded.size() >= 2 && expanded[1] == ':') return "\\\\?\\" + expanded;
  return expanded;
}

std::string FromLongPath(std::string_view path) {
  if (StartsText("\\\\?\\UNC\\", path)) return "\\\\" + std::string(path.substr(8));
  if (path.starts_with("\\\\?\\")) return std::string(path.substr(4));
  return std::string(path);
}

fs::path ToNativePath(std::string_view path) {
  if (path.empty()) return {};
  fs::path p(path);
  if (p.is_relative()) p = fs::current_path() / p;
  std::string normal = p.lexically_normal().string();
  if (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

uint32_t LongGetFileAttributes(std::string_view path) {
  struct stat st {};
  if (!StatPath(path, st)) return faInvalid;
  uint32_t attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= faDirectory;
  if (!(st.st_mode & S_IWUSR)) attributes |= faReadOnly;
  if (ToNativePath(path).filename().string().starts_with('.')) attributes |= faHidden;
  return attributes == 0 ? faNormal : attributes;
}

bool LongFileExists(std::string_view path) {
  const uint32_t attributes = LongGetFileAttributes(path);
  return attributes != faInvalid && !(attributes & faDirectory);
}

bool LongDirectoryExists(std::string_view path) {
  const uint32_t attributes = LongGetFileAttributes(path);
  return attributes != faInvalid && (attributes & faDirectory);
}

void LongForceDirectories(std::string_view path) {
  if (path.empty() || LongDirectoryExists(path)) return;
  const fs::path native = NativeOrEmpty(path);
  const fs::path parent = native.parent_path();
  // Climb to the first existing ancestor, then create the missing levels from the top down.
  if (!parent.empty() && parent != native && !LongDirectoryExists(parent.string()))
    LongForceDirectories(parent.string());
  if (::mkdir(native.c_str(), 0777) != 0) {
    const int err = errno;
    if (err == EEXIST && LongDirectoryExists(path)) return;
    RaiseOSError(err, "Klasör oluşturulamadı: " + native.string());
  }
}

std::vector<std::string> LongGetFiles(std::string_view path, std::string_view pattern, bool recursive,
                                      std::vector<TUnlistedFolder>* unlisted) {
  const fs::path native = NativeOrEmpty(path);
  std::vector<std::string> result;
  if (!LongDirectoryExists(native.string())) return result;
  const std::string prefix = native.string() == "/" ? "" : native.string();
  CollectFiles(native, prefix, pattern, recursive, true, unlisted, result);
  return result;
}

TListedFile LongLookAt(std::string path) {
  TListedFile listed;
  listed.Path = std::move(path);
  struct statx stx {};
  constexpr unsigned Wanted = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_CTIME | STATX_BTIME;
  if (::statx(AT_FDCWD, listed.Path.c_str(), 0, Wanted, &stx) == 0) {
    listed.Size = S_ISDIR(stx.stx_mode) ? 0 : static_cast<int64_t>(stx.stx_size);
    listed.Mode = stx.stx_mode;
    const struct statx_timestamp& created = (stx.stx_mask & STATX_BTIME) ? stx.stx_btime : stx.stx_ctime;
    listed.ChangeTime = std::max(FromUnixTime(stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec),
                                 FromUnixTime(created.tv_sec, created.tv_nsec));
  } else if (::statx(AT_FDCWD, listed.Path.c_str(), AT_SYMLINK_NOFOLLOW, Wanted, &stx) == 0) {
    // A link that leads nowhere has no times of its own to follow; the link's are the closest.
    listed.Mode = stx.stx_mode;
    listed.ChangeTime = FromUnixTime(std::max<std::time_t>(stx.stx_mtime.tv_sec, stx.stx_ctime.tv_sec));
  }
  return listed;
}

std::vector<TListedFile> LongListFiles(std::string_view path, std::vector<TUnlistedFolder>* unlisted) {
  std::vector<TListedFile> files;
  for (std::string& file : LongGetFiles(path, "*.*", true, unlisted)) files.push_back(LongLookAt(std::move(file)));
  return files;
}

void LongCopyFile(std::string_view source, std::string_view target, bool overwrite) {
  const fs::path from = NativeOrEmpty(source);
  const fs::path to = NativeOrEmpty(target);
  std::error_code ec;
  const auto options = overwrite ? fs::copy_options::overwrite_existing : fs::copy_options::none;
  if (!fs::copy_file(from, to, options, ec) && !ec) ec = std::make_error_code(std::errc::file_exists);
  if (ec) RaiseOSError(ec.value(), "Dosya kopyalanamadı: " + from.string() + " -> " + to.string());
}

void LongDeleteFile(std::string_view path) {
  if (!LongFileExists(path)) return;
  const fs::path native = ToNativePath(path);
  if (::unlink(native.c_str()) != 0) RaiseOSError(errno, "Dosya silinemedi: " + native.string());
}

void LongDeleteDirectory(std::string_view path, bool recursive) {
  if (!LongDirectoryExists(path)) return;
  const fs::path native = ToNativePath(path);
  struct stat own {};
  if (::lstat(native.c_str(), &own) == 0 && S_ISLNK(own.st_mode)) {
    if (::unlink(native.c_str()) != 0) RaiseOSError(errno, "Klasör silinemedi: " + native.string());
    return;
  }
  if (recursive) {
    RemoveTreeQuietly(native);
    return;
  }
  std::error_code ec;
  if (!fs::is_empty(native, ec) && !ec) throw EVelkorError("Klasör boş değil: " + native.string());
  if (::rmdir(native.c_str()) != 0) RaiseOSError(errno, "Klasör silinemedi: " + native.string());
}

int64_t LongGetFileSize(std::string_view path) {
  struct stat st {};
  if (!StatPath(path, st)) return -1;
  return S_ISDIR(st.st_mode) ? 0 : static_cast<int64_t>(st.st_size);
}

TDateTime LongGetLastWriteTime(std::string_view path) {
  CheckPathCharacters(path);
  struct stat st {};
  if (!StatPath(path, st)) return 0;
  return FromUnixTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

TDateTime LongGetCreationTime(std::string_view path) {
  CheckPathCharacters(path);
  if (path.empty()) return 0;
  const fs::path native = ToNativePath(path);
  struct statx stx {};
  if (::statx(AT_FDCWD, native.c_str(), 0, STATX_BTIME | STATX_CTIME, &stx) != 0) return 0;
  const struct statx_timestamp& stamp = (stx.stx_mask & STATX_BTIME) ? stx.stx_btime : stx.stx_ctime;
  return FromUnixTime(static_cast<std::time_t>(stamp.tv_sec), static_cast<long>(stamp.tv_nsec));
}

}  // namespace velkor
