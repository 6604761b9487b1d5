/* Makes chosen system calls fail on chosen paths, for the fault tests only:
 * loaded into quarn-scan with LD_PRELOAD, never linked into a program.
 *
 *   QUARN_FAULTS="read:EIO:/set-003/;renameat:EROFS:/site/"
 *
 * Each rule is CALL:ERRNO:TEXT. A call named in a rule fails with ERRNO when
 * the path it acts on contains TEXT: the file an fd-based call (read,
 * pread, write, fsync, ftruncate) has open, or the name an openat, renameat
 * or unlinkat resolves to (its folder's path, "/", the name). Everything
 * else goes through to the C library. A bad rule ends the process at once,
 * so a typo cannot pass for a fault that never fired. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

enum { kMaxRules = 16, kPathMax = 65536 };

struct rule {
  char call[16];
  int error;
  char text[512];
};

static struct rule rules[kMaxRules];
static int rule_count;

static int errno_named(const char* name) {
  static const struct {
    const char* name;
    int value;
  } known[] = {{"EIO", EIO},       {"ENOSPC", ENOSPC}, {"EACCES", EACCES}, {"EROFS", EROFS},
               {"EPERM", EPERM},   {"EDQUOT", EDQUOT}, {"ENOENT", ENOENT}, {"EBUSY", EBUSY}};
  for (size_t i = 0; i < sizeof known / sizeof known[0]; ++i) {
    if (strcmp(known[i].name, name) == 0) return known[i].value;
  }
  return 0;
}

__attribute__((constructor)) static void load_rules(void) {
  const char* rules_text = getenv("QUARN_FAULTS");
  if (rules_text == NULL) return;
  char copy[4096];
  snprintf(copy, sizeof copy, "%s", rules_text);
  for (char* item = strtok(copy, ";"); item != NULL; item = strtok(NULL, ";")) {
    char* error = strchr(item, ':');
    char* text = error != NULL ? strchr(error + 1, ':') : NULL;
    if (text == NULL || rule_count == kMaxRules) {
      fprintf(stderr, "quarn_fault: bad rule '%s'\n", item);
      _exit(125);
    }
    *error++ = '\0';
    *text++ = '\0';
    struct rule* r = &rules[rule_count++];
    snprintf(r->call, sizeof r->call, "%s", item);
    snprintf(r->text, sizeof r->text, "%s", text);
    r->error = errno_named(error);
    if (r->error == 0) {
      fprintf(stderr, "quarn_fault: unknown errno '%s'\n", error);
      _exit(125);
    }
  }
}

static int path_of_fd(int fd, char* out, size_t size) {
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, out, size - 1);
  if (n < 0) return -1;
  out[n] = '\0';
  return 0;
}

static int path_at(int dirfd, const char* name, char* out, size_t size) {
  if (name[0] == '/' || dirfd == AT_FDCWD) {
    snprintf(out, size, "%s", name);
    return 0;
  }
  if (path_of_fd(dirfd, out, size) != 0) return -1;
  const size_t used = strlen(out);
  snprintf(out + used, size - used, "/%s", name);
  return 0;
}

/* The errno that call on path must fail with, or 0. */
static int fault_for(const char* call, const char* path) {
  for (int i = 0; i < rule_count; ++i) {
    if (strcmp(rules[i].call, call) == 0 && strstr(path, rules[i].text) != NULL) return rules[i].error;
  }
  return 0;
}

static int fault_on_fd(const char* call, int fd) {
  if (rule_count == 0) return 0;
  char path[kPathMax];
  return path_of_fd(fd, path, sizeof path) == 0 ? fault_for(call, path) : 0;
}

static int fault_at(const char* call, int dirfd, const char* name) {
  if (rule_count == 0) return 0;
  char path[kPathMax];
  return path_at(dirfd, name, path, sizeof path) == 0 ? fault_for(call, path) : 0;
}

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))
#define FAIL_WITH(error) \
  do {                   \
    errno = (error);     \
    return -1;           \
  } while (0)

/* Reads that quarn-scan hands the kernel in a batch (io_uring) never pass
 * through read(), so a rule on read would not fire for them. While such a
 * rule is set the batch queue cannot be set up, and every byte is read
 * through read(). */
struct io_uring;
int io_uring_queue_init(unsigned entries, struct io_uring* ring, unsigned flags);
int io_uring_queue_init(unsigned entries, struct io_uring* ring, unsigned flags) {
  for (int i = 0; i < rule_count; ++i) {
    if (strcmp(rules[i].call, "read") == 0) return -ENOSYS;
  }
  return REAL(io_uring_queue_init)(entries, ring, flags);
}

ssize_t read(int fd, void* buffer, size_t count) {
  const int error = fault_on_fd("read", fd);
  if (error != 0) FAIL_WITH(error);
  return REAL(read)(fd, buffer, count);
}

ssize_t pread64(int fd, void* buffer, size_t count, off_t offset) {
  const int error = fault_on_fd("pread", fd);
  if (error != 0) FAIL_WITH(error);
  return REAL(pread64)(fd, buffer, count, offset);
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset) { return pread64(fd, buffer, count, offset); }

ssize_t write(int fd, const void* buffer, size_t count) {
  const int error = fault_on_fd("write", fd);
  if (error != 0) FAIL_WITH(error);
  return REAL(write)(fd, buffer, count);
}

int fsync(int fd) {
  const int error = fault_on_fd("fsync", fd);
  if (error != 0) FAIL_WITH(error);
  return REAL(fsync)(fd);
}

int ftruncate64(int fd, off_t length) {
  const int error = fault_on_fd("ftruncate", fd);
  if (error != 0) FAIL_WITH(error);
  return REAL(ftruncate64)(fd, length);
}

int ftruncate(int fd, off_t length) { return ftruncate64(fd, length); }

int renameat(int old_dirfd, const char* old_name, int new_dirfd, const char* new_name) {
  int error = fault_at("renameat", new_dirfd, new_name);
  if (error == 0) error = fault_at("renameat", old_dirfd, old_name);
  if (error != 0) FAIL_WITH(error);
  return REAL(renameat)(old_dirfd, old_name, new_dirfd, new_name);
}

int unlinkat(int dirfd, const char* name, int flags) {
  const int error = fault_at("unlinkat", dirfd, name);
  if (error != 0) FAIL_WITH(error);
  return REAL(unlinkat)(dirfd, name, flags);
}

static int open_mode(int flags, va_list args) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, int) : 0;
}

int openat64(int dirfd, const char* name, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int mode = open_mode(flags, args);
  va_end(args);
  const int error = fault_at("openat", dirfd, name);
  if (error != 0) FAIL_WITH(error);
  return REAL(openat64)(dirfd, name, flags, mode);
}

int openat(int dirfd, const char* name, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int mode = open_mode(flags, args);
  va_end(args);
  return openat64(dirfd, name, flags, mode);
}
