// Included first in every test file of the Windows build (never on POSIX).
// The C runtime there lacks some POSIX calls the tests use to set up a
// case; each is declared here so the files compile unchanged, and fails
// with ENOSYS. A test that needs one skips on Windows first, saying why
// (skipOnWindows below).
#pragma once

#include <direct.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>

inline int mkdir(const char* path, int /*mode*/) {
    return ::_mkdir(path);
}
inline int symlink(const char*, const char*) {
    return errno = ENOSYS, -1;
}
inline int mkfifo(const char*, int) {
    return errno = ENOSYS, -1;
}
inline int chown(const char*, unsigned, unsigned) {
    return errno = ENOSYS, -1;
}
inline int setuid(unsigned) {
    return errno = ENOSYS, -1;
}
inline int setgid(unsigned) {
    return errno = ENOSYS, -1;
}
inline unsigned geteuid() {
    return 1000;
}
inline unsigned getegid() {
    return 1000;
}
inline int lstat(const char* path, struct stat* st) {
    return ::stat(path, st);
}
inline int fsync(int fd) {
    return ::_commit(fd);
}
inline long pwrite(int fd, const void* bytes, std::size_t count, long long offset) {
    if (::_lseeki64(fd, offset, SEEK_SET) < 0) return -1;
    return ::_write(fd, bytes, static_cast<unsigned>(count));
}
inline char* mkdtemp(char* pattern) {
    return ::_mktemp(pattern) && ::_mkdir(pattern) == 0 ? pattern : nullptr;
}
// A stream over a copy of the bytes, in a temporary file.
inline std::FILE* fmemopen(void* bytes, std::size_t size, const char*) {
    std::FILE* file = std::tmpfile();
    if (file && (std::fwrite(bytes, 1, size, file) != size || std::fseek(file, 0, SEEK_SET) != 0)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}
#ifndef S_ISLNK
#define S_ISLNK(mode) ((void)(mode), false)
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC _O_NOINHERIT
#endif
