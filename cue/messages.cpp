#include "cue/messages.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vorlin {

namespace {

// The texts, in the order of the message tables of docs/command-line.md;
// "%s" stands for the subject.

// Checking a sheet.
constexpr const char* nothingFoundText = "Can't find file '%s'\n";
constexpr const char* folderUnreadableText = "Can't read folder '%s'\n";
constexpr const char* folderNamedText = "'%s' is a folder: -r fixes the sheets in it.\n";
constexpr const char* notRegularText = "'%s' is not a regular file.\n";
constexpr const char* sheetOpenFailedText = "Failed to open '%s'.\n";
constexpr const char* foreignLinkText =
    "File '%s' is a link to a file of another owner; it is not followed.\n";
constexpr const char* notValidSheetText = "File '%s' is not a valid cue sheet.\n";
constexpr const char* nonCompliantText =
    "File '%s' is in non-compliant format, no fixing needed.\n";
constexpr const char* sheetOutOfMemoryText = "Memory allocation failed.\n";
constexpr const char* onlyOneAudioFileText = "'%s': only one audio file, no fixing needed.\n";
constexpr const char* noGapsText = "'%s': no gaps, no fixing needed.\n";

// Fixing a sheet.
constexpr const char* sheetReadOnlyText = "File '%s' is read only.\n";
constexpr const char* fixingText = "Fixing cue '%s'...\n";
constexpr const char* invalidSheetText = "Fixing failed, invalid cue.\n";
constexpr const char* audioFailedText = "Fixing failed, error with audio files.\n";
constexpr const char* discIdMatchesText = "Disc ID %08x matches the sheet.\n";
constexpr const char* discIdDiffersText =
    "Disc ID %08x differs from the sheet's %s: a data track, or files or gaps that differ from "
    "the disc.\n";
constexpr const char* discIdMatchesOldText =
    "Disc ID %08x matches the sheet as it stands, no fixing needed.\n";
constexpr const char* discIdMatchesBothText =
    "Disc ID %08x matches the sheet and the old sheet alike: it cannot tell where the gaps lie.\n";
constexpr const char* discIdMatchesFirstPregapText =
    "Disc ID %08x matches the sheet with the first track's pregap in its file.\n";
constexpr const char* indexConversionText = "Fixing failed, error with INDEX conversion (%d)\n";
constexpr const char* outOfMemoryText = "Fixing failed, insufficient memory.\n";
constexpr const char* sheetReadFailedText = "Failed to read '%s'.\n";
constexpr const char* notCreatedText = "Failed to backup old cue.\n";
constexpr const char* notWrittenText = "Failed to write new cue.\n";
constexpr const char* sheetChangedText =
    "File '%s' changed while it was being fixed; it is left as it is.\n";
constexpr const char* doneText = "done.\n";
constexpr const char* dryRunText = "not written (dry run).\n";

// Measuring audio files.
constexpr const char* audioNotFoundText = "'%s': audio file not found\n";
constexpr const char* audioNotSupportedText = "'%s': audio format not supported\n";
constexpr const char* audioOpenFailedText = "'%s': file open failed\n";
constexpr const char* invalidWavText = "'%s': invalid WAV\n";
constexpr const char* unrecognizedFormatText = "'%s': unrecognized format\n";

// The command line (usage and version on standard output, the rest on
// standard error).
constexpr const char* versionText = "Vorlin v" VORLIN_VERSION "\n";
constexpr const char* usageLines =
    "Vorlin v" VORLIN_VERSION "\n"
    "Usage: vorlin [options] <file>\n"
    "Fixes cue sheets of CDs ripped one file per track: each pregap moves to the end\n"
    "of the file before it. Each <file> is a cue sheet, a wildcard pattern (*.cue)\n"
    "or, with -r, a folder.\n"
    "Possible options:\n"
    " --force : rewrite the sheets after it even when they seem to need no fixing\n"
    " -n, --dry-run : show what would change as a diff, write nothing\n"
    " --per-file : keep a FILE line per audio file, to go on playing the files\n"
    "   (without it a sheet names one file, Range.wav: all its files joined)\n"
    " -r, --recursive : fix the sheets in folders and all their subfolders\n"
    " -h, --help : show this help\n"
    " -V, --version : show the version\n";
constexpr const char* summaryText = "vorlin: %lld sheets: %lld fixed, %lld needed no fixing, "
                                    "%lld failed.\n";
constexpr const char* dryRunSummaryText = "vorlin: %lld sheets: %lld to fix, %lld need no fixing, "
                                          "%lld failed.\n";
constexpr const char* unknownOptionText =
    "vorlin: unknown option '%s'; a file name that starts with '-' goes after --\n";
constexpr const char* closePromptText = "Press Enter to close this window.";
constexpr const char* writeErrorText = "vorlin: write error on standard output: %s\n";

// The INDEX conversion codes as printed.
int conversionCode(Problem problem) {
    switch (problem) {
    case Problem::index00Unreadable:
        return 1;
    case Problem::indexAfter00Unreadable:
        return 2;
    case Problem::negativePregap:
        return 3;
    case Problem::indexUnreadable:
        return 6;
    default:
        return 7;
    }
}

const char* formatOf(Problem problem) {
    switch (problem) {
    case Problem::none:
        return "";
    case Problem::nothingFound:
        return nothingFoundText;
    case Problem::folderUnreadable:
        return folderUnreadableText;
    case Problem::folderNamed:
        return folderNamedText;
    case Problem::notRegular:
        return notRegularText;
    case Problem::sheetOpenFailed:
        return sheetOpenFailedText;
    case Problem::foreignLink:
        return foreignLinkText;
    case Problem::notValidSheet:
        return notValidSheetText;
    case Problem::nonCompliant:
        return nonCompliantText;
    case Problem::sheetOutOfMemory:
        return sheetOutOfMemoryText;
    case Problem::onlyOneAudioFile:
        return onlyOneAudioFileText;
    case Problem::noGaps:
        return noGapsText;
    case Problem::sheetReadOnly:
        return sheetReadOnlyText;
    case Problem::sheetReadFailed:
        return sheetReadFailedText;
    case Problem::invalidSheet:
        return invalidSheetText;
    case Problem::index00Unreadable:
    case Problem::indexAfter00Unreadable:
    case Problem::negativePregap:
    case Problem::indexUnreadable:
    case Problem::negativePosition:
        return indexConversionText;
    case Problem::outOfMemory:
        return outOfMemoryText;
    case Problem::notCreated:
        return notCreatedText;
    case Problem::notWritten:
        return notWrittenText;
    case Problem::sheetChanged:
        return sheetChangedText;
    case Problem::audioNotFound:
        return audioNotFoundText;
    case Problem::audioNotSupported:
        return audioNotSupportedText;
    case Problem::audioOpenFailed:
        return audioOpenFailedText;
    case Problem::invalidWav:
        return invalidWavText;
    case Problem::unrecognizedFormat:
        return unrecognizedFormatText;
    case Problem::unusableAudio:
        return "";
    }
    return "";
}

// The problems with an audio file, which printOutcome follows with
// audioFailedText.
bool isAudioProblem(Problem problem) {
    switch (problem) {
    case Problem::audioNotFound:
    case Problem::audioNotSupported:
    case Problem::audioOpenFailed:
    case Problem::invalidWav:
    case Problem::unrecognizedFormat:
    case Problem::unusableAudio:
        return true;
    default:
        return false;
    }
}

// `name` as a message shows it: each byte below 0x20 and the byte 0x7F as a
// backslash and three octal digits ("\012" for a line feed, "\033" for ESC),
// so that a name can neither break a message's line (and forge the lines of
// a dry run's diff) nor reach a terminal as a control sequence; every other
// byte, a backslash too, as it is.
std::string shownName(std::string_view name) {
    std::string shown;
    shown.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            shown += c;
        } else {
            const char octal[] = {'\\', static_cast<char>('0' + (byte >> 6)),
                                  static_cast<char>('0' + (byte >> 3 & 7)),
                                  static_cast<char>('0' + (byte & 7))};
            shown.append(octal, sizeof octal);
        }
    }
    return shown;
}

// `format` with its one "%s" (if any) replaced by `subject` up to any NUL
// byte, as printf would print a C string, shown as shownName() shows it.
// Every path or name a message holds passes through here.
std::string withSubject(std::string_view format, std::string_view subject) {
    subject = subject.substr(0, subject.find('\0'));
    std::string text(format);
    if (const std::size_t at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, shownName(subject));
    return text;
}

void print(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

} // namespace

std::string problemMessage(Problem problem, std::string_view subject) {
    const char* format = formatOf(problem);
    if (format == indexConversionText) {
        char text[64];
        std::snprintf(text, sizeof text, format, conversionCode(problem));
        return text;
    }
    return withSubject(format, subject);
}

void printOutcome(const Outcome& outcome) {
    print(stdout, problemMessage(outcome.problem, outcome.subject));
    if (isAudioProblem(outcome.problem)) print(stdout, audioFailedText);
}

void printFixing(std::string_view sheet) {
    print(stdout, withSubject(fixingText, sheet));
}

void printDone() {
    print(stdout, doneText);
}

void printNotWritten() {
    print(stdout, dryRunText);
}

void printDiscId(const DiscIdReport& report) {
    switch (report.verdict) {
    case DiscIdVerdict::silent:
        return;
    case DiscIdVerdict::matchesNew:
        std::printf(discIdMatchesText, report.id);
        return;
    case DiscIdVerdict::differs:
        std::printf(discIdDiffersText, report.id, report.recorded.c_str());
        return;
    case DiscIdVerdict::matchesOld:
        std::printf(discIdMatchesOldText, report.id);
        return;
    case DiscIdVerdict::matchesBoth:
        std::printf(discIdMatchesBothText, report.id);
        return;
    case DiscIdVerdict::matchesFirstPregap:
        std::printf(discIdMatchesFirstPregapText, report.id);
        return;
    }
}

std::string_view usageText() {
    return usageLines;
}

void printUsage() {
    print(stdout, usageLines);
}

void printVersion() {
    print(stdout, versionText);
}

void printUnknownOption(std::string_view argument) {
    print(stderr, withSubject(unknownOptionText, argument));
}

void printClosePrompt() {
    print(stdout, closePromptText);
}

void printWriteError(int error) {
    std::fprintf(stderr, writeErrorText, std::strerror(error));
}

void printSummary(bool dryRun, std::int64_t fixed, std::int64_t unchanged, std::int64_t failed) {
    const long long total = fixed + unchanged + failed;
    std::fprintf(stderr, dryRun ? dryRunSummaryText : summaryText, total,
                 static_cast<long long>(fixed), static_cast<long long>(unchanged),
                 static_cast<long long>(failed));
}

} // namespace vorlin
