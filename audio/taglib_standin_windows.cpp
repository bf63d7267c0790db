// The Windows build has no TagLib module: WavPack, Monkey's Audio, TTA and
// AIFF files are opened and refused as an unrecognized format there.
#include <cstdio>

#include "audio/taglib_formats.hpp"
#include "platform/platform.hpp"

namespace vorlin {

std::optional<TaglibFormat> taglibFormatOf(std::string_view extension) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    std::string name;
    for (const char c : extension) name += lower(c);
    if (name == ".flac") return TaglibFormat::flac;
    if (name == ".wv") return TaglibFormat::wavPack;
    if (name == ".ape") return TaglibFormat::monkeysAudio;
    if (name == ".tta") return TaglibFormat::trueAudio;
    if (name == ".aiff" || name == ".aif") return TaglibFormat::aiff;
    return std::nullopt;
}

CdFrames taglibLengthFrames(const std::string& path, TaglibFormat /*format*/) {
    const int fd = platform::openForReading(path, true);
    if (fd < 0) {
        std::printf("'%s': file open failed\n", path.c_str());
        return 0;
    }
    platform::closeFile(fd);
    std::printf("'%s': unrecognized format\n", path.c_str());
    return 0;
}

} // namespace vorlin
