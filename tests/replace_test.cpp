// Putting the new sheet in place: the backup, write failures, permissions
// and read-only sheets.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cue/fix_cue.hpp"
#include "cue/line_list.hpp"
#include "cue/replace.hpp"
#include "tests/cue_samples.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

const std::vector<std::string> albumFiles = {"01.wav", "02.wav", "a.cue"};

void writeAlbum(const TempDir& dir, const std::string& sub = "") {
    writeFile(dir.file(sub + "01.wav"), wavOfCdFrames(twoTrackFirstLength));
    writeFile(dir.file(sub + "02.wav"), wavOfCdFrames(9000));
    writeFile(dir.file(sub + "a.cue"), twoTrackSheet);
}

unsigned modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

int failRename(const char*, const char*) {
    errno = EACCES;
    return -1;
}

// Lets the first rename (the backup) through and fails every later one.
int renameOnlyOnce(const char* from, const char* to) {
    static int calls = 0;
    return ++calls == 1 ? std::rename(from, to) : failRename(from, to);
}

struct RenameHook {
    explicit RenameHook(int (*hook)(const char*, const char*)) : saved(replaceOps) {
        replaceOps.renameFile = hook;
    }
    ~RenameHook() { replaceOps = saved; }
    ReplaceOps saved;
};

ChildRun fixHere(const std::string& cue, bool force = false) {
    ChildRun r;
    r.output = captureStdout([&] { r.result = fixCue(cue, force); });
    return r;
}

// Fixes `cue` in a child process that may not write files past 64 bytes
// (SIGXFSZ ignored, so writes fail with an error instead of killing it).
ChildRun fixWithSmallFileLimit(const std::string& cue, bool failRenameBack) {
    return runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        if (failRenameBack) replaceOps.renameFile = renameOnlyOnce;
        return fixCue(cue, true);
    });
}

} // namespace

TEST(ReplaceCue, SuccessLeavesNoBackupAndKeepsPermissions) {
    for (unsigned mode : {0600u, 0664u, 0646u}) {
        TempDir dir;
        writeAlbum(dir);
        ::chmod(dir.file("a.cue").c_str(), mode);
        ScopedCwd cwd(dir.path());
        ChildRun r = fixHere("a.cue");
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.output, "Fixing cue 'a.cue'...\ndone.\n");
        EXPECT_EQ(readFile("a.cue"), twoTrackFixed);
        EXPECT_EQ(modeOf("a.cue"), mode);
        EXPECT_EQ(listDir(dir.path()), albumFiles);
    }
}

// Write permission is judged by the owner-write bit too, so this holds for root.
TEST(ReplaceCue, ReadOnlySheetIsRefused) {
    for (unsigned mode : {0444u, 0464u}) {
        for (bool force : {false, true}) {
            TempDir dir;
            writeAlbum(dir);
            ::chmod(dir.file("a.cue").c_str(), mode);
            ScopedCwd cwd(dir.path());
            ChildRun r = fixHere("a.cue", force);
            EXPECT_EQ(r.result, -1);
            EXPECT_EQ(r.output, "File 'a.cue' is read only.\n");
            EXPECT_EQ(readFile("a.cue"), twoTrackSheet);
        }
    }
}

TEST(ReplaceCue, FailedBackupLeavesTheSheetAlone) {
    TempDir dir;
    writeAlbum(dir);
    ScopedCwd cwd(dir.path());
    RenameHook hook(failRename);
    ChildRun r = fixHere("a.cue");
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.output, "Fixing cue 'a.cue'...\nFailed to backup old cue.\n");
    EXPECT_EQ(readFile("a.cue"), twoTrackSheet);
    EXPECT_EQ(listDir(dir.path()), albumFiles);
}

TEST(ReplaceCue, FailedWriteRestoresTheOldSheet) {
    TempDir dir;
    writeAlbum(dir);
    ScopedCwd cwd(dir.path());
    ChildRun r = fixWithSmallFileLimit("a.cue", false);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.output, "Fixing cue 'a.cue'...\nFailed to write new cue.\n");
    EXPECT_EQ(readFile("a.cue"), twoTrackSheet);
    EXPECT_EQ(listDir(dir.path()), albumFiles);

    // Nothing to write at all: the old sheet comes back as well.
    writeFile("a.cue", "");
    r = fixHere("a.cue", true);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.output, "Fixing cue 'a.cue'...\nFailed to write new cue.\n");
    EXPECT_EQ(listDir(dir.path()), albumFiles);
    EXPECT_EQ(readFile("a.cue"), "");
}

TEST(ReplaceCue, BackupThatCannotGoBackIsNamed) {
    TempDir dir;
    ::mkdir(dir.file("sub").c_str(), 0755);
    writeAlbum(dir, "sub/");
    ScopedCwd cwd(dir.path());
    ChildRun r = fixWithSmallFileLimit("sub/a.cue", true);
    EXPECT_EQ(r.result, -1);
    const std::string head = "Fixing cue 'sub/a.cue'...\nFailed to write new cue.\n"
                             "Old cue saved as 'sub/.";
    ASSERT_EQ(r.output.substr(0, head.size()), head) << r.output;
    ASSERT_EQ(r.output.substr(r.output.size() - 3), "'.\n");
    const std::string backup = r.output.substr(head.size() - 5, r.output.size() - head.size() + 2);
    EXPECT_EQ(backup.find('/', 4), std::string::npos) << backup;
    EXPECT_EQ(readFile(backup), twoTrackSheet);
    EXPECT_FALSE(fileExists("sub/a.cue"));
}

TEST(LineList, WritesLinesAsHeldWithTheGivenMode) {
    TempDir dir;
    LineList empty;
    EXPECT_EQ(empty.writeTo(dir.file("empty.cue")), 0);
    EXPECT_FALSE(fileExists(dir.file("empty.cue")));

    LineList lines;
    ASSERT_EQ(lines.append("REM a\n"), 1);
    ASSERT_EQ(lines.append(std::string_view("x\0y", 3)), 1);
    ASSERT_EQ(lines.append("no end"), 1);
    EXPECT_EQ(lines.count(), 3u);
    ASSERT_EQ(lines.writeTo(dir.file("out.cue"), 0664), 1);
    EXPECT_EQ(readFile(dir.file("out.cue")), std::string("REM a\nx\0yno end", 15));
    EXPECT_EQ(modeOf(dir.file("out.cue")), 0664u);
}
