// The rewritten cue sheet, held in memory until it replaces the old one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorlin {

class LineList {
  public:
    // Adds a copy of `text`; 1 on success, 0 when memory ran out.
    int append(std::string_view text);

    // Writes every line as held to the open file `fd`. 1 when all of it was
    // written, 0 when a write failed or the list is empty (an empty sheet is
    // never written).
    int writeTo(int fd) const;

    std::uint32_t count() const { return count_; }
    const std::string& text() const { return text_; }

  private:
    std::uint32_t count_ = 0;
    std::string text_; // every line, each keeping its own line end
};

} // namespace vorlin
