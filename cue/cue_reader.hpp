// Reads a cue sheet the way a text-mode stream with a 4096-byte line buffer
// delivers it: every CR LF pair becomes LF (a lone CR stays), and the text
// arrives in pieces of at most 4095 bytes, each ending at LF unless it is
// full or the file ends. A piece is a byte string: NUL bytes are data.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace vorlin {

inline constexpr std::size_t maxPieceBytes = 4095;

class CueReader {
  public:
    // Opens `path` for reading; isOpen() tells whether that worked.
    explicit CueReader(const std::string& path);
    ~CueReader();
    CueReader(const CueReader&) = delete;
    CueReader& operator=(const CueReader&) = delete;

    bool isOpen() const { return file_ != nullptr; }

    // The next piece; false at the end of the file or on a read error.
    bool next(std::string_view& piece);

    // True when reading stopped on an error rather than at the end of the file.
    bool failed() const { return failed_; }

    // The line of the file the last piece came from, counted from 0 in LF
    // bytes before it: the pieces of a long line share their line's number.
    std::uint64_t rawLine() const { return pieceLine_; }

    // From now on every byte read from the file, untranslated, is also
    // appended to `*raw` (which must outlive the reader). May throw
    // std::bad_alloc, as next() then may.
    void keepRawBytes(std::string* raw);

  private:
    int nextByte();
    bool refill();

    std::FILE* file_ = nullptr;
    char block_[65536];
    std::size_t blockPos_ = 0;
    std::size_t blockLen_ = 0;
    bool atEnd_ = false;
    bool failed_ = false;
    std::uint64_t pieceLine_ = 0;
    std::uint64_t nextLine_ = 0;
    std::string* raw_ = nullptr;
    char piece_[maxPieceBytes];
};

// The test shared by classification and rewriting: the piece begins with
// "FILE " and holds " WAVE\n".
bool isAudioFileLine(std::string_view line);

inline bool contains(std::string_view text, std::string_view needle) {
    return text.find(needle) != std::string_view::npos;
}

} // namespace vorlin
