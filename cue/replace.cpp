#include "cue/replace.hpp"

#include <string_view>

#include "platform/paths.hpp"

namespace vorlin {

namespace {

// The longest file name the usual Linux file systems take, in bytes.
constexpr std::size_t longestName = 255;
constexpr std::string_view temporarySuffix = ".vorlin-XXXXXX";

// The template of the temporary file for the sheet "DIR/NAME":
// "DIR/.NAME.vorlin-XXXXXX", hidden, so wildcard runs skip a left-over one,
// and saying whose it is. A long NAME is shortened so that the whole name
// fits; the cut does not split a UTF-8 character.
std::string temporaryTemplate(const std::string& cuePath) {
    const std::string directory = directoryOf(cuePath);
    std::string_view name = std::string_view(cuePath).substr(directory.size());
    const std::size_t room = longestName - 1 - temporarySuffix.size();
    if (name.size() > room) {
        std::size_t cut = room;
        // A character has at most three continuation bytes (10xxxxxx).
        for (int back = 0; back < 3 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80;
             ++back)
            --cut;
        name = name.substr(0, cut);
    }
    std::string result = directory;
    result += '.';
    result += name;
    result += temporarySuffix;
    return result;
}

} // namespace

Problem replaceCue(platform::OpenedSheet& sheet, const NewSheet& lines) {
    // Through a symbolic link, the sheet it finally points to is replaced,
    // written beside itself; the link stays as it is.
    const platform::Replaced replaced = platform::replaceSheet(
        sheet, temporaryTemplate(sheet.name), [&](int fd) { return lines.writeTo(fd); });
    switch (replaced) {
    case platform::Replaced::done:
        return Problem::none;
    case platform::Replaced::notCreated:
        return Problem::notCreated;
    case platform::Replaced::changed:
        return Problem::sheetChanged;
    case platform::Replaced::notWritten:
        break;
    }
    return Problem::notWritten;
}

} // namespace vorlin
