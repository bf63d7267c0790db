#include "app/options.hpp"

#include <string>
#include <string_view>

#include "app/patterns.hpp"

namespace vorlin {

namespace {

// "-nr", "-rn", "-rr": two or more of the one-letter run options written together.
bool isOptionCluster(std::string_view argument) {
    return argument.size() >= 3 && argument[0] == '-' &&
           argument.find_first_not_of("nr", 1) == std::string_view::npos;
}

bool isDryRun(std::string_view argument) {
    return argument == "-n" || argument == "--dry-run" ||
           (isOptionCluster(argument) && argument.find('n') != std::string_view::npos);
}

bool isRecursive(std::string_view argument) {
    return argument == "-r" || argument == "--recursive" ||
           (isOptionCluster(argument) && argument.find('r') != std::string_view::npos);
}

// Options that hold for the whole run wherever they stand before "--".
bool isRunOption(std::string_view argument) {
    return isDryRun(argument) || argument == "--per-file" || isRecursive(argument);
}

bool isHelp(std::string_view argument) {
    return argument == "--help" || argument == "-h";
}

bool isVersion(std::string_view argument) {
    return argument == "--version" || argument == "-V";
}

// An argument before "--" that looks like an option, is none, and names no
// entry (exactly, or as a pattern that matches one: "-x.cue" and "-x*" still
// reach a sheet named -x.cue). Such a typo must stop the run before it
// writes anything.
bool isUnknownOption(const std::string& argument) {
    if (argument.size() < 2 || argument[0] != '-') return false;
    if (argument == "--force" || isRunOption(argument) || isHelp(argument) || isVersion(argument))
        return false;
    return !expandPattern(argument, true).anyEntry;
}

} // namespace

CommandLine readCommandLine(int argc, char** argv) {
    // The options that hold for the whole run, wherever they stand before "--":
    // a dry run asked for last still protects the sheets named before it.
    CommandLine line;
    int optionsEnd = argc; // the "--" argument, if any
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") {
            optionsEnd = i;
            break;
        }
        if (isHelp(argument) || isVersion(argument)) {
            line.action =
                isHelp(argument) ? CommandLine::Action::help : CommandLine::Action::version;
            return line;
        }
        if (isDryRun(argument)) line.dryRun = true;
        if (argument == "--per-file") line.perFile = true;
        if (isRecursive(argument)) line.recursive = true;
    }
    for (int i = 1; i < optionsEnd; ++i) {
        if (isUnknownOption(argv[i])) {
            line.action = CommandLine::Action::unknownOption;
            line.unknown = argv[i];
            return line;
        }
    }
    line.optionsEnd = optionsEnd;
    return line;
}

void forEachPattern(const CommandLine& line, int argc, char** argv,
                    const std::function<void(const char* pattern, bool force)>& each) {
    bool force = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (i < line.optionsEnd) {
            if (argument == "--force") {
                force = true; // applies to every later argument
                continue;
            }
            if (isRunOption(argument)) continue;
        } else if (i == line.optionsEnd) {
            continue;
        }
        each(argv[i], force);
    }
}

} // namespace vorlin
