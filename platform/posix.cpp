// The platform layer on Linux and other POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

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

namespace {

// More links in a chain than this count as a loop (Linux's own limit).
constexpr int longestChain = 40;

void closeIfOpen(int fd) {
    if (fd >= 0) ::close(fd);
}

// Opens the folder part of a path ("" for "."), relative to `at`.
int openFolder(int at, const std::string& folder) {
    return ::openat(at, folder.empty() ? "." : folder.c_str(),
                    O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
}

// The owner and text of the symbolic link `name` in `folder`, both taken
// from the one link (through a descriptor of the link itself where Linux
// gives one).
bool readLink(int folder, const std::string& name, uid_t& owner, std::string& target) {
    struct stat st;
#ifdef O_PATH
    const int link = ::openat(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (link < 0) return false;
    const int at = link;
    const char* const which = "";
    const bool isLink = ::fstat(link, &st) == 0 && S_ISLNK(st.st_mode);
#else
    const int link = -1;
    const int at = folder;
    const char* const which = name.c_str();
    const bool isLink =
        ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
#endif
    bool read = false;
    if (isLink) {
        owner = st.st_uid;
        for (std::size_t room = 256; room <= (1u << 16); room *= 4) {
            target.resize(room);
            const ssize_t n = ::readlinkat(at, which, target.data(), room);
            if (n < 0) break;
            if (static_cast<std::size_t>(n) < room) {
                target.resize(static_cast<std::size_t>(n));
                read = !target.empty();
                break;
            }
        }
    }
    closeIfOpen(link);
    return read;
}

FileIdentity identityOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::int64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// Reads the file open as `fd` from its start to its end into `into`.
SheetOpened readWhole(int fd, std::int64_t size, std::string& into) {
    try {
        into.reserve(static_cast<std::size_t>(size));
        char block[65536];
        for (;;) {
            const std::int64_t n = readNext(fd, block, sizeof block);
            if (n < 0) return SheetOpened::readFailed;
            if (n == 0) return SheetOpened::ok;
            into.append(block, static_cast<std::size_t>(n));
        }
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {}
    into.clear();
    into.shrink_to_fit();
    return SheetOpened::outOfMemory;
}

} // namespace

OpenedSheet::~OpenedSheet() {
    closeIfOpen(file);
    closeIfOpen(static_cast<int>(folder));
}

SheetOpened openSheet(const std::string& path, OpenedSheet& sheet) {
    // The folder is resolved once, by the path given; every later step is
    // relative to it. A link at the last step leads to another folder,
    // resolved once from there.
    const std::size_t cut = folderPartLength(path);
    int folder = openFolder(AT_FDCWD, path.substr(0, cut));
    std::string name = path.substr(cut);
    std::vector<uid_t> linkOwners;
    struct stat st;
    for (int links = 0;; ++links) {
        if (folder < 0 || name.empty() || name == "." || name == ".." || links > longestChain ||
            ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            closeIfOpen(folder);
            return SheetOpened::openFailed;
        }
        if (!S_ISLNK(st.st_mode)) break;
        uid_t owner = 0;
        std::string target;
        if (!readLink(folder, name, owner, target)) {
            ::close(folder);
            return SheetOpened::openFailed;
        }
        linkOwners.push_back(owner);
        const std::size_t targetCut = folderPartLength(target);
        const int next =
            openFolder(target[0] == '/' ? AT_FDCWD : folder, target.substr(0, targetCut));
        ::close(folder);
        folder = next;
        name = target.substr(targetCut);
    }
    sheet.folder = folder;
    sheet.name = name;
    if (!S_ISREG(st.st_mode)) return SheetOpened::openFailed; // never opened: no device is touched
    // The kernel's protected-symlinks rule, for every link of the chain.
    for (const uid_t owner : linkOwners)
        if (owner != ::geteuid() && owner != st.st_uid) return SheetOpened::foreignLink;
    // Without following a link, without blocking (should a FIFO have taken
    // the name meanwhile), and never the controlling terminal.
    sheet.file =
        ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat opened;
    if (sheet.file < 0 || ::fstat(sheet.file, &opened) != 0 || !S_ISREG(opened.st_mode) ||
        opened.st_dev != st.st_dev || opened.st_ino != st.st_ino)
        return SheetOpened::openFailed;
    sheet.identity = identityOf(opened);
    sheet.owner = opened.st_uid;
    sheet.group = opened.st_gid;
    sheet.mode = opened.st_mode & 0777;
    sheet.readOnly =
        (opened.st_mode & S_IWUSR) == 0 || ::faccessat(folder, name.c_str(), W_OK, 0) != 0;
    if (const SheetOpened read = readWhole(sheet.file, opened.st_size, sheet.bytes);
        read != SheetOpened::ok)
        return read;
    // Written to while it was read: what was read may be torn.
    struct stat after;
    if (::fstat(sheet.file, &after) != 0 || identityOf(after) != sheet.identity ||
        static_cast<std::int64_t>(sheet.bytes.size()) != sheet.identity.size)
        sheet.identity.size = -1;
    return SheetOpened::ok;
}

ReplaceOps replaceOps = {[](std::intptr_t folder, const char* from, const char* to) {
                             return ::renameat(static_cast<int>(folder), from,
                                               static_cast<int>(folder), to);
                         },
                         [](int fd) { return ::fsync(fd); }, nullptr};

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

// Creates the file `name` (its last six characters replaced by a suffix no
// entry of the folder has) in `folder`, exclusively, never through a link;
// -1 when it cannot.
int createExclusively(int folder, std::string& name) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::uint64_t counter = 0;
    const std::size_t suffix = name.size() - 6;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t seed = static_cast<std::uint64_t>(now.tv_nsec) ^
                         (static_cast<std::uint64_t>(now.tv_sec) << 30) ^
                         (static_cast<std::uint64_t>(::getpid()) << 40) ^ ++counter;
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (std::size_t i = 0; i < 6; ++i) {
            seed = seed * 6364136223846793005u + 1442695040888963407u;
            name[suffix + i] = letters[(seed >> 33) % (sizeof letters - 1)];
        }
        const int fd =
            ::openat(folder, name.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Copies the extended attributes of one open file to another (ACLs are
// among them), as far as the file system takes them.
void copyExtendedAttributes(int from, int to) {
#ifdef __linux__
    try {
        ssize_t size = ::flistxattr(from, nullptr, 0);
        if (size <= 0) return;
        std::vector<char> names(static_cast<std::size_t>(size));
        size = ::flistxattr(from, names.data(), names.size());
        if (size <= 0) return;
        std::vector<char> value;
        for (const char* name = names.data(); name < names.data() + size;
             name += std::strlen(name) + 1) {
            const ssize_t length = ::fgetxattr(from, name, nullptr, 0);
            if (length < 0) continue;
            value.resize(static_cast<std::size_t>(length) + 1);
            const ssize_t got = ::fgetxattr(from, name, value.data(), value.size());
            if (got >= 0)
                (void)::fsetxattr(to, name, value.data(), static_cast<std::size_t>(got), 0);
        }
    } catch (const std::bad_alloc&) {}
#else
    (void)from;
    (void)to;
#endif
}

// Whether the name of the sheet still holds the file read, as it was read.
// Beyond its identity, its bytes are read again through the open file and
// compared with those read first: an edit in place that kept the size
// within the modification time's clock tick shows there.
bool unchanged(const OpenedSheet& sheet) {
    struct stat st;
    if (sheet.identity.size < 0 ||
        ::fstatat(static_cast<int>(sheet.folder), sheet.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) !=
            0 ||
        !S_ISREG(st.st_mode) || identityOf(st) != sheet.identity)
        return false;
    char block[65536];
    std::size_t at = 0;
    for (;;) {
        const std::int64_t n =
            readAt(sheet.file, block, sizeof block, static_cast<std::int64_t>(at));
        if (n < 0) return false;
        if (n == 0) return at == sheet.bytes.size();
        const std::size_t got = static_cast<std::size_t>(n);
        if (got > sheet.bytes.size() - at || std::memcmp(block, sheet.bytes.data() + at, got) != 0)
            return false;
        at += got;
    }
}

} // namespace

Replaced replaceSheet(OpenedSheet& sheet, std::string temporaryTemplate,
                      const std::function<bool(int fd)>& write) {
    const int folder = static_cast<int>(sheet.folder);
    SignalsHeld held;
    // Created exclusively (never taking over a file of the user's), readable
    // by its creator only until it has the old file's mode.
    int fd = createExclusively(folder, temporaryTemplate);
    if (fd < 0) return Replaced::notCreated;
    // The new file belongs to whoever owned the old one, not to the user
    // running the tool: root fixing a shared collection would otherwise take
    // every sheet from its owner. Refused (only root may give a file away),
    // it stays with the user who fixed it.
    if (::fchown(fd, sheet.owner, sheet.group) != 0) {}
    // A file system without permission bits may refuse; that costs nothing
    // of the content.
    (void)::fchmod(fd, sheet.mode);
    copyExtendedAttributes(sheet.file, fd);

    // The new file counts as written only when every write, the sync and
    // the close succeeded; only then does it take the sheet's name, and only
    // if that still names the sheet read.
    bool written = write(fd) && replaceOps.syncFile(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (written && replaceOps.beforeCheck) replaceOps.beforeCheck();
    if (written && !unchanged(sheet)) {
        ::unlinkat(folder, temporaryTemplate.c_str(), 0);
        return Replaced::changed;
    }
    written = written &&
              replaceOps.renameFile(folder, temporaryTemplate.c_str(), sheet.name.c_str()) == 0;
    if (!written) {
        ::unlinkat(folder, temporaryTemplate.c_str(), 0);
        return Replaced::notWritten;
    }
    // Makes the rename survive a crash. Best effort: the new file is in
    // place and complete whatever happens here, and some file systems refuse
    // to sync a folder.
    (void)replaceOps.syncFile(folder);
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

void prepareStandardStreams() {
    std::signal(SIGXFSZ, SIG_IGN);
}

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
