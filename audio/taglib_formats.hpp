// Formats whose headers record their length in sample frames, read through
// TagLib: WavPack, Monkey's Audio, TTA and AIFF, and FLAC, which the tool
// measures with its own reader (audio/flac.hpp) and the tests compare with
// TagLib's. TagLib is in a module the tool loads when first needed
// (audio/taglib_module.hpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "audio/length.hpp"

namespace vorlin {

enum class TaglibFormat { flac, wavPack, monkeysAudio, trueAudio, aiff };

// The format an extension stands for (".flac", ".wv", ".ape", ".tta", ".aiff",
// ".aif", any letter case), or nothing for any other extension.
std::optional<TaglibFormat> taglibFormatOf(std::string_view extension);

// Measures `path`, read as `format` whatever its content, from the number of
// sample frames its header records; the audio itself is not read. Prints
// "file open failed" for a file that is missing or not regular, and
// "unrecognized format" when TagLib cannot parse it, the count is 0 or the
// declared rate is below 8000 Hz (a misread header); both give 0. When the
// module cannot be loaded, that is said once on standard error, and every
// such file is unrecognized.
CdFrames taglibLengthFrames(const std::string& path, TaglibFormat format);

} // namespace vorlin
