/* A preload library that kills its process in the middle of a file operation, or makes
 * one operation fail as a full or broken disk would.
 *
 * It counts the calls that change files in one folder (opening, writing, syncing,
 * linking, renaming, removing and closing what lies there) and, at the call number
 * given, sends the process SIGKILL before the call is carried out. Running a program
 * once for every number visits every point between two file operations.
 *
 *   KILLSHIM_DIR=/abs/folder   the folder watched (no trailing slash)
 *   KILLSHIM_AT=K              die at the K-th counted call (unset or 0: never)
 *   KILLSHIM_FAIL_AT=K         instead, make the K-th counted call fail (a close still
 *                              closes) with errno KILLSHIM_ERRNO (default ENOSPC)
 *   KILLSHIM_COUNT=/abs/file   at a normal exit, write the number of counted calls there
 *   KILLSHIM_NO_TMPFILE=1      refuse O_TMPFILE in the folder, as some file systems do,
 *                              so programs fall back to named temporary files
 *   KILLSHIM_TRACE=1           print each counted call on standard error
 *   KILLSHIM_IGNORE=name       calls on the file of that name in the folder are not counted
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/uio.h>
#include <unistd.h>

#define MAX_FDS 4096

static const char *watched_dir;
static size_t watched_len;
static long kill_at;
static long fail_at;
static int fail_errno = ENOSPC;
static long counted;
static int no_tmpfile;
static int trace;
static const char *ignored_name;
static unsigned char tracked[MAX_FDS];

__attribute__((constructor)) static void killshim_init(void)
{
    watched_dir = getenv("KILLSHIM_DIR");
    watched_len = watched_dir ? strlen(watched_dir) : 0;
    const char *at = getenv("KILLSHIM_AT");
    kill_at = at ? atol(at) : 0;
    at = getenv("KILLSHIM_FAIL_AT");
    fail_at = at ? atol(at) : 0;
    const char *number = getenv("KILLSHIM_ERRNO");
    if (number && atoi(number) > 0)
        fail_errno = atoi(number);
    const char *flag = getenv("KILLSHIM_NO_TMPFILE");
    no_tmpfile = flag && *flag == '1';
    flag = getenv("KILLSHIM_TRACE");
    trace = flag && *flag == '1';
    ignored_name = getenv("KILLSHIM_IGNORE");
}

__attribute__((destructor)) static void killshim_report(void)
{
    const char *file = getenv("KILLSHIM_COUNT");
    if (!file)
        return;
    FILE *out = fopen(file, "w");
    if (out) {
        fprintf(out, "%ld\n", counted);
        fclose(out);
    }
}

static void *next_symbol(const char *name)
{
    void *symbol = dlsym(RTLD_NEXT, name);
    if (!symbol) {
        fprintf(stderr, "killshim: %s not found\n", name);
        abort();
    }
    return symbol;
}

/* dlsym gives an object pointer; it is copied into the function pointer, since ISO C
   has no cast between the two. */
#define REAL(name) \
    static __typeof__(name) *real_##name; \
    if (!real_##name) { \
        void *symbol_ = next_symbol(#name); \
        memcpy(&real_##name, &symbol_, sizeof symbol_); \
    }

static int in_dir(const char *path)
{
    if (!watched_dir || !path || strncmp(path, watched_dir, watched_len) != 0
        || (path[watched_len] != '/' && path[watched_len] != '\0'))
        return 0;
    if (ignored_name && *ignored_name) {
        const char *base = strrchr(path, '/');
        if (strcmp(base ? base + 1 : path, ignored_name) == 0)
            return 0;
    }
    return 1;
}

static int is_tracked(int fd)
{
    return fd >= 0 && fd < MAX_FDS && tracked[fd];
}

static void track(int fd, int on)
{
    if (fd >= 0 && fd < MAX_FDS)
        tracked[fd] = (unsigned char)on;
}

/* Called before each operation that counts; may not return. True: the operation must
 * fail with fail_errno. */
static int step(const char *what, const char *path, int fd)
{
    ++counted;
    if (trace)
        fprintf(stderr, "killshim %ld: %s %s fd=%d\n", counted, what, path ? path : "", fd);
    if (kill_at > 0 && counted == kill_at)
        raise(SIGKILL);
    return fail_at > 0 && counted == fail_at;
}

#define FAIL_IF(condition) \
    do { \
        if (condition) { \
            errno = fail_errno; \
            return -1; \
        } \
    } while (0)

static int wants_mode(int flags)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
}

/* Whether an open counts; *refused: it must fail (no O_TMPFILE, or the failure asked). */
static int opened(const char *path, int flags, int *refused)
{
    *refused = 0;
    if (!in_dir(path))
        return 0;
    if (no_tmpfile && (flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        *refused = 1;
        return 0;
    }
    if (step("open", path, -1)) {
        errno = fail_errno;
        *refused = 1;
    }
    return 1;
}

int open(const char *path, int flags, ...)
{
    REAL(open);
    mode_t mode = 0;
    if (wants_mode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    int refused;
    const int counts = opened(path, flags, &refused);
    if (refused)
        return -1;
    const int fd = real_open(path, flags, mode);
    if (counts)
        track(fd, 1);
    return fd;
}

int open64(const char *path, int flags, ...)
{
    REAL(open64);
    mode_t mode = 0;
    if (wants_mode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    int refused;
    const int counts = opened(path, flags, &refused);
    if (refused)
        return -1;
    const int fd = real_open64(path, flags, mode);
    if (counts)
        track(fd, 1);
    return fd;
}

int openat(int dirfd, const char *path, int flags, ...)
{
    REAL(openat);
    mode_t mode = 0;
    if (wants_mode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    int refused;
    const int counts = opened(path, flags, &refused);
    if (refused)
        return -1;
    const int fd = real_openat(dirfd, path, flags, mode);
    if (counts)
        track(fd, 1);
    return fd;
}

int openat64(int dirfd, const char *path, int flags, ...)
{
    REAL(openat64);
    mode_t mode = 0;
    if (wants_mode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    int refused;
    const int counts = opened(path, flags, &refused);
    if (refused)
        return -1;
    const int fd = real_openat64(dirfd, path, flags, mode);
    if (counts)
        track(fd, 1);
    return fd;
}

ssize_t write(int fd, const void *buf, size_t count)
{
    REAL(write);
    FAIL_IF(is_tracked(fd) && step("write", NULL, fd));
    return real_write(fd, buf, count);
}

ssize_t pwrite64(int fd, const void *buf, size_t count, off_t offset)
{
    REAL(pwrite64);
    FAIL_IF(is_tracked(fd) && step("pwrite", NULL, fd));
    return real_pwrite64(fd, buf, count, offset);
}

ssize_t writev(int fd, const struct iovec *iov, int iovcnt)
{
    REAL(writev);
    FAIL_IF(is_tracked(fd) && step("writev", NULL, fd));
    return real_writev(fd, iov, iovcnt);
}

int ftruncate(int fd, off_t length)
{
    REAL(ftruncate);
    FAIL_IF(is_tracked(fd) && step("ftruncate", NULL, fd));
    return real_ftruncate(fd, length);
}

int fsync(int fd)
{
    REAL(fsync);
    FAIL_IF(is_tracked(fd) && step("fsync", NULL, fd));
    return real_fsync(fd);
}

int fdatasync(int fd)
{
    REAL(fdatasync);
    FAIL_IF(is_tracked(fd) && step("fdatasync", NULL, fd));
    return real_fdatasync(fd);
}

int close(int fd)
{
    REAL(close);
    if (!is_tracked(fd))
        return real_close(fd);
    const int fail = step("close", NULL, fd);
    track(fd, 0);
    const int result = real_close(fd);
    FAIL_IF(fail);
    return result;
}

int rename(const char *from, const char *to)
{
    REAL(rename);
    FAIL_IF((in_dir(from) || in_dir(to)) && step("rename", to, -1));
    return real_rename(from, to);
}

int renameat(int fromfd, const char *from, int tofd, const char *to)
{
    REAL(renameat);
    FAIL_IF((in_dir(from) || in_dir(to)) && step("renameat", to, -1));
    return real_renameat(fromfd, from, tofd, to);
}

int renameat2(int fromfd, const char *from, int tofd, const char *to, unsigned int flags)
{
    REAL(renameat2);
    FAIL_IF((in_dir(from) || in_dir(to)) && step("renameat2", to, -1));
    return real_renameat2(fromfd, from, tofd, to, flags);
}

int link(const char *from, const char *to)
{
    REAL(link);
    FAIL_IF((in_dir(from) || in_dir(to)) && step("link", to, -1));
    return real_link(from, to);
}

int linkat(int fromfd, const char *from, int tofd, const char *to, int flags)
{
    REAL(linkat);
    FAIL_IF((in_dir(from) || in_dir(to)) && step("linkat", to, -1));
    return real_linkat(fromfd, from, tofd, to, flags);
}

int unlink(const char *path)
{
    REAL(unlink);
    FAIL_IF((in_dir(path)) && step("unlink", path, -1));
    return real_unlink(path);
}

int unlinkat(int dirfd, const char *path, int flags)
{
    REAL(unlinkat);
    FAIL_IF((in_dir(path)) && step("unlinkat", path, -1));
    return real_unlinkat(dirfd, path, flags);
}
