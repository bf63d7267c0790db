// Faults and load: the disk filling up at every byte of the new sheet,
// interruptions, the tool killed at random moments, and one run over
// ten thousand sheets. Nothing may be lost and no audio file may change.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <thread>

#include "app/run.hpp"
#include "cue/fix_cue.hpp"
#include "cue/replace.hpp"
#include "tests/cue_samples.hpp"
#include "tests/mpc_writer.hpp"
#include "tests/test_support.hpp"

namespace vorlin::test {
namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif
#else
constexpr bool sanitized = false;
#endif

// A folder in memory when /dev/shm exists (syncing thousands of sheets to a
// disk would dominate the run), removed with its contents.
struct ScratchDir {
    std::string path;
    ScratchDir() {
        path = (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : fs::temp_directory_path().string()) +
               "/vorlin-hard-XXXXXX";
        if (!::mkdtemp(path.data())) throw std::runtime_error("mkdtemp failed");
    }
    ~ScratchDir() { fs::remove_all(path); }
    std::string file(const std::string& name) const { return path + "/" + name; }
};

// An album of `tracks` files in `dir`: WAV headers standing for long audio
// and, every third track, a real MPC stream. Each track's pregap of 2
// seconds sits at the start of its own file; `padding` bytes of REM lines
// per track make the sheet as large as wanted. Returns the sheet's text.
std::string writeAlbum(const std::string& dir, int tracks, std::size_t padding = 0) {
    std::mt19937 rng(7);
    std::string sheet = "REM COMMENT \"ripped one file per track\"\nTITLE \"Album\"\n";
    for (int i = 1; i <= tracks; ++i) {
        std::string base = (i < 10 ? "0" : "") + std::to_string(i);
        if (i % 3 == 0) {
            writeFile(dir + "/" + base + ".mpc", writeStream(randomStream(rng, 7, 12)).bytes);
        } else {
            writeFile(dir + "/" + base + ".wav", wavOfCdFrames(13500 + i));
        }
        sheet += "FILE \"" + base + ".flac\" WAVE\n  TRACK " + base + " AUDIO\n";
        for (std::size_t n = 0; n < padding; n += 64)
            sheet += "    REM " + std::string(56, 'x') + "\n";
        sheet += "    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n";
    }
    writeFile(dir + "/album.cue", sheet);
    return sheet;
}

// Contents, times and inode of every audio file in `dir`: none may change.
struct FileState {
    std::string bytes;
    std::int64_t mtime, ctime;
    ino_t inode;
    bool operator==(const FileState&) const = default;
};
std::map<std::string, FileState> audioState(const std::string& dir) {
    std::map<std::string, FileState> state;
    for (const std::string& name : listDir(dir)) {
        if (name.ends_with(".cue") || name[0] == '.') continue;
        struct stat st {};
        ::stat((dir + "/" + name).c_str(), &st);
        state[name] = {readFile(dir + "/" + name),
                       st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec,
                       st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec, st.st_ino};
    }
    return state;
}

// Hidden temporary files of this tool left beside the sheet album.cue.
std::vector<std::string> temporariesIn(const std::string& dir) {
    std::vector<std::string> found;
    for (const std::string& name : listDir(dir))
        if (name.starts_with(".album.cue.vorlin-")) found.push_back(name);
    return found;
}

TEST(Faults, DiskFullAtEveryByteLosesNothing) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    const std::string old = writeAlbum(dir.path(), 4);
    const auto audio = audioState(dir.path());
    const std::vector<std::string> names = listDir(dir.path());
    captureStdout([] { fixCue("album.cue", false); });
    const std::string fixed = readFile("album.cue");
    ASSERT_NE(fixed, old);

    for (std::size_t limit = 0; limit <= fixed.size(); ++limit) {
        SCOPED_TRACE("file size limit " + std::to_string(limit));
        writeFile("album.cue", old);
        ChildRun r = runInChild([&] {
            std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails with EFBIG
            rlimit rl{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &rl);
            return exitValue(fixCue("album.cue", false));
        });
        const bool fits = limit == fixed.size();
        EXPECT_EQ(r.result, fits ? 0 : -1);
        EXPECT_EQ(r.output, "Fixing cue 'album.cue'...\n" +
                                std::string(fits ? "done.\n" : "Failed to write new cue.\n"));
        EXPECT_EQ(readFile("album.cue"), fits ? fixed : old);
        EXPECT_EQ(listDir(dir.path()), names);
    }
    EXPECT_EQ(audioState(dir.path()), audio);
}

// A signal arrives during the replacement, right before the rename (which
// then succeeds or fails), as if the user pressed Ctrl-C, closed the
// terminal or the output went away right then.
int interruption = 0;
bool renameFails = false;
int interruptThenRename(std::intptr_t folder, const char* from, const char* to) {
    ::raise(interruption);
    if (renameFails) return errno = EIO, -1;
    return ::renameat(static_cast<int>(folder), from, static_cast<int>(folder), to);
}

// Says so on standard output, unbuffered, when a folder is synced: it shows
// even if the process ends right after.
int reportFolderSync(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && ::write(STDOUT_FILENO, "synced\n", 7)) {}
    return ::fsync(fd);
}

// Such a signal ends the process only once the replacement is over: the new
// sheet renamed into place and its folder synced, or the old sheet left
// alone and the temporary file removed.
TEST(Faults, InterruptionWaitsForTheReplacementToFinish) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    const std::string old = writeAlbum(dir.path(), 3);
    const auto audio = audioState(dir.path());
    const std::vector<std::string> names = listDir(dir.path());
    captureStdout([] { fixCue("album.cue", false); });
    const std::string fixed = readFile("album.cue");
    for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGXFSZ}) {
        for (bool fails : {false, true}) {
            SCOPED_TRACE(std::to_string(signal) + (fails ? " rename fails" : ""));
            writeFile("album.cue", old);
            ChildRun r = runInChild([&] {
                rlimit none{0, 0};
                ::setrlimit(RLIMIT_CORE, &none);
                interruption = signal;
                renameFails = fails;
                replaceOps = {interruptThenRename, reportFolderSync, nullptr};
                return exitValue(fixCue("album.cue", false));
            });
            EXPECT_EQ(r.signal, signal);
            EXPECT_EQ(r.output, fails ? "" : "synced\n"); // the rest was still buffered
            EXPECT_EQ(readFile("album.cue"), fails ? old : fixed);
            EXPECT_EQ(listDir(dir.path()), names);
        }
    }
    // A file size limit whose signal is not ignored: the write fails, the
    // temporary file goes, and only then does the signal end the process.
    writeFile("album.cue", old);
    ChildRun r = runInChild([] {
        rlimit none{0, 0};
        ::setrlimit(RLIMIT_CORE, &none);
        ::setrlimit(RLIMIT_FSIZE, &none);
        return exitValue(fixCue("album.cue", false));
    });
    EXPECT_EQ(r.signal, SIGXFSZ);
    EXPECT_EQ(readFile("album.cue"), old);
    EXPECT_EQ(listDir(dir.path()), names);
    EXPECT_EQ(audioState(dir.path()), audio);
}

// SIGKILL at random moments of `vorlin --force` fixing a sheet of a few MB:
// after every kill the sheet's name holds exactly the old or exactly the new
// sheet, and at most one hidden temporary file, holding the start of the new
// sheet, is left beside it.
// A UTF-16 sheet is decoded whole before anything else; one too large for
// the memory the process may have is refused, untouched, with or without
// --force. The limit is the address space in a forked child, which the
// sanitizers' reserved shadow memory would exhaust at once.
TEST(Faults, Utf16SheetTooLargeForMemoryIsRefused) {
    if (sanitized) GTEST_SKIP() << "address space limits do not work under the sanitizers";
    ScratchDir album;
    writeFile(album.file("01.wav"), wavOfCdFrames(13500));
    writeFile(album.file("02.wav"), wavOfCdFrames(9000));
    std::string sheet = "\xFF\xFE";
    for (char c : std::string(twoTrackSheet) + "REM " + std::string(32 << 20, 'x') + "\n")
        sheet += std::string{c, '\0'};
    writeFile(album.file("a.cue"), sheet);
    for (bool force : {false, true}) {
        ChildRun r = runInChild([&] {
            long pages = 0;
            if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
                if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
                std::fclose(statm);
            }
            const rlim_t limit = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (48 << 20);
            const rlimit rl{limit, limit};
            ::setrlimit(RLIMIT_AS, &rl);
            return exitValue(fixCue(album.file("a.cue"), force));
        });
        EXPECT_EQ(r.output, "Memory allocation failed.\n") << force;
        EXPECT_EQ(r.result, -1);
        EXPECT_TRUE(readFile(album.file("a.cue")) == sheet);
    }
}

TEST(Faults, KilledAtAnyMomentLeavesTheOldOrTheNewSheet) {
    ScratchDir dir;
    const std::string old = writeAlbum(dir.path, 60, 49152); // about 3 MB
    const auto audio = audioState(dir.path);
    const std::vector<std::string> names = listDir(dir.path);

    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    RunResult whole = runVorlin({"--force", "album.cue"}, dir.path);
    const auto duration = Clock::now() - start;
    ASSERT_EQ(whole.exitStatus, 0) << whole.output;
    const std::string fixed = readFile(dir.file("album.cue"));

    std::mt19937 rng(20240611);
    std::uniform_int_distribution<std::int64_t> delay(
        0, std::chrono::duration_cast<std::chrono::microseconds>(duration).count() * 5 / 4);
    int runs = 0, sawOld = 0, sawNew = 0, duringWrite = 0;
    // A few hundred runs, fewer on a slow or busy machine.
    const auto begin = Clock::now();
    for (; runs < 300 && (runs < 60 || Clock::now() - begin < std::chrono::seconds(20)); ++runs) {
        for (const std::string& t : temporariesIn(dir.path)) fs::remove(dir.file(t));
        writeFile(dir.file("album.cue"), old);
        std::fflush(stdout);
        pid_t pid = ::fork();
        if (pid == 0) {
            int devNull = ::open("/dev/null", O_WRONLY);
            ::dup2(devNull, STDOUT_FILENO);
            if (::chdir(dir.path.c_str()) != 0) ::_exit(127);
            ::execl(VORLIN_BINARY, "vorlin", "--force", "album.cue", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delay(rng)));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);

        ASSERT_TRUE(fileExists(dir.file("album.cue"))) << "run " << runs;
        const std::string now = readFile(dir.file("album.cue"));
        ASSERT_TRUE(now == old || now == fixed) << "run " << runs;
        sawOld += now == old;
        sawNew += now == fixed;
        const std::vector<std::string> left = temporariesIn(dir.path);
        ASSERT_LE(left.size(), 1u);
        for (const std::string& name : left)
            EXPECT_TRUE(fixed.starts_with(readFile(dir.file(name)))) << name;
        EXPECT_EQ(listDir(dir.path).size(), names.size() + left.size()) << "stray file";
        duringWrite += !left.empty();
    }
    // The kills must have landed before and after the replacement.
    std::printf("%d kills: old sheet in place %d, new sheet %d; %d while the new sheet was being "
                "written\n",
                runs, sawOld, sawNew, duringWrite);
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 0);
    EXPECT_EQ(audioState(dir.path), audio);
}

// Runs the built tool with `args` in `cwd`; its exit status comes back as
// `result & 0xFF`. With `peakFile`, GNU time writes the tool's peak resident
// size in KB there: the rusage of a child forked from this test would count
// the test's own pages, copied by the fork, as the child's.
ChildRun spawnVorlin(const std::vector<std::string>& args, const std::string& cwd,
                     const std::string& peakFile = "") {
    return runInChild([&] {
        std::vector<const char*> argv;
        if (!peakFile.empty()) argv = {"time", "-q", "-f", "%M", "-o", peakFile.c_str()};
        argv.push_back(VORLIN_BINARY);
        for (const std::string& a : args) argv.push_back(a.c_str());
        argv.push_back(nullptr);
        const char* program = peakFile.empty() ? VORLIN_BINARY : "/usr/bin/time";
        if (::chdir(cwd.c_str()) == 0) ::execv(program, const_cast<char**>(argv.data()));
        return 127;
    });
}

// `count` album folders under `root`, each with a two-track sheet; every
// tenth album lacks its second file, so its sheet fails (result 1).
struct Collection {
    std::vector<std::string> sheets;
    std::string expectedOutput;
    int expectedStatus = 0;
};
Collection makeCollection(const std::string& root, int count) {
    const std::string sheet = "FILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 00 00:00:00\n"
                              "    INDEX 01 00:01:00\nFILE \"02.wav\" WAVE\n  TRACK 02 AUDIO\n"
                              "    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n";
    const std::string first = wavOfCdFrames(13500), second = wavOfCdFrames(9000);
    Collection c;
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        const std::string album = "a" + std::to_string(100000 + i);
        fs::create_directory(root + "/" + album);
        writeFile(root + "/" + album + "/01.wav", first);
        if (i % 10 != 9) writeFile(root + "/" + album + "/02.wav", second);
        writeFile(root + "/" + album + "/x.cue", sheet);
        c.sheets.push_back(album + "/x.cue");
        c.expectedOutput += "Fixing cue '" + album + "/x.cue'...\n";
        if (i % 10 == 9) {
            ++failures;
            c.expectedOutput += "'02.wav': audio file not found\n"
                                "Fixing failed, error with audio files.\n";
        } else {
            c.expectedOutput += "done.\n";
        }
    }
    c.expectedStatus = failures % 256 == 0 && failures > 0 ? 1 : failures % 256;
    return c;
}

TEST(Load, TenThousandSheetsInOneRunWithFlatMemory) {
    ScratchDir small, large;
    const int largeCount = sanitized ? 2000 : 10000;
    Collection c1 = makeCollection(small.path, largeCount / 10);
    Collection c2 = makeCollection(large.path, largeCount);
    // Peak memory is compared without the sanitizers, whose allocator keeps
    // freed memory in quarantine, and only where GNU time can measure it
    // (`make test` installs it); otherwise the test says it was not.
    const bool hasTime = ::access("/usr/bin/time", X_OK) == 0;
    const bool measure = !sanitized && hasTime;
    ChildRun r1 = spawnVorlin(c1.sheets, small.path, measure ? small.file("peak") : "");
    ChildRun r2 = spawnVorlin(c2.sheets, large.path, measure ? large.file("peak") : "");
    EXPECT_EQ(r1.result & 0xFF, c1.expectedStatus);
    EXPECT_EQ(r2.result & 0xFF, c2.expectedStatus);
    EXPECT_TRUE(r2.output == c2.expectedOutput) << r2.output.substr(0, 2000);
    for (int i = 0; i < largeCount; i += 997) {
        const std::string dir = large.path + "/a" + std::to_string(100000 + i);
        EXPECT_EQ(listDir(dir).size(), i % 10 == 9 ? 2u : 3u) << dir;
        EXPECT_EQ(readFile(dir + "/x.cue").starts_with("FILE \"Range.wav\""), i % 10 != 9) << dir;
    }
    if (sanitized) GTEST_SKIP() << "peak memory not compared under the sanitizers";
    if (!hasTime)
        GTEST_SKIP() << "peak memory not compared: no /usr/bin/time (Debian package time)";
    // The arguments themselves take about 200 KB more; anything kept per
    // sheet (a line list, a scanner, a file handle) would show many times that.
    const long peak1 = std::stol(readFile(small.file("peak")));
    const long peak2 = std::stol(readFile(large.file("peak")));
    std::printf("peak memory: %ld KB for %d sheets, %ld KB for %d\n", peak1, largeCount / 10, peak2,
                largeCount);
    EXPECT_LT(peak2, peak1 + 512);
}

// A leak checker over a run of 500 sheets: LeakSanitizer in the sanitizer
// build, valgrind (when installed) otherwise.
TEST(Load, NoLeaksOverFiveHundredSheets) {
    ScratchDir root;
    Collection c = makeCollection(root.path, 500);
    if (sanitized) {
        ChildRun r = spawnVorlin(c.sheets, root.path);
        EXPECT_EQ(r.result & 0xFF, c.expectedStatus); // LeakSanitizer would change the status
        EXPECT_TRUE(r.output == c.expectedOutput);
        return;
    }
    if (std::system("valgrind --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no valgrind";
    std::string command = "cd " + root.path +
                          " && valgrind -q --leak-check=full --errors-for-leak-kinds=all"
                          " --error-exitcode=99 --log-file=valgrind.txt " VORLIN_BINARY;
    for (const std::string& s : c.sheets) command += " " + s;
    command += " > out.txt 2> summary.txt"; // the run's closing line goes to standard error
    int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.expectedStatus)
        << readFile(root.file("valgrind.txt"));
    EXPECT_EQ(readFile(root.file("valgrind.txt")), "");
}

// A FIFO put in a sheet's place after the folder was listed, and a link to
// /dev/zero: neither blocks nor spins; each fails to open (result -1), and
// nothing is read from them.
TEST(Faults, FifoOrDeviceInPlaceOfASheetNeitherBlocksNorSpins) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    ASSERT_EQ(::mkfifo("fifo.cue", 0644), 0);
    ASSERT_EQ(::symlink("/dev/zero", "zero.cue"), 0);
    for (const char* name : {"fifo.cue", "zero.cue"}) {
        for (bool force : {false, true}) {
            SCOPED_TRACE(name);
            ChildRun r = runInChild([&] {
                ::alarm(10); // a hang or a spin ends the child by SIGALRM
                return exitValue(fixCue(name, force));
            });
            EXPECT_EQ(r.signal, 0);
            EXPECT_EQ(r.result, -1);
            EXPECT_EQ(r.output, "Failed to open '" + std::string(name) + "'.\n");
        }
    }
}

// Under a file size limit the built tool fails the sheet whose new text
// does not fit ("Failed to write new cue.", nothing left behind) and goes on
// to fix the next one: SIGXFSZ does not end it.
TEST(Faults, FileSizeLimitFailsOneSheetAndTheRunGoesOn) {
    TempDir dir;
    ::mkdir(dir.file("big").c_str(), 0755);
    ::mkdir(dir.file("small").c_str(), 0755);
    const std::string bigOld = writeAlbum(dir.file("big"), 12);
    const std::string smallOld = writeAlbum(dir.file("small"), 2);
    // The sizes of the two new sheets, fixed in a copy first.
    std::size_t bigFixed = 0, smallFixed = 0;
    {
        TempDir copy;
        ScopedCwd cwd(copy.path());
        writeAlbum(copy.path(), 12);
        captureStdout([] { fixCue("album.cue", false); });
        bigFixed = readFile("album.cue").size();
        writeAlbum(copy.path(), 2);
        captureStdout([] { fixCue("album.cue", false); });
        smallFixed = readFile("album.cue").size();
    }
    ASSERT_LT(smallFixed, bigFixed);
    const rlim_t limit = smallFixed;
    ChildRun r = runInChild([&] {
        const rlimit rl{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &rl);
        const rlimit none{0, 0};
        ::setrlimit(RLIMIT_CORE, &none);
        if (::chdir(dir.path().c_str()) == 0)
            ::execl(VORLIN_BINARY, "vorlin", "big/album.cue", "small/album.cue",
                    static_cast<char*>(nullptr));
        return 127;
    });
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.result & 0xFF, 255); // -1 + 0
    EXPECT_EQ(r.output, "Fixing cue 'big/album.cue'...\nFailed to write new cue.\n"
                        "Fixing cue 'small/album.cue'...\ndone.\n");
    EXPECT_EQ(readFile(dir.file("big/album.cue")), bigOld);
    EXPECT_TRUE(temporariesIn(dir.file("big")).empty());
    EXPECT_EQ(readFile(dir.file("small/album.cue")).size(), smallFixed);
}

// SIGTERM while the second sheet is replaced, standard output a pipe: the
// messages of the first sheet, replaced already, have been written.
TEST(Faults, MessagesOfSheetsDoneSurviveSigterm) {
    TempDir dir;
    ::mkdir(dir.file("a").c_str(), 0755);
    ::mkdir(dir.file("b").c_str(), 0755);
    writeAlbum(dir.file("a"), 2);
    writeAlbum(dir.file("b"), 2);
    ScopedCwd cwd(dir.path());
    ChildRun r = runInChild([] {
        replaceOps.beforeCheck = [] {
            static int replacement = 0;
            if (++replacement == 2) ::raise(SIGTERM);
        };
        std::string arguments[] = {"vorlin", "a/album.cue", "b/album.cue"};
        char* argv[] = {arguments[0].data(), arguments[1].data(), arguments[2].data(), nullptr};
        return vorlin::runVorlin(3, argv);
    });
    EXPECT_EQ(r.signal, SIGTERM);
    EXPECT_EQ(r.output, "Fixing cue 'a/album.cue'...\ndone.\n");
}

} // namespace
} // namespace vorlin::test
