// Putting the new sheet in place: the temporary file beside it, mode and
// owner, a failure at each step, folders the user may not write to,
// symbolic links and long names.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

void writeAlbum(const TempDir& dir, const std::string& sheet = "a.cue") {
    writeFile(dir.file("01.wav"), wavOfCdFrames(twoTrackFirstLength));
    writeFile(dir.file("02.wav"), wavOfCdFrames(9000));
    writeFile(dir.file(sheet), twoTrackSheet);
}

struct stat lstatOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

// Puts the real operations back when a test that swapped some ends.
struct OpsRestored {
    ReplaceOps saved = replaceOps;
    ~OpsRestored() { replaceOps = saved; }
};

ChildRun fixHere(const std::string& cue, bool force = false) {
    ChildRun r;
    r.output = captureStdout([&] { r.result = exitValue(fixCue(cue, force)); });
    return r;
}

// What the sync operation saw at each call: a folder or the new sheet's
// file, the sheet's content then, and the hidden names beside it.
struct SyncCall {
    bool folder;
    std::string sheet;
    std::vector<std::string> hidden;
};
std::vector<SyncCall> syncCalls;
std::string watchedSheet;
int folderSyncResult = 0;

int watchSync(int fd) {
    struct stat st {};
    ::fstat(fd, &st);
    SyncCall call{S_ISDIR(st.st_mode), readFile(watchedSheet), {}};
    for (const std::string& name : listDir(".")) {
        if (name[0] == '.') call.hidden.push_back(name);
    }
    syncCalls.push_back(call);
    return call.folder ? folderSyncResult : ::fsync(fd);
}

} // namespace

TEST(ReplaceCue, NewSheetKeepsModeAndOwner) {
    VORLIN_SKIP_ON_WINDOWS("POSIX modes or owners");
    // Root gives the sheet back to its owner; anyone else keeps it.
    const bool root = ::geteuid() == 0;
    for (unsigned mode : {0600u, 0664u, 0646u}) {
        TempDir dir;
        writeAlbum(dir);
        ::chmod(dir.file("a.cue").c_str(), mode);
        if (root) {
            ASSERT_EQ(::chown(dir.file("a.cue").c_str(), 65534, 65534), 0);
        }
        ScopedCwd cwd(dir.path());
        ChildRun r = fixHere("a.cue");
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.output, "Fixing cue 'a.cue'...\ndone.\n");
        EXPECT_EQ(readFile("a.cue"), twoTrackFixed);
        EXPECT_EQ(listDir(dir.path()), albumFiles);
        struct stat st = lstatOf("a.cue");
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_EQ(st.st_uid, root ? 65534u : ::geteuid());
        EXPECT_EQ(st.st_gid, root ? 65534u : ::getegid());
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

// A writable sheet in a folder the user may not write to: no temporary file
// can be made beside it.
TEST(ReplaceCue, FolderWithoutWritePermissionChangesNothing) {
    VORLIN_SKIP_ON_WINDOWS("fork or POSIX folder modes");
    TempDir dir;
    writeAlbum(dir);
    ::chmod(dir.file("a.cue").c_str(), 0666);
    ::chmod(dir.path().c_str(), 0555);
    ScopedCwd cwd(dir.path());
    ChildRun r = runInChild([] {
        // Root writes anywhere: run as an ordinary user.
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 98;
        return exitValue(fixCue("a.cue", false));
    });
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.output, "Fixing cue 'a.cue'...\nFailed to backup old cue.\n");
    EXPECT_EQ(readFile("a.cue"), twoTrackSheet);
    EXPECT_EQ(listDir(dir.path()), albumFiles);
}

TEST(ReplaceCue, FailedStepLeavesTheOldSheetAlone) {
    OpsRestored restored;
    const ReplaceOps real = replaceOps;
    const ReplaceOps renameFails = {
        [](std::intptr_t, const char*, const char*) { return errno = EXDEV, -1; }, real.syncFile,
        nullptr};
    const ReplaceOps syncFails = {real.renameFile, [](int) { return errno = EIO, -1; }, nullptr};
    struct Fault {
        std::string sheet;
        ReplaceOps ops;
    };
    // An empty sheet (fixed by force) has nothing to write.
    for (const Fault& f :
         {Fault{twoTrackSheet, renameFails}, Fault{twoTrackSheet, syncFails}, Fault{"", real}}) {
        TempDir dir;
        writeAlbum(dir);
        writeFile(dir.file("a.cue"), f.sheet);
        ScopedCwd cwd(dir.path());
        replaceOps = f.ops;
        ChildRun r = fixHere("a.cue", true);
        replaceOps = real;
        EXPECT_EQ(r.result, -1);
        EXPECT_EQ(r.output, "Fixing cue 'a.cue'...\nFailed to write new cue.\n");
        EXPECT_EQ(readFile("a.cue"), f.sheet);
        EXPECT_EQ(listDir(dir.path()), albumFiles);
    }
}

// The new sheet is synced under its temporary name while the old one is
// still in place, then renamed, then the folder is synced (its failure
// changes nothing: the new sheet is in place). The temporary name is the
// sheet's own, hidden, shortened to fit 255 bytes without splitting a
// character; a sheet with a name of 255 bytes is fixed all the same.
TEST(ReplaceCue, SyncsTheSheetRenamesItThenSyncsTheFolder) {
    VORLIN_SKIP_ON_WINDOWS("folder sync");
    OpsRestored restored;
    replaceOps.syncFile = watchSync;
    std::string accented = "a";
    for (int i = 0; i < 125; ++i) accented += "\xc3\xa9"; // é
    const std::string longName = std::string(251, 'x') + ".cue";
    struct Case {
        std::string sheet, kept; // the sheet's name, the part the temporary name keeps
        int folderSync;
    };
    for (const Case& c : {Case{"a.cue", "a.cue", 0}, Case{longName, longName.substr(0, 240), -1},
                          Case{accented + ".cue", accented.substr(0, 239), 0}}) {
        SCOPED_TRACE(c.sheet.size());
        TempDir dir;
        writeAlbum(dir, c.sheet);
        ScopedCwd cwd(dir.path());
        watchedSheet = c.sheet;
        folderSyncResult = c.folderSync;
        syncCalls.clear();
        ChildRun r = fixHere(c.sheet);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.output, "Fixing cue '" + c.sheet + "'...\ndone.\n");
        EXPECT_EQ(readFile(c.sheet), twoTrackFixed);
        EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"01.wav", "02.wav", c.sheet}));
        ASSERT_EQ(syncCalls.size(), 2u);
        EXPECT_FALSE(syncCalls[0].folder);
        EXPECT_EQ(syncCalls[0].sheet, twoTrackSheet);
        ASSERT_EQ(syncCalls[0].hidden.size(), 1u);
        const std::string& temporary = syncCalls[0].hidden[0];
        EXPECT_EQ(temporary.size(), c.kept.size() + 15);
        EXPECT_EQ(temporary.substr(0, c.kept.size() + 9), "." + c.kept + ".vorlin-");
        EXPECT_TRUE(syncCalls[1].folder);
        EXPECT_EQ(syncCalls[1].sheet, twoTrackFixed);
        EXPECT_TRUE(syncCalls[1].hidden.empty());
    }
}

// Through a symbolic link, or a chain of them, the sheet the last one points
// to is fixed in its own folder with its own mode; every link stays a link,
// and the audio files are those beside the path as given.
TEST(ReplaceCue, SymbolicLinkKeepsTheLinkAndFixesItsSheet) {
    VORLIN_SKIP_ON_WINDOWS("symbolic links");
    struct Case {
        const char* sheet; // where the sheet lies, in the album folder
        std::vector<std::pair<std::string, std::string>> links; // name, target; the last is run
    };
    const std::vector<Case> cases = {
        {"a.cue", {{"b.cue", "a.cue"}}},                               // same folder
        {"real/a.cue", {{"b.cue", "real/a.cue"}}},                     // another folder
        {"real/a.cue", {{"b.cue", "real/a.cue"}, {"c.cue", "b.cue"}}}, // a chain
    };
    for (const Case& c : cases) {
        const std::string run = c.links.back().first;
        SCOPED_TRACE(run + " -> " + c.sheet);
        TempDir dir;
        writeAlbum(dir);
        ::mkdir(dir.file("real").c_str(), 0755);
        if (std::string(c.sheet) != "a.cue") {
            ASSERT_EQ(::rename(dir.file("a.cue").c_str(), dir.file(c.sheet).c_str()), 0);
        }
        ::chmod(dir.file(c.sheet).c_str(), 0640);
        for (const auto& [name, target] : c.links)
            ASSERT_EQ(::symlink(target.c_str(), dir.file(name).c_str()), 0);
        ScopedCwd cwd(dir.path());
        ChildRun r = fixHere(run);
        EXPECT_EQ(r.output, "Fixing cue '" + run + "'...\ndone.\n");
        for (const auto& link : c.links) EXPECT_TRUE(S_ISLNK(lstatOf(link.first).st_mode));
        struct stat st = lstatOf(c.sheet);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_EQ(readFile(c.sheet), twoTrackFixed);
        EXPECT_EQ(listDir("real").size(), std::string(c.sheet) == "a.cue" ? 0u : 1u);
    }
}

// The read-only test is that of the sheet the link points to.
TEST(ReplaceCue, LinkToReadOnlySheetIsRefused) {
    VORLIN_SKIP_ON_WINDOWS("symbolic links");
    TempDir dir;
    writeAlbum(dir);
    ::chmod(dir.file("a.cue").c_str(), 0444);
    ASSERT_EQ(::symlink("a.cue", dir.file("b.cue").c_str()), 0);
    ScopedCwd cwd(dir.path());
    ChildRun r = fixHere("b.cue");
    EXPECT_EQ(r.output, "File 'b.cue' is read only.\n");
    EXPECT_EQ(readFile("a.cue"), twoTrackSheet);
}

TEST(LineList, WritesLinesAsHeld) {
    TempDir dir;
    const std::string path = dir.file("out.cue");
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    LineList lines;
    EXPECT_FALSE(lines.writeTo(fd)); // an empty list is never written
    ASSERT_TRUE(lines.append("REM a\n"));
    ASSERT_TRUE(lines.append(std::string_view("x\0y", 3)));
    ASSERT_TRUE(lines.append("no end"));
    EXPECT_EQ(lines.count(), 3u);
    EXPECT_TRUE(lines.writeTo(fd));
    ::close(fd);
    EXPECT_EQ(readFile(path), std::string("REM a\nx\0yno end", 15));
}
