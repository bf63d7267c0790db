#include "cue/replace.hpp"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace vorlin {

ReplaceOps replaceOps = {[](const char* from, const char* to) { return std::rename(from, to); }};

std::string directoryOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

int replaceCue(const std::string& cuePath, const LineList& lines) {
    struct stat st;
    unsigned mode = ::stat(cuePath.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0644;

    // The backup gets a unique hidden name beside the sheet: created
    // exclusively first, then taken over by the rename, so it never replaces
    // a file of the user's and wildcard runs skip a left-over one.
    std::string backup = directoryOf(cuePath) + ".vorlin-backup-XXXXXX";
    int fd = ::mkstemp(backup.data());
    if (fd < 0) {
        std::printf("Failed to backup old cue.\n");
        return -1;
    }
    ::close(fd);
    if (replaceOps.renameFile(cuePath.c_str(), backup.c_str()) != 0) {
        ::unlink(backup.c_str());
        std::printf("Failed to backup old cue.\n");
        return -1;
    }
    if (lines.writeTo(cuePath, mode)) {
        ::unlink(backup.c_str());
        std::printf("done.\n");
        return 0;
    }
    std::printf("Failed to write new cue.\n");
    if (replaceOps.renameFile(backup.c_str(), cuePath.c_str()) != 0)
        std::printf("Old cue saved as '%s'.\n", backup.c_str());
    return -1;
}

} // namespace vorlin
