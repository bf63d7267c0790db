// The audio formats the tool measures, one entry each: the extensions that
// name it, its measurer and its name. The measuring dispatch
// (audioLengthFrames), the audio lookup's extensions and the fuzzer's choice
// of format all read this table: a new format is one more entry and its
// measurer.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "audio/length.hpp"

namespace vorlin {

enum class FormatId { wav, musepack, flac, wavPack, monkeysAudio, trueAudio, aiff };

struct AudioFormat {
    FormatId id;
    std::string_view name;
    // Lower case, each with its '.'; the lookup tries them in this order.
    std::span<const std::string_view> extensions;
    // Measures the file at a path, read as this format whatever its content.
    AudioLength (*measure)(const std::string& path);
};

// Every format, in the order the audio lookup tries their extensions when a
// FILE line's own is not found: .wav; .mpc, .mp+; .flac; .wv; .ape; .tta;
// .aiff, .aif, .aifc.
std::span<const AudioFormat> audioFormats();

// The format `extension` (with its '.', ASCII letters in either case) names,
// or nullptr.
const AudioFormat* audioFormatOf(std::string_view extension);

} // namespace vorlin
