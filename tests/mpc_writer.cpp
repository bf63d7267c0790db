#include "mpc_writer.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace vorlin::test {

void BitWriter::put(std::uint32_t value, unsigned n) {
    if (n > 32) throw std::logic_error("BitWriter::put: more than 32 bits");
    if (n < 32) value &= (1u << n) - 1u;
    while (n > 0) {
        unsigned used = bits_ % 32;
        if (used == 0) words_.push_back(0);
        unsigned take = std::min(n, 32 - used);
        std::uint32_t chunk = take == 32 ? value : (value >> (n - take)) & ((1u << take) - 1u);
        words_.back() |= take == 32 ? chunk : chunk << (32 - used - take);
        bits_ += take;
        n -= take;
    }
}

void BitWriter::append(const BitWriter& other) {
    std::uint64_t whole = other.bits_ / 32;
    for (std::uint64_t i = 0; i < whole; ++i) put(other.words_[i], 32);
    if (unsigned rest = other.bits_ % 32) put(other.words_[whole] >> (32 - rest), rest);
}

std::string BitWriter::bytes() const {
    std::string out;
    for (std::uint32_t w : words_)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((w >> (8 * i)) & 0xFF));
    return out;
}

CodeBook::CodeBook(const TableListing& listing)
    : name(listing.name), minValue(-listing.offset),
      maxValue(static_cast<int>(listing.count) - listing.offset - 1), codes(listing.count) {
    std::istringstream in(listing.codes);
    std::string token;
    std::uint32_t seen = 0;
    while (in >> token) {
        auto colon = token.find(':');
        int value = std::stoi(token.substr(0, colon));
        std::string bits = token.substr(colon + 1);
        if (value < minValue || value > maxValue) throw std::logic_error(name + ": bad value");
        Code& c = codes[value - minValue];
        for (char b : bits) c.bits = c.bits * 2 + (b == '1');
        c.length = static_cast<std::uint32_t>(bits.size());
        ++seen;
    }
    if (seen != listing.count) throw std::logic_error(name + ": entry count differs");
}

const Code& CodeBook::code(int value) const {
    if (value < minValue || value > maxValue)
        throw std::logic_error(name + ": no code for " + std::to_string(value));
    return codes[value - minValue];
}

const CodeBook& sv46Book(int table) {
    static const std::vector<CodeBook> books(std::begin(sv46Listings), std::end(sv46Listings));
    return books.at(table);
}

const CodeBook& sv7Book(int table) {
    static const std::vector<CodeBook> books(std::begin(sv7Listings), std::end(sv7Listings));
    return books.at(table);
}

int sv46Resolution(int band, int code) {
    int top = band <= 10 ? 15 : band <= 22 ? 7 : 3;
    return code == top ? 17 : code;
}

int scaleCodeCount(int scfi) {
    return scfi == 0 ? 3 : scfi == 3 ? 1 : 2;
}

namespace {

void putCode(BitWriter& out, const CodeBook& book, int value, CodeUsage* usage) {
    const Code& c = book.code(value);
    out.put(c.bits, c.length);
    if (usage) (*usage)[book.name].insert(value);
}

// Missing entries of hand-written content count as 0.
template <class T> T at(const std::vector<T>& v, std::size_t i) {
    return i < v.size() ? v[i] : T{};
}

void checkBands(const FrameContent& frame, const StreamShape& shape) {
    if (frame.bands.size() != static_cast<std::size_t>(shape.maxBand) + 1)
        throw std::logic_error("frame content needs maxBand + 1 bands");
}

void writeSv7Samples(BitWriter& out, const ChannelBand& ch, CodeUsage* usage) {
    int res = ch.res;
    if (res <= 0) return;
    if (res >= 8) {
        for (std::size_t i = 0; i < 36; ++i)
            out.put(static_cast<std::uint32_t>(at(ch.samples, i)), res - 1);
        return;
    }
    out.put(ch.set, 1);
    std::size_t codes = res == 1 ? 12 : res == 2 ? 18 : 36;
    for (std::size_t i = 0; i < codes; ++i)
        putCode(out, sv7QuantBook(res, ch.set), at(ch.samples, i), usage);
}

} // namespace

void writeSv7Body(BitWriter& out, const FrameContent& frame, const StreamShape& shape,
                  CodeUsage* usage) {
    checkBands(frame, shape);
    const auto& b = frame.bands;
    auto active = [](const BandContent& band) { return band.left.res != 0 || band.right.res != 0; };
    out.put(b[0].left.res, 4);
    out.put(b[0].right.res, 4);
    if (shape.midSide && active(b[0])) out.put(b[0].ms, 1);
    int last = 0;
    for (int n = 1; n <= shape.maxBand; ++n) {
        for (auto ch : {&BandContent::left, &BandContent::right}) {
            const ChannelBand& c = b[n].*ch;
            if (c.escapeRes) {
                putCode(out, sv7Book(resolutionDelta), 4, usage);
                out.put(c.res, 4);
            } else {
                putCode(out, sv7Book(resolutionDelta), c.res - (b[n - 1].*ch).res, usage);
            }
        }
        if (shape.midSide && active(b[n])) out.put(b[n].ms, 1);
        if (active(b[n])) last = n;
    }
    for (int n = 0; n <= last; ++n)
        for (auto ch : {&BandContent::left, &BandContent::right})
            if ((b[n].*ch).res != 0) putCode(out, sv7Book(sv7ScfiTable), (b[n].*ch).scfi, usage);
    for (int n = 0; n <= last; ++n)
        for (auto ch : {&BandContent::left, &BandContent::right}) {
            const ChannelBand& c = b[n].*ch;
            if (c.res == 0) continue;
            for (int k = 0; k < scaleCodeCount(c.scfi); ++k) {
                ScaleCode s = at(c.scales, k);
                putCode(out, sv7Book(sv7ScaleDeltaTable), s.absolute ? 8 : s.value, usage);
                if (s.absolute) out.put(s.value, 6);
            }
        }
    for (int n = 0; n <= last; ++n)
        for (auto ch : {&BandContent::left, &BandContent::right}) {
            if (std::abs((b[n].*ch).res) > 17) return; // the reader stops here
            writeSv7Samples(out, b[n].*ch, usage);
        }
}

void writeSv46Body(BitWriter& out, const FrameContent& frame, const StreamShape& shape,
                   CodeUsage* usage) {
    checkBands(frame, shape);
    const auto& b = frame.bands;
    int last = 0;
    for (int n = 0; n <= shape.maxBand; ++n) {
        const CodeBook& region = sv46Book(n <= 10 ? regionA : n <= 22 ? regionB : regionC);
        putCode(out, region, b[n].left.res, usage);
        if (shape.midSide) out.put(b[n].ms, 1);
        putCode(out, region, b[n].right.res, usage);
        if (b[n].left.res != 0 || b[n].right.res != 0) last = n;
    }
    for (int n = 0; n <= last; ++n)
        for (auto ch : {&BandContent::left, &BandContent::right}) {
            const ChannelBand& c = b[n].*ch;
            if (c.res != 0) putCode(out, sv46Book(scfiBundle), c.scfi * 2 + c.deltaCoded, usage);
        }
    for (int n = 0; n <= last; ++n)
        for (auto ch : {&BandContent::left, &BandContent::right}) {
            const ChannelBand& c = b[n].*ch;
            if (c.res == 0) continue;
            for (int k = 0; k < scaleCodeCount(c.scfi); ++k) {
                int v = at(c.scales, k).value;
                if (c.deltaCoded)
                    putCode(out, sv46Book(sv6ScaleDeltaTable), v, usage);
                else
                    out.put(v, 6);
            }
        }
    for (int n = 0; n <= last; ++n) {
        const ChannelBand& l = b[n].left;
        const ChannelBand& r = b[n].right;
        int rl = sv46Resolution(n, l.res), rr = sv46Resolution(n, r.res);
        auto coded = [](int res) { return res >= 1 && res <= 7; };
        for (std::size_t i = 0; i < 36 && (coded(rl) || coded(rr)); ++i) {
            if (coded(rl)) putCode(out, sv6QuantBook(rl), at(l.samples, i), usage);
            if (coded(rr)) putCode(out, sv6QuantBook(rr), at(r.samples, i), usage);
        }
        for (std::size_t i = 0; i < 36 && (rl > 7 || rr > 7); ++i) {
            if (rl > 7) out.put(static_cast<std::uint32_t>(at(l.samples, i)), rl - 1);
            if (rr > 7) out.put(static_cast<std::uint32_t>(at(r.samples, i)), rr - 1);
        }
    }
}

namespace {

// The stream header, up to the first bit of the first frame.
void writeHeader(BitWriter& w, const StreamLayout& layout, std::uint32_t frames) {
    const StreamShape& shape = layout.shape;
    const unsigned version = shape.version;
    const std::uint32_t ms = shape.midSide ? 1 : 0;
    if ((version & 15) == 7) {
        w.put(0x2B504Du | version << 24, 32); // "MP+" and the version byte
        w.put(frames, 32);
        w.put(ms << 30 | (shape.maxBand & 63u) << 24, 32);
        w.put(0, 32);
        w.put(0, 32);
        w.put((layout.trueGapless ? 1u << 31 : 0u) | (layout.lastFrameSamples & 0x7FFu) << 20, 32);
        w.put(layout.encoderVersion, 8);
    } else {
        w.put(ms << 21 | (version & 0x3FFu) << 11 | (shape.maxBand & 31u) << 6 | 1u, 32);
        // The reader takes one off the count of versions 4 and 5.
        std::uint32_t stated = version < 6 ? frames + 1 : frames;
        w.put(stated, version < 5 ? 16 : 32);
    }
}

} // namespace

WrittenStream writeStream(const StreamLayout& layout, CodeUsage* usage) {
    const StreamShape& shape = layout.shape;
    const unsigned version = shape.version;
    const bool sv7 = (version & 15) == 7;
    const std::uint32_t frames =
        layout.headerFrames.value_or(static_cast<std::uint32_t>(layout.frames.size()));
    BitWriter w;
    writeHeader(w, layout, frames);
    WrittenStream out;
    for (std::size_t i = 0; i < layout.frames.size(); ++i) {
        BitWriter body;
        if (sv7)
            writeSv7Body(body, layout.frames[i], shape, usage);
        else
            writeSv46Body(body, layout.frames[i], shape, usage);
        auto error = layout.lengthError.find(i);
        std::int64_t length = static_cast<std::int64_t>(body.bitCount()) +
                              (error == layout.lengthError.end() ? 0 : error->second);
        out.frameStartBit.push_back(w.bitCount());
        out.frameBodyBits.push_back(body.bitCount());
        w.put(static_cast<std::uint32_t>(length) & 0xFFFFFu, 20);
        w.append(body);
    }
    if (layout.frames.size() >= 2 && version >= 6) {
        w.put(layout.lastFrameSamples, 11);
        unsigned v = layout.lastFrameSamples == 0 ? 1152 : layout.lastFrameSamples;
        if (sv7 && layout.trueGapless && v + 481 >= 1152) {
            BitWriter body;
            writeSv7Body(body, layout.gaplessExtra.value_or(silentFrame(shape.maxBand)), shape);
            w.put(static_cast<std::uint32_t>(body.bitCount()), 20);
            w.append(body);
        }
    }
    out.totalBits = w.bitCount();
    std::string stream = w.bytes();
    if (stream.size() < layout.minBytes) stream.resize(layout.minBytes, '\0');
    if (layout.id3Size >= 0) {
        std::string tag = "ID3";
        tag += {3, 0, static_cast<char>(layout.id3Footer ? 0x10 : 0)};
        for (int shift : {21, 14, 7, 0})
            tag.push_back(static_cast<char>(layout.id3Size >> shift & 0x7F));
        tag.append(layout.id3Size, '\0');
        if (layout.id3Footer) tag += std::string("3DI\3\0\x10", 6) + tag.substr(6, 4);
        out.headerPos = static_cast<std::int32_t>(tag.size());
        stream = tag + stream;
    }
    out.bytes = std::move(stream);
    return out;
}

std::int64_t expectedSamples(unsigned version, std::uint32_t frames, unsigned lastFrameSamples) {
    std::int64_t n = frames;
    if (n == 0) return 0;
    if (n == 1) return 671;
    if (version < 6) return 1152 * n - 481;
    std::int64_t v = lastFrameSamples == 0 ? 1152 : lastFrameSamples;
    return v <= 1822 ? 1152 * (n - 1) + v : 1152 * (n - 2) + v;
}

std::int64_t expectedCdFrames(const StreamLayout& layout) {
    return expectedSamples(layout.shape.version, static_cast<std::uint32_t>(layout.frames.size()),
                           layout.lastFrameSamples) *
           75 / 44100;
}

FrameContent silentFrame(int maxBand) {
    FrameContent f;
    f.bands.resize(maxBand + 1);
    return f;
}

namespace {

int uniform(std::mt19937& rng, int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}
bool chance(std::mt19937& rng, double p) {
    return std::uniform_real_distribution<>(0, 1)(rng) < p;
}

// Scale codes, selection-dependent count; SV7 escapes carry a 6-bit index.
void randomScales(std::mt19937& rng, ChannelBand& c, int maxDelta, double escapeRate) {
    c.scales.clear();
    for (int k = 0; k < scaleCodeCount(c.scfi); ++k) {
        ScaleCode s;
        s.absolute = chance(rng, escapeRate);
        s.value =
            s.absolute || !c.deltaCoded ? uniform(rng, 0, 63) : uniform(rng, -maxDelta, maxDelta);
        c.scales.push_back(s);
    }
}

void randomSamples(std::mt19937& rng, ChannelBand& c, int res, const CodeBook* book, int count) {
    c.samples.clear();
    for (int i = 0; i < count; ++i)
        c.samples.push_back(book ? uniform(rng, book->minValue, book->maxValue)
                                 : uniform(rng, 0, (1 << (res - 1)) - 1));
}

} // namespace

FrameContent randomSv7Frame(std::mt19937& rng, const StreamShape& shape,
                            const ContentProfile& profile) {
    FrameContent f = silentFrame(shape.maxBand);
    for (int n = 0; n <= shape.maxBand; ++n) {
        for (auto ch : {&BandContent::left, &BandContent::right}) {
            ChannelBand& c = f.bands[n].*ch;
            int target = chance(rng, profile.silentBandRate) ? 0
                         : chance(rng, profile.plainRate)    ? uniform(rng, 8, 17)
                         : uniform(rng, 0, 4) == 0           ? uniform(rng, -17, -1)
                                                             : uniform(rng, 1, 7);
            if (n == 0) {
                c.res = std::min(std::max(target, 0), 15);
                continue;
            }
            int prev = (f.bands[n - 1].*ch).res;
            int d = target - prev;
            bool reachable = d >= -5 && d <= 3;
            if (target >= 0 && target <= 15 && (!reachable || chance(rng, profile.escapeResRate))) {
                c.escapeRes = true;
                c.res = target;
            } else {
                c.res = prev + std::min(std::max(d, -5), 3); // moves towards the target
            }
        }
        f.bands[n].ms = uniform(rng, 0, 1);
    }
    for (auto& band : f.bands)
        for (auto ch : {&BandContent::left, &BandContent::right}) {
            ChannelBand& c = band.*ch;
            if (c.res == 0) continue;
            c.scfi = uniform(rng, 0, 3);
            randomScales(rng, c, 7, profile.escapeScaleRate);
            c.set = uniform(rng, 0, 1);
            if (c.res >= 1 && c.res <= 7)
                randomSamples(rng, c, c.res, &sv7QuantBook(c.res, c.set),
                              c.res == 1   ? 12
                              : c.res == 2 ? 18
                                           : 36);
            else if (c.res >= 8)
                randomSamples(rng, c, c.res, nullptr, 36);
        }
    return f;
}

FrameContent randomSv46Frame(std::mt19937& rng, const StreamShape& shape,
                             const ContentProfile& profile) {
    FrameContent f = silentFrame(shape.maxBand);
    for (int n = 0; n <= shape.maxBand; ++n) {
        int top = n <= 10 ? 15 : n <= 22 ? 7 : 3;
        for (auto ch : {&BandContent::left, &BandContent::right}) {
            ChannelBand& c = f.bands[n].*ch;
            c.res = chance(rng, profile.silentBandRate) ? 0
                    : chance(rng, profile.plainRate)    ? uniform(rng, std::min(8, top), top)
                                                        : uniform(rng, 0, top);
            if (c.res == 0) continue;
            int res = sv46Resolution(n, c.res);
            c.scfi = uniform(rng, 0, 3);
            c.deltaCoded = uniform(rng, 0, 1);
            randomScales(rng, c, 6, 0);
            randomSamples(rng, c, res, res <= 7 ? &sv6QuantBook(res) : nullptr, 36);
        }
        f.bands[n].ms = uniform(rng, 0, 1);
    }
    return f;
}

StreamLayout randomStream(std::mt19937& rng, unsigned version, std::uint32_t frames,
                          const ContentProfile& profile) {
    StreamLayout s;
    s.shape.version = version;
    s.shape.midSide = uniform(rng, 0, 1);
    s.shape.maxBand = profile.maxBand >= 0      ? profile.maxBand
                      : uniform(rng, 0, 3) == 0 ? uniform(rng, 0, 31)
                                                : 31;
    s.trueGapless = (version & 15) == 7 && uniform(rng, 0, 1);
    s.lastFrameSamples = uniform(rng, 0, 2047);
    s.encoderVersion = static_cast<std::uint8_t>(uniform(rng, 0, 255));
    for (std::uint32_t i = 0; i < frames; ++i)
        s.frames.push_back((version & 15) == 7 ? randomSv7Frame(rng, s.shape, profile)
                                               : randomSv46Frame(rng, s.shape, profile));
    if (s.trueGapless) s.gaplessExtra = randomSv7Frame(rng, s.shape, profile);
    return s;
}

namespace {

// A value drawn with the probability its code stands for (2^-length): random
// bits decoded with the table, as an encoder's output would read.
int drawByCode(std::mt19937& rng, const CodeBook& book) {
    std::uint32_t bits = static_cast<std::uint32_t>(rng());
    for (std::size_t i = 0; i < book.codes.size(); ++i) {
        const Code& c = book.codes[i];
        if (bits >> (32 - c.length) == c.bits) return book.minValue + static_cast<int>(i);
    }
    throw std::logic_error(book.name + ": incomplete code");
}

int clampInt(int v, int lo, int hi) {
    return std::min(std::max(v, lo), hi);
}

// A resolution that falls with the band, with some spread.
int bandTarget(std::mt19937& rng, double atBand0, double perBand, int band) {
    return static_cast<int>(
        std::lround(atBand0 - perBand * band + std::normal_distribution<>(0.0, 0.8)(rng)));
}

void realisticScalesAndSamples(std::mt19937& rng, ChannelBand& c, int res, bool sv7) {
    c.scales.clear();
    for (int k = 0; k < scaleCodeCount(c.scfi); ++k) {
        ScaleCode code;
        if (sv7) {
            code.value = drawByCode(rng, sv7Book(sv7ScaleDeltaTable));
            if (code.value == 8) code = {true, uniform(rng, 0, 63)};
        } else {
            code.value =
                c.deltaCoded ? drawByCode(rng, sv46Book(sv6ScaleDeltaTable)) : uniform(rng, 0, 63);
        }
        c.scales.push_back(code);
    }
    c.samples.clear();
    if (res <= 0) return; // silent, or noise with no data
    const CodeBook* book = res > 7 ? nullptr : sv7 ? &sv7QuantBook(res, c.set) : &sv6QuantBook(res);
    int count = sv7 && res == 1 ? 12 : sv7 && res == 2 ? 18 : 36;
    for (int i = 0; i < count; ++i)
        c.samples.push_back(book ? drawByCode(rng, *book) : uniform(rng, 0, (1 << (res - 1)) - 1));
}

} // namespace

FrameContent realisticSv7Frame(std::mt19937& rng, const StreamShape& shape) {
    FrameContent f = silentFrame(shape.maxBand);
    for (int n = 0; n <= shape.maxBand; ++n) {
        for (auto ch : {&BandContent::left, &BandContent::right}) {
            ChannelBand& c = f.bands[n].*ch;
            int target = clampInt(bandTarget(rng, 6.5, 0.3, n), 0, 15);
            if (n < 8 && chance(rng, 0.03)) target = uniform(rng, 8, 12); // a loud band
            if (n > 18 && chance(rng, 0.02)) target = -1;                 // noise substitution
            if (n == 0) {
                c.res = std::max(target, 0);
                continue;
            }
            int prev = (f.bands[n - 1].*ch).res;
            int d = target - prev;
            if (target >= 0 && (d < -5 || d > 3 || chance(rng, 0.01))) {
                c.escapeRes = true;
                c.res = target;
            } else {
                c.res = prev + clampInt(d, -5, 3);
            }
        }
        f.bands[n].ms = uniform(rng, 0, 1);
    }
    for (auto& band : f.bands)
        for (auto ch : {&BandContent::left, &BandContent::right}) {
            ChannelBand& c = band.*ch;
            if (c.res == 0) continue;
            c.scfi = drawByCode(rng, sv7Book(sv7ScfiTable));
            c.set = uniform(rng, 0, 1);
            realisticScalesAndSamples(rng, c, c.res, true);
        }
    return f;
}

FrameContent realisticSv46Frame(std::mt19937& rng, const StreamShape& shape) {
    FrameContent f = silentFrame(shape.maxBand);
    for (int n = 0; n <= shape.maxBand; ++n) {
        int top = n <= 10 ? 15 : n <= 22 ? 7 : 3;
        for (auto ch : {&BandContent::left, &BandContent::right}) {
            ChannelBand& c = f.bands[n].*ch;
            c.res = clampInt(bandTarget(rng, 6.0, 0.3, n), 0, top - 1);
            if (n < 8 && chance(rng, 0.03)) c.res = uniform(rng, 8, 12);
            if (chance(rng, 0.002)) c.res = top; // resolution 17
            if (c.res == 0) continue;
            int bundle = drawByCode(rng, sv46Book(scfiBundle));
            c.scfi = bundle >> 1;
            c.deltaCoded = bundle & 1;
            realisticScalesAndSamples(rng, c, sv46Resolution(n, c.res), false);
        }
        f.bands[n].ms = uniform(rng, 0, 1);
    }
    return f;
}

RealisticStream realisticStream(std::uint32_t seed, unsigned version, std::size_t minBytes) {
    std::mt19937 rng(seed);
    StreamLayout layout;
    layout.shape.version = version;
    layout.shape.midSide = true;
    layout.shape.maxBand = (version & 15) == 7 ? uniform(rng, 26, 31) : 31;
    layout.trueGapless = (version & 15) == 7;
    layout.lastFrameSamples = static_cast<unsigned>(uniform(rng, 1, 1152));
    const bool sv7 = (version & 15) == 7;

    BitWriter frames;
    std::uint32_t count = 0;
    while (frames.bitCount() < minBytes * 8 || count < 2) {
        FrameContent content =
            sv7 ? realisticSv7Frame(rng, layout.shape) : realisticSv46Frame(rng, layout.shape);
        BitWriter body;
        if (sv7)
            writeSv7Body(body, content, layout.shape);
        else
            writeSv46Body(body, content, layout.shape);
        frames.put(static_cast<std::uint32_t>(body.bitCount()), 20);
        frames.append(body);
        ++count;
    }
    if (version >= 6) {
        frames.put(layout.lastFrameSamples, 11);
        if (sv7 && layout.lastFrameSamples + 481 >= 1152) {
            BitWriter body;
            writeSv7Body(body, silentFrame(layout.shape.maxBand), layout.shape);
            frames.put(static_cast<std::uint32_t>(body.bitCount()), 20);
            frames.append(body);
        }
    }
    BitWriter w;
    writeHeader(w, layout, count);
    w.append(frames);

    RealisticStream out;
    out.bytes = w.bytes();
    out.frames = count;
    out.cdFrames = expectedSamples(version, count, layout.lastFrameSamples) * 75 / 44100;
    return out;
}

} // namespace vorlin::test
