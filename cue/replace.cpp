#include "cue/replace.hpp"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string_view>

namespace vorlin {

ReplaceOps replaceOps = {[](const char* from, const char* to) { return std::rename(from, to); },
                         [](int fd) { return ::fsync(fd); }};

std::string directoryOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

namespace {

// Holds back the signals that end the process when a user interrupts it,
// its output goes away (Ctrl-C, a closed terminal, `vorlin ... | head`) or
// it reaches its file size limit (the write then fails with EFBIG instead),
// so that the replacement, once begun, always runs to its end: the
// temporary file is either renamed over the sheet or removed, and the
// folder is synced. A signal that arrived meanwhile takes effect on release.
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

// The longest file name the usual Linux file systems take, in bytes.
constexpr std::size_t longestName = 255;
constexpr std::string_view temporarySuffix = ".vorlin-XXXXXX";

// The mkstemp template of the temporary file for the sheet "DIR/NAME":
// "DIR/.NAME.vorlin-XXXXXX", hidden, so wildcard runs skip a left-over one,
// and saying whose it is. A long NAME is shortened so that the whole name
// fits; the cut does not split a UTF-8 character.
std::string temporaryTemplate(const std::string& cuePath) {
    const std::string directory = directoryOf(cuePath);
    std::string_view name = std::string_view(cuePath).substr(directory.size());
    const std::size_t room = longestName - 1 - temporarySuffix.size();
    if (name.size() > room) {
        std::size_t cut = room;
        // A character has at most three continuation bytes (10xxxxxx).
        for (int back = 0; back < 3 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80;
             ++back)
            --cut;
        name = name.substr(0, cut);
    }
    std::string result = directory;
    result += '.';
    result += name;
    result += temporarySuffix;
    return result;
}

// Makes the rename that put the new sheet in place survive a crash. Best
// effort: the new sheet is in place and complete whatever happens here, and
// some file systems refuse to sync a folder.
void syncFolder(const std::string& cuePath) {
    const std::string directory = directoryOf(cuePath);
    int fd =
        ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)replaceOps.syncFile(fd);
    ::close(fd);
}

// The file that `path` finally names: through a symbolic link (or a chain
// of them), the sheet it points to, which is what gets replaced; the link
// stays as it is. The path itself when it is no link or leads nowhere.
std::string sheetFile(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string target = resolved;
    ::free(resolved);
    return target;
}

} // namespace

int replaceCue(const std::string& path, const LineList& lines) {
    const std::string cuePath = sheetFile(path);
    struct stat st;
    const bool known = ::stat(cuePath.c_str(), &st) == 0;

    // Messages are printed only once the files are in their final state:
    // printing may itself end the process (SIGPIPE on a closed output).
    SignalsHeld held;
    // Created exclusively (never taking over a file of the user's), readable
    // by its creator only until it has the old sheet's mode.
    std::string temporary = temporaryTemplate(cuePath);
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        held.release();
        std::printf("Failed to backup old cue.\n");
        return -1;
    }
    // The new sheet belongs to whoever owned the old one, not to the user
    // running the tool: root fixing a shared collection would otherwise take
    // every sheet from its owner.
    if (known && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
        // Refused (only root may give a file away): it stays with the user who fixed it.
    }
    // A file system without permission bits may refuse; that costs nothing
    // of the sheet's content.
    (void)::fchmod(fd, known ? (st.st_mode & 0777) : 0644);

    // The new sheet counts as written only when every write, the sync and
    // the close succeeded; only then does it take the sheet's name.
    bool written = lines.writeTo(fd) && replaceOps.syncFile(fd) == 0;
    written = ::close(fd) == 0 && written;
    written = written && replaceOps.renameFile(temporary.c_str(), cuePath.c_str()) == 0;
    if (!written) {
        ::unlink(temporary.c_str());
        held.release();
        std::printf("Failed to write new cue.\n");
        return -1;
    }
    syncFolder(cuePath);
    held.release();
    std::printf("done.\n");
    return 0;
}

} // namespace vorlin
