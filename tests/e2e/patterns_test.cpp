// Which sheets the built tool fixes: names meant as themselves, wildcard
// patterns, and whole libraries walked with -r.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#endif

#include <string>
#include <vector>

#include "app/run.hpp"
#include "cue/messages.hpp"
#include "tests/cue_samples.hpp"
#include "tests/test_support.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

const std::string singleFile = singleFileSheet;
const std::string failing = failingSheet;
const std::string failedRun = "Fixing failed, error with INDEX conversion (3)\n";

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

TEST(Driver, ANameThatExistsMeansItselfAlone) {
    VORLIN_SKIP_ON_WINDOWS("'?' in file names");
    TempDir dir;
    for (const char* name : {"Who Are You?.cue", "Who Are You!.cue", "Who Are Youz.cue"})
        writeFile(dir.file(name), singleFile);
    auto noFixing = [](const std::string& name) {
        return "'" + name + "': only one audio file, no fixing needed.\n";
    };
    RunResult r = runVorlin({"Who Are You?.cue", "Who Are Yo??.cue"}, dir.path());
    EXPECT_EQ(r.output, noFixing("Who Are You?.cue") + noFixing("Who Are You!.cue") +
                            noFixing("Who Are You?.cue") + noFixing("Who Are Youz.cue"));
    EXPECT_EQ(r.exitStatus, 0);
}

// FIFOs, sockets and symbolic links: POSIX mechanisms.
#ifndef _WIN32
TEST(Driver, WildcardsAndWalksSkipWhatIsNoSheetButNamesMeanIt) {
    Album a;
    ::mkdir(a.dir.file("d.cue").c_str(), 0755);
    writeFile(a.dir.file(".h.cue"), twoTrackSheet);
    writeFile(a.dir.file(".g.cue"), singleFile);
    ASSERT_EQ(::mkfifo(a.dir.file("f.cue").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("nowhere.cue", a.dir.file("l.cue").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", a.dir.file("n.cue").c_str()), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string sockPath = a.dir.file("s.cue");
    ASSERT_LT(sockPath.size(), sizeof address.sun_path);
    sockPath.copy(address.sun_path, sockPath.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"*.cue"}, {"-r", "."}}) {
        RunResult r = runVorlin(args, a.dir.path());
        EXPECT_EQ(r.output, "") << args[0]; // matched, but nothing to process
        EXPECT_EQ(r.exitStatus, 0) << args[0];
    }
    EXPECT_EQ(readFile(a.dir.file(".h.cue")), twoTrackSheet);

    // Named exactly, each is meant: a hidden sheet is fixed like any other,
    // the rest fail without being opened (a FIFO opened would hang the run).
    RunResult r =
        runVorlin({"f.cue", "l.cue", "n.cue", "s.cue", ".h.cue", ".g.cue"}, a.dir.path(), true);
    std::string refused;
    for (const char* name : {"f.cue", "l.cue", "n.cue", "s.cue"})
        refused += "'" + std::string(name) + "' is not a regular file.\n";
    EXPECT_EQ(r.output, refused + "Fixing cue '.h.cue'...\ndone.\n" +
                            "'.g.cue': only one audio file, no fixing needed.\n");
    EXPECT_EQ(r.errors, "vorlin: 6 sheets: 1 fixed, 1 needed no fixing, 4 failed.\n");
    EXPECT_EQ(r.exitStatus, 4);
    EXPECT_EQ(readFile(a.dir.file(".h.cue")), twoTrackFixed);
    ::close(sock);

    for (const char* name : {"b.cue", "B.cue", "a.cue", "_.cue", "[1].cue", "x.cuex"})
        writeFile(a.dir.file(name), failing);
    ASSERT_EQ(::symlink("a.cue", a.dir.file("link.cue").c_str()), 0);
    r = runVorlin({"*.cue"}, a.dir.path());
    std::string expected;
    for (const char* name : {"B.cue", "[1].cue", "_.cue", "a.cue", "b.cue", "link.cue"})
        expected += "Fixing cue '" + std::string(name) + "'...\n" + failedRun;
    EXPECT_EQ(r.output, expected);
    EXPECT_EQ(r.exitStatus, 6);

    r = runVorlin({"[1].cue", "?1?.cue", "*.CUE", "nothing*", "0?.wav/*.cue", ".h.cu?"},
                  a.dir.path());
    EXPECT_EQ(r.output, "Fixing cue '[1].cue'...\n" + failedRun + "Fixing cue '[1].cue'...\n" +
                            failedRun + "Can't find file '*.CUE'\nCan't find file 'nothing*'\n" +
                            "Can't find file '0?.wav/*.cue'\n");
    EXPECT_EQ(r.exitStatus, 5); // two sheets failed, three patterns found nothing
}
#endif

TEST(Driver, WildcardsMatchNamesHoldingWildcardCharacters) {
    VORLIN_SKIP_ON_WINDOWS("'*' or '?' in file names");
    TempDir dir;
    writeFile(dir.file("a*b.cue"), singleFile);
    writeFile(dir.file("x?.cue"), singleFile);
    RunResult r = runVorlin({"a*", "*a*", "a?b.cue", "*?.cue", "a**b*"}, dir.path());
    const std::string ab = "'a*b.cue': only one audio file, no fixing needed.\n";
    const std::string x = "'x?.cue': only one audio file, no fixing needed.\n";
    EXPECT_EQ(r.output, ab + ab + ab + ab + x + ab);
    EXPECT_EQ(r.exitStatus, 0);
}

TEST(Driver, SubdirectoryPatternKeepsThePath) {
    Album a;
    // A decoy 01.wav of another length in the current directory.
    writeFile(a.dir.file("01.wav"), wavOfCdFrames(75));
    ::mkdir(a.dir.file("sub").c_str(), 0755);
    writeFile(a.dir.file("sub/01.wav"), wavOfCdFrames(twoTrackFirstLength));
    writeFile(a.dir.file("sub/02.wav"), wavOfCdFrames(9000));
    writeFile(a.dir.file("sub/a.cue"), twoTrackSheet);
    RunResult r = runVorlin({"sub/*.cue"}, a.dir.path());
    EXPECT_EQ(r.output, "Fixing cue 'sub/a.cue'...\ndone.\n");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(readFile(a.dir.file("sub/a.cue")), twoTrackFixed);
    EXPECT_EQ(listDir(a.dir.file("sub")), (std::vector<std::string>{"01.wav", "02.wav", "a.cue"}));
}
