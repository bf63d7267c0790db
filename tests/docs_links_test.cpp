// Every link in the repository's Markdown files to one of its files, or to a
// heading in one, leads somewhere: the file exists and the heading has the
// anchor GitHub gives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The anchor GitHub gives a heading: lower case, blanks as '-', every other
// ASCII character but letters, digits, '-' and '_' dropped (other bytes kept).
std::string anchorOf(const std::string& heading) {
    std::string anchor;
    for (const char c : heading) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '_')
            anchor += c;
        else if (c >= 'A' && c <= 'Z')
            anchor += static_cast<char>(c + ('a' - 'A'));
        else if (c == ' ')
            anchor += '-';
    }
    return anchor;
}

std::vector<std::string> linesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The lines outside fenced code blocks.
std::vector<std::string> proseOf(const fs::path& file) {
    std::vector<std::string> prose;
    bool fenced = false;
    for (const std::string& line : linesOf(file)) {
        if (line.rfind("```", 0) == 0) {
            fenced = !fenced;
            continue;
        }
        if (!fenced) prose.push_back(line);
    }
    return prose;
}

std::set<std::string> anchorsIn(const fs::path& file) {
    std::set<std::string> anchors;
    std::map<std::string, int> seen;
    for (const std::string& line : proseOf(file)) {
        const std::size_t hashes = line.find_first_not_of('#');
        if (hashes == 0 || hashes > 6 || hashes == std::string::npos || line[hashes] != ' ')
            continue;
        const std::string anchor = anchorOf(line.substr(hashes + 1));
        const int repeat = seen[anchor]++;
        anchors.insert(repeat == 0 ? anchor : anchor + "-" + std::to_string(repeat));
    }
    return anchors;
}

// The targets of the inline links `[text](target)` in `line`, code spans left out.
std::vector<std::string> linksIn(std::string line) {
    for (std::size_t open; (open = line.find('`')) != std::string::npos;) {
        const std::size_t close = line.find('`', open + 1);
        line.erase(open, close == std::string::npos ? std::string::npos : close - open + 1);
    }
    std::vector<std::string> targets;
    for (std::size_t at = 0; (at = line.find("](", at)) != std::string::npos; at += 2) {
        const std::size_t end = line.find(')', at + 2);
        if (end == std::string::npos) break;
        targets.push_back(line.substr(at + 2, end - at - 2));
    }
    return targets;
}

std::vector<fs::path> markdownFiles(const fs::path& root) {
    std::vector<fs::path> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string name = it->path().filename().string();
        if (it->is_directory() && (name.rfind('.', 0) == 0 || name.rfind("build", 0) == 0)) {
            it.disable_recursion_pending(); // the build trees and .git
            continue;
        }
        if (it->is_regular_file() && it->path().extension() == ".md") files.push_back(it->path());
    }
    return files;
}

} // namespace

TEST(Docs, AnchorsAreGitHubs) {
    EXPECT_EQ(anchorOf("vorlin.exe on Windows"), "vorlinexe-on-windows");
    EXPECT_EQ(anchorOf("Bad input, and what is guaranteed"), "bad-input-and-what-is-guaranteed");
    EXPECT_EQ(anchorOf("The `--per-file` layout"), "the---per-file-layout");
}

TEST(Docs, EveryLinkInTheRepositoryResolves) {
    const fs::path root = VORLIN_SOURCE_DIR;
    const std::vector<fs::path> files = markdownFiles(root);
    ASSERT_TRUE(std::any_of(files.begin(), files.end(),
                            [](const fs::path& f) { return f.filename() == "README.md"; }));
    int links = 0;
    for (const fs::path& file : files) {
        for (const std::string& line : proseOf(file)) {
            for (const std::string& target : linksIn(line)) {
                if (target.find("://") != std::string::npos || target.rfind("mailto:", 0) == 0)
                    continue;
                ++links;
                const std::size_t hash = target.find('#');
                const std::string path = target.substr(0, hash);
                const fs::path linked = path.empty() ? file : file.parent_path() / path;
                const std::string where = file.lexically_relative(root).generic_string();
                if (!fs::exists(linked)) {
                    ADD_FAILURE() << where << ": no file for the link " << target;
                    continue;
                }
                if (hash == std::string::npos) continue;
                const std::set<std::string> anchors = anchorsIn(linked);
                EXPECT_TRUE(anchors.count(target.substr(hash + 1)))
                    << where << ": no heading for the link " << target;
            }
        }
    }
    EXPECT_GT(links, 10);
}
