// The text forms cue sheets come in: UTF-8 (with or without a byte-order
// mark), UTF-16 of either byte order, and names written in Windows code pages.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vorlin {

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUtf8(std::string_view text);

// Decodes UTF-16 code units (the mark already taken off) to UTF-8. Nothing
// when the byte count is odd or a surrogate stands unpaired.
std::optional<std::string> utf16ToUtf8(std::string_view bytes, bool bigEndian);

// Encodes UTF-8 text as UTF-16 of the given byte order, behind its mark.
// Bytes that are not part of a well-formed sequence become U+FFFD each.
std::string utf8ToUtf16(std::string_view text, bool bigEndian);

// The Windows code pages a file name may have been written in, in the order
// they are tried.
inline constexpr const char* windowsCodePages[] = {"CP1252", "CP1251", "CP1250", "CP1253", "CP1254",
                                                   "CP1257", "CP932",  "CP936",  "CP949",  "CP950"};

// `text` read as `codePage` and converted to UTF-8; nothing when the code
// page has no character for some byte.
std::optional<std::string> codePageToUtf8(std::string_view text, const char* codePage);

// UTF-8 `text` written in `codePage`; nothing when the code page has no
// character for some of it.
std::optional<std::string> utf8ToCodePage(std::string_view text, const char* codePage);

} // namespace vorlin
