#include "cue/sheet_writers.hpp"

#include <cstdint>
#include <optional>

#include "cue/cue_time.hpp"
#include "cue/text_encoding.hpp"

namespace vorlin {

namespace {

constexpr const char* outOfMemory = "Fixing failed, insufficient memory.\n";

std::string pregapLine(CdFrames length) {
    return "    PREGAP " + formatCueTime(length); // four blanks, whatever the indentation
}

} // namespace

const char* RangeWriter::line(std::string_view text, std::uint64_t origin) {
    if (sawFile_ && isFileLine(text)) dataAfterRange_ = true; // only audio ones go to audioFile
    return list_.append(text, origin) ? nullptr : outOfMemory;
}

const char* RangeWriter::audioFile(std::string_view, std::uint64_t origin, const AudioFile&,
                                   CdFrames, CdFrames) {
    // Its tracks would land under the data file's line.
    if (dataAfterRange_) return "Fixing failed, invalid cue.\n";
    if (sawFile_) return nullptr; // the range stands for every file
    sawFile_ = true;
    return list_.append("FILE \"Range.wav\" WAVE\n", origin) ? nullptr : outOfMemory;
}

const char* RangeWriter::index(std::string_view head, CdFrames position, std::uint64_t origin) {
    return line(std::string(head) + formatCueTime(position), origin);
}

const char* RangeWriter::pregap(std::string_view head, CdFrames start, std::uint64_t origin) {
    if (start < 0) return line(pregapLine(-start), origin);
    return index(head, start, origin);
}

const char* PerFileWriter::append(std::string_view text, std::uint64_t origin) {
    lastOrigin_ = origin;
    if (isFileLine(text)) dataLast_ = true; // writeFile() says otherwise for audio ones
    return list_.append(text, origin) ? nullptr : outOfMemory;
}

const char* PerFileWriter::line(std::string_view text, std::uint64_t origin) {
    if (!held_.empty()) {
        held_.push_back({false, std::string(text), 0, origin});
        return nullptr;
    }
    return append(text, origin);
}

const char* PerFileWriter::audioFile(std::string_view text, std::uint64_t origin,
                                     const AudioFile& file, CdFrames start, CdFrames) {
    if (file.name.find('"') != std::string::npos) return "Fixing failed, invalid cue.\n";
    std::string_view name, rest;
    fileLineName(text, name, rest); // the walk has read it already
    // A name found by reading the sheet's bytes in a code page goes back in
    // that code page, like every other line of the sheet.
    std::string written = file.name;
    if (file.codePage)
        if (std::optional<std::string> encoded = utf8ToCodePage(file.name, file.codePage))
            written = std::move(*encoded);
    Held line{true, "FILE \"" + written + "\"" + std::string(rest), start, origin};
    if (!sawFile_) {
        sawFile_ = true;
        return writeFile(line, origin); // the first stays where it is
    }
    held_.push_back(std::move(line));
    return nullptr;
}

const char* PerFileWriter::writeFile(const Held& file, std::uint64_t origin) {
    // A FILE line is written where it may begin a line of its own.
    if (list_.count() > 0 && !list_.endsLine())
        if (const char* failure = append("\n", origin)) return failure;
    lastStart_ = file.start;
    const char* failure = append(file.text, origin);
    dataLast_ = false;
    return failure;
}

const char* PerFileWriter::writeWaiting(CdFrames upTo, std::uint64_t origin) {
    std::size_t written = 0;
    for (; written < waiting_.size() && waiting_[written].start <= upTo; ++written)
        if (const char* failure = writeFile(waiting_[written], origin)) return failure;
    waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(written));
    return nullptr;
}

const char* PerFileWriter::reachIndex(CdFrames position, std::uint64_t origin) {
    // A held FILE line stays where it is when this INDEX lies in its file or
    // later; otherwise the lines after it come first and it waits.
    std::vector<Held> held = std::move(held_);
    held_.clear();
    for (const Held& item : held) {
        const char* failure = nullptr;
        if (!item.isFile) {
            failure = append(item.text, item.origin);
        } else if (position >= item.start) {
            failure = writeWaiting(item.start, item.origin);
            if (!failure) failure = writeFile(item, item.origin);
        } else {
            waiting_.push_back(item);
        }
        if (failure) return failure;
    }
    return writeWaiting(position, origin);
}

const char* PerFileWriter::index(std::string_view head, CdFrames position, std::uint64_t origin) {
    if (const char* failure = reachIndex(position, origin)) return failure;
    // Under a data file's line no time in the audio files can be written.
    if (position < lastStart_ || dataLast_)
        return "Fixing failed, error with INDEX conversion (7)\n";
    return append(std::string(head) + formatCueTime(position - lastStart_), origin);
}

const char* PerFileWriter::pregap(std::string_view head, CdFrames start, std::uint64_t origin) {
    if (start >= 0) return index(head, start, origin);
    if (const char* failure = reachIndex(start, origin)) return failure;
    return append(pregapLine(-start), origin);
}

const char* PerFileWriter::finish() {
    // FILE lines that no INDEX followed stay where they are; the waiting
    // ones close the sheet.
    const std::uint64_t end = held_.empty() ? lastOrigin_ : held_.back().origin;
    return reachIndex(INT64_MAX, end);
}

} // namespace vorlin
