// The rewritten cue sheet, held in memory until it replaces the old one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cue/cue_reader.hpp"

namespace vorlin {

class NewSheet {
  public:
    NewSheet() = default;
    // With `keepOrigins`, the list also records which line of the old sheet
    // each appended text came from (for showing the change as a diff). The
    // new sheet takes the old one's `form`: its mark, its encoding and its
    // line ends.
    explicit NewSheet(bool keepOrigins, const SheetForm& form = {})
        : keepOrigins_(keepOrigins), form_(form) {}

    // Adds a copy of `text`, made from line `origin` of the old sheet, every
    // LF written as CR LF in a CR LF sheet; false when memory ran
    // out. Origins must not decrease.
    bool append(std::string_view text, std::uint64_t origin = 0);

    // Writes the sheet to the open file `fd`, in UTF-16 behind its mark when
    // the old sheet was. True when all of it was written, false when a write
    // failed or the list is empty (an empty sheet is never written).
    bool writeTo(int fd) const;

    // Whether writeTo() would write exactly `bytes`. May throw
    // std::bad_alloc (a UTF-16 sheet is encoded to compare).
    bool writes(std::string_view bytes) const;

    std::uint32_t count() const { return count_; }
    // The new sheet as text: UTF-8 (behind the old sheet's UTF-8 mark, if it
    // had one), line ends as they will be written.
    const std::string& text() const { return text_; }
    bool endsLine() const { return !text_.empty() && text_.back() == '\n'; }
    // With origins kept: entry i is where the text made from lines 0 to i of
    // the old sheet ends (lines counted from 0 in LF bytes), up to the last
    // line that produced text.
    const std::vector<std::size_t>& lineEnds() const { return lineEnds_; }

  private:
    std::uint32_t count_ = 0;
    std::string text_; // every line, each keeping its own line end
    bool keepOrigins_ = false;
    SheetForm form_;
    std::vector<std::size_t> lineEnds_;
};

} // namespace vorlin
