// Putting the new sheet in place: the temporary file beside it, mode and
// owner, a failure at each step, folders the user may not write to,
// symbolic links and long names.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cue/fix_cue.hpp"
#include "cue/new_sheet.hpp"
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

// ---- Others writing while a sheet is fixed ----

namespace {

// What a test does to the sheet at the moment between measuring and
// replacing (the seam replaceOps.beforeCheck), as another user or program
// would.
std::function<void()> race;

struct RaceStaged {
    OpsRestored restored;
    explicit RaceStaged(std::function<void()> what) {
        race = std::move(what);
        replaceOps.beforeCheck = [] { race(); };
    }
    ~RaceStaged() { race = nullptr; }
};

// A file the attacker aims at: its bytes and inode must not change.
struct Victim {
    std::string path, bytes;
    ino_t inode = 0;
    Victim(const std::string& at, const std::string& text) : path(at), bytes(text) {
        writeFile(path, bytes);
        inode = lstatOf(path).st_ino;
    }
    void expectUntouched() const {
        EXPECT_EQ(readFile(path), bytes);
        EXPECT_EQ(lstatOf(path).st_ino, inode);
        EXPECT_TRUE(S_ISREG(lstatOf(path).st_mode));
    }
};

const std::string changedMessage =
    "Fixing cue 'a.cue'...\nFile 'a.cue' changed while it was being fixed; it is left as it is.\n";

} // namespace

// The sheet swapped for a link to another file, saved over by an editor
// (write, then rename), edited in place (longer, or the same length), or
// replaced by a FIFO: nothing is written, no temporary file stays.
TEST(Races, SheetChangedBeforeTheRenameIsLeftAsItIs) {
    TempDir elsewhere;
    const Victim victim(elsewhere.file("passwd"), "root:x:0:0:root:/root:/bin/bash\n");
    const std::string edited = std::string(twoTrackSheet) + "REM edited meanwhile\n";
    std::string sameLength = twoTrackSheet;
    sameLength[sameLength.find("INDEX 01")] = 'i';
    struct Case {
        const char* what;
        std::function<void()> change;
        std::function<void()> check;
    };
    const std::vector<Case> cases = {
#ifndef _WIN32
        {"link",
         [&] {
             ::unlink("a.cue");
             ASSERT_EQ(::symlink(victim.path.c_str(), "a.cue"), 0);
         },
         [] { EXPECT_TRUE(S_ISLNK(lstatOf("a.cue").st_mode)); }},
#endif
        {"editor's save",
         [&] {
             writeFile("a.cue.new", edited);
#ifdef _WIN32
             std::remove("a.cue"); // the C runtime's rename does not replace a file
#endif
             ASSERT_EQ(::rename("a.cue.new", "a.cue"), 0);
         },
         [&] { EXPECT_EQ(readFile("a.cue"), edited); }},
        {"rewritten in place, longer", [&] { writeFile("a.cue", edited); },
         [&] { EXPECT_EQ(readFile("a.cue"), edited); }},
#ifndef _WIN32
        {"same length in place",
         [&] {
             const int fd = ::open("a.cue", O_WRONLY);
             ASSERT_GE(fd, 0);
             EXPECT_EQ(::pwrite(fd, sameLength.data(), sameLength.size(), 0),
                       static_cast<ssize_t>(sameLength.size()));
             ::close(fd);
         },
         [&] { EXPECT_EQ(readFile("a.cue"), sameLength); }},
        {"same length in place, the time put back",
         [&] {
             const int fd = ::open("a.cue", O_WRONLY);
             ASSERT_GE(fd, 0);
             EXPECT_EQ(::pwrite(fd, sameLength.data(), sameLength.size(), 0),
                       static_cast<ssize_t>(sameLength.size()));
             const timespec old[2] = {{946684800, 0}, {946684800, 0}};
             EXPECT_EQ(::futimens(fd, old), 0);
             ::close(fd);
         },
         [&] { EXPECT_EQ(readFile("a.cue"), sameLength); }},
        {"FIFO",
         [] {
             ::unlink("a.cue");
             ASSERT_EQ(::mkfifo("a.cue", 0644), 0);
         },
         [] { EXPECT_TRUE(S_ISFIFO(lstatOf("a.cue").st_mode)); }},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        writeAlbum(dir);
#ifndef _WIN32
        // An old time: an edit in the same clock tick as the writing still
        // shows in the modification time.
        const timespec old[2] = {{946684800, 0}, {946684800, 0}};
        ::utimensat(AT_FDCWD, dir.file("a.cue").c_str(), old, 0);
#endif
        ScopedCwd cwd(dir.path());
        RaceStaged staged(c.change);
        ChildRun r = fixHere("a.cue");
        EXPECT_EQ(r.result, -1);
        EXPECT_EQ(r.output, changedMessage);
        c.check();
        EXPECT_EQ(listDir(dir.path()), albumFiles);
        victim.expectUntouched();
    }
}

#ifndef _WIN32
// The album folder renamed and a link to another folder put in its name:
// the sheet read is fixed where it now is; the other folder is untouched.
TEST(Races, FolderSwappedForALinkFixesTheSheetWhereItIs) {
    VORLIN_SKIP_ON_WINDOWS("symbolic links");
    TempDir dir, elsewhere;
    const Victim victim(elsewhere.file("a.cue"), twoTrackSheet);
    ::mkdir(dir.file("album").c_str(), 0755);
    writeFile(dir.file("album/01.wav"), wavOfCdFrames(twoTrackFirstLength));
    writeFile(dir.file("album/02.wav"), wavOfCdFrames(9000));
    writeFile(dir.file("album/a.cue"), twoTrackSheet);
    ScopedCwd cwd(dir.path());
    RaceStaged staged([&] {
        ASSERT_EQ(::rename("album", "moved"), 0);
        ASSERT_EQ(::symlink(elsewhere.path().c_str(), "album"), 0);
    });
    ChildRun r = fixHere("album/a.cue");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.output, "Fixing cue 'album/a.cue'...\ndone.\n");
    EXPECT_EQ(readFile("moved/a.cue"), twoTrackFixed);
    EXPECT_EQ(listDir("moved"), albumFiles);
    victim.expectUntouched();
    EXPECT_EQ(listDir(elsewhere.path()), std::vector<std::string>{"a.cue"});
}

// Root follows a link only when the link is its own or its owner owns the
// file it leads to, every link of a chain alike; otherwise the file is not
// read, whatever --force says.
TEST(Links, LinkOfAnotherOwnerIsNotFollowed) {
    VORLIN_SKIP_ON_WINDOWS("symbolic links");
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to a second user (uid 65534)";
    constexpr uid_t user = 65534;
    struct Case {
        const char* what;
        uid_t sheetOwner;
        std::vector<uid_t> linkOwners; // from the one named to the last
        bool followed;
    };
    const std::vector<Case> cases = {
        {"user's link to root's file", 0, {user}, false},
        {"user's link to the user's file", user, {user}, true},
        {"root's link to the user's file", user, {0}, true},
        {"chain: root's link, then the user's, to root's file", 0, {0, user}, false},
        {"chain: the user's links to the user's file", user, {user, user}, true},
    };
    for (const Case& c : cases) {
        for (bool force : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (force ? " --force" : ""));
            TempDir dir, elsewhere;
            writeAlbum(dir);
            ::unlink(dir.file("a.cue").c_str());
            ::chmod(elsewhere.path().c_str(), 0755);
            const Victim target(elsewhere.file("target.cue"), twoTrackSheet);
            ASSERT_EQ(::chown(target.path.c_str(), c.sheetOwner, c.sheetOwner), 0);
            // The last link points at the file; each one before at the next.
            std::string next = target.path;
            for (std::size_t i = c.linkOwners.size(); i-- > 0;) {
                const std::string name = i == 0 ? "a.cue" : "link" + std::to_string(i) + ".cue";
                ASSERT_EQ(::symlink(next.c_str(), dir.file(name).c_str()), 0);
                ASSERT_EQ(::lchown(dir.file(name).c_str(), c.linkOwners[i], c.linkOwners[i]), 0);
                next = dir.file(name);
            }
            ScopedCwd cwd(dir.path());
            ChildRun r = fixHere("a.cue", force);
            EXPECT_TRUE(S_ISLNK(lstatOf("a.cue").st_mode));
            if (c.followed) {
                EXPECT_EQ(r.result, 0);
                EXPECT_EQ(r.output, "Fixing cue 'a.cue'...\ndone.\n");
                EXPECT_EQ(readFile(target.path), twoTrackFixed);
                EXPECT_EQ(lstatOf(target.path).st_uid, c.sheetOwner);
            } else {
                EXPECT_EQ(r.result, -1);
                EXPECT_EQ(
                    r.output,
                    "File 'a.cue' is a link to a file of another owner; it is not followed.\n");
                target.expectUntouched();
            }
        }
    }
}

// A link that leads nowhere, in a loop or to a folder cannot be opened; it
// stays a link.
TEST(Links, UnresolvableLinkFailsToOpenAndStaysALink) {
    VORLIN_SKIP_ON_WINDOWS("symbolic links");
    TempDir dir;
    writeAlbum(dir);
    ::mkdir(dir.file("folder").c_str(), 0755);
    ASSERT_EQ(::symlink("missing.cue", dir.file("dangling.cue").c_str()), 0);
    ASSERT_EQ(::symlink("loop.cue", dir.file("loop.cue").c_str()), 0);
    ASSERT_EQ(::symlink("folder", dir.file("folder.cue").c_str()), 0);
    ASSERT_EQ(::symlink("folder/", dir.file("slash.cue").c_str()), 0);
    ScopedCwd cwd(dir.path());
    for (const char* name : {"dangling.cue", "loop.cue", "folder.cue", "slash.cue"}) {
        for (bool force : {false, true}) {
            SCOPED_TRACE(name);
            ChildRun r = fixHere(name, force);
            EXPECT_EQ(r.result, -1);
            EXPECT_EQ(r.output, "Failed to open '" + std::string(name) + "'.\n");
            EXPECT_TRUE(S_ISLNK(lstatOf(name).st_mode));
        }
    }
}

// A working folder deeper than PATH_MAX: the link is resolved relative to
// the folders held open, its sheet fixed, and the link stays a link.
TEST(Links, LinkInAFolderDeeperThanPathMaxStaysALink) {
    VORLIN_SKIP_ON_WINDOWS("symbolic links");
    TempDir dir;
    ScopedCwd cwd(dir.path());
    const std::string level(200, 'd');
    int depth = 0;
    for (; depth < 25; ++depth) { // 25 * 201 bytes: past PATH_MAX (4096)
        ASSERT_EQ(::mkdir(level.c_str(), 0755), 0);
        ASSERT_EQ(::chdir(level.c_str()), 0);
    }
    writeFile("01.wav", wavOfCdFrames(twoTrackFirstLength));
    writeFile("02.wav", wavOfCdFrames(9000));
    writeFile("a.cue", twoTrackSheet);
    ASSERT_EQ(::symlink("a.cue", "b.cue"), 0);
    ChildRun r = fixHere("b.cue");
    EXPECT_EQ(r.output, "Fixing cue 'b.cue'...\ndone.\n");
    EXPECT_TRUE(S_ISLNK(lstatOf("b.cue").st_mode));
    EXPECT_EQ(readFile("a.cue"), twoTrackFixed);
    for (const char* name : {"01.wav", "02.wav", "a.cue", "b.cue"}) ::unlink(name);
    for (; depth > 0; --depth) {
        ASSERT_EQ(::chdir(".."), 0);
        ::rmdir(level.c_str());
    }
}

// The extended attributes of the old sheet (ACLs are some) go to the new one.
TEST(ReplaceCue, ExtendedAttributesAreKept) {
    TempDir dir;
    writeAlbum(dir);
    const std::string value = "kept";
    if (::setxattr(dir.file("a.cue").c_str(), "user.vorlin.test", value.data(), value.size(), 0) !=
        0)
        GTEST_SKIP() << "no user extended attributes in " << dir.path();
    ScopedCwd cwd(dir.path());
    ChildRun r = fixHere("a.cue");
    EXPECT_EQ(r.output, "Fixing cue 'a.cue'...\ndone.\n");
    EXPECT_EQ(readFile("a.cue"), twoTrackFixed);
    char got[16] = {};
    EXPECT_EQ(::getxattr("a.cue", "user.vorlin.test", got, sizeof got),
              static_cast<ssize_t>(value.size()));
    EXPECT_EQ(std::string(got), value);
}

// A new sheet equal to the old byte for byte is not written: the same file
// stays, with its inode, links and times; the messages are those of a fix.
TEST(ReplaceCue, EqualTextIsNotWritten) {
    VORLIN_SKIP_ON_WINDOWS("inodes");
    TempDir dir;
    writeFile(dir.file("Range.wav"), wavOfCdFrames(9000));
    const std::string sheet = "FILE \"Range.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    writeFile(dir.file("a.cue"), sheet);
    ASSERT_EQ(::link(dir.file("a.cue").c_str(), dir.file("hard.cue").c_str()), 0);
    const timespec old[2] = {{946684800, 0}, {946684800, 0}};
    ::utimensat(AT_FDCWD, dir.file("a.cue").c_str(), old, 0);
    const struct stat before = lstatOf(dir.file("a.cue"));
    ScopedCwd cwd(dir.path());
    OpsRestored restored;
    replaceOps.beforeCheck = [] { ADD_FAILURE() << "a replacement was begun"; };
    ChildRun r = fixHere("a.cue", true);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.output, "Fixing cue 'a.cue'...\ndone.\n");
    const struct stat after = lstatOf("a.cue");
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"Range.wav", "a.cue", "hard.cue"}));
}
#endif // _WIN32
