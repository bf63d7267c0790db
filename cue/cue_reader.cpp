#include "cue/cue_reader.hpp"

#include <sys/stat.h>

namespace vorlin {

CueReader::CueReader(const std::string& path) {
    file_ = std::fopen(path.c_str(), "rb");
}

CueReader::~CueReader() {
    if (file_) std::fclose(file_);
}

void CueReader::keepRawBytes(std::string* raw) {
    raw_ = raw;
    // Room for the whole file at once: no copies while it grows.
    struct stat st;
    if (file_ && ::fstat(::fileno(file_), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        raw->reserve(raw->size() + static_cast<std::size_t>(st.st_size));
}

bool CueReader::refill() {
    if (atEnd_) return false;
    blockLen_ = std::fread(block_, 1, sizeof block_, file_);
    blockPos_ = 0;
    if (raw_) raw_->append(block_, blockLen_);
    if (blockLen_ < sizeof block_) {
        atEnd_ = true;
        if (std::ferror(file_)) failed_ = true;
    }
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
    if (!file_ || failed_) return false;
    std::size_t n = 0;
    while (n < maxPieceBytes) {
        int c = nextByte();
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

bool isAudioFileLine(std::string_view line) {
    return line.substr(0, 5) == "FILE " && contains(line, " WAVE\n");
}

} // namespace vorlin
