#include "platform/paths.hpp"

#include "platform/platform.hpp"

namespace vorlin {

std::string joinPath(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || !platform::isSeparator(path.back())) path += platform::separatorFor(path);
    path += name;
    return path;
}

std::string directoryOf(const std::string& path) {
    return path.substr(0, platform::folderPartLength(path));
}

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

} // namespace vorlin
