#include "cue/cue_reader.hpp"

#include <algorithm>
#include <cstring>
#include <optional>

#include "cue/text_encoding.hpp"
#include "platform/platform.hpp"

namespace vorlin {

CueReader::CueReader(const std::string& path) {
    fd_ = platform::openForReading(path);
    if (fd_ >= 0) open();
}

CueReader::CueReader(SheetBytes sheet) : inMemory_(true), memory_(sheet.bytes) {
    open();
}

CueReader::~CueReader() {
    if (fd_ >= 0) platform::closeFile(fd_);
}

bool CueReader::readBlock(char* into, std::size_t size, std::size_t& got) {
    got = 0;
    if (inMemory_) {
        got = std::min(size, memory_.size() - memoryPos_);
        if (got > 0) std::memcpy(into, memory_.data() + memoryPos_, got);
        memoryPos_ += got;
        return true;
    }
    while (got < size) {
        const std::int64_t n = platform::readNext(fd_, into + got, size - got);
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// Up to `size` bytes at `offset`, without moving the reading position; -1
// on an error.
std::int64_t CueReader::readAt(char* into, std::size_t size, std::int64_t offset) const {
    if (!inMemory_) return platform::readAt(fd_, into, size, offset);
    const std::size_t at = std::min(memory_.size(), static_cast<std::size_t>(offset));
    const std::size_t n = std::min(size, memory_.size() - at);
    if (n > 0) std::memcpy(into, memory_.data() + at, n);
    return static_cast<std::int64_t>(n);
}

// Reads the first block and tells the sheet's form from it: a mark at the
// start, and whether the first line ends in CR LF.
void CueReader::open() {
    if (!refill()) return;
    const auto startsWith = [&](std::string_view mark) {
        return std::string_view(block_, blockLen_).substr(0, mark.size()) == mark;
    };
    if (startsWith("\xFF\xFE") || startsWith("\xFE\xFF")) {
        const bool bigEndian = block_[0] == '\xFE';
        form_.utf16 = bigEndian ? Utf16::bigEndian : Utf16::littleEndian;
        std::string bytes(block_ + 2, blockLen_ - 2);
        char more[65536];
        std::size_t got = 0;
        do {
            if (!readBlock(more, sizeof more, got)) {
                failed_ = true;
                return;
            }
            bytes.append(more, got);
        } while (got == sizeof more);
        std::optional<std::string> text = utf16ToUtf8(bytes, bigEndian);
        if (!text) {
            decodes_ = false;
            return;
        }
        decoded_ = std::move(*text);
        blockLen_ = blockPos_ = 0;
        atEnd_ = false;
        refill();
    } else if (startsWith("\xEF\xBB\xBF")) {
        form_.utf8Mark = true;
        blockPos_ = 3;
    }
    findLineEndStyle();
}

void CueReader::findLineEndStyle() {
    const auto endsInCr = [](std::string_view text, std::size_t lf) {
        return lf > 0 && text[lf - 1] == '\r';
    };
    if (form_.utf16 != Utf16::none) {
        const std::size_t lf = decoded_.find('\n');
        form_.crlf = lf != std::string::npos && endsInCr(decoded_, lf);
        return;
    }
    const std::string_view first(block_ + blockPos_, blockLen_ - blockPos_);
    if (std::size_t lf = first.find('\n'); lf != std::string_view::npos) {
        form_.crlf = endsInCr(first, lf);
        return;
    }
    if (atEnd_) return;
    // A first line longer than a block: look further ahead without moving
    // the reading position.
    char ahead[65536];
    char previous = first.empty() ? '\0' : first.back();
    for (std::int64_t at = static_cast<std::int64_t>(blockLen_);;) {
        const std::int64_t n = readAt(ahead, sizeof ahead, at);
        if (n <= 0) return;
        const std::string_view chunk(ahead, static_cast<std::size_t>(n));
        if (std::size_t lf = chunk.find('\n'); lf != std::string_view::npos) {
            form_.crlf = lf > 0 ? endsInCr(chunk, lf) : previous == '\r';
            return;
        }
        previous = chunk.back();
        at += n;
    }
}

bool CueReader::refill() {
    if (atEnd_) return false;
    blockPos_ = 0;
    if (form_.utf16 != Utf16::none) {
        blockLen_ = std::min(sizeof block_, decoded_.size() - decodedPos_);
        std::memcpy(block_, decoded_.data() + decodedPos_, blockLen_);
        decodedPos_ += blockLen_;
        if (decodedPos_ == decoded_.size()) atEnd_ = true;
        return blockLen_ > 0;
    }
    if (!readBlock(block_, sizeof block_, blockLen_)) {
        failed_ = true;
        blockLen_ = 0;
    }
    if (blockLen_ < sizeof block_) atEnd_ = true;
    return blockLen_ > 0;
}

// The next byte of the translated text, or -1 at the end.
int CueReader::nextByte() {
    if (blockPos_ == blockLen_ && !refill()) return -1;
    unsigned char c = static_cast<unsigned char>(block_[blockPos_++]);
    if (c == '\r') {
        if (blockPos_ == blockLen_ && !refill()) return c;
        if (block_[blockPos_] == '\n') {
            ++blockPos_;
            return '\n';
        }
    }
    return c;
}

bool CueReader::next(std::string_view& piece) {
    if (!isOpen() || failed_ || !decodes_) return false;
    std::size_t n = 0;
    while (n < maxPieceBytes) {
        if (blockPos_ == blockLen_ && !refill()) break;
        // The bytes before the next CR or LF go over in one copy; that byte
        // itself through nextByte(), which pairs CR with LF.
        const char* from = block_ + blockPos_;
        const std::size_t room = std::min(blockLen_ - blockPos_, maxPieceBytes - n);
        const void* lf = std::memchr(from, '\n', room);
        const std::size_t toLf = lf ? static_cast<const char*>(lf) - from : room;
        const void* cr = std::memchr(from, '\r', toLf);
        const std::size_t plain = cr ? static_cast<const char*>(cr) - from : toLf;
        std::memcpy(piece_ + n, from, plain);
        n += plain;
        blockPos_ += plain;
        if (plain == room) continue;
        const int c = nextByte();
        if (c < 0) break;
        piece_[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    if (failed_) return false;
    piece = std::string_view(piece_, n);
    // A translated LF always stands for an LF in the file (CR LF is never split).
    pieceLine_ = nextLine_;
    if (n > 0 && piece_[n - 1] == '\n') ++nextLine_;
    return n > 0;
}

} // namespace vorlin
