#include "cue/classify.hpp"

#include <cstdio>
#include <new>

#include "cue/cue_reader.hpp"

namespace vorlin {

namespace {

int classify(const std::string& path) {
    CueReader reader(path); // a UTF-16 sheet is decoded whole: it may run out of memory
    if (!reader.isOpen()) {
        std::printf("Failed to open '%s'.\n", path.c_str());
        return -1;
    }
    unsigned fileCount = 0;
    int state = -1; // -1 before any audio FILE line, 0 after one, 1 after TRACK, 2 after INDEX
    bool noGaps = true;
    bool nonCompliant = false;
    bool fileOpens = false;    // the next INDEX line is the first of an audio file
    bool opensWithGap = false; // some audio file's first INDEX line is an INDEX 00
    std::string_view line;
    while (reader.next(line)) {
        const bool audioFile = isAudioFileLine(line);
        // A file of another type (data) ends the audio file before it.
        const bool dataFile = !audioFile && isFileLine(line);
        if (dataFile) fileOpens = false;
        if (audioFile) {
            ++fileCount;
            state = 0;
            fileOpens = true;
        } else if (contains(line, "TRACK ")) {
            state = 1;
        } else if (contains(line, "INDEX ")) {
            if (contains(line, "INDEX 00 ")) noGaps = false;
            if (state == 0) nonCompliant = true; // the track began in the previous file
            state = 2;
        }
        // The first INDEX line of an audio file, as the rewrite finds it.
        if (std::size_t at = line.find("INDEX ");
            at != std::string_view::npos && !audioFile && !dataFile && fileOpens) {
            if (at + 7 < line.size() && line[at + 6] == '0' && line[at + 7] == '0')
                opensWithGap = true;
            fileOpens = false;
        }
    }
    if (!reader.decodes()) {
        std::printf("File '%s' is not a valid cue sheet.\n", path.c_str());
        return -1;
    }
    if (reader.failed()) {
        std::printf("Failed to read '%s'.\n", path.c_str());
        return -1;
    }
    if (fileCount == 0) {
        std::printf("File '%s' is not a valid cue sheet.\n", path.c_str());
        return -1;
    }
    if (nonCompliant) {
        // Its pregaps already sit where their audio is.
        std::printf("File '%s' is in non-compliant format, no fixing needed.\n", path.c_str());
        return 0;
    }
    if (fileCount == 1) {
        std::printf("'%s': only one audio file, no fixing needed.\n", path.c_str());
        return 0;
    }
    if (noGaps) {
        std::printf("'%s': no gaps, no fixing needed.\n", path.c_str());
        return 0;
    }
    if (!opensWithGap) {
        // Its pregaps lie inside or at the end of a file already: nothing to move.
        std::printf("File '%s' is in non-compliant format, no fixing needed.\n", path.c_str());
        return 0;
    }
    return 1;
}

} // namespace

int classifyCue(const std::string& path) {
    try {
        return classify(path);
    } catch (const std::bad_alloc&) {
        std::printf("Memory allocation failed.\n");
        return -1;
    }
}

} // namespace vorlin
