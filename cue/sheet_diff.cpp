#include "cue/sheet_diff.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace vorlin {

namespace {

constexpr std::uint64_t contextLines = 3;

// One step of the walk over both sheets: usually one line of the old sheet
// and the text made from it (none, one or several lines). When that text
// stops inside a line (the end of a long line was dropped), the following
// old lines join the step until the new text reaches a line end, so that
// every step covers whole lines on both sides.
struct Step {
    std::string_view oldText;
    std::string_view newText;
    bool changed() const { return oldText != newText; }
};

class StepWalker {
  public:
    StepWalker(std::string_view oldSheet, const NewSheet& newSheet)
        : old_(oldSheet), new_(newSheet.text()), lineEnds_(&newSheet.lineEnds()) {}

    bool next(Step& step) {
        if (oldPos_ == old_.size() && newPos_ == new_.size()) return false;
        const std::size_t oldBegin = oldPos_, newBegin = newPos_;
        do {
            const std::size_t lf = old_.find('\n', oldPos_);
            oldPos_ = lf == std::string_view::npos ? old_.size() : lf + 1;
            if (line_ < lineEnds_->size()) newPos_ = (*lineEnds_)[line_];
            ++line_;
        } while (oldPos_ < old_.size() && newPos_ > newBegin && new_[newPos_ - 1] != '\n');
        // Whatever is left of the new text belongs to the old sheet's last line.
        if (oldPos_ == old_.size()) newPos_ = new_.size();
        step.oldText = old_.substr(oldBegin, oldPos_ - oldBegin);
        step.newText = new_.substr(newBegin, newPos_ - newBegin);
        return true;
    }

  private:
    std::string_view old_;
    std::string_view new_;
    const std::vector<std::size_t>* lineEnds_;
    std::size_t oldPos_ = 0;
    std::size_t newPos_ = 0;
    std::size_t line_ = 0;
};

std::uint64_t lineCount(std::string_view text) {
    return static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n')) +
           (!text.empty() && text.back() != '\n');
}

// The diff's text, gathered in a buffer made before anything is written
// (so that running out of memory shows nothing) and written a block at a time.
class DiffOutput {
  public:
    explicit DiffOutput(std::FILE* out) : out_(out) { buffer_.reserve(capacity); }
    ~DiffOutput() { flush(); }
    DiffOutput(const DiffOutput&) = delete;
    DiffOutput& operator=(const DiffOutput&) = delete;

    void put(std::string_view text) {
        if (buffer_.size() + text.size() > capacity) {
            flush();
            if (text.size() > capacity) {
                std::fwrite(text.data(), 1, text.size(), out_);
                return;
            }
        }
        buffer_.append(text);
    }

    // Every line of `text` behind `mark`; a last line without its line end
    // is followed by the marker that says so.
    void putLines(char mark, std::string_view text) {
        while (!text.empty()) {
            const std::size_t lf = text.find('\n');
            const std::size_t length = lf == std::string_view::npos ? text.size() : lf + 1;
            put(std::string_view(&mark, 1));
            put(text.substr(0, length));
            if (lf == std::string_view::npos) put("\n\\ No newline at end of file\n");
            text.remove_prefix(length);
        }
    }

  private:
    static constexpr std::size_t capacity = 64 * 1024;

    void flush() {
        std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
        buffer_.clear();
    }

    std::FILE* out_;
    std::string buffer_;
};

// The path as diff and patch write it: in double quotes with C escapes when
// it holds a control character, a quote or a backslash; as it is otherwise.
std::string quotedPath(const std::string& path) {
    auto plain = [](unsigned char c) { return c >= 0x20 && c != 0x7F && c != '"' && c != '\\'; };
    if (std::all_of(path.begin(), path.end(), plain)) return path;
    std::string quoted = "\"";
    for (unsigned char c : path) {
        if (plain(c)) {
            quoted += static_cast<char>(c);
        } else if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c == '\n' || c == '\t') {
            quoted += c == '\n' ? "\\n" : "\\t";
        } else {
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%03o", c);
            quoted += octal;
        }
    }
    return quoted + '"';
}

// The changed steps first..last (counted from 0) of one hunk.
struct ChangeRun {
    std::uint64_t first;
    std::uint64_t last;
};

std::string hunkRange(std::uint64_t start, std::uint64_t count) {
    std::string range = std::to_string(start);
    if (count != 1) range += "," + std::to_string(count);
    return range;
}

} // namespace

void writeSheetDiff(std::FILE* out, const std::string& path, std::string_view oldSheet,
                    const NewSheet& newSheet) {
    // First walk: which steps change, grouped into hunks. Changes with at
    // most twice the context between them share a hunk.
    std::vector<ChangeRun> hunks;
    std::uint64_t steps = 0;
    {
        StepWalker walker(oldSheet, newSheet);
        for (Step step; walker.next(step); ++steps) {
            if (!step.changed()) continue;
            if (!hunks.empty() && steps - hunks.back().last <= 2 * contextLines + 1)
                hunks.back().last = steps;
            else
                hunks.push_back({steps, steps});
        }
    }
    if (hunks.empty()) return;
    const std::string name = quotedPath(path);
    DiffOutput diff(out);
    // A tab ends each name, as diff -u ends it before the time stamp: patch
    // reads a name up to the first blank otherwise, and "My Album/a.cue"
    // would not be found.
    diff.put("--- " + name + "\t\n+++ " + name + "\t\n");

    // Second walk: each hunk is counted on a copy of the walker, then written.
    StepWalker walker(oldSheet, newSheet);
    std::uint64_t at = 0, oldLine = 0, newLine = 0; // steps and lines before the walker
    Step step;
    for (const ChangeRun& hunk : hunks) {
        const std::uint64_t begin = hunk.first > contextLines ? hunk.first - contextLines : 0;
        const std::uint64_t end = std::min(hunk.last + 1 + contextLines, steps);
        for (; at < begin; ++at) {
            walker.next(step);
            oldLine += lineCount(step.oldText);
            newLine += lineCount(step.newText);
        }
        std::uint64_t oldCount = 0, newCount = 0;
        StepWalker counter = walker;
        for (std::uint64_t i = begin; i < end; ++i) {
            counter.next(step);
            oldCount += lineCount(step.oldText);
            newCount += lineCount(step.newText);
        }
        // An empty side starts at the line before it; a count of one is
        // left out, as diff -u writes it.
        const std::string oldRange = hunkRange(oldLine + (oldCount > 0), oldCount);
        const std::string newRange = hunkRange(newLine + (newCount > 0), newCount);
        diff.put("@@ -" + oldRange + " +" + newRange + " @@\n");
        while (at < end) {
            StepWalker runStart = walker;
            walker.next(step);
            if (!step.changed()) {
                diff.putLines(' ', step.oldText);
                ++at;
                continue;
            }
            // A run of changed steps: all its old lines, then all its new ones.
            std::uint64_t run = 0;
            for (;;) {
                diff.putLines('-', step.oldText);
                if (at + ++run == end) break;
                StepWalker beforeNext = walker;
                walker.next(step);
                if (!step.changed()) {
                    walker = beforeNext;
                    break;
                }
            }
            for (std::uint64_t i = 0; i < run; ++i) {
                runStart.next(step);
                diff.putLines('+', step.newText);
            }
            at += run;
        }
        oldLine += oldCount;
        newLine += newCount;
    }
}

} // namespace vorlin
