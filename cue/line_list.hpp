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

    // Creates `path` (replacing any file of that name) with permission bits
    // `mode` and writes every
    // line as held. The file counts as written only when every write, fsync
    // and close succeeded; on any failure a file this call created is
    // removed. 1 on success, 0 on failure (an empty list is never written).
    int writeTo(const std::string& path, unsigned mode = 0644) const;

    std::uint32_t count() const { return count_; }
    const std::string& text() const { return text_; }

  private:
    std::uint32_t count_ = 0;
    std::string text_; // every line, each keeping its own line end
};

} // namespace vorlin
