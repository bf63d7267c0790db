#include "cue/messages.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vorlin {

namespace {

// The texts, in the order of the README's message tables; "%s" stands for
// the subject.

// Checking a sheet.
constexpr const char* nothingFoundText = "Can't find file '%s'\n";
constexpr const char* folderUnreadableText = "Can't read folder '%s'\n";
constexpr const char* folderNamedText = "'%s' is a folder: -r fixes the sheets in it.\n";
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
constexpr const char* audioOpenFailedText = "'%s': file open failed\n";
constexpr const char* invalidWavText = "'%s': invalid WAV\n";
constexpr const char* unrecognizedFormatText = "'%s': unrecognized format\n";

// The command line (usage and version on standard output, the rest on
// standard error).
constexpr const char* versionText = "Vorlin v" VORLIN_VERSION "\n";
constexpr const char* usageText = "Vorlin v" VORLIN_VERSION "\n"
                                  "Usage: vorlin [options] <file>\n"
                                  "Possible options:\n"
                                  " --force : modify any cue\n"
                                  " -n, --dry-run : show what would change, write nothing\n"
                                  " --per-file : keep a FILE line per audio file, pregaps in the "
                                  "previous file\n"
                                  " -r, --recursive : fix the sheets in folders and their "
                                  "subfolders\n"
                                  " --help : show this help\n"
                                  " --version : show the version\n";
constexpr const char* summaryText = "vorlin: %lld sheets: %lld fixed, %lld needed no fixing, "
                                    "%lld failed.\n";
constexpr const char* dryRunSummaryText = "vorlin: %lld sheets: %lld to fix, %lld need no fixing, "
                                          "%lld failed.\n";
constexpr const char* unknownOptionText =
    "vorlin: unknown option '%s'; a file name that starts with '-' goes after --\n";
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
    case Problem::audioFailed:
        return audioFailedText;
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

bool isAudioProblem(Problem problem) {
    return problem >= Problem::audioNotFound;
}

// `format` with its one "%s" (if any) replaced by `subject` up to any NUL
// byte, as printf would print a C string.
std::string withSubject(std::string_view format, std::string_view subject) {
    subject = subject.substr(0, subject.find('\0'));
    std::string text(format);
    if (const std::size_t at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, subject);
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
    }
}

void printUsage() {
    print(stdout, usageText);
}

void printVersion() {
    print(stdout, versionText);
}

void printUnknownOption(std::string_view argument) {
    print(stderr, withSubject(unknownOptionText, argument));
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
