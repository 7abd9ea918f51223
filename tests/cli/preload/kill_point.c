/* Preloaded into a process under test (LD_PRELOAD), never linked into the product: kills the process with SIGKILL
 * at a chosen call, before the call happens, so a test can stop a real run at a point it names.
 *
 *   VELKOR_KILL_CALL  the call to watch: rename (also renameat, renameat2), unlink (also unlinkat, remove), rmdir,
 *                     write (also copy_file_range, to its target), fsync (also fdatasync), close, open (also
 *                     openat and their 64-bit names)
 *   VELKOR_KILL_PATH  only calls whose path contains this text count (for calls on a descriptor, the path the
 *                     descriptor was opened with; for renames, either name); unset: every call counts
 *   VELKOR_KILL_AT    the number of the counted call that kills, from 1 (default 1)
 *
 * Without VELKOR_KILL_CALL nothing is watched. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

static const char* watched_call;
static const char* watched_path;
static long kill_at = 1;
static atomic_long counted;
static pthread_once_t configured = PTHREAD_ONCE_INIT;

static void configure(void) {
  watched_call = getenv("VELKOR_KILL_CALL");
  watched_path = getenv("VELKOR_KILL_PATH");
  if (watched_path != NULL && *watched_path == '\0') watched_path = NULL;
  const char* at = getenv("VELKOR_KILL_AT");
  if (at != NULL && atol(at) > 0) kill_at = atol(at);
}

static int watching(const char* call) {
  pthread_once(&configured, configure);
  return watched_call != NULL && strcmp(watched_call, call) == 0;
}

static int path_matches(const char* path) {
  return watched_path == NULL || (path != NULL && strstr(path, watched_path) != NULL);
}

static int descriptor_matches(int fd) {
  if (watched_path == NULL) return 1;
  char link[64];
  char path[PATH_MAX];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, path, sizeof path - 1);
  if (n <= 0) return 0;
  path[n] = '\0';
  return strstr(path, watched_path) != NULL;
}

/* A name relative to a folder descriptor is matched as the full path it stands for. */
static int at_path_matches(int dir, const char* path) {
  if (watched_path == NULL || path == NULL || path[0] == '/' || dir == AT_FDCWD) return path_matches(path);
  char link[64];
  char full[PATH_MAX];
  snprintf(link, sizeof link, "/proc/self/fd/%d", dir);
  const ssize_t n = readlink(link, full, sizeof full - 1);
  if (n <= 0) return 0;
  full[n] = '\0';
  strncat(full, "/", sizeof full - strlen(full) - 1);
  strncat(full, path, sizeof full - strlen(full) - 1);
  return strstr(full, watched_path) != NULL;
}

static void count(int matches) {
  if (matches && atomic_fetch_add(&counted, 1) + 1 == kill_at) kill(getpid(), SIGKILL);
}

#define REAL(name, type) ((type)dlsym(RTLD_NEXT, name))

int rename(const char* from, const char* to) {
  if (watching("rename")) count(path_matches(from) || path_matches(to));
  return REAL("rename", int (*)(const char*, const char*))(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
  if (watching("rename")) count(at_path_matches(fromDir, from) || at_path_matches(toDir, to));
  return REAL("renameat", int (*)(int, const char*, int, const char*))(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags) {
  if (watching("rename")) count(at_path_matches(fromDir, from) || at_path_matches(toDir, to));
  return REAL("renameat2", int (*)(int, const char*, int, const char*, unsigned int))(fromDir, from, toDir, to, flags);
}

int unlink(const char* path) {
  if (watching("unlink")) count(path_matches(path));
  return REAL("unlink", int (*)(const char*))(path);
}

int unlinkat(int dir, const char* path, int flags) {
  if (watching("unlink")) count(at_path_matches(dir, path));
  return REAL("unlinkat", int (*)(int, const char*, int))(dir, path, flags);
}

int remove(const char* path) {
  if (watching("unlink")) count(path_matches(path));
  return REAL("remove", int (*)(const char*))(path);
}

int rmdir(const char* path) {
  if (watching("rmdir")) count(path_matches(path));
  return REAL("rmdir", int (*)(const char*))(path);
}

ssize_t write(int fd, const void* data, size_t size) {
  if (watching("write")) count(descriptor_matches(fd));
  return REAL("write", ssize_t(*)(int, const void*, size_t))(fd, data, size);
}

ssize_t copy_file_range(int in, off_t* inOffset, int out, off_t* outOffset, size_t size, unsigned int flags) {
  if (watching("write")) count(descriptor_matches(out));
  return REAL("copy_file_range", ssize_t(*)(int, off_t*, int, off_t*, size_t, unsigned int))(in, inOffset, out,
                                                                                             outOffset, size, flags);
}

int fsync(int fd) {
  if (watching("fsync")) count(descriptor_matches(fd));
  return REAL("fsync", int (*)(int))(fd);
}

int fdatasync(int fd) {
  if (watching("fsync")) count(descriptor_matches(fd));
  return REAL("fdatasync", int (*)(int))(fd);
}

int close(int fd) {
  if (watching("close")) count(descriptor_matches(fd));
  return REAL("close", int (*)(int))(fd);
}

/* The mode argument is passed only when the call may create a file. */
#define OPEN_MODE(flags, mode)               \
  do {                                       \
    if ((flags) & (O_CREAT | __O_TMPFILE)) { \
      va_list args;                          \
      va_start(args, flags);                 \
      mode = va_arg(args, mode_t);           \
      va_end(args);                          \
    }                                        \
  } while (0)

int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  OPEN_MODE(flags, mode);
  if (watching("open")) count(path_matches(path));
  return REAL("open", int (*)(const char*, int, ...))(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  mode_t mode = 0;
  OPEN_MODE(flags, mode);
  if (watching("open")) count(path_matches(path));
  return REAL("open64", int (*)(const char*, int, ...))(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  mode_t mode = 0;
  OPEN_MODE(flags, mode);
  if (watching("open")) count(at_path_matches(dir, path));
  return REAL("openat", int (*)(int, const char*, int, ...))(dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
  mode_t mode = 0;
  OPEN_MODE(flags, mode);
  if (watching("open")) count(at_path_matches(dir, path));
  return REAL("openat64", int (*)(int, const char*, int, ...))(dir, path, flags, mode);
}
