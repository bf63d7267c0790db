// The Windows mechanisms under the same rules: the read-only attribute, a
// sheet held open without delete sharing, backslashes, and arguments in
// UTF-16 naming folders and sheets outside the ANSI code page.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

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
