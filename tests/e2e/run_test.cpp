// The built tool's run as a whole: the exit status, the summary of a batch,
// and output that cannot be written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cue/messages.hpp"
#include "tests/cue_samples.hpp"
#include "tests/test_support.hpp"
#include "tests/three_track_disc.hpp"

using namespace vorlin;
using namespace vorlin::test;

namespace {

const std::string singleFile = singleFileSheet;
const std::string failing = failingSheet;
const std::string failedRun = "Fixing failed, error with INDEX conversion (3)\n";

void writeAlbum(const std::string& dir) {
    writeFile(dir + "/01.wav", wavOfCdFrames(twoTrackFirstLength));
    writeFile(dir + "/02.wav", wavOfCdFrames(9000));
}

#ifndef _WIN32
struct LostRun {
    int exitStatus = -1; // or -1 when a signal ended the run
    int signal = 0;
    std::string errors;
};

// Runs the built tool in `cwd` with its standard output on `out` and SIGPIPE
// ignored or not, and returns what it wrote on standard error.
LostRun runWithOutput(const std::vector<std::string>& args, const std::string& cwd, int out,
                      bool ignorePipeSignal = false) {
    std::FILE* errors = std::tmpfile();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out, STDOUT_FILENO);
        ::dup2(fileno(errors), STDERR_FILENO);
        std::signal(SIGPIPE, ignorePipeSignal ? SIG_IGN : SIG_DFL);
        if (::chdir(cwd.c_str()) != 0) ::_exit(127);
        std::vector<std::string> copies = args;
        std::string binary = VORLIN_BINARY;
        std::vector<char*> argv = {binary.data()};
        for (std::string& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }
    LostRun r;
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) r.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    std::rewind(errors);
    for (int c; (c = std::fgetc(errors)) != EOF;) r.errors += static_cast<char>(c);
    std::fclose(errors);
    return r;
}

#endif

} // namespace

// /dev/full, pipes and SIGPIPE: POSIX mechanisms.
#ifndef _WIN32
TEST(Driver, LostOutputIsReportedOnceAndFailsTheRun) {
    Album a;
    writeFile(a.dir.file("a.cue"), twoTrackSheet);
    writeFile(a.dir.file("empty.cue"), "");
    const std::string full = "vorlin: write error on standard output: No space left on device\n";
    const int devFull = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(devFull, 0);
    struct Case {
        std::vector<std::string> args;
        int exitStatus;
    };
    const std::vector<Case> cases = {
        {{"-n", "a.cue"}, 1}, {{"--help"}, 1}, {{"empty.cue"}, 255}, {{"a.cue"}, 1}};
    for (const Case& c : cases) {
        LostRun r = runWithOutput(c.args, a.dir.path(), devFull);
        EXPECT_EQ(r.errors, full) << c.args[0];
        EXPECT_EQ(r.exitStatus, c.exitStatus) << c.args[0];
    }
    EXPECT_EQ(readFile(a.dir.file("a.cue")), twoTrackFixed); // the sheet itself was written

    // Diffs far past a buffer: the first lost write is named, once, before the summary.
    for (int i = 0; i < 100; ++i)
        writeFile(a.dir.file("s" + std::to_string(i) + ".cue"), twoTrackSheet);
    LostRun r = runWithOutput({"-n", "s*.cue"}, a.dir.path(), devFull);
    EXPECT_EQ(r.errors, full + "vorlin: 100 sheets: 100 to fix, 0 need no fixing, 0 failed.\n");
    EXPECT_EQ(r.exitStatus, 1);
    ::close(devFull);

    // A closed pipe ends the run by its signal, once the sheet in hand is
    // replaced; with the signal ignored, it is a write error like any other.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    r = runWithOutput({"s0.cue"}, a.dir.path(), fds[1]);
    EXPECT_EQ(r.signal, SIGPIPE);
    EXPECT_EQ(readFile(a.dir.file("s0.cue")), twoTrackFixed);
    r = runWithOutput({"s1.cue"}, a.dir.path(), fds[1], true);
    EXPECT_EQ(r.errors, "vorlin: write error on standard output: Broken pipe\n");
    EXPECT_EQ(r.exitStatus, 1);
    ::close(fds[1]);
}
#endif

TEST(Driver, ExitStatusSumsTheResults) {
    Album a;
    writeFile(a.dir.file("empty1.cue"), "");
    writeFile(a.dir.file("empty2.cue"), "");
    writeFile(a.dir.file("fail.cue"), failing);
    const std::string invalid = "File 'empty1.cue' is not a valid cue sheet.\n";
    RunResult r = runVorlin({"empty1.cue"}, a.dir.path());
    EXPECT_EQ(r.output, invalid);
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_EQ(runVorlin({"empty*.cue"}, a.dir.path()).exitStatus, 254);
    // 1 + (-1) cancels out, but a failure never exits with 0.
    r = runVorlin({"fail.cue", "empty1.cue"}, a.dir.path());
    EXPECT_EQ(r.output, "Fixing cue 'fail.cue'...\n" + failedRun + invalid);
    EXPECT_EQ(r.exitStatus, 1);
    // A pattern that finds nothing fails, and cancels out no better.
    EXPECT_EQ(runVorlin({"missing.cue"}, a.dir.path()).exitStatus, 1);
    EXPECT_EQ(runVorlin({"missing.cue", "nothing*"}, a.dir.path()).exitStatus, 2);
    EXPECT_EQ(runVorlin({"missing.cue", "empty1.cue"}, a.dir.path()).exitStatus, 1);
    writeFile(a.dir.file("two.cue"), twoTrackSheet);
    r = runVorlin({"two.cue", "missing.cue"}, a.dir.path());
    EXPECT_EQ(r.output, "Fixing cue 'two.cue'...\ndone.\nCan't find file 'missing.cue'\n");
    EXPECT_EQ(r.exitStatus, 1);

    TempDir many;
    writeFile(many.file("01.wav"), wavOfCdFrames(100));
    writeFile(many.file("02.wav"), wavOfCdFrames(100));
    for (int i = 0; i < 256; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%03d.cue", i);
        writeFile(many.file(name), failing);
    }
    EXPECT_EQ(runVorlin({"*.cue"}, many.path()).exitStatus, 1); // 256 wraps to 0
    EXPECT_EQ(runVorlin({"00?.cue"}, many.path()).exitStatus, 10);
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

// With -r, a link to a sheet in another folder is fixed through; the summary
// counts a sheet left alone by its disc ID as needing no fixing.
TEST(ProvenSheet, LibraryRunCountsItAndKeepsLinks) {
    VORLIN_SKIP_ON_WINDOWS("symbolic links");
    TempDir root;
    for (const char* folder : {"lib", "lib/pre", "lib/app", "store"})
        ::mkdir(root.file(folder).c_str(), 0755);
    for (const auto& [name, bytes] : prepended) writeFile(root.file("lib/pre/" + name), bytes);
    for (const auto& [name, bytes] : appended) writeFile(root.file("lib/app/" + name), bytes);
    writeFile(root.file("lib/pre/a.cue"), discId + tracks);
    writeFile(root.file("store/app.cue"), discId + tracks);
    ASSERT_EQ(::symlink("../../store/app.cue", root.file("lib/app/b.cue").c_str()), 0);
    RunResult run = runVorlin({"-r", "lib"}, root.path(), true);
    EXPECT_EQ(run.output, "Fixing cue 'lib/app/b.cue'...\n"
                          "Disc ID 1c025803 matches the sheet.\ndone.\n"
                          "Fixing cue 'lib/pre/a.cue'...\n" +
                              leftAlone);
    EXPECT_EQ(run.errors, "vorlin: 2 sheets: 1 fixed, 1 needed no fixing, 0 failed.\n");
    EXPECT_EQ(run.exitStatus, 0);
    struct stat st {};
    ASSERT_EQ(::lstat(root.file("lib/app/b.cue").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(root.file("store/app.cue")), discId + tracksFixed);
    EXPECT_EQ(readFile(root.file("lib/pre/a.cue")), discId + tracks);
}
