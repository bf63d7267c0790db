// Faults and load: the disk filling up at every byte of the new sheet,
// renames that fail, the tool killed at random moments, and one run over
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

#include "cue/fix_cue.hpp"
#include "cue/replace.hpp"
#include "mpc_writer.hpp"
#include "test_support.hpp"

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

// The backup's rename succeeds, putting the old sheet back fails.
int renameOnlyOnce(const char* from, const char* to) {
    static int calls = 0;
    if (++calls == 1) return std::rename(from, to);
    errno = EIO;
    return -1;
}

std::vector<std::string> backupsIn(const std::string& dir) {
    std::vector<std::string> found;
    for (const std::string& name : listDir(dir))
        if (name.starts_with(".vorlin-backup-")) found.push_back(name);
    return found;
}

TEST(Faults, FailedRenamesAndDiskFullAtEveryByteLoseNothing) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    const std::string old = writeAlbum(dir.path(), 4);
    const auto audio = audioState(dir.path());
    const std::vector<std::string> names = listDir(dir.path());
    captureStdout([] { fixCue("album.cue", false); });
    const std::string fixed = readFile("album.cue");
    ASSERT_NE(fixed, old);

    // The backup rename itself fails: nothing is touched.
    writeFile("album.cue", old);
    ChildRun refused = runInChild([] {
        replaceOps.renameFile = [](const char*, const char*) { return errno = EXDEV, -1; };
        return fixCue("album.cue", false);
    });
    EXPECT_EQ(refused.result, -1);
    EXPECT_EQ(refused.output, "Fixing cue 'album.cue'...\nFailed to backup old cue.\n");
    EXPECT_EQ(readFile("album.cue"), old);
    EXPECT_EQ(listDir(dir.path()), names);

    for (std::size_t limit = 0; limit <= fixed.size(); ++limit) {
        // The double fault (the old sheet cannot go back either) at every eighth byte.
        for (bool renameBackFails : {false, true}) {
            if (renameBackFails && limit % 8 != 0) continue;
            SCOPED_TRACE("file size limit " + std::to_string(limit));
            writeFile("album.cue", old);
            ChildRun r = runInChild([&] {
                std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails with EFBIG
                rlimit rl{limit, limit};
                ::setrlimit(RLIMIT_FSIZE, &rl);
                if (renameBackFails) replaceOps.renameFile = renameOnlyOnce;
                return fixCue("album.cue", false);
            });
            if (limit == fixed.size()) {
                EXPECT_EQ(r.result, 0);
                EXPECT_EQ(r.output, "Fixing cue 'album.cue'...\ndone.\n");
                EXPECT_EQ(readFile("album.cue"), fixed);
                EXPECT_EQ(listDir(dir.path()), names);
                break;
            }
            EXPECT_EQ(r.result, -1);
            const std::string head = "Fixing cue 'album.cue'...\nFailed to write new cue.\n";
            if (!renameBackFails) {
                EXPECT_EQ(r.output, head);
                EXPECT_EQ(readFile("album.cue"), old);
                EXPECT_EQ(listDir(dir.path()), names);
                continue;
            }
            const std::vector<std::string> backups = backupsIn(dir.path());
            ASSERT_EQ(backups.size(), 1u);
            EXPECT_EQ(r.output, head + "Old cue saved as '" + backups[0] + "'.\n");
            EXPECT_EQ(readFile(backups[0]), old);
            EXPECT_FALSE(fileExists("album.cue"));
            ASSERT_EQ(std::rename(backups[0].c_str(), "album.cue"), 0);
        }
    }
    EXPECT_EQ(audioState(dir.path()), audio);
}

// The backup's rename succeeds, then a signal arrives as if the user pressed
// Ctrl-C, closed the terminal or the output went away right then.
int interruption = 0;
int renameThenInterrupt(const char* from, const char* to) {
    static int calls = 0;
    int result = std::rename(from, to);
    if (++calls == 1) ::raise(interruption);
    return result;
}

// Such a signal ends the process only once the replacement is over, with
// the new sheet in place, or the old one back when writing failed.
TEST(Faults, InterruptionWaitsForTheReplacementToFinish) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    const std::string old = writeAlbum(dir.path(), 3);
    const auto audio = audioState(dir.path());
    const std::vector<std::string> names = listDir(dir.path());
    captureStdout([] { fixCue("album.cue", false); });
    const std::string fixed = readFile("album.cue");
    for (int signal : {SIGHUP, SIGINT, SIGTERM, SIGPIPE}) {
        for (bool diskFull : {false, true}) {
            SCOPED_TRACE(std::to_string(signal) + (diskFull ? " disk full" : ""));
            writeFile("album.cue", old);
            ChildRun r = runInChild([&] {
                std::signal(SIGXFSZ, SIG_IGN);
                rlimit rl{0, 0};
                if (diskFull) ::setrlimit(RLIMIT_FSIZE, &rl);
                interruption = signal;
                replaceOps.renameFile = renameThenInterrupt;
                return fixCue("album.cue", false);
            });
            EXPECT_EQ(r.signal, signal);
            ASSERT_TRUE(fileExists("album.cue")) << "the sheet is only in the backup";
            EXPECT_EQ(readFile("album.cue"), diskFull ? old : fixed);
            EXPECT_EQ(listDir(dir.path()), names);
        }
    }
    // A file size limit whose signal is not ignored: the write fails, the old
    // sheet goes back, and only then does the signal end the process.
    writeFile("album.cue", old);
    ChildRun r = runInChild([] {
        rlimit none{0, 0};
        ::setrlimit(RLIMIT_CORE, &none);
        ::setrlimit(RLIMIT_FSIZE, &none);
        return fixCue("album.cue", false);
    });
    EXPECT_EQ(r.signal, SIGXFSZ);
    EXPECT_EQ(readFile("album.cue"), old);
    EXPECT_EQ(listDir(dir.path()), names);
    EXPECT_EQ(audioState(dir.path()), audio);
}

// Root fixing a collection that belongs to others leaves each sheet with
// its owner.
TEST(Faults, FixedSheetKeepsItsOwner) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a sheet to another user";
    TempDir dir;
    ScopedCwd cwd(dir.path());
    writeAlbum(dir.path(), 2);
    ASSERT_EQ(::chown("album.cue", 65534, 65534), 0);
    EXPECT_EQ(captureStdout([] { fixCue("album.cue", false); }),
              "Fixing cue 'album.cue'...\ndone.\n");
    struct stat st {};
    ASSERT_EQ(::stat("album.cue", &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
}

// SIGKILL at random moments of fixing a large sheet: at every moment the
// sheet's path holds the whole old or the whole new sheet, or a backup holds
// the whole old one. Left-over backups have hidden names of their own.
TEST(Faults, KilledAtAnyMomentLosesNothing) {
    ScratchDir dir;
    const std::string old = writeAlbum(dir.path, 60, 16384); // about 1 MB
    const auto audio = audioState(dir.path);
    const std::vector<std::string> names = listDir(dir.path);

    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    RunResult whole = runVorlin({"album.cue"}, dir.path);
    const auto duration = Clock::now() - start;
    ASSERT_EQ(whole.exitStatus, 0) << whole.output;
    const std::string fixed = readFile(dir.file("album.cue"));

    std::mt19937 rng(20240611);
    std::uniform_int_distribution<std::int64_t> delay(
        0, std::chrono::duration_cast<std::chrono::microseconds>(duration).count() * 5 / 4);
    int sawOld = 0, sawNew = 0, sawBackupOnly = 0;
    // A few hundred runs, fewer on a slow or busy machine.
    const auto begin = Clock::now();
    for (int run = 0; run < 250; ++run) {
        if (run >= 60 && Clock::now() - begin > std::chrono::seconds(30)) break;
        for (const std::string& b : backupsIn(dir.path)) fs::remove(dir.file(b));
        writeFile(dir.file("album.cue"), old);
        std::fflush(stdout);
        pid_t pid = ::fork();
        if (pid == 0) {
            int devNull = ::open("/dev/null", O_WRONLY);
            ::dup2(devNull, STDOUT_FILENO);
            if (::chdir(dir.path.c_str()) != 0) ::_exit(127);
            ::execl(VORLIN_BINARY, "vorlin", "album.cue", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delay(rng)));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);

        const std::string now =
            fileExists(dir.file("album.cue")) ? readFile(dir.file("album.cue")) : "";
        bool backupHoldsOld = false;
        for (const std::string& name : listDir(dir.path)) {
            if (std::find(names.begin(), names.end(), name) != names.end()) continue;
            ASSERT_TRUE(name.starts_with(".vorlin-backup-")) << "stray file " << name;
            backupHoldsOld = backupHoldsOld || readFile(dir.file(name)) == old;
        }
        ASSERT_TRUE(now == old || now == fixed || backupHoldsOld) << "run " << run;
        sawOld += now == old;
        sawNew += now == fixed;
        sawBackupOnly += now != old && now != fixed;
    }
    // The kills must have landed before, during and after the replacement.
    std::printf("old sheet in place %d, new sheet %d, only the backup %d\n", sawOld, sawNew,
                sawBackupOnly);
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
            c.expectedOutput += "'" + album +
                                "/02.mp+': file open failed\n"
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
    // freed memory in quarantine, and only where GNU time can measure it.
    const bool measure = !sanitized && ::access("/usr/bin/time", X_OK) == 0;
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
    if (!measure) return;
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
                          " --error-exitcode=99 " VORLIN_BINARY;
    for (const std::string& s : c.sheets) command += " " + s;
    command += " > out.txt 2> valgrind.txt";
    int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.expectedStatus)
        << readFile(root.file("valgrind.txt"));
    EXPECT_EQ(readFile(root.file("valgrind.txt")), "");
}

} // namespace
} // namespace vorlin::test
