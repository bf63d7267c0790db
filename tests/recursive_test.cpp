// Whole libraries: folders walked with -r, and the summary line a batch ends with.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/run.hpp"
#include "tests/cue_samples.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

const std::string singleFile = singleFileSheet;
const std::string failing = failingSheet;

std::string noFixing(const std::string& path) {
    return "'" + path + "': only one audio file, no fixing needed.\n";
}

std::string isFolder(const std::string& path) {
    return "'" + path + "' is a folder: -r fixes the sheets in it.\n";
}

void makeDir(const std::string& path) {
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path;
}

void writeAlbum(const std::string& dir) {
    writeFile(dir + "/01.wav", wavOfCdFrames(twoTrackFirstLength));
    writeFile(dir + "/02.wav", wavOfCdFrames(9000));
}

} // namespace

TEST(Recursive, WalksFilesFirstThenSubfoldersDepthFirst) {
    VORLIN_SKIP_ON_WINDOWS("FIFOs or symbolic links");
    TempDir root;
    const std::string lib = root.file("lib");
    makeDir(lib);
    for (const char* dir : {"/c.cue", "/c.cue/deep", "/sub", "/sub/.hidden"}) makeDir(lib + dir);
    for (const char* sheet : {"/b.cue", "/A.CUE", "/c.cue/x.cue", "/c.cue/deep/w.cue", "/sub/y.Cue",
                              "/sub/.hidden/h.cue", "/.h.cue", "/a.cuex", "/cue"})
        writeFile(lib + sheet, singleFile);
    ASSERT_EQ(::mkfifo((lib + "/fifo.cue").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("sub", (lib + "/dirlink").c_str()), 0);        // not followed
    ASSERT_EQ(::symlink("sub/y.Cue", (lib + "/s.cue").c_str()), 0);    // a sheet
    ASSERT_EQ(::symlink("nowhere", (lib + "/broken.cue").c_str()), 0); // nothing
    ASSERT_EQ(::symlink("lib", root.file("liblink").c_str()), 0);
    writeFile(root.file("top.cue"), singleFile);

    // Files in byte order before subfolders ("c.cue" is a folder), each
    // subfolder walked to the bottom before the next.
    const std::vector<std::string> walked = {
        "A.CUE", "b.cue", "s.cue", "c.cue/x.cue", "c.cue/deep/w.cue", "sub/y.Cue"};
    auto expect = [&](const std::string& prefix) {
        std::string text;
        for (const std::string& name : walked) text += noFixing(prefix + name);
        return text;
    };
    struct Case {
        std::vector<std::string> args;
        std::string cwd;
        std::string output;
        int exitStatus = 0;
    };
    const std::vector<Case> cases = {
        {{"-r", "lib"}, root.path(), expect("lib/")},
        {{"lib/", "--recursive"}, root.path(), expect("lib/")},
        {{"-r", "."}, lib, expect("./")},
        {{"-r", "../lib/sub/.."}, lib, expect("../lib/sub/../")},
        // A link to a folder named as such is not followed; named with a
        // slash it is that folder, and a wildcard's match is followed.
        {{"-r", "liblink"}, root.path(), "'liblink' is not a regular file.\n", 1},
        {{"-r", "liblink/"}, root.path(), expect("liblink/")},
        {{"-r", "*"}, root.path(), expect("lib/") + expect("liblink/") + noFixing("top.cue")},
        {{"-rn", "lib"}, root.path(), expect("lib/")},
        // Without -r a folder named is refused, and one a wildcard matches skipped.
        {{"lib", "top.cue"}, root.path(), isFolder("lib") + noFixing("top.cue"), 1},
        {{".", "liblink/", "l*"}, root.path(), isFolder(".") + isFolder("liblink/"), 2},
        {{"-r", "--", "-r"}, root.path(), "Can't find file '-r'\n", 1},
    };
    for (const Case& c : cases) {
        RunResult r = runVorlin(c.args, c.cwd);
        EXPECT_EQ(r.output, c.output) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(r.exitStatus, c.exitStatus) << c.args[0] << " " << c.args[1];
    }
}

TEST(Recursive, SummaryCountsEveryKindOfResult) {
    TempDir dir;
    writeAlbum(dir.path());
    writeFile(dir.file("fix.cue"), twoTrackSheet);
    writeFile(dir.file("one.cue"), singleFile);
    writeFile(dir.file("fail.cue"), failing);
    writeFile(dir.file("empty.cue"), ""); // refused: not a valid cue sheet
    const std::vector<std::string> all = {"fix.cue", "one.cue", "fail.cue", "empty.cue",
                                          "missing.cue"};
    struct Case {
        std::vector<std::string> args;
        std::string errors;
        int exitStatus;
    };
    const std::vector<Case> cases = {
        // A dry run's diff counts as fixed; the real run then fixes the sheet.
        {{"-n", "fix.cue", "one.cue", "fail.cue", "empty.cue", "missing.cue"},
         "vorlin: 5 sheets: 1 to fix, 1 need no fixing, 3 failed.\n",
         1},
        {all, "vorlin: 5 sheets: 1 fixed, 1 needed no fixing, 3 failed.\n", 1},
        {all, "vorlin: 5 sheets: 0 fixed, 2 needed no fixing, 3 failed.\n", 1},
        {{"*.cue", "nothing*"}, "vorlin: 5 sheets: 0 fixed, 2 needed no fixing, 3 failed.\n", 1},
        {{"one.cue", "one.cue"}, "vorlin: 2 sheets: 0 fixed, 2 needed no fixing, 0 failed.\n", 0},
        // A folder named without -r fails like a pattern that found nothing.
        {{"one.cue", ".", "-n", "one.cue"},
         "vorlin: 3 sheets: 0 to fix, 2 need no fixing, 1 failed.\n",
         1},
        // Under two sheets processed there is no summary, whatever else failed.
        {{"one.cue", "missing.cue", "nothing*"}, "", 2},
        {{"fail.cue"}, "", 1},
    };
    for (const Case& c : cases) {
        RunResult r = runVorlin(c.args, dir.path(), true);
        EXPECT_EQ(r.errors, c.errors) << c.args[0];
        EXPECT_EQ(r.exitStatus, c.exitStatus) << c.args[0];
        EXPECT_EQ(r.output.find("vorlin:"), std::string::npos); // standard output as before
    }
    EXPECT_EQ(readFile(dir.file("fix.cue")), twoTrackFixed);
}

TEST(Recursive, UnreadableFolderIsCountedAndTheWalkGoesOn) {
    VORLIN_SKIP_ON_WINDOWS("fork or POSIX folder modes");
    TempDir root;
    ::chmod(root.path().c_str(), 0755); // the ordinary user below may enter
    for (const char* dir : {"/a", "/b", "/b/locked", "/c"}) makeDir(root.path() + dir);
    writeAlbum(root.file("a"));
    writeFile(root.file("a/fix.cue"), twoTrackSheet);
    ::chmod(root.file("a/fix.cue").c_str(), 0666); // not refused as read only
    writeFile(root.file("b/locked/x.cue"), singleFile);
    writeFile(root.file("c/one.cue"), singleFile);
    ::chmod(root.file("b/locked").c_str(), 0311);
    ChildRun r = runInChild([&] {
        // Root reads any folder: run as an ordinary user.
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 98;
        if (::chdir(root.path().c_str()) != 0) return 97;
        ::dup2(STDOUT_FILENO, STDERR_FILENO); // the summary after the rest
        std::vector<std::string> args = {"vorlin", "-r", "-n", "."};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        return runVorlin(static_cast<int>(argv.size()), argv.data());
    });
    EXPECT_EQ(r.result, 1);
    EXPECT_TRUE(r.output.starts_with("Fixing cue './a/fix.cue'...\n--- ./a/fix.cue\t\n"))
        << r.output;
    EXPECT_TRUE(r.output.ends_with("not written (dry run).\nCan't read folder './b/locked'\n" +
                                   noFixing("./c/one.cue") +
                                   "vorlin: 3 sheets: 1 to fix, 1 need no fixing, 1 failed.\n"))
        << r.output;
    EXPECT_EQ(readFile(root.file("a/fix.cue")), twoTrackSheet);
}
