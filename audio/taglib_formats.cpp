#include "audio/taglib_formats.hpp"

#include <dlfcn.h>
#include <strings.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <new>

#include "audio/taglib_module.hpp"

// Linked in by the tests; the tool loads the module instead.
extern "C" int vorlinTaglibSampleCount(int, int, std::uint64_t*, int*) __attribute__((weak));

namespace vorlin {

std::optional<TaglibFormat> taglibFormatOf(std::string_view extension) {
    static constexpr struct {
        std::string_view extension;
        TaglibFormat format;
    } formats[] = {
        {".flac", TaglibFormat::flac},        {".wv", TaglibFormat::wavPack},
        {".ape", TaglibFormat::monkeysAudio}, {".tta", TaglibFormat::trueAudio},
        {".aiff", TaglibFormat::aiff},        {".aif", TaglibFormat::aiff},
    };
    for (const auto& entry : formats) {
        if (extension.size() == entry.extension.size() &&
            ::strncasecmp(extension.data(), entry.extension.data(), extension.size()) == 0)
            return entry.format;
    }
    return std::nullopt;
}

namespace {

// Declared rates below this are header misreads (an old Monkey's Audio
// header reads as 24 Hz), not audio.
constexpr int minimumSampleRate = 8000;

constexpr char moduleName[] = "vorlin-taglib.so";

// The module's entry: beside the executable (a build folder), else in the
// folder it is installed to, relative to the executable's.
VorlinTaglibSampleCountFunction loadModule() {
    if (vorlinTaglibSampleCount) return vorlinTaglibSampleCount;
    char executable[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", executable, sizeof executable - 1);
    std::string folder = n > 0 ? std::string(executable, static_cast<std::size_t>(n)) : "";
    folder.erase(folder.rfind('/') + 1); // everything when there is no '/'
    std::string tried;
    for (const std::string& path :
         {folder + moduleName, folder + VORLIN_MODULE_FROM_BIN "/" + moduleName}) {
        if (void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            if (void* entry = ::dlsym(module, "vorlinTaglibSampleCount"))
                return reinterpret_cast<VorlinTaglibSampleCountFunction>(entry);
        }
        tried = path;
    }
    std::fprintf(stderr, "vorlin: cannot load %s: %s\n", tried.c_str(), ::dlerror());
    return nullptr;
}

} // namespace

CdFrames taglibLengthFrames(const std::string& path, TaglibFormat format) {
    const int descriptor = openRegularDescriptor(path);
    if (descriptor < 0) {
        std::printf("'%s': file open failed\n", path.c_str());
        return 0;
    }
    static const VorlinTaglibSampleCountFunction sampleCount = loadModule();
    std::uint64_t frames = 0;
    int rate = 0;
    int result = vorlinTaglibRead;
    if (sampleCount)
        result = sampleCount(descriptor, static_cast<int>(format), &frames, &rate);
    else
        ::close(descriptor);
    if (result == vorlinTaglibOutOfMemory) throw std::bad_alloc();
    if (result == vorlinTaglibOpenFailed) {
        std::printf("'%s': file open failed\n", path.c_str());
        return 0;
    }
    if (frames == 0 || rate < minimumSampleRate) {
        std::printf("'%s': unrecognized format\n", path.c_str());
        return 0;
    }
    return samplesToCdFrames(static_cast<std::int64_t>(frames));
}

} // namespace vorlin
