#include "cue/fix_cue.hpp"

#include <cstdio>
#include <memory>
#include <new>

#include "cue/classify.hpp"
#include "cue/cue_reader.hpp"
#include "cue/cue_walk.hpp"
#include "cue/disc_id.hpp"
#include "cue/messages.hpp"
#include "cue/new_sheet.hpp"
#include "cue/replace.hpp"
#include "cue/sheet_diff.hpp"
#include "cue/sheet_writers.hpp"
#include "platform/platform.hpp"

namespace vorlin {

int exitValue(SheetResult result) {
    switch (result) {
    case SheetResult::fixed:
    case SheetResult::unchanged:
        return 0;
    case SheetResult::failed:
        return 1;
    case SheetResult::refused:
        return -1;
    }
    return -1;
}

namespace {

// Whether a problem's message names the sheet itself.
bool namesTheSheet(Problem problem) {
    switch (problem) {
    case Problem::sheetOpenFailed:
    case Problem::notValidSheet:
    case Problem::nonCompliant:
    case Problem::onlyOneAudioFile:
    case Problem::noGaps:
    case Problem::sheetReadOnly:
    case Problem::sheetReadFailed:
    case Problem::foreignLink:
    case Problem::sheetChanged:
        return true;
    default:
        return false;
    }
}

// Prints `problem` about the sheet at `path` (or about the audio file the
// outcome names, even when that name is empty) and gives `result`.
SheetResult report(const Outcome& outcome, const std::string& path, SheetResult result) {
    printOutcome(namesTheSheet(outcome.problem) ? Outcome{outcome.problem, path} : outcome);
    return result;
}

// Walks the whole sheet, writing its new text into `list` in the layout
// asked for, and checks the disc ID, whose verdict it prints. `sheet` is the
// text `reader` reads: a second reading (the first track's pregap in its
// file) reads it again. `leaveAlone` is set when
// the disc ID shows the sheet right as it stands (never with `force`).
Outcome rewriteSheet(const std::string& path, CueReader& reader, std::string_view sheet,
                     NewSheet& list, const FixOptions& options, bool& leaveAlone) {
    FolderAudio audio(path);
    DiscIdReport found;
    const auto readAgain = [sheet] { return std::make_unique<CueReader>(SheetBytes{sheet}); };
    Outcome outcome = rewriteWithDiscId(reader, readAgain, audio, list,
                                        RewriteOptions{options.perFile, options.force}, found);
    if (outcome.ok()) {
        printDiscId(found);
        leaveAlone = found.verdict == DiscIdVerdict::matchesOld;
    }
    return outcome;
}

// Where a real run replaces the sheet, a dry run shows the change instead. It
// fails where the replacement would fail whatever the file system: on an
// empty new sheet.
SheetResult showChange(const std::string& path, std::string_view oldSheet, const NewSheet& list) {
    if (list.count() == 0) return report({Problem::notWritten, {}}, path, SheetResult::refused);
    try {
        writeSheetDiff(stdout, path, oldSheet, list);
    } catch (const std::bad_alloc&) { // thrown before anything is written
        return report({Problem::outOfMemory, {}}, path, SheetResult::failed);
    }
    printNotWritten();
    return SheetResult::fixed;
}

// Opens the sheet once and reads it whole, before any audio file is
// measured: what is checked, rewritten and compared is that one copy.
Problem openAndRead(const std::string& path, platform::OpenedSheet& sheet) {
    switch (platform::openSheet(path, sheet)) {
    case platform::SheetOpened::ok:
        return Problem::none;
    case platform::SheetOpened::foreignLink:
        return Problem::foreignLink;
    case platform::SheetOpened::outOfMemory:
        return Problem::sheetOutOfMemory;
    case platform::SheetOpened::readFailed:
        return Problem::sheetReadFailed;
    case platform::SheetOpened::openFailed:
        break;
    }
    return Problem::sheetOpenFailed;
}

// Whether `list` written out is the sheet as it stands, byte for byte.
bool sameBytes(const NewSheet& list, std::string_view old) {
    try {
        return list.writes(old);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace

SheetResult fixCue(const std::string& path, const FixOptions& options) {
    const bool dryRun = options.dryRun;
    platform::OpenedSheet sheet;
    if (const Problem problem = openAndRead(path, sheet); problem != Problem::none)
        return report({problem, {}}, path, SheetResult::refused);
    const SheetBytes bytes{sheet.bytes};
    if (!options.force) {
        const Classified classified = classifyCue(path, bytes);
        if (classified.verdict != Verdict::needsFixing) {
            printOutcome(classified.why);
            return classified.verdict == Verdict::refused ? SheetResult::refused
                                                          : SheetResult::unchanged;
        }
    }
    if (sheet.readOnly) return report({Problem::sheetReadOnly, {}}, path, SheetResult::refused);
    // The sheet as read, for a dry run's diff and a second reading: its
    // bytes, or a UTF-16 sheet's text, which the reader holds.
    std::string_view oldSheet;
    NewSheet list;
    std::unique_ptr<CueReader> opened;
    try {
        opened = std::make_unique<CueReader>(bytes); // a UTF-16 sheet is decoded whole
    } catch (const std::bad_alloc&) {
        return report({Problem::sheetOutOfMemory, {}}, path, SheetResult::refused);
    }
    // Running out of memory from here on fails the rewriting.
    try {
        CueReader& reader = *opened;
        if (!reader.decodes())
            return report({Problem::notValidSheet, {}}, path, SheetResult::refused);
        list = NewSheet(dryRun, reader.form());
        printFixing(path);
        oldSheet = reader.form().utf16 == Utf16::none ? bytes.bytes : reader.decodedText();
        bool leaveAlone = false;
        if (const Outcome outcome = rewriteSheet(path, reader, oldSheet, list, options, leaveAlone);
            !outcome.ok())
            return report(outcome, path, SheetResult::failed);
        if (leaveAlone) return SheetResult::unchanged;
    } catch (const std::bad_alloc&) {
        return report({Problem::outOfMemory, {}}, path, SheetResult::failed);
    }
    if (dryRun) return showChange(path, oldSheet, list);
    opened.reset();
    // The new text is the old one: nothing to replace (the file, its
    // links, owner, mode, attributes and times stay as they are).
    if (!sameBytes(list, sheet.bytes)) {
        // Printed only once the files are final: printing may end the
        // process (SIGPIPE on a closed output).
        if (const Problem problem = replaceCue(sheet, list); problem != Problem::none)
            return report({problem, {}}, path, SheetResult::refused);
    }
    printDone();
    return SheetResult::fixed;
}

} // namespace vorlin
