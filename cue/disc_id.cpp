#include "cue/disc_id.hpp"

#include <cstdio>
#include <cstdlib>

#include "cue/cue_time.hpp"

namespace vorlin {

std::uint32_t cddbDiscId(const std::vector<std::int64_t>& trackStarts, std::int64_t leadOut) {
    std::uint64_t digitSums = 0;
    for (std::int64_t start : trackStarts)
        for (std::uint64_t seconds = static_cast<std::uint64_t>(start / 75); seconds > 0;
             seconds /= 10)
            digitSums += seconds % 10;
    const std::uint64_t first =
        trackStarts.empty() ? 0 : static_cast<std::uint64_t>(trackStarts[0] / 75);
    const std::uint64_t playing = static_cast<std::uint64_t>(leadOut / 75) - first;
    return static_cast<std::uint32_t>((digitSums % 255) << 24 | playing << 8 | trackStarts.size());
}

namespace {

// The 8 hex digits of a line that is exactly "REM DISCID " and them.
std::optional<std::string> recordedDiscId(std::string_view line) {
    constexpr std::string_view prefix = "REM DISCID ";
    if (line.substr(0, prefix.size()) != prefix) return std::nullopt;
    line.remove_prefix(prefix.size());
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (line.size() != 8) return std::nullopt;
    for (char c : line)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return std::nullopt;
    return std::string(line);
}

} // namespace

void DiscIdCheck::addGap(CdFrames length, bool isPregap) {
    gaps_ += length;
    // A PREGAP moves its own track; a POSTGAP only the tracks after it.
    if (isPregap && !tracks_.empty()) tracks_.back().gapsBefore += length;
}

const char* DiscIdCheck::line(std::string_view text, std::uint64_t) {
    if (!recorded_) recorded_ = recordedDiscId(text);
    if (text.find("TRACK ") != std::string_view::npos) {
        tracks_.push_back({std::nullopt, gaps_});
        return nullptr;
    }
    for (const std::string_view gap : {"PREGAP ", "POSTGAP "}) {
        if (std::size_t at = text.find(gap); at != std::string_view::npos) {
            const CdFrames length = parseCueTime(text.substr(at + gap.size()));
            if (length < 0)
                unreadable_ = true;
            else
                addGap(length, gap == "PREGAP ");
            break;
        }
    }
    return nullptr;
}

const char* DiscIdCheck::audioFile(std::string_view, std::uint64_t, const AudioFile&,
                                   CdFrames start, CdFrames length) {
    audioEnd_ = start + length;
    return nullptr;
}

const char* DiscIdCheck::index(std::string_view head, CdFrames position, std::uint64_t) {
    // `head` ends with the INDEX number and its blank.
    const bool isIndex01 = head.substr(head.size() - 3, 2) == "01";
    if (isIndex01 && !tracks_.empty() && !tracks_.back().index01) tracks_.back().index01 = position;
    return nullptr;
}

const char* DiscIdCheck::pregap(std::string_view, CdFrames start, std::uint64_t) {
    // Before the range it is written as a PREGAP line; otherwise as an INDEX 00.
    if (start < 0) addGap(-start, true);
    return nullptr;
}

void DiscIdCheck::report() const {
    if (!recorded_ || unreadable_ || tracks_.empty()) return;
    std::vector<std::int64_t> starts;
    for (const Track& track : tracks_) {
        if (!track.index01) return;
        starts.push_back(*track.index01 + track.gapsBefore + 150);
    }
    const std::uint32_t id = cddbDiscId(starts, audioEnd_ + gaps_ + 150);
    const auto written = static_cast<std::uint32_t>(std::strtoul(recorded_->c_str(), nullptr, 16));
    if (id == written)
        std::printf("Disc ID %08x matches the sheet.\n", id);
    else
        std::printf("Disc ID %08x differs from the sheet's %s: a data track, or files or gaps "
                    "that differ from the disc.\n",
                    id, recorded_->c_str());
}

} // namespace vorlin
