#include "tests/taglib_reference.hpp"

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/tdebuglistener.h>
#include <taglib/tfilestream.h>
#include <taglib/trueaudiofile.h>
#include <taglib/wavpackfile.h>
#include <unistd.h>

#include <cstdio>

namespace vorlin::test {

namespace {

// TagLib reports what it cannot parse through a debug listener; the tests
// compare verdicts instead.
class SilentListener final : public TagLib::DebugListener {
  public:
    void printMessage(const TagLib::String& /*message*/) override {}
};

struct Count {
    std::uint64_t frames = 0;
    int rate = 0;
};

template <class File, class... Options>
Count readCount(TagLib::IOStream& stream, Options... options) {
    File file(&stream, options..., true, TagLib::AudioProperties::Accurate);
    const auto* properties = file.isValid() ? file.audioProperties() : nullptr;
    if (!properties) return {};
    return {properties->sampleFrames(), properties->sampleRate()};
}

Count readCount(TagLib::IOStream& stream, FormatId format) {
    switch (format) {
    case FormatId::flac:
        return readCount<TagLib::FLAC::File>(stream, TagLib::ID3v2::FrameFactory::instance());
    case FormatId::wavPack:
        return readCount<TagLib::WavPack::File>(stream);
    case FormatId::monkeysAudio:
        return readCount<TagLib::APE::File>(stream);
    case FormatId::trueAudio:
        return readCount<TagLib::TrueAudio::File>(stream);
    case FormatId::aiff:
        return readCount<TagLib::RIFF::AIFF::File>(stream);
    case FormatId::wav:
    case FormatId::musepack:
        break;
    }
    return {};
}

} // namespace

CdFrames taglibLengthFrames(const std::string& path, FormatId format) {
    static SilentListener listener;
    TagLib::setDebugListener(&listener);
    const int descriptor = openRegularDescriptor(path);
    if (descriptor < 0) {
        std::printf("'%s': file open failed\n", path.c_str());
        return 0;
    }
    Count count;
    {
        // Takes the descriptor over once open.
        TagLib::FileStream stream(descriptor, true);
        if (stream.isOpen())
            count = readCount(stream, format);
        else
            ::close(descriptor);
    }
    if (count.frames == 0 || count.rate < 8000) {
        std::printf("'%s': unrecognized format\n", path.c_str());
        return 0;
    }
    return samplesToCdFrames(static_cast<std::int64_t>(count.frames));
}

} // namespace vorlin::test
