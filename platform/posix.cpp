// The platform layer on Linux and other POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/platform.hpp"

namespace vorlin::platform {

std::size_t folderPartLength(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

char separatorFor(std::string_view) {
    return '/';
}

std::string fromDriveFolder(const std::string& path) {
    return path;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return a == b; // names are bytes here: case matters
}

int openForReading(const std::string& path, bool regularOnly, std::int64_t* size) {
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused right
    // after. Reads of a regular file do not heed the flag, so it stays.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | (regularOnly ? O_NONBLOCK : 0);
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0 || (!regularOnly && !size)) return fd;
    struct stat st;
    if (::fstat(fd, &st) != 0 || (regularOnly && !S_ISREG(st.st_mode))) {
        ::close(fd);
        return -1;
    }
    if (size) *size = static_cast<std::int64_t>(st.st_size);
    return fd;
}

void closeFile(int fd) {
    ::close(fd);
}

std::int64_t readNext(int fd, void* into, std::size_t count) {
    for (;;) {
        const ssize_t n = ::read(fd, into, count);
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

std::int64_t readAt(int fd, void* into, std::size_t count, std::int64_t offset) {
    for (;;) {
        const ssize_t n = ::pread(fd, into, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::int64_t fileSize(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool truncateFile(int fd, std::int64_t length) {
    return ::ftruncate(fd, static_cast<off_t>(length)) == 0;
}

std::FILE* streamOf(int fd) {
    return ::fdopen(fd, "rb");
}

int descriptorOf(std::FILE* stream) {
    return ::fileno(stream);
}

namespace {

FileType typeOfMode(mode_t mode) {
    return S_ISREG(mode)   ? FileType::regular
           : S_ISDIR(mode) ? FileType::directory
           : S_ISLNK(mode) ? FileType::link
                           : FileType::other;
}

} // namespace

FileType typeOf(const std::string& path, bool followLinks) {
    struct stat st;
    const int result = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    return result == 0 ? typeOfMode(st.st_mode) : FileType::missing;
}

bool exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

std::string spellingInFolder(const std::string& /*folder*/, const std::string& name) {
    return name;
}

bool isHidden(const std::string& path) {
    const std::size_t start = folderPartLength(path);
    return start < path.size() && path[start] == '.';
}

std::string finalTarget(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string target = resolved;
    std::free(resolved);
    return target;
}

bool isReadOnly(const std::string& path) {
    struct stat st;
    return ::access(path.c_str(), W_OK) != 0 || ::stat(path.c_str(), &st) != 0 ||
           (st.st_mode & S_IWUSR) == 0;
}

bool listFolder(const std::string& folder, std::vector<FolderEntry>& entries) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return false;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) break;
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        FileType type;
        switch (entry->d_type) {
        case DT_REG:
            type = FileType::regular;
            break;
        case DT_DIR:
            type = FileType::directory;
            break;
        case DT_LNK:
            type = FileType::link;
            break;
        case DT_UNKNOWN: { // some file systems leave the type to lstat
            std::string path = folder;
            if (!path.empty() && !path.ends_with('/')) path += '/';
            path += name;
            type = typeOf(path, false);
            if (type == FileType::missing) continue;
            break;
        }
        default:
            type = FileType::other;
        }
        entries.push_back({std::string(name), type, name[0] == '.'});
    }
    const bool complete = errno == 0;
    ::closedir(dir);
    return complete;
}

std::int64_t folderSize(const std::string& folder) {
    struct stat st;
    if (::stat(folder.empty() ? "." : folder.c_str(), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

ReplaceOps replaceOps = {[](const char* from, const char* to) { return std::rename(from, to); },
                         [](int fd) { return ::fsync(fd); }};

namespace {

// Holds back the signals that end the process when a user interrupts it,
// its output goes away (Ctrl-C, a closed terminal, `vorlin ... | head`) or
// it reaches its file size limit (the write then fails with EFBIG instead),
// so that the replacement, once begun, always runs to its end: the
// temporary file is either renamed over the target or removed, and the
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

// Makes the rename that put the new file in place survive a crash. Best
// effort: the new file is in place and complete whatever happens here, and
// some file systems refuse to sync a folder.
void syncFolder(const std::string& path) {
    const std::string folder = path.substr(0, folderPartLength(path));
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)replaceOps.syncFile(fd);
    ::close(fd);
}

} // namespace

Replaced replaceFileDurably(const std::string& target, std::string temporaryTemplate,
                            const std::function<bool(int fd)>& write) {
    // Through a symbolic link, the file it points to gives the mode and
    // owner; the link itself is what gets replaced.
    struct stat st;
    const bool known = ::stat(target.c_str(), &st) == 0;

    SignalsHeld held;
    // Created exclusively (never taking over a file of the user's), readable
    // by its creator only until it has the old file's mode.
    int fd = ::mkstemp(temporaryTemplate.data());
    if (fd < 0) return Replaced::notCreated;
    // The new file belongs to whoever owned the old one, not to the user
    // running the tool: root fixing a shared collection would otherwise take
    // every sheet from its owner.
    if (known && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
        // Refused (only root may give a file away): it stays with the user who fixed it.
    }
    // A file system without permission bits may refuse; that costs nothing
    // of the content.
    (void)::fchmod(fd, known ? (st.st_mode & 0777) : 0644);

    // The new file counts as written only when every write, the sync and
    // the close succeeded; only then does it take the target's name.
    bool written = write(fd) && replaceOps.syncFile(fd) == 0;
    written = ::close(fd) == 0 && written;
    written = written && replaceOps.renameFile(temporaryTemplate.c_str(), target.c_str()) == 0;
    if (!written) {
        ::unlink(temporaryTemplate.c_str());
        return Replaced::notWritten;
    }
    syncFolder(target);
    return Replaced::done;
}

namespace {

std::optional<std::string> convert(std::string_view text, const char* from, const char* to) {
    iconv_t converter = ::iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string in(text);
    // No code page character takes more than 4 bytes of UTF-8, nor more
    // bytes in its code page than in UTF-8.
    std::string out(4 * text.size() + 4, '\0');
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t done = ::iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
    ::iconv_close(converter);
    if (done == static_cast<std::size_t>(-1) || inLeft != 0) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace

std::optional<std::string> convertCodePage(std::string_view text, const char* codePage) {
    return convert(text, codePage, "UTF-8");
}

std::optional<std::string> convertToCodePage(std::string_view text, const char* codePage) {
    return convert(text, "UTF-8", codePage);
}

std::vector<int> allowedCpus() {
    std::vector<int> cpus;
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) != 0) return cpus;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
    return cpus;
}

int currentCpu() {
    return ::sched_getcpu();
}

bool keepThreadTo(const std::vector<int>& cpus) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (const int cpu : cpus)
        if (cpu >= 0 && cpu < CPU_SETSIZE) CPU_SET(cpu, &set);
    return CPU_COUNT(&set) > 0 && ::sched_setaffinity(0, sizeof set, &set) == 0;
}

namespace {

// What a new thread runs, handed over on the heap.
struct ThreadStart {
    void (*body)(void*);
    void* argument;
};

} // namespace

bool startThread(ThreadHandle& thread, int cpu, void (*body)(void*), void* argument) {
    static_assert(sizeof(pthread_t) <= sizeof(ThreadHandle));
    auto* start = new (std::nothrow) ThreadStart{body, argument};
    if (!start) return false;
    const auto run = [](void* handed) -> void* {
        const ThreadStart what = *static_cast<ThreadStart*>(handed);
        delete static_cast<ThreadStart*>(handed);
        what.body(what.argument);
        return nullptr;
    };
    pthread_t created;
    bool started = false;
    pthread_attr_t attributes;
    if (cpu >= 0 && cpu < CPU_SETSIZE && ::pthread_attr_init(&attributes) == 0) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        started = ::pthread_attr_setaffinity_np(&attributes, sizeof one, &one) == 0 &&
                  ::pthread_create(&created, &attributes, run, start) == 0;
        ::pthread_attr_destroy(&attributes);
    }
    if (!started && ::pthread_create(&created, nullptr, run, start) != 0) {
        delete start;
        return false;
    }
    thread = 0;
    std::memcpy(&thread, &created, sizeof created);
    return true;
}

void joinThread(ThreadHandle thread) {
    pthread_t created;
    std::memcpy(&created, &thread, sizeof created);
    ::pthread_join(created, nullptr);
}

long processId() {
    return static_cast<long>(::getpid());
}

void prepareStandardStreams() {}

namespace {

unsigned noConsole() {
    return 0;
}

} // namespace

unsigned (*consoleProcessCount)() = noConsole;

bool consoleClosesWithProgram() {
    return false; // a terminal stays open after its programs end
}

void waitForEnter() {
    int c;
    while ((c = std::getchar()) != EOF && c != '\n') {}
}

} // namespace vorlin::platform
