#include "cue/classify.hpp"

#include <new>

#include "cue/cue_reader.hpp"
#include "cue/sheet_lines.hpp"

namespace vorlin {

namespace {

Classified refused(Problem problem, const std::string& path) {
    return {Verdict::refused, {problem, path}};
}

Classified noFixNeeded(Problem problem, const std::string& path) {
    return {Verdict::noFixNeeded, {problem, path}};
}

Classified classify(const std::string& path, CueReader& reader) {
    if (!reader.isOpen()) return refused(Problem::sheetOpenFailed, path);
    unsigned fileCount = 0;
    int state = -1; // -1 before any audio FILE line, 0 after one, 1 after TRACK, 2 after INDEX
    bool noGaps = true;
    bool nonCompliant = false;
    bool fileOpens = false;    // the next INDEX line is the first of an audio file
    bool opensWithGap = false; // some audio file's first INDEX line is an INDEX 00
    SheetLines lines(reader);
    SheetLine line;
    while (lines.next(line)) {
        const bool audioFile = line.kind == LineKind::audioFile;
        // A file of another type (data) ends the audio file before it.
        const bool dataFile = line.kind == LineKind::otherFile;
        if (dataFile) fileOpens = false;
        // Not the walk's order: TRACK before INDEX, and an other FILE line
        // counts by the keywords it holds.
        if (audioFile) {
            ++fileCount;
            state = 0;
            fileOpens = true;
        } else if (line.holdsTrack()) {
            state = 1;
        } else if (line.holdsIndex()) {
            if (line.index00Spaced()) noGaps = false;
            if (state == 0) nonCompliant = true; // the track began in the previous file
            state = 2;
        }
        // The first INDEX line of an audio file, as the rewrite finds it
        // (its number alone, with or without a blank after it).
        if (line.holdsIndex() && !audioFile && !dataFile && fileOpens) {
            if (line.number == "00") opensWithGap = true;
            fileOpens = false;
        }
    }
    if (!reader.decodes()) return refused(Problem::notValidSheet, path);
    if (reader.failed()) return refused(Problem::sheetReadFailed, path);
    if (fileCount == 0) return refused(Problem::notValidSheet, path);
    // Its pregaps already sit where their audio is.
    if (nonCompliant) return noFixNeeded(Problem::nonCompliant, path);
    if (fileCount == 1) return noFixNeeded(Problem::onlyOneAudioFile, path);
    if (noGaps) return noFixNeeded(Problem::noGaps, path);
    // Its pregaps lie inside or at the end of a file already: nothing to move.
    if (!opensWithGap) return noFixNeeded(Problem::nonCompliant, path);
    return {Verdict::needsFixing, {}};
}

} // namespace

Classified classifyCue(const std::string& path) {
    try {
        CueReader reader(path); // a UTF-16 sheet is decoded whole: it may run out of memory
        return classify(path, reader);
    } catch (const std::bad_alloc&) {
        return refused(Problem::sheetOutOfMemory, path);
    }
}

Classified classifyCue(const std::string& path, SheetBytes sheet) {
    try {
        CueReader reader(sheet); // a UTF-16 sheet is decoded whole: it may run out of memory
        return classify(path, reader);
    } catch (const std::bad_alloc&) {
        return refused(Problem::sheetOutOfMemory, path);
    }
}

} // namespace vorlin
