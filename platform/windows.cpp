// The platform layer on Windows: wide (UTF-16) API calls for every name,
// files in binary mode, the C runtime's descriptors over Windows handles.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h:
#include <aclapi.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <stdexcept>
#include <vector>

#include "platform/platform.hpp"

namespace vorlin::platform {

namespace {

std::wstring widen(std::string_view text) {
    if (text.empty()) return {};
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                          nullptr, nullptr);
    return text;
}

bool isDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isLongPath(std::string_view path) {
    return path.rfind("\\\\?\\", 0) == 0;
}

// `path` for the wide API; "" is the working folder. A "\\?\" path goes to
// the file system as it is, which takes no '/': the tool's own joins and a
// sheet's subfolders are written with '\' there.
std::wstring widePath(const std::string& path) {
    if (path.empty()) return std::wstring(L".");
    std::wstring wide = widen(path);
    if (isLongPath(path)) std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return wide;
}

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

DWORD attributesOf(const std::string& path) {
    return ::GetFileAttributesW(widePath(path).c_str());
}

} // namespace

std::size_t folderPartLength(std::string_view path) {
    const std::size_t separator = path.find_last_of("/\\");
    if (separator != std::string_view::npos) return separator + 1;
    // "C:name" is "name" in the working folder of drive C.
    if (path.size() >= 2 && path[1] == ':' && isDriveLetter(path[0])) return 2;
    return 0;
}

char separatorFor(std::string_view folder) {
    if (isLongPath(folder)) return '\\';
    const std::size_t separator = folder.find_last_of("/\\");
    return separator == std::string_view::npos ? '\\' : folder[separator];
}

std::string fromDriveFolder(const std::string& path) {
    if (path.size() < 2 || path[1] != ':' || !isDriveLetter(path[0]) ||
        (path.size() > 2 && isSeparator(path[2])))
        return path;
    // The system keeps a current folder for every drive; "D:" names it.
    const wchar_t drive[] = {static_cast<wchar_t>(path[0]), L':', L'\0'};
    std::wstring full(MAX_PATH, L'\0');
    DWORD n = ::GetFullPathNameW(drive, static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.assign(n, L'\0');
        n = ::GetFullPathNameW(drive, static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (n == 0 || n >= full.size()) return path;
    full.resize(n);
    std::string folder = narrow(full);
    if (path.size() == 2) return folder;
    if (!isSeparator(folder.back())) folder += '\\';
    return folder + path.substr(2);
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    const std::wstring wideA = widen(a), wideB = widen(b);
    return ::CompareStringOrdinal(wideA.data(), static_cast<int>(wideA.size()), wideB.data(),
                                  static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
}

int openForReading(const std::string& path, bool regularOnly, std::int64_t* size) {
    const int fd = ::_wopen(widePath(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0 || (!regularOnly && !size)) return fd;
    struct _stat64 st;
    if (::_fstat64(fd, &st) != 0 || (regularOnly && (st.st_mode & _S_IFMT) != _S_IFREG)) {
        ::_close(fd);
        return -1;
    }
    if (size) *size = static_cast<std::int64_t>(st.st_size);
    return fd;
}

void closeFile(int fd) {
    ::_close(fd);
}

std::int64_t readNext(int fd, void* into, std::size_t count) {
    const unsigned piece = static_cast<unsigned>(std::min<std::size_t>(count, 1u << 30));
    return ::_read(fd, into, piece);
}

std::int64_t readAt(int fd, void* into, std::size_t count, std::int64_t offset) {
    // ReadFile at an offset moves a synchronous handle's position: it is put
    // back, so that a stream reading on from it sees nothing of this read.
    const HANDLE handle = handleOf(fd);
    if (handle == INVALID_HANDLE_VALUE || offset < 0) return -1;
    LARGE_INTEGER position{}, zero{};
    if (!::SetFilePointerEx(handle, zero, &position, FILE_CURRENT)) return -1;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    const bool read = ::ReadFile(handle, into, want, &got, &at) != 0;
    const DWORD error = read ? 0 : ::GetLastError();
    ::SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
    if (!read) return error == ERROR_HANDLE_EOF ? 0 : -1;
    return static_cast<std::int64_t>(got);
}

bool writeAll(int fd, std::string_view bytes) {
    const HANDLE handle = handleOf(fd);
    while (!bytes.empty()) {
        DWORD done = 0;
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        if (!::WriteFile(handle, bytes.data(), piece, &done, nullptr) || done == 0) return false;
        bytes.remove_prefix(done);
    }
    return true;
}

std::int64_t fileSize(int fd) {
    struct _stat64 st;
    if (::_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool truncateFile(int fd, std::int64_t length) {
    return ::_chsize_s(fd, length) == 0;
}

std::FILE* streamOf(int fd) {
    return ::_fdopen(fd, "rb");
}

int descriptorOf(std::FILE* stream) {
    return ::_fileno(stream);
}

FileType typeOf(const std::string& path, bool followLinks) {
    const DWORD attributes = attributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return FileType::missing;
    if (!followLinks && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return FileType::link;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // What a link leads to: open it (the system follows it) and ask.
        const HANDLE handle = ::CreateFileW(
            widePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return FileType::missing;
        BY_HANDLE_FILE_INFORMATION information;
        const bool known = ::GetFileInformationByHandle(handle, &information) != 0;
        ::CloseHandle(handle);
        if (!known) return FileType::missing;
        return (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileType::directory
                                                                         : FileType::regular;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileType::directory;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return FileType::other;
    return FileType::regular;
}

bool exists(const std::string& path) {
    return typeOf(path) != FileType::missing;
}

std::string spellingInFolder(const std::string& folder, const std::string& name) {
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(widePath(folder + name).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return name;
    ::FindClose(search);
    std::string spelled = narrow(found.cFileName);
    return spelled.empty() ? name : spelled;
}

bool isHidden(const std::string& path) {
    const std::size_t start = folderPartLength(path);
    if (start < path.size() && path[start] == '.') return true;
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN);
}

bool isReadOnly(const std::string& path) {
    const DWORD attributes = attributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY))
        return true;
    // No write access (the file's security, a share opened read-only).
    const HANDLE handle = ::CreateFileW(widePath(path).c_str(), FILE_WRITE_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_ACCESS_DENIED;
    ::CloseHandle(handle);
    return false;
}

bool listFolder(const std::string& folder, std::vector<FolderEntry>& entries) {
    std::string pattern = folder;
    if (!pattern.empty() && !isSeparator(pattern.back()) && pattern.back() != ':') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileExW(widePath(pattern).c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const std::string name = narrow(found.cFileName);
        if (name == "." || name == "..") continue;
        const DWORD attributes = found.dwFileAttributes;
        const FileType type = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? FileType::link
                              : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? FileType::directory
                              : (attributes & FILE_ATTRIBUTE_DEVICE)      ? FileType::other
                                                                          : FileType::regular;
        entries.push_back({name, type, name[0] == '.' || (attributes & FILE_ATTRIBUTE_HIDDEN)});
    } while (::FindNextFileW(search, &found));
    const bool complete = ::GetLastError() == ERROR_NO_MORE_FILES;
    ::FindClose(search);
    return complete;
}

std::int64_t folderSize(const std::string& folder) {
    // A folder has no size of its own here: one that exists counts as small.
    return typeOf(folder) == FileType::directory ? 0 : -1;
}

namespace {

// The console's code pages as the program found them (0: no console).
UINT inputCodePage = 0;
UINT outputCodePage = 0;

void restoreCodePages() {
    if (inputCodePage != 0) ::SetConsoleCP(inputCodePage);
    if (outputCodePage != 0) ::SetConsoleOutputCP(outputCodePage);
}

// Ctrl-C, Ctrl-Break or the window closing: the code pages go back before the
// system ends the process.
BOOL WINAPI restoreOnControl(DWORD) {
    restoreCodePages();
    return FALSE;
}

// A sharing violation (a player or a virus scanner holding the file open)
// passes within moments as a rule: the rename is tried again a few times.
constexpr int renameTries = 10;
constexpr DWORD retryMilliseconds = 50;

bool sharingViolation(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED; // a file being deleted by another reports this
}

int replaceByName(std::intptr_t /*folder*/, const char* from, const char* to) {
    const std::wstring source = widen(from), target = widen(to);
    for (int attempt = 1;; ++attempt) {
        // ReplaceFileW keeps the old file's attributes and security; a target
        // that does not exist (yet) takes MoveFileExW.
        if (::ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                           nullptr, nullptr) ||
            ::MoveFileExW(source.c_str(), target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return 0;
        if (attempt == renameTries || !sharingViolation(::GetLastError())) return -1;
        ::Sleep(retryMilliseconds);
    }
}

int flushToDisk(int fd) {
    return ::FlushFileBuffers(handleOf(fd)) ? 0 : -1;
}

// Ctrl-C or Ctrl-Break while a file is replaced: the replacement runs to its
// end, then the process ends as the console asked.
std::atomic<bool> replacing{false};
std::atomic<bool> interrupted{false};

BOOL WINAPI onConsoleControl(DWORD event) {
    if (!replacing || (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)) return FALSE;
    interrupted = true;
    return TRUE;
}

class InterruptionsHeld {
  public:
    InterruptionsHeld() {
        interrupted = false;
        replacing = true;
        installed_ = ::SetConsoleCtrlHandler(onConsoleControl, TRUE) != 0;
    }
    ~InterruptionsHeld() {
        replacing = false;
        if (installed_) ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
        if (interrupted) {
            std::fflush(nullptr);
            restoreCodePages();
            ::ExitProcess(STATUS_CONTROL_C_EXIT);
        }
    }
    InterruptionsHeld(const InterruptionsHeld&) = delete;
    InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

  private:
    bool installed_ = false;
};

// Creates a new, hidden file for `temporaryTemplate`, whose trailing
// "XXXXXX" becomes a suffix no file there has; -1 when it cannot.
int createExclusively(std::string& temporaryTemplate) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    const std::size_t suffix = temporaryTemplate.size() - 6;
    std::uint64_t seed = ::GetTickCount64() ^ (std::uint64_t{::GetCurrentProcessId()} << 20);
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (std::size_t i = 0; i < 6; ++i) {
            seed = seed * 6364136223846793005u + 1442695040888963407u;
            temporaryTemplate[suffix + i] = letters[(seed >> 33) % (sizeof letters - 1)];
        }
        const HANDLE handle = ::CreateFileW(widen(temporaryTemplate).c_str(), GENERIC_WRITE, 0,
                                            nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
            if (fd < 0) {
                ::CloseHandle(handle);
                ::DeleteFileW(widen(temporaryTemplate).c_str());
            }
            return fd;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return -1;
    }
    return -1;
}

} // namespace

ReplaceOps replaceOps = {replaceByName, flushToDisk, nullptr};

namespace {

constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The owner of the file open as `handle`, as the bytes of its SID; false
// when it cannot be read.
bool ownerOf(HANDLE handle, std::string& owner) {
    PSID sid = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &sid, nullptr,
                          nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const bool known = sid && ::IsValidSid(sid);
    if (known) owner.assign(static_cast<const char*>(sid), ::GetLengthSid(sid));
    ::LocalFree(descriptor);
    return known;
}

// The user running the tool, as the bytes of its SID ("" when unknown).
std::string processUser() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string user;
    std::vector<char> buffer(size + sizeof(TOKEN_USER));
    if (::GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()),
                              &size)) {
        const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
        if (::IsValidSid(sid)) user.assign(static_cast<const char*>(sid), ::GetLengthSid(sid));
    }
    ::CloseHandle(token);
    return user;
}

FileIdentity identityOf(const BY_HANDLE_FILE_INFORMATION& information) {
    return {information.dwVolumeSerialNumber,
            (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow,
            static_cast<std::int64_t>((std::uint64_t{information.nFileSizeHigh} << 32) |
                                      information.nFileSizeLow),
            static_cast<std::int64_t>(
                (std::uint64_t{information.ftLastWriteTime.dwHighDateTime} << 32) |
                information.ftLastWriteTime.dwLowDateTime)};
}

// The path of the file open as `handle`, in the usual form; "" when unknown.
std::string finalPathOf(HANDLE handle) {
    std::wstring target(32768, L'\0');
    const DWORD n =
        ::GetFinalPathNameByHandleW(handle, target.data(), static_cast<DWORD>(target.size()), 0);
    if (n == 0 || n >= target.size()) return {};
    target.resize(n);
    // "\\?\C:\..." and "\\?\UNC\server\..." back to the usual forms.
    if (target.rfind(L"\\\\?\\UNC\\", 0) == 0)
        target = L"\\\\" + target.substr(8);
    else if (target.rfind(L"\\\\?\\", 0) == 0)
        target = target.substr(4);
    return narrow(target);
}

// Reads the file open as `handle` from its start to its end into `into`.
SheetOpened readWhole(HANDLE handle, std::int64_t size, std::string& into) {
    try {
        into.reserve(static_cast<std::size_t>(size));
        char block[65536];
        for (;;) {
            DWORD got = 0;
            if (!::ReadFile(handle, block, sizeof block, &got, nullptr))
                return ::GetLastError() == ERROR_HANDLE_EOF ? SheetOpened::ok
                                                            : SheetOpened::readFailed;
            if (got == 0) return SheetOpened::ok;
            into.append(block, got);
        }
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {}
    into.clear();
    into.shrink_to_fit();
    return SheetOpened::outOfMemory;
}

bool isLinkOrFolder(const BY_HANDLE_FILE_INFORMATION& information) {
    return information.dwFileAttributes &
           (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE);
}

} // namespace

OpenedSheet::~OpenedSheet() {
    if (folder != -1) ::CloseHandle(reinterpret_cast<HANDLE>(folder));
}

SheetOpened openSheet(const std::string& path, OpenedSheet& sheet) {
    const std::wstring wide = widePath(path);
    // The entry itself: a reparse point (a symbolic link, a junction) is a
    // link, not followed yet.
    const HANDLE entry =
        ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL, shareAll, nullptr,
                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (entry == INVALID_HANDLE_VALUE) return SheetOpened::openFailed;
    BY_HANDLE_FILE_INFORMATION information;
    bool known = ::GetFileInformationByHandle(entry, &information) != 0;
    const bool link = known && (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    std::string linkOwner;
    if (link) known = ownerOf(entry, linkOwner);
    ::CloseHandle(entry);
    if (!known) return SheetOpened::openFailed;
    // The file read: through a link the one it finally leads to; otherwise
    // the entry, never a link put in its place meanwhile.
    const HANDLE file =
        ::CreateFileW(wide.c_str(), GENERIC_READ | READ_CONTROL, shareAll, nullptr, OPEN_EXISTING,
                      link ? 0 : FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return SheetOpened::openFailed;
    SheetOpened result = SheetOpened::ok;
    if (!::GetFileInformationByHandle(file, &information) || isLinkOrFolder(information) ||
        ::GetFileType(file) != FILE_TYPE_DISK) {
        result = SheetOpened::openFailed;
    } else if (link) {
        std::string fileOwner;
        if (linkOwner != processUser() && (!ownerOf(file, fileOwner) || fileOwner != linkOwner))
            result = SheetOpened::foreignLink;
        sheet.name = finalPathOf(file);
        if (sheet.name.empty() && result == SheetOpened::ok) result = SheetOpened::openFailed;
    } else {
        sheet.name = path;
    }
    if (result == SheetOpened::ok) {
        sheet.identity = identityOf(information);
        result = readWhole(file, sheet.identity.size, sheet.bytes);
        // Written to while it was read: what was read may be torn.
        BY_HANDLE_FILE_INFORMATION after;
        if (!::GetFileInformationByHandle(file, &after) || identityOf(after) != sheet.identity ||
            static_cast<std::int64_t>(sheet.bytes.size()) != sheet.identity.size)
            sheet.identity.size = -1;
    }
    // Closed before the replacement, which must delete it.
    ::CloseHandle(file);
    if (result != SheetOpened::ok) return result;
    sheet.readOnly = isReadOnly(sheet.name);
    // The folder held open without delete sharing: it cannot be renamed or
    // removed, so its path names the same folder until the sheet is done.
    const std::string folder = sheet.name.substr(0, folderPartLength(sheet.name));
    const HANDLE held = ::CreateFileW(
        widePath(folder).c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (held == INVALID_HANDLE_VALUE) return SheetOpened::openFailed;
    sheet.folder = reinterpret_cast<std::intptr_t>(held);
    return SheetOpened::ok;
}

namespace {

// Whether the sheet's name still holds the file read, as it was read.
bool unchanged(const OpenedSheet& sheet) {
    if (sheet.identity.size < 0) return false;
    const HANDLE handle = ::CreateFileW(
        widen(sheet.name).c_str(), FILE_READ_ATTRIBUTES, shareAll, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    const bool same = ::GetFileInformationByHandle(handle, &information) &&
                      !isLinkOrFolder(information) && identityOf(information) == sheet.identity;
    ::CloseHandle(handle);
    return same;
}

} // namespace

Replaced replaceSheet(OpenedSheet& sheet, std::string temporaryTemplate,
                      const std::function<bool(int fd)>& write) {
    InterruptionsHeld held;
    const std::wstring name = widen(sheet.name);
    const DWORD oldAttributes = ::GetFileAttributesW(name.c_str());
    const int fd = createExclusively(temporaryTemplate);
    if (fd < 0) return Replaced::notCreated;
    bool written = write(fd) && replaceOps.syncFile(fd) == 0;
    written = ::_close(fd) == 0 && written;
    if (written && replaceOps.beforeCheck) replaceOps.beforeCheck();
    if (written && !unchanged(sheet)) {
        ::DeleteFileW(widen(temporaryTemplate).c_str());
        return Replaced::changed;
    }
    written =
        written && replaceOps.renameFile(-1, temporaryTemplate.c_str(), sheet.name.c_str()) == 0;
    if (!written) {
        ::DeleteFileW(widen(temporaryTemplate).c_str());
        return Replaced::notWritten;
    }
    // ReplaceFileW gives the new file the old one's attributes (and its
    // security); after MoveFileExW it is still hidden, as the temporary
    // file was.
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN) &&
        (oldAttributes == INVALID_FILE_ATTRIBUTES || !(oldAttributes & FILE_ATTRIBUTE_HIDDEN)))
        ::SetFileAttributesW(name.c_str(), attributes & ~FILE_ATTRIBUTE_HIDDEN);
    return Replaced::done;
}

std::optional<std::string> convertCodePage(std::string_view text, const char* codePage) {
    if (std::strncmp(codePage, "CP", 2) != 0) return std::nullopt;
    const UINT number = static_cast<UINT>(std::strtoul(codePage + 2, nullptr, 10));
    if (text.empty()) return std::string();
    const int n = ::MultiByteToWideChar(number, MB_ERR_INVALID_CHARS, text.data(),
                                        static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(number, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                          wide.data(), n);
    return narrow(wide);
}

std::optional<std::string> convertToCodePage(std::string_view text, const char* codePage) {
    if (std::strncmp(codePage, "CP", 2) != 0) return std::nullopt;
    const UINT number = static_cast<UINT>(std::strtoul(codePage + 2, nullptr, 10));
    if (text.empty()) return std::string();
    const std::wstring wide = widen(text);
    BOOL lossy = FALSE;
    const int n = ::WideCharToMultiByte(number, 0, wide.data(), static_cast<int>(wide.size()),
                                        nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy) return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(number, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

std::vector<int> allowedCpus() {
    std::vector<int> cpus;
    DWORD_PTR process = 0, system = 0;
    if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system)) return cpus;
    for (int cpu = 0; cpu < static_cast<int>(8 * sizeof process); ++cpu)
        if (process >> cpu & 1) cpus.push_back(cpu);
    return cpus;
}

int currentCpu() {
    return static_cast<int>(::GetCurrentProcessorNumber());
}

bool keepThreadTo(const std::vector<int>& cpus) {
    DWORD_PTR mask = 0;
    for (const int cpu : cpus)
        if (cpu >= 0 && cpu < static_cast<int>(8 * sizeof mask)) mask |= DWORD_PTR{1} << cpu;
    return mask != 0 && ::SetThreadAffinityMask(::GetCurrentThread(), mask) != 0;
}

namespace {

// What a new thread runs, handed over on the heap.
struct ThreadStart {
    void (*body)(void*);
    void* argument;
};

} // namespace

namespace {

DWORD WINAPI runThread(LPVOID handed) {
    const ThreadStart what = *static_cast<ThreadStart*>(handed);
    delete static_cast<ThreadStart*>(handed);
    what.body(what.argument);
    return 0;
}

} // namespace

bool startThread(ThreadHandle& thread, int cpu, void (*body)(void*), void* argument) {
    auto* start = new (std::nothrow) ThreadStart{body, argument};
    if (!start) return false;
    // Suspended until it has its processor.
    const HANDLE created = ::CreateThread(nullptr, 0, runThread, start, CREATE_SUSPENDED, nullptr);
    if (!created) {
        delete start;
        return false;
    }
    if (cpu >= 0 && cpu < static_cast<int>(8 * sizeof(DWORD_PTR)))
        (void)::SetThreadAffinityMask(created, DWORD_PTR{1} << cpu);
    ::ResumeThread(created);
    thread = reinterpret_cast<ThreadHandle>(created);
    return true;
}

void joinThread(ThreadHandle thread) {
    const HANDLE created = reinterpret_cast<HANDLE>(thread);
    ::WaitForSingleObject(created, INFINITE);
    ::CloseHandle(created);
}

long processId() {
    return static_cast<long>(::GetCurrentProcessId());
}

void prepareStandardStreams() {
    // Every line ends in LF as on POSIX, and the bytes of a dry run's diff
    // pass unchanged; a console shows the UTF-8 the tool writes.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    ::_setmode(::_fileno(stdin), _O_BINARY);
    inputCodePage = ::GetConsoleCP();
    outputCodePage = ::GetConsoleOutputCP();
    if (outputCodePage == 0) return; // no console
    std::atexit(restoreCodePages);
    ::SetConsoleCtrlHandler(restoreOnControl, TRUE);
    ::SetConsoleOutputCP(CP_UTF8);
}

namespace {

unsigned countConsoleProcesses() {
    DWORD ids[4];
    // The count, even when more processes share the console than `ids` holds.
    return ::GetConsoleProcessList(ids, 4);
}

bool isConsole(int fd) {
    DWORD mode = 0;
    return ::GetConsoleMode(handleOf(fd), &mode) != 0;
}

} // namespace

unsigned (*consoleProcessCount)() = countConsoleProcesses;

bool consoleClosesWithProgram() {
    return consoleProcessCount() == 1 && isConsole(::_fileno(stdin)) &&
           isConsole(::_fileno(stdout));
}

void waitForEnter() {
    int c;
    while ((c = std::getchar()) != EOF && c != '\n') {}
}

std::vector<std::string> argumentsInUtf8(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) arguments.push_back(narrow(argv[i]));
    return arguments;
}

} // namespace vorlin::platform
