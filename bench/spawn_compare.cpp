// Times whole processes side by side: each command is spawned the same way
// (posix_spawn, standard output to /dev/null, then waited for), the commands
// take turns round after round (the order flips every round), and each
// command's median time per run is printed with the median of its per-round
// ratio to the first command.
//
//   spawn_compare ROUNDS REPEAT NAME CMD... [::: NAME CMD...]...
//
// Every round runs each command REPEAT times in a row and counts the mean of
// those runs, so that runs of a millisecond or less are timed over several.
// Leading NAME=VALUE words of a command are set in its environment. A command
// that exits with a status other than 0 stops the comparison.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Command {
    std::string name;
    std::vector<std::string> environment; // NAME=VALUE, before the inherited ones
    std::vector<std::string> words;
    std::vector<double> times; // ms per run, one per round
};

double nowMs() {
    timespec t;
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool runOnce(const Command& command, char* const* argv, char* const* envp,
             const posix_spawn_file_actions_t& actions) {
    pid_t pid;
    if (::posix_spawnp(&pid, argv[0], &actions, nullptr, argv, envp) != 0) {
        std::fprintf(stderr, "spawn_compare: cannot start %s\n", argv[0]);
        return false;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {}
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "spawn_compare: %s (%s) failed with status %d\n", command.name.c_str(),
                     argv[0], status);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr,
                     "usage: spawn_compare ROUNDS REPEAT NAME CMD... [::: NAME CMD...]...\n");
        return 2;
    }
    const int rounds = std::max(1, std::atoi(argv[1]));
    const int repeat = std::max(1, std::atoi(argv[2]));
    std::vector<Command> commands(1);
    for (int i = 3; i < argc; ++i) {
        const std::string word = argv[i];
        Command& current = commands.back();
        if (word == ":::") {
            commands.emplace_back();
        } else if (current.name.empty()) {
            current.name = word;
        } else if (current.words.empty() && word.find('=') != std::string::npos &&
                   word.find('/') == std::string::npos) {
            current.environment.push_back(word);
        } else {
            current.words.push_back(word);
        }
    }
    for (const Command& command : commands) {
        if (command.words.empty()) {
            std::fprintf(stderr, "spawn_compare: %s has no command\n", command.name.c_str());
            return 2;
        }
    }

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);

    std::vector<std::vector<char*>> argvs, envps;
    for (Command& command : commands) {
        std::vector<char*> args;
        for (std::string& word : command.words) args.push_back(word.data());
        args.push_back(nullptr);
        argvs.push_back(args);
        std::vector<char*> env;
        for (std::string& entry : command.environment) env.push_back(entry.data());
        for (char** e = environ; *e; ++e) env.push_back(*e);
        env.push_back(nullptr);
        envps.push_back(env);
    }

    // One untimed run of each: the page cache and the loader's caches warm.
    for (std::size_t c = 0; c < commands.size(); ++c)
        if (!runOnce(commands[c], argvs[c].data(), envps[c].data(), actions)) return 1;

    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < commands.size(); ++k) {
            const std::size_t c = round % 2 ? commands.size() - 1 - k : k;
            const double start = nowMs();
            for (int r = 0; r < repeat; ++r)
                if (!runOnce(commands[c], argvs[c].data(), envps[c].data(), actions)) return 1;
            commands[c].times.push_back((nowMs() - start) / repeat);
        }
    }

    for (const Command& command : commands) {
        std::vector<double> ratios;
        for (int round = 0; round < rounds; ++round)
            ratios.push_back(command.times[round] / commands[0].times[round]);
        std::printf("%s\t%.3f\t%.3f\n", command.name.c_str(), median(command.times),
                    median(ratios));
    }
    return 0;
}
