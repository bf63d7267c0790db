// Reads a cue sheet as decoded lines, the way a text-mode stream with a
// 4096-byte line buffer delivers them: every CR LF pair becomes LF (a lone CR
// stays), and the text arrives in pieces of at most 4095 bytes, each ending
// at LF unless it is full or the file ends. A piece is a byte string: NUL
// bytes are data.
//
// Sheets written by Windows tools are read as their text: a UTF-8 byte-order
// mark is not part of the first line, and a sheet behind a UTF-16 mark (either
// byte order) is decoded to UTF-8, its mark dropped. How the sheet was
// written is kept in its SheetForm, so that the new sheet can be written the
// same way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorlin {

inline constexpr std::size_t maxPieceBytes = 4095;

enum class Utf16 { none, littleEndian, bigEndian };

struct SheetForm {
    bool utf8Mark = false;     // starts with EF BB BF
    Utf16 utf16 = Utf16::none; // decoded from UTF-16 behind its mark
    bool crlf = false;         // the first LF of the sheet follows a CR
};

// The bytes of a sheet held in memory.
struct SheetBytes {
    std::string_view bytes;
};

class CueReader {
  public:
    // Opens `path` for reading; isOpen() tells whether that worked.
    explicit CueReader(const std::string& path);
    // Reads a sheet from memory, exactly as from a file of those bytes; they
    // must outlive the reader.
    explicit CueReader(SheetBytes sheet);
    ~CueReader();
    CueReader(const CueReader&) = delete;
    CueReader& operator=(const CueReader&) = delete;

    bool isOpen() const { return fd_ >= 0 || inMemory_; }
    // False for a UTF-16 sheet that does not decode (an odd number of bytes,
    // an unpaired surrogate); such a sheet yields no piece.
    bool decodes() const { return decodes_; }
    const SheetForm& form() const { return form_; }

    // The next piece; false at the end of the file or on a read error.
    bool next(std::string_view& piece);

    // True when reading stopped on an error rather than at the end of the file.
    bool failed() const { return failed_; }

    // The line of the file the last piece came from, counted from 0 in LF
    // bytes before it: the pieces of a long line share their line's number.
    std::uint64_t rawLine() const { return pieceLine_; }

    // The whole text of a UTF-16 sheet, decoded; empty for any other.
    std::string_view decodedText() const { return decoded_; }

  private:
    void open();
    bool readBlock(char* into, std::size_t size, std::size_t& got);
    std::int64_t readAt(char* into, std::size_t size, std::int64_t offset) const;
    void findLineEndStyle();
    int nextByte();
    bool refill();

    int fd_ = -1;
    bool inMemory_ = false;
    std::string_view memory_; // the sheet's bytes, when read from memory
    std::size_t memoryPos_ = 0;
    SheetForm form_;
    bool decodes_ = true;
    std::string decoded_; // the whole text of a UTF-16 sheet
    std::size_t decodedPos_ = 0;
    char block_[65536];
    std::size_t blockPos_ = 0;
    std::size_t blockLen_ = 0;
    bool atEnd_ = false;
    bool failed_ = false;
    std::uint64_t pieceLine_ = 0;
    std::uint64_t nextLine_ = 0;
    char piece_[maxPieceBytes];
};

} // namespace vorlin
