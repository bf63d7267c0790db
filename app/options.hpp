// The command line: which arguments are options, and what they ask for.
#pragma once

#include <functional>

namespace vorlin {

struct CommandLine {
    enum class Action {
        fix,           // fix the sheets the patterns name
        help,          // "--help" or "-h" came first: print the usage, nothing else
        version,       // "--version" or "-V" came first: print the version, nothing else
        unknownOption, // `unknown` looks like an option, is none and names no entry
    };
    Action action = Action::fix;
    // For the whole run, wherever they stand before "--".
    bool dryRun = false;
    bool perFile = false;
    bool recursive = false;
    int optionsEnd = 0;            // the "--" argument, or argc when there is none
    const char* unknown = nullptr; // the first unknown option
};

// Reads the arguments after the program's name. Before a "--" argument,
// "--force" (from there on), "-n", "--dry-run", "--per-file", "-r",
// "--recursive" and "-" followed by two or more of the letters n and r (for
// the whole run), "--help", "-h", "--version" and "-V" (the first of them
// decides the action) are options. Any other argument before "--" that
// starts with '-' and names no entry is an unknown option, found before
// anything is done; every other argument is a pattern.
CommandLine readCommandLine(int argc, char** argv);

// Gives every pattern of the command line `line` was read from to `each`, in
// order, with whether "--force" stood before it. Nothing is held per
// argument: a run over thousands of named sheets needs no more memory than
// one over a few.
void forEachPattern(const CommandLine& line, int argc, char** argv,
                    const std::function<void(const char* pattern, bool force)>& each);

} // namespace vorlin
