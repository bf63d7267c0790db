// The rewritten cue sheet, held in memory until it replaces the old one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorlin {

class LineList {
  public:
    LineList() = default;
    // With `keepOrigins`, the list also records which line of the old sheet
    // each appended text came from (for showing the change as a diff).
    explicit LineList(bool keepOrigins) : keepOrigins_(keepOrigins) {}

    // Adds a copy of `text`, made from line `origin` of the old sheet; 1 on
    // success, 0 when memory ran out. Origins must not decrease.
    int append(std::string_view text, std::uint64_t origin = 0);

    // Writes every line as held to the open file `fd`. 1 when all of it was
    // written, 0 when a write failed or the list is empty (an empty sheet is
    // never written).
    int writeTo(int fd) const;

    std::uint32_t count() const { return count_; }
    const std::string& text() const { return text_; }
    // With origins kept: entry i is where the text made from lines 0 to i of
    // the old sheet ends (lines counted from 0 in LF bytes), up to the last
    // line that produced text.
    const std::vector<std::size_t>& lineEnds() const { return lineEnds_; }

  private:
    std::uint32_t count_ = 0;
    std::string text_; // every line, each keeping its own line end
    bool keepOrigins_ = false;
    std::vector<std::size_t> lineEnds_;
};

} // namespace vorlin
