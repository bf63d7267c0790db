#include "cue/fix_cue.hpp"

#include <cstdio>
#include <memory>
#include <new>

#include "cue/classify.hpp"
#include "cue/cue_reader.hpp"
#include "cue/cue_walk.hpp"
#include "cue/disc_id.hpp"
#include "cue/line_list.hpp"
#include "cue/replace.hpp"
#include "cue/sheet_diff.hpp"
#include "cue/sheet_writers.hpp"
#include "platform/platform.hpp"

namespace vorlin {

namespace {

int fail(const char* message) {
    std::fputs(message, stdout);
    return 1;
}

// Walks the whole sheet, writing its new text into `list` in the layout
// asked for, and checks the disc ID. Returns 0, or 1 after printing why the
// sheet cannot be rewritten. `leaveAlone` is set when the disc ID shows the
// sheet right as it stands (never with `force`).
int rewriteSheet(const std::string& path, CueReader& reader, LineList& list,
                 const FixOptions& options, bool& leaveAlone) {
    std::unique_ptr<WalkSink> writer;
    if (options.perFile)
        writer = std::make_unique<PerFileWriter>(list);
    else
        writer = std::make_unique<RangeWriter>(list);
    DiscIdCheck discId;
    SinkPair sinks(*writer, discId);
    const int result = walkCue(path, reader, sinks);
    if (result == 0) leaveAlone = discId.report(options.force);
    return result;
}

// Where a real run replaces the sheet, a dry run shows the change instead. It
// fails where the replacement would fail whatever the file system: on an
// empty new sheet.
int showChange(const std::string& path, std::string_view oldSheet, const LineList& list) {
    if (list.count() == 0) {
        std::printf("Failed to write new cue.\n");
        return -1;
    }
    try {
        writeSheetDiff(stdout, path, oldSheet, list);
    } catch (const std::bad_alloc&) { // thrown before anything is written
        return fail("Fixing failed, insufficient memory.\n");
    }
    std::printf("not written (dry run).\n");
    return 0;
}

} // namespace

int fixCue(const std::string& path, const FixOptions& options, bool* rewritten) {
    if (rewritten) *rewritten = false;
    const bool dryRun = options.dryRun;
    if (!options.force) {
        int verdict = classifyCue(path);
        if (verdict < 0) return -1;
        if (verdict == 0) return 0;
    }
    if (platform::isReadOnly(path)) {
        std::printf("File '%s' is read only.\n", path.c_str());
        return -1;
    }
    std::string oldSheet; // the sheet as read, for a dry run's diff
    LineList list;
    std::unique_ptr<CueReader> opened;
    try {
        opened = std::make_unique<CueReader>(path); // a UTF-16 sheet is decoded whole
    } catch (const std::bad_alloc&) {
        std::printf("Memory allocation failed.\n");
        return -1;
    }
    try {
        CueReader& reader = *opened;
        if (!reader.isOpen()) {
            std::printf("Failed to open '%s'.\n", path.c_str());
            return -1;
        }
        if (!reader.decodes()) {
            std::printf("File '%s' is not a valid cue sheet.\n", path.c_str());
            return -1;
        }
        list = LineList(dryRun, reader.form());
        std::printf("Fixing cue '%s'...\n", path.c_str());
        if (dryRun) reader.keepRawBytes(&oldSheet);
        bool leaveAlone = false;
        if (int result = rewriteSheet(path, reader, list, options, leaveAlone); result != 0)
            return result;
        if (leaveAlone) return 0;
    } catch (const std::bad_alloc&) {
        return fail("Fixing failed, insufficient memory.\n");
    }
    opened.reset(); // the sheet is closed before it is replaced
    const int result = dryRun ? showChange(path, oldSheet, list) : replaceCue(path, list);
    if (rewritten) *rewritten = result == 0;
    return result;
}

} // namespace vorlin
