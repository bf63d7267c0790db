#include "cue/sheet_writers.hpp"

#include <cstdint>
#include <optional>

#include "cue/cue_time.hpp"
#include "cue/sheet_lines.hpp"
#include "cue/text_encoding.hpp"

namespace vorlin {

namespace {

Problem appended(bool fits) {
    return fits ? Problem::none : Problem::outOfMemory;
}

std::string pregapLine(CdFrames length) {
    return "    PREGAP " + formatCueTime(length); // four blanks, whatever the indentation
}

} // namespace

Problem RangeWriter::line(std::string_view text, std::uint64_t origin) {
    if (sawFile_ && isFileLine(text)) dataAfterRange_ = true; // only audio ones go to audioFile
    return appended(list_.append(text, origin));
}

Problem RangeWriter::audioFile(const FileLine&, std::uint64_t origin, const AudioFile&, CdFrames,
                               CdFrames) {
    // Its tracks would land under the data file's line.
    if (dataAfterRange_) return Problem::invalidSheet;
    if (sawFile_) return Problem::none; // the range stands for every file
    sawFile_ = true;
    return appended(list_.append("FILE \"Range.wav\" WAVE\n", origin));
}

Problem RangeWriter::index(const IndexLine& index, CdFrames position, std::uint64_t origin) {
    return line(std::string(index.head) + formatCueTime(position), origin);
}

Problem RangeWriter::pregap(std::string_view head, CdFrames start, std::uint64_t origin) {
    if (start < 0) return line(pregapLine(-start), origin);
    return line(std::string(head) + formatCueTime(start), origin);
}

Problem PerFileWriter::append(std::string_view text, std::uint64_t origin) {
    lastOrigin_ = origin;
    if (isFileLine(text)) dataLast_ = true; // writeFile() says otherwise for audio ones
    return appended(list_.append(text, origin));
}

Problem PerFileWriter::line(std::string_view text, std::uint64_t origin) {
    if (!held_.empty()) {
        held_.push_back({false, std::string(text), 0, origin});
        return Problem::none;
    }
    return append(text, origin);
}

Problem PerFileWriter::audioFile(const FileLine& fileLine, std::uint64_t origin,
                                 const AudioFile& file, CdFrames start, CdFrames) {
    if (file.name.find('"') != std::string::npos) return Problem::invalidSheet;
    // A name found by reading the sheet's bytes in a code page goes back in
    // that code page, like every other line of the sheet.
    std::string written = file.name;
    if (file.codePage)
        if (std::optional<std::string> encoded = utf8ToCodePage(file.name, file.codePage))
            written = std::move(*encoded);
    Held line{true, "FILE \"" + written + "\"" + std::string(fileLine.rest), start, origin};
    if (!sawFile_) {
        sawFile_ = true;
        return writeFile(line, origin); // the first stays where it is
    }
    held_.push_back(std::move(line));
    return Problem::none;
}

Problem PerFileWriter::writeFile(const Held& file, std::uint64_t origin) {
    // A FILE line is written where it may begin a line of its own.
    if (list_.count() > 0 && !list_.endsLine())
        if (Problem problem = append("\n", origin); problem != Problem::none) return problem;
    lastStart_ = file.start;
    const Problem problem = append(file.text, origin);
    dataLast_ = false;
    return problem;
}

Problem PerFileWriter::writeWaiting(CdFrames upTo, std::uint64_t origin) {
    std::size_t written = 0;
    for (; written < waiting_.size() && waiting_[written].start <= upTo; ++written)
        if (Problem problem = writeFile(waiting_[written], origin); problem != Problem::none)
            return problem;
    waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(written));
    return Problem::none;
}

Problem PerFileWriter::reachIndex(CdFrames position, std::uint64_t origin) {
    // A held FILE line stays where it is when this INDEX lies in its file or
    // later; otherwise the lines after it come first and it waits.
    std::vector<Held> held = std::move(held_);
    held_.clear();
    for (const Held& item : held) {
        Problem problem = Problem::none;
        if (!item.isFile) {
            problem = append(item.text, item.origin);
        } else if (position >= item.start) {
            problem = writeWaiting(item.start, item.origin);
            if (problem == Problem::none) problem = writeFile(item, item.origin);
        } else {
            waiting_.push_back(item);
        }
        if (problem != Problem::none) return problem;
    }
    return writeWaiting(position, origin);
}

Problem PerFileWriter::writeIndex(std::string_view head, CdFrames position, std::uint64_t origin) {
    if (Problem problem = reachIndex(position, origin); problem != Problem::none) return problem;
    // Under a data file's line no time in the audio files can be written.
    if (position < lastStart_ || dataLast_) return Problem::negativePosition;
    return append(std::string(head) + formatCueTime(position - lastStart_), origin);
}

Problem PerFileWriter::index(const IndexLine& index, CdFrames position, std::uint64_t origin) {
    return writeIndex(index.head, position, origin);
}

Problem PerFileWriter::pregap(std::string_view head, CdFrames start, std::uint64_t origin) {
    if (start >= 0) return writeIndex(head, start, origin);
    if (Problem problem = reachIndex(start, origin); problem != Problem::none) return problem;
    return append(pregapLine(-start), origin);
}

Problem PerFileWriter::finish() {
    // FILE lines that no INDEX followed stay where they are; the waiting
    // ones close the sheet.
    const std::uint64_t end = held_.empty() ? lastOrigin_ : held_.back().origin;
    return reachIndex(INT64_MAX, end);
}

} // namespace vorlin
