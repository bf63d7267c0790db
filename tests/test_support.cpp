#include "tests/test_support.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "audio/length.hpp"
#include "cue/messages.hpp"

namespace vorlin::test {

#ifdef _WIN32
TempDir::TempDir() {
    const std::string base = std::filesystem::temp_directory_path().generic_string();
    for (unsigned attempt = 0;; ++attempt) {
        path_ = base + "/vorlin-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(::GetTickCount64() + attempt);
        if (::_mkdir(path_.c_str()) == 0) return;
        if (errno != EEXIST || attempt > 1000) throw std::runtime_error("cannot make " + path_);
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only files and folders go too.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(path_, ec);
}
#else
TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/vorlin-test-XXXXXX";
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Give back write permission first so that read-only folders can go too.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec)) ::chmod(it->path().c_str(), 0755);
    }
    ::chmod(path_.c_str(), 0755);
    std::filesystem::remove_all(path_, ec);
}
#endif

std::string TempDir::file(std::string_view name) const {
    return path_ + "/" + std::string(name);
}

ScopedCwd::ScopedCwd(const std::string& dir) {
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer)) throw std::runtime_error("getcwd failed");
    previous_ = buffer;
    if (chdir(dir.c_str()) != 0) throw std::runtime_error("chdir failed: " + dir);
}

ScopedCwd::~ScopedCwd() {
    (void)chdir(previous_.c_str());
}

namespace {

// A path as the tool takes it: UTF-8 on both systems (on Windows the narrow
// file API would read it in the ANSI code page).
std::filesystem::path nativePath(const std::string& path) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
#else
    return path;
#endif
}

} // namespace

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(nativePath(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
    std::ifstream in(nativePath(path), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool fileExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> listDir(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string captureStdout(const std::function<void()>& body) {
    std::fflush(stdout);
    std::FILE* sink = std::tmpfile();
    if (!sink) throw std::runtime_error("tmpfile failed");
    int saved = dup(STDOUT_FILENO);
    dup2(fileno(sink), STDOUT_FILENO);
    try {
        body();
    } catch (...) {
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
        std::fclose(sink);
        throw;
    }
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::string text;
    std::rewind(sink);
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, sink)) > 0) text.append(buffer, n);
    std::fclose(sink);
    return text;
}

#ifdef _WIN32
ChildRun runInChild(const std::function<int()>&) {
    return {}; // no fork: the tests that need one skip on Windows
}

namespace {

// One argument as the C runtime of the child splits its command line.
std::wstring quoted(const std::wstring& argument) {
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

std::wstring wide(const std::string& text) {
    std::wstring out(text.size() + 1, L'\0');
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(),
                                        static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<std::size_t>(n - 1) : 0);
    return out;
}

} // namespace

RunResult runVorlin(const std::vector<std::string>& args, const std::string& cwd,
                    bool captureErrors) {
    // The child's output goes to files (inherited handles), read back after it ends.
    TempDir outputs;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const auto create = [&](const char* name) {
        return ::CreateFileW(wide(outputs.file(name)).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                             &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    const HANDLE out = create("out"), err = captureErrors ? create("err") : nullptr;
    std::wstring command = quoted(wide(VORLIN_BINARY));
    for (const std::string& a : args) command += L" " + quoted(wide(a));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = captureErrors ? err : ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    const std::wstring folder = wide(cwd);
    const bool started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                                          nullptr, folder.c_str(), &startup, &process);
    ::CloseHandle(out);
    if (err) ::CloseHandle(err);
    if (!started) throw std::runtime_error("CreateProcessW failed");
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    RunResult result;
    result.exitStatus = static_cast<int>(code & 0xFF);
    result.output = readFile(outputs.file("out"));
    if (captureErrors) result.errors = readFile(outputs.file("err"));
    return result;
}
#else
ChildRun runInChild(const std::function<int()>& body) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    std::fflush(stdout); // nothing buffered may reach the child's output
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        int result = body();
        std::fflush(stdout);
        ::_exit(result & 0xFF);
    }
    ::close(fds[1]);
    ChildRun r;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) r.output.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) r.result = static_cast<signed char>(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    return r;
}

RunResult runVorlin(const std::vector<std::string>& args, const std::string& cwd,
                    bool captureErrors) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    // A file, not a second pipe: the child never blocks on either stream.
    std::FILE* errors = captureErrors ? std::tmpfile() : nullptr;
    if (captureErrors && !errors) throw std::runtime_error("tmpfile failed");
    pid_t pid = fork();
    if (pid < 0) {
        if (errors) std::fclose(errors);
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        if (errors) dup2(fileno(errors), STDERR_FILENO);
        int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0) dup2(devNull, STDIN_FILENO);
        if (chdir(cwd.c_str()) != 0) _exit(127);
        std::vector<char*> argv;
        std::string binary = VORLIN_BINARY;
        argv.push_back(binary.data());
        std::vector<std::string> copies(args);
        for (auto& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    RunResult result;
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, n);
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    if (errors) {
        std::rewind(errors);
        while ((n = static_cast<ssize_t>(std::fread(buffer, 1, sizeof buffer, errors))) > 0)
            result.errors.append(buffer, static_cast<std::size_t>(n));
        std::fclose(errors);
    }
    return result;
}
#endif

std::string le16(std::uint16_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::string le32(std::uint32_t v) {
    return le16(v & 0xFFFF) + le16(v >> 16);
}

std::string wavHeader(std::uint32_t dataSize, std::uint16_t channels, std::uint16_t bitsPerSample,
                      std::uint32_t sampleRate) {
    std::uint16_t blockAlign = static_cast<std::uint16_t>(channels * ((bitsPerSample + 7) / 8));
    return "RIFF" + le32(36 + dataSize) + "WAVE" + "fmt " + le32(16) + le16(1) + le16(channels) +
           le32(sampleRate) + le32(sampleRate * blockAlign) + le16(blockAlign) +
           le16(bitsPerSample) + "data" + le32(dataSize);
}

std::string wavOfCdFrames(std::int64_t frames) {
    return wavHeader(static_cast<std::uint32_t>(frames * 588 * 4));
}

Fixed fixSheet(const std::string& sheet, const Audio& audio, const FixOptions& options) {
    TempDir dir;
    ScopedCwd cwd(dir.path());
    for (const auto& [name, bytes] : audio) {
        if (std::size_t slash = name.rfind('/'); slash != std::string::npos)
            ::mkdir(name.substr(0, slash).c_str(), 0755);
        writeFile(name, bytes);
    }
    writeFile("a.cue", sheet);
    Fixed f;
    f.output = captureStdout([&] { f.result = exitValue(fixCue("a.cue", options)); });
    f.sheet = readFile("a.cue");
    return f;
}

std::string measureMessage(const std::string& path, CdFrames& frames) {
    const AudioLength length = audioLengthFrames(path);
    frames = length.frames;
    return problemMessage(length.problem, path);
}

std::string withCrLf(std::string_view text) {
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return crlf;
}

} // namespace vorlin::test
