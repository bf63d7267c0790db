#include "audio/formats.hpp"

#include <algorithm>

#include "audio/flac.hpp"
#include "audio/header_formats.hpp"
#include "mpc/mpc_length.hpp"

namespace vorlin {

namespace {

AudioLength musepackLengthFrames(const std::string& path) {
    return mpcLengthFrames(openRegularFile(path));
}

constexpr std::string_view wavExtensions[] = {".wav"};
constexpr std::string_view musepackExtensions[] = {".mpc", ".mp+"};
constexpr std::string_view flacExtensions[] = {".flac"};
constexpr std::string_view wavPackExtensions[] = {".wv"};
constexpr std::string_view monkeysAudioExtensions[] = {".ape"};
constexpr std::string_view trueAudioExtensions[] = {".tta"};
constexpr std::string_view aiffExtensions[] = {".aiff", ".aif", ".aifc"};

constexpr AudioFormat formats[] = {
    {FormatId::wav, "WAV", wavExtensions, wavLengthFrames},
    {FormatId::musepack, "Musepack", musepackExtensions, musepackLengthFrames},
    {FormatId::flac, "FLAC", flacExtensions, flacLengthFrames},
    {FormatId::wavPack, "WavPack", wavPackExtensions, wavPackLengthFrames},
    {FormatId::monkeysAudio, "Monkey's Audio", monkeysAudioExtensions, monkeysAudioLengthFrames},
    {FormatId::trueAudio, "TTA", trueAudioExtensions, trueAudioLengthFrames},
    {FormatId::aiff, "AIFF", aiffExtensions, aiffLengthFrames},
};

} // namespace

std::span<const AudioFormat> audioFormats() {
    return formats;
}

const AudioFormat* audioFormatOf(std::string_view extension) {
    const auto sameLetters = [&](std::string_view listed) { // `listed` is lower case
        return std::equal(extension.begin(), extension.end(), listed.begin(), listed.end(),
                          [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a + 32 : a) == b; });
    };
    for (const AudioFormat& format : formats)
        if (std::any_of(format.extensions.begin(), format.extensions.end(), sameLetters))
            return &format;
    return nullptr;
}

} // namespace vorlin
