#include "cue/replace.hpp"

#include <signal.h>
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

namespace {

// Holds back the signals that end the process when a user interrupts it,
// its output goes away (Ctrl-C, a closed terminal, `vorlin ... | head`) or
// it reaches its file size limit (the write then fails with EFBIG instead),
// so that the replacement, once begun, always runs to its end: the sheet is
// never left half-written under its name with the old one under the backup
// name. A signal that arrived meanwhile takes effect on release.
class SignalsHeld {
  public:
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGXFSZ})
            sigaddset(&held, signal);
        active_ = ::sigprocmask(SIG_BLOCK, &held, &previous_) == 0;
    }
    ~SignalsHeld() { release(); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
    void release() {
        if (active_) ::sigprocmask(SIG_SETMASK, &previous_, nullptr);
        active_ = false;
    }

  private:
    sigset_t previous_;
    bool active_ = false;
};

} // namespace

int replaceCue(const std::string& cuePath, const LineList& lines) {
    struct stat st;
    const bool known = ::stat(cuePath.c_str(), &st) == 0;
    unsigned mode = known ? (st.st_mode & 0777) : 0644;

    // Messages are printed only once the files are in their final state:
    // printing may itself end the process (SIGPIPE on a closed output).
    SignalsHeld held;
    // The backup gets a unique hidden name beside the sheet: created
    // exclusively first, then taken over by the rename, so it never replaces
    // a file of the user's and wildcard runs skip a left-over one.
    std::string backup = directoryOf(cuePath) + ".vorlin-backup-XXXXXX";
    int fd = ::mkstemp(backup.data());
    if (fd < 0) {
        held.release();
        std::printf("Failed to backup old cue.\n");
        return -1;
    }
    ::close(fd);
    if (replaceOps.renameFile(cuePath.c_str(), backup.c_str()) != 0) {
        ::unlink(backup.c_str());
        held.release();
        std::printf("Failed to backup old cue.\n");
        return -1;
    }
    if (lines.writeTo(cuePath, mode)) {
        // The new sheet belongs to whoever owned the old one, not to the
        // user running the tool: root fixing a shared collection would
        // otherwise take every sheet from its owner.
        if (known && ::chown(cuePath.c_str(), st.st_uid, st.st_gid) != 0) {
            // Refused (only root may give a file away): it stays with the user who fixed it.
        }
        ::unlink(backup.c_str());
        held.release();
        std::printf("done.\n");
        return 0;
    }
    const bool restored = replaceOps.renameFile(backup.c_str(), cuePath.c_str()) == 0;
    held.release();
    std::printf("Failed to write new cue.\n");
    if (!restored) std::printf("Old cue saved as '%s'.\n", backup.c_str());
    return -1;
}

} // namespace vorlin
