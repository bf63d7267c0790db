// What went wrong, as every layer reports it: a problem and the path or name
// it concerns. Layers return these and never print; cue/messages.hpp turns
// them into the tool's messages. Includes nothing of the project but the
// CD-frame type.
#pragma once

#include <string>

#include "base/cd_frames.hpp"

namespace vorlin {

enum class Problem {
    none,
    // Naming sheets on the command line; the subject is the pattern or folder.
    nothingFound,     // a pattern that matched nothing
    folderUnreadable, // a folder a recursive run cannot list
    folderNamed,      // a folder named without -r
    notRegular,       // an entry named exactly that is neither a regular file nor a folder
                      // after following links (a FIFO, device, socket, dangling link)
    // Reading and checking a sheet; the subject is the sheet's path.
    sheetOpenFailed,  // it cannot be opened
    foreignLink,      // a link to a file of another owner, not followed
    notValidSheet,    // no audio FILE line, or UTF-16 that does not decode
    nonCompliant,     // its pregaps already sit where their audio is
    sheetOutOfMemory, // before the rewrite starts (a UTF-16 sheet decoded whole)
    onlyOneAudioFile, //
    noGaps,           //
    sheetReadOnly,    //
    sheetReadFailed,  // a read error in the middle of the sheet
    // Rewriting a sheet; no subject.
    invalidSheet, // a line the rewrite cannot take
    // An INDEX time that does not convert (the numbers are those printed).
    index00Unreadable,      // (1) an opening INDEX 00's time
    indexAfter00Unreadable, // (2) the time of the INDEX line after it
    negativePregap,         // (3) that INDEX lies before its INDEX 00
    indexUnreadable,        // (6) any other INDEX line's time
    negativePosition,       // (7) before the range, or with a FILE line per file before its file
    outOfMemory,            // during the rewrite
    // Replacing a sheet; no subject.
    notCreated, // no new file could be made beside the sheet
    notWritten, // writing, syncing or renaming it failed
    // The sheet's name no longer holds the file read, as read; the subject
    // is the sheet's path.
    sheetChanged,
    // Measuring an audio file; the subject is the name the sheet gives it
    // (not found) or the path opened.
    audioNotFound,      //
    audioNotSupported,  // not found, but the name as written is a regular file
    audioOpenFailed,    // found, but unreadable or not a regular file
    invalidWav,         // not RIFF/WAVE with a PCM fmt chunk first
    unrecognizedFormat, // no header or container this tool can read
    unusableAudio,      // read, but of no usable length (no message of its own)
};

// A problem and the path or name it concerns.
struct Outcome {
    Problem problem = Problem::none;
    std::string subject;

    bool ok() const { return problem == Problem::none; }
};

// How long an audio file plays, or why that is not known: `frames` is 0
// whenever `problem` is not none.
struct AudioLength {
    CdFrames frames = 0;
    Problem problem = Problem::none;
};

} // namespace vorlin
