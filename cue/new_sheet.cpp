#include "cue/new_sheet.hpp"

#include <new>

#include "cue/text_encoding.hpp"
#include "platform/platform.hpp"

namespace vorlin {

bool NewSheet::append(std::string_view text, std::uint64_t origin) {
    const std::size_t before = text_.size();
    try {
        // Grows geometrically: appending stays linear overall.
        if (text_.empty() && form_.utf8Mark) text_.append("\xEF\xBB\xBF");
        if (form_.crlf) {
            for (std::size_t lf; (lf = text.find('\n')) != std::string_view::npos;) {
                text_.append(text.substr(0, lf));
                text_.append("\r\n");
                text.remove_prefix(lf + 1);
            }
        }
        text_.append(text);
        if (keepOrigins_) {
            // Lines skipped since the last text produced none.
            if (origin >= lineEnds_.size()) lineEnds_.resize(origin + 1, before);
            lineEnds_.back() = text_.size();
        }
    } catch (const std::bad_alloc&) {
        text_.resize(before); // the list stays as it was
        return false;
    }
    ++count_;
    return true;
}

bool NewSheet::writes(std::string_view bytes) const {
    if (count_ == 0) return false;
    if (form_.utf16 != Utf16::none)
        return utf8ToUtf16(text_, form_.utf16 == Utf16::bigEndian) == bytes;
    return text_ == bytes;
}

bool NewSheet::writeTo(int fd) const {
    if (count_ == 0) return false;
    std::string encoded;
    if (form_.utf16 != Utf16::none) {
        try {
            encoded = utf8ToUtf16(text_, form_.utf16 == Utf16::bigEndian);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    const std::string& bytes = form_.utf16 != Utf16::none ? encoded : text_;
    return platform::writeAll(fd, bytes);
}

} // namespace vorlin
