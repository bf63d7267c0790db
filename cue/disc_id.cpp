#include "cue/disc_id.hpp"

#include <cstdlib>

#include "cue/cue_reader.hpp"
#include "cue/cue_time.hpp"
#include "cue/sheet_lines.hpp"
#include "cue/sheet_writers.hpp"

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

void DiscIdCheck::startTrack() {
    Track track;
    track.gapsBefore = gaps_;
    track.lineGapsBefore = lineGaps_;
    tracks_.push_back(track);
}

void DiscIdCheck::addGap(CdFrames length, bool isPregap, bool isLine) {
    gaps_ += length;
    if (isLine) lineGaps_ += length;
    // A PREGAP moves its own track; a POSTGAP only the tracks after it.
    if (isPregap && !tracks_.empty()) {
        tracks_.back().gapsBefore += length;
        if (isLine) tracks_.back().lineGapsBefore += length;
    }
}

Problem DiscIdCheck::line(std::string_view text, std::uint64_t) {
    const SheetLine line = readSheetLine(text);
    if (!recorded_ && !line.discId.empty()) recorded_ = std::string(line.discId);
    // Every line holding "TRACK " starts a track, a FILE line too.
    if (line.holdsTrack()) startTrack();
    if (line.holdsIndex()) {
        // Kept as written under a data file: its time does not count in the range.
        if (!line.isFile() && line.number == "01" && !tracks_.empty() &&
            !tracks_.back().seenIndex01)
            tracks_.back().seenIndex01 = true;
        return Problem::none;
    }
    if (line.holdsTrack()) return Problem::none;
    // The first PREGAP, or else the first POSTGAP (SheetLine looks for no
    // POSTGAP after a PREGAP), a FILE line's too.
    const bool isPregap = line.pregap != SheetLine::none;
    if (!isPregap && line.postgap == SheetLine::none) return Problem::none;
    const std::size_t at = isPregap ? line.pregap + 7 : line.postgap + 8;
    if (const CdFrames length = parseCueTime(line.text.substr(at)); length < 0)
        unreadable_ = true;
    else
        addGap(length, isPregap, true);
    return Problem::none;
}

Problem DiscIdCheck::audioFile(const FileLine&, std::uint64_t, const AudioFile&, CdFrames start,
                               CdFrames length) {
    if (audioFiles_ < 2) ++audioFiles_;
    audioEnd_ = start + length;
    return Problem::none;
}

Problem DiscIdCheck::indexAsWritten(const IndexLine& index, CdFrames position) {
    // A line holding "TRACK " starts a track, and its INDEX belongs to it.
    if (index.holdsTrack) startTrack();
    index01Pending_ = false;
    if (index.number == "01" && !tracks_.empty() && !tracks_.back().seenIndex01) {
        Track& track = tracks_.back();
        track.seenIndex01 = track.inRange = true;
        track.index01AsWritten = position;
        index01Pending_ = true;
    }
    return Problem::none;
}

Problem DiscIdCheck::index(const IndexLine&, CdFrames position, std::uint64_t) {
    if (index01Pending_) tracks_.back().index01 = position;
    index01Pending_ = false;
    return Problem::none;
}

Problem DiscIdCheck::pregap(std::string_view, CdFrames start, std::uint64_t) {
    if (audioFiles_ == 1) firstFilePregap_ = true;
    // Before the range it is written as a PREGAP line; otherwise as an INDEX 00.
    if (start < 0) addGap(-start, true, false);
    return Problem::none;
}

std::uint32_t DiscIdCheck::discId(bool asWritten) const {
    std::vector<std::int64_t> starts;
    for (const Track& track : tracks_)
        starts.push_back(asWritten ? track.index01AsWritten + track.lineGapsBefore + 150
                                   : track.index01 + track.gapsBefore + 150);
    return cddbDiscId(starts, audioEnd_ + (asWritten ? lineGaps_ : gaps_) + 150);
}

DiscIdReport DiscIdCheck::report(bool newOnly) const {
    if (!recorded_ || unreadable_ || tracks_.empty()) return {};
    for (const Track& track : tracks_)
        if (!track.inRange) return {};
    const std::uint32_t id = discId(false);
    const auto written = static_cast<std::uint32_t>(std::strtoul(recorded_->c_str(), nullptr, 16));
    const bool oldMatches = !newOnly && discId(true) == written;
    if (id == written && oldMatches) return {DiscIdVerdict::matchesBoth, id, *recorded_};
    if (oldMatches) return {DiscIdVerdict::matchesOld, written, *recorded_};
    if (id == written) return {DiscIdVerdict::matchesNew, id, *recorded_};
    return {DiscIdVerdict::differs, id, *recorded_};
}

namespace {

// One reading of the sheet: the walk into a writer of the layout asked for
// and a disc ID check.
Outcome readSheet(CueReader& reader, AudioSource& audio, NewSheet& list, bool perFile,
                  DiscIdCheck& discId, bool keepFirstPregap) {
    std::unique_ptr<WalkSink> writer;
    if (perFile)
        writer = std::make_unique<PerFileWriter>(list);
    else
        writer = std::make_unique<RangeWriter>(list);
    SinkPair sinks(*writer, discId);
    return walkCue(reader, audio, sinks, keepFirstPregap);
}

} // namespace

Outcome rewriteWithDiscId(CueReader& reader,
                          const std::function<std::unique_ptr<CueReader>()>& readAgain,
                          AudioSource& audio, NewSheet& list, const RewriteOptions& options,
                          DiscIdReport& report) {
    report = {};
    const NewSheet empty = list; // the settings, for a second reading
    RememberedAudio remembered(audio);
    DiscIdCheck discId;
    Outcome outcome = readSheet(reader, remembered, list, options.perFile, discId, false);
    if (!outcome.ok()) return outcome;
    report = discId.report(options.force);
    if (options.force || report.verdict != DiscIdVerdict::differs ||
        !discId.firstFileOpensWithIndex00())
        return outcome;
    const std::unique_ptr<CueReader> again = readAgain();
    if (!again) return outcome;
    NewSheet alternative = empty;
    DiscIdCheck alternativeId;
    remembered.replay();
    if (!readSheet(*again, remembered, alternative, options.perFile, alternativeId, true).ok())
        return outcome;
    const DiscIdReport found = alternativeId.report(true);
    if (found.verdict != DiscIdVerdict::matchesNew) return outcome;
    list = std::move(alternative);
    report = {DiscIdVerdict::matchesFirstPregap, found.id, found.recorded};
    return outcome;
}

} // namespace vorlin
