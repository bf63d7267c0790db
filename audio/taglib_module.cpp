#include "audio/taglib_module.hpp"

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/tdebuglistener.h>
#include <taglib/tfilestream.h>
#include <taglib/trueaudiofile.h>
#include <taglib/wavpackfile.h>
#include <unistd.h>

#include <new>
#include <optional>

#include "audio/taglib_formats.hpp"

namespace {

using vorlin::TaglibFormat;

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

extern "C" __attribute__((visibility("default"))) int
vorlinTaglibSampleCount(int descriptor, int format, std::uint64_t* frames, int* rate) {
    *frames = 0;
    *rate = 0;
    // TagLib reads the very descriptor that was checked to be a regular file,
    // opened read-only, so nothing it does can write to the file.
    std::optional<TagLib::FileStream> stream;
    try {
        silenceTaglib();
        stream.emplace(descriptor, true); // takes the descriptor over once open
    } catch (...) {
        ::close(descriptor);
        return vorlinTaglibOutOfMemory;
    }
    if (!stream->isOpen()) {
        ::close(descriptor);
        return vorlinTaglibOpenFailed;
    }
    try {
        const SampleCount count = readCount(*stream, static_cast<TaglibFormat>(format));
        *frames = count.frames;
        *rate = count.rate;
    } catch (const std::bad_alloc&) {
        return vorlinTaglibOutOfMemory;
    } catch (...) {
        // Nothing crosses the module's edge: a file TagLib fails on is unparsed.
    }
    return vorlinTaglibRead;
}
