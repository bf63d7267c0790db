// The Windows mechanisms under the same rules: the read-only attribute, a
// sheet held open without delete sharing, backslashes, and arguments in
// UTF-16 naming folders and sheets outside the ANSI code page; and vorlin.exe
// as Windows users run it: wildcards that ignore letter case, drives alone,
// "\\?\" paths, the separators messages show, the console's code pages and
// the pause before a window opened by Explorer closes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/run.hpp"
#include "platform/platform.hpp"
#include "tests/cue_samples.hpp"
#include "tests/test_support.hpp"

using namespace vorlin::test;

namespace {

std::wstring wide(const std::string& utf8) {
    std::wstring out(utf8.size() + 1, L'\0');
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(),
                                        static_cast<int>(out.size()));
    out.resize(static_cast<std::size_t>(n > 0 ? n - 1 : 0));
    return out;
}

// Written through the wide API: the narrow one would pass the name
// through the ANSI code page.
void writeWide(const std::string& path, const std::string& bytes) {
    const HANDLE file = ::CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD done = 0;
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr));
    ::CloseHandle(file);
}

void writeAlbum(const TempDir& dir) {
    writeFile(dir.file("01.wav"), wavOfCdFrames(twoTrackFirstLength));
    writeFile(dir.file("02.wav"), wavOfCdFrames(9000));
    writeFile(dir.file("a.cue"), twoTrackSheet);
}

} // namespace

TEST(Windows, ReadOnlyAttributeAndHeldSheetLeaveItUntouched) {
    TempDir dir;
    writeAlbum(dir);
    ASSERT_TRUE(::SetFileAttributesW(wide(dir.file("a.cue")).c_str(), FILE_ATTRIBUTE_READONLY));
    RunResult r = runVorlin({"a.cue"}, dir.path());
    EXPECT_EQ(r.output, "File 'a.cue' is read only.\n");
    EXPECT_EQ(r.exitStatus, 255);
    ::SetFileAttributesW(wide(dir.file("a.cue")).c_str(), FILE_ATTRIBUTE_NORMAL);

    // A player holding the sheet without delete sharing: the replacement
    // is retried, then given up.
    const HANDLE held = ::CreateFileW(wide(dir.file("a.cue")).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    r = runVorlin({"a.cue"}, dir.path());
    ::CloseHandle(held);
    EXPECT_EQ(r.output, "Fixing cue 'a.cue'...\nFailed to write new cue.\n");
    EXPECT_EQ(readFile(dir.file("a.cue")), twoTrackSheet);
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"01.wav", "02.wav", "a.cue"}));
}

TEST(Windows, BackslashesAndUtf16ArgumentsReachTheSheet) {
    TempDir dir;
    const std::string folder =
        dir.path() + "/\xD0\x90\xD0\xBB\xD1\x8C\xD0\xB1\xD0\xBE\xD0\xBC"; // Альбом
    ASSERT_TRUE(::CreateDirectoryW(wide(folder).c_str(), nullptr));
    writeWide(folder + "/01.wav", wavOfCdFrames(twoTrackFirstLength));
    writeWide(folder + "/02.wav", wavOfCdFrames(9000));
    const std::string sheetName = "\xE8\xA1\xA8.cue"; // 表.cue
    const std::string folderName = folder.substr(dir.path().size() + 1);
    writeWide(folder + "/" + sheetName, withCrLf(twoTrackSheet));

    const std::string named = folderName + "\\" + sheetName;
    RunResult r = runVorlin({named}, dir.path());
    EXPECT_EQ(r.output, "Fixing cue '" + named + "'...\ndone.\n");
    EXPECT_EQ(r.exitStatus, 0);
    // Written back with CR LF, as read.
    const HANDLE fixed = ::CreateFileW(wide(folder + "/" + sheetName).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(fixed, INVALID_HANDLE_VALUE);
    std::string bytes(4096, '\0');
    DWORD done = 0;
    ASSERT_TRUE(::ReadFile(fixed, bytes.data(), 4096, &done, nullptr));
    ::CloseHandle(fixed);
    bytes.resize(done);
    EXPECT_EQ(bytes, withCrLf(twoTrackFixed));

    // A wildcard after a backslash, expanded by the tool: nothing left to fix.
    r = runVorlin({folderName + "\\*.cue"}, dir.path());
    EXPECT_EQ(r.output, "'" + named + "': only one audio file, no fixing needed.\n");
}

namespace {

// `path` as the system spells it in full: "C:\users\...\vorlin-test-1".
std::string fullPath(const std::string& path) {
    wchar_t full[1024];
    const DWORD n = ::GetFullPathNameW(wide(path).c_str(), 1024, full, nullptr);
    std::string out(4 * n, '\0');
    out.resize(static_cast<std::size_t>(
        ::WideCharToMultiByte(CP_UTF8, 0, full, static_cast<int>(n), out.data(),
                              static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

std::string noFixingNeeded(const std::string& sheet) {
    return "'" + sheet + "': only one audio file, no fixing needed.\n";
}

} // namespace

TEST(Windows, WildcardsIgnoreLetterCaseAsDirDoes) {
    TempDir dir;
    writeFile(dir.file("A.cue"), twoTrackFixed);
    writeWide(dir.file("\xC3\x89t\xC3\xA9.cue"), twoTrackFixed); // Été.cue
    const std::string summer = "\xC3\x89t\xC3\xA9.cue";
    EXPECT_EQ(runVorlin({"*.CUE"}, dir.path()).output,
              noFixingNeeded("A.cue") + noFixingNeeded(summer));
    EXPECT_EQ(runVorlin({"a.*"}, dir.path()).output, noFixingNeeded("A.cue"));
    // É and é through the system's comparison; '?' is one character, two bytes here.
    EXPECT_EQ(runVorlin({"\xC3\xA9t?.cue"}, dir.path()).output, noFixingNeeded(summer));
    EXPECT_EQ(runVorlin({"?.cue"}, dir.path()).output, noFixingNeeded("A.cue"));
}

TEST(Windows, DriveAloneAndLongPathsStartWhereTheyShould) {
    TempDir dir;
    ASSERT_TRUE(::CreateDirectoryW(wide(dir.file("Album")).c_str(), nullptr));
    writeFile(dir.file("a.cue"), twoTrackFixed);
    writeFile(dir.file("Album/a.cue"), twoTrackFixed);
    const std::string folder = fullPath(dir.path()); // not the root of its drive
    const std::string drive = folder.substr(0, 2);

    // "C:" is the drive's current folder, where the tool runs; its joins take '\'.
    RunResult r = runVorlin({"-r", drive}, dir.path());
    EXPECT_EQ(r.output,
              noFixingNeeded(folder + "\\a.cue") + noFixingNeeded(folder + "\\Album\\a.cue"));
    EXPECT_EQ(runVorlin({drive + "a.cue"}, dir.path()).output, noFixingNeeded(folder + "\\a.cue"));
    EXPECT_EQ(runVorlin({drive + "*.CUE"}, dir.path()).output, noFixingNeeded(folder + "\\a.cue"));

    // A "\\?\" path is joined with '\', which is all it takes.
    const std::string longPath = "\\\\?\\" + folder;
    r = runVorlin({"-r", longPath}, fullPath(dir.file("Album")));
    EXPECT_EQ(r.output,
              noFixingNeeded(longPath + "\\a.cue") + noFixingNeeded(longPath + "\\Album\\a.cue"));
    EXPECT_EQ(r.exitStatus, 0);
}

TEST(Windows, MessagesKeepTheSeparatorOfTheArgument) {
    TempDir dir;
    ASSERT_TRUE(::CreateDirectoryW(wide(dir.file("Various")).c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(wide(dir.file("Various/CD1")).c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(wide(dir.file("Various/CD1/sub")).c_str(), nullptr));
    // A folder where the sheet's subfolder file should be: found, then not opened.
    ASSERT_TRUE(::CreateDirectoryW(wide(dir.file("Various/CD1/sub/01.wav")).c_str(), nullptr));
    std::string sheet = twoTrackSheet;
    sheet.replace(sheet.find("01.wav"), 6, "sub\\01.wav");
    writeFile(dir.file("Various/CD1/a.cue"), sheet);
    const auto run = [&](const std::string& folder, char separator) {
        const std::string s(1, separator);
        return "Fixing cue '" + folder + s + "CD1" + s + "a.cue'...\n'" + folder + s + "CD1" + s +
               "sub" + s + "01.wav': file open failed\nFixing failed, error with audio files.\n";
    };
    EXPECT_EQ(runVorlin({"-r", "Various"}, dir.path()).output, run("Various", '\\'));
    EXPECT_EQ(runVorlin({"-r", "Various/"}, dir.path()).output, run("Various", '/'));
    const std::string folder = fullPath(dir.file("Various"));
    EXPECT_EQ(runVorlin({"-r", folder}, dir.path()).output, run(folder, '\\'));
    EXPECT_EQ(runVorlin({"Various\\CD1\\a.cue"}, dir.path()).output, run("Various", '\\'));
}

TEST(Windows, ConsoleCodePagesComeBackAfterARun) {
    // The suite runs with a console (make test-windows gives wine a terminal).
    const UINT output = ::GetConsoleOutputCP(), input = ::GetConsoleCP();
    if (output == 0) GTEST_SKIP() << "no console";
    ASSERT_TRUE(::SetConsoleOutputCP(850));
    ASSERT_TRUE(::SetConsoleCP(850));
    TempDir dir;
    writeAlbum(dir);
    RunResult r = runVorlin({"-n", "a.cue"}, dir.path());
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(::GetConsoleOutputCP(), 850u);
    EXPECT_EQ(::GetConsoleCP(), 850u);
    ::SetConsoleOutputCP(output);
    ::SetConsoleCP(input);
}

TEST(Windows, NoPauseWhenInputIsRedirected) {
    // The console as this process's only one, as after a double click in
    // Explorer, but standard input a file: no prompt, and the input unread.
    TempDir dir;
    writeFile(dir.file("input"), "x\n");
    const auto count = vorlin::platform::consoleProcessCount;
    vorlin::platform::consoleProcessCount = [] { return 1u; };
    std::fflush(stdout);
    const int savedIn = ::_dup(0), savedOut = ::_dup(1);
    const int file = ::_open(dir.file("input").c_str(), _O_RDONLY | _O_BINARY);
    ASSERT_GE(file, 0);
    ::_dup2(file, 0);
    ::_close(file);
    // Standard output on the console where there is one, so that only the
    // input tells.
    const HANDLE console =
        ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
        const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(console), 0);
        ::_dup2(fd, 1);
        ::_close(fd);
    }
    vorlin::holdClosingWindow();
    std::fflush(stdout);
    const int first = std::getchar();
    ::_dup2(savedIn, 0);
    ::_dup2(savedOut, 1);
    ::_close(savedIn);
    ::_close(savedOut);
    std::clearerr(stdin);
    vorlin::platform::consoleProcessCount = count;
    EXPECT_EQ(first, 'x');

    // Started by another program with its output in a file: no prompt either.
    writeAlbum(dir);
    EXPECT_EQ(runVorlin({"a.cue"}, dir.path()).output, "Fixing cue 'a.cue'...\ndone.\n");
}
