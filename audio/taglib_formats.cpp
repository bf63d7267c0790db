#include "audio/taglib_formats.hpp"

#include <strings.h>
#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/tdebuglistener.h>
#include <taglib/tfilestream.h>
#include <taglib/trueaudiofile.h>
#include <taglib/wavpackfile.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

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

// TagLib reports what it cannot parse through a debug listener; the measurer
// reports for itself.
class SilentListener final : public TagLib::DebugListener {
  public:
    void printMessage(const TagLib::String& /*message*/) override {}
};

void silenceTaglib() {
    static SilentListener listener;
    static const bool installed = (TagLib::setDebugListener(&listener), true);
    (void)installed;
}

struct SampleCount {
    std::uint64_t frames = 0;
    int rate = 0;
};

template <class File, class... Options>
SampleCount readCount(TagLib::IOStream& stream, Options... options) {
    File file(&stream, options..., true, TagLib::AudioProperties::Accurate);
    const auto* properties = file.isValid() ? file.audioProperties() : nullptr;
    if (!properties) return {};
    return {properties->sampleFrames(), properties->sampleRate()};
}

SampleCount readCount(TagLib::IOStream& stream, TaglibFormat format) {
    switch (format) {
    case TaglibFormat::flac:
        return readCount<TagLib::FLAC::File>(stream, TagLib::ID3v2::FrameFactory::instance());
    case TaglibFormat::wavPack:
        return readCount<TagLib::WavPack::File>(stream);
    case TaglibFormat::monkeysAudio:
        return readCount<TagLib::APE::File>(stream);
    case TaglibFormat::trueAudio:
        return readCount<TagLib::TrueAudio::File>(stream);
    case TaglibFormat::aiff:
        return readCount<TagLib::RIFF::AIFF::File>(stream);
    }
    return {};
}

} // namespace

CdFrames taglibLengthFrames(const std::string& path, TaglibFormat format) {
    // TagLib reads the very descriptor that was checked to be a regular file,
    // opened read-only, so nothing it does can write to the file.
    const int descriptor = openRegularDescriptor(path);
    if (descriptor < 0) {
        std::printf("'%s': file open failed\n", path.c_str());
        return 0;
    }
    silenceTaglib();
    SampleCount count;
    {
        std::optional<TagLib::FileStream> stream;
        try {
            stream.emplace(descriptor, true); // takes the descriptor over once open
        } catch (...) {
            ::close(descriptor);
            throw;
        }
        if (!stream->isOpen()) {
            ::close(descriptor);
            std::printf("'%s': file open failed\n", path.c_str());
            return 0;
        }
        count = readCount(*stream, format);
    }
    if (count.frames == 0 || count.rate < minimumSampleRate) {
        std::printf("'%s': unrecognized format\n", path.c_str());
        return 0;
    }
    return samplesToCdFrames(static_cast<std::int64_t>(count.frames));
}

} // namespace vorlin
