/* Preloaded into tessel by a test: open() refuses nameless files (O_TMPFILE), as some
   file systems do, so that the named temporary files are tried on any machine. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>

typedef int (*OpenCall)(const char *, int, ...);

static int Opened(const char *name, const char *path, int flags, va_list rest)
{
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    mode_t mode = (flags & O_CREAT) ? va_arg(rest, mode_t) : 0;
    OpenCall real = (OpenCall)dlsym(RTLD_NEXT, name);
    return real(path, flags, mode);
}

int open(const char *path, int flags, ...)
{
    va_list rest;
    va_start(rest, flags);
    int fd = Opened("open", path, flags, rest);
    va_end(rest);
    return fd;
}

/* The same call under its large-file name. */
int open64(const char *path, int flags, ...) __attribute__((alias("open")));
