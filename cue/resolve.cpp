#include "cue/resolve.hpp"

#include <unistd.h>

namespace vorlin {

PathParts splitPath(std::string_view path) {
    PathParts parts;
    auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (path.size() >= 2 && isLetter(path[0]) && path[1] == ':') {
        parts.drive = path.substr(0, 2);
        path.remove_prefix(2);
    }
    std::size_t separator = path.find_last_of("/\\");
    if (separator != std::string_view::npos) {
        parts.directory = path.substr(0, separator + 1);
        path.remove_prefix(separator + 1);
    }
    std::size_t dot = path.rfind('.');
    parts.base = path.substr(0, dot);
    if (dot != std::string_view::npos) parts.extension = path.substr(dot);
    return parts;
}

int resolveAudioPath(std::string& path, std::string_view line, std::string_view directory) {
    if (line.substr(0, 5) != "FILE ") return 0;
    path.clear();
    std::string_view rest = line.substr(5);
    std::string_view name;
    if (!rest.empty() && rest[0] == '"') {
        std::size_t close = rest.find('"', 1);
        if (close == std::string_view::npos) return -1;
        name = rest.substr(1, close - 1);
    } else {
        std::size_t blank = rest.find(' ');
        if (blank == std::string_view::npos) return -1;
        name = rest.substr(0, blank);
    }
    if (name.size() >= maxNameLength || name.find('\0') != std::string_view::npos) return -1;

    std::string candidate(directory);
    candidate += splitPath(name).base;
    std::size_t stem = candidate.size();
    for (const char* extension :
         {".wav", ".mpc", ".mp+", ".flac", ".wv", ".ape", ".tta", ".aiff", ".aif"}) {
        candidate.resize(stem);
        candidate += extension;
        if (::access(candidate.c_str(), F_OK) == 0) {
            path = candidate;
            return 0;
        }
    }
    // None exists: the MPC name, which its measurer then reports missing.
    candidate.resize(stem);
    path = candidate + ".mp+";
    return 0;
}

} // namespace vorlin
