// The frame syntaxes walked for their length (fast_syntax.hpp).
//
// How it is fast: the bits come from a 64-bit register (BitCursor) topped up
// without a branch from a byte-ordered copy of the ring; a code whose value
// steers the syntax is decoded with one lookup on the next bits
// (ValueTable); runs of codes whose values nobody needs (samples, scale
// differences) are skipped several codes per lookup (RunTable: how many
// whole codes the next 10 bits hold and how long they are), and plainly
// stored samples in one jump. Only codes longer than a table's index fall
// back to scanning the sorted entries, so every code is the one the plain
// parse decodes and exactly the same bits are consumed. Each refill
// guarantees 56 bits; the steps between refills below stay within that.
// The run tables are indexed by 10 bits, so that all of them stay in the
// first-level cache. The side information of a frame is walked first and
// leaves the samples as a list of runs; in version 7 frames it is read
// without branches on its values (a channel without samples takes the same
// lookups and consumes nothing), since those branches would mostly be
// mispredicted. When a stream is checked chunk by chunk, the runs of two
// frames take turns a few lookups at a time (RunLane), so that two chains of
// dependent lookups are under way instead of one.
#include "mpc/fast_syntax.hpp"

#include <algorithm>
#include <type_traits>

#include "mpc/fast_tables.hpp"
#include "mpc/frame_format.hpp"

namespace vorlin {

namespace {

// The samples of a frame, after its side information, as a list of runs:
// plainly stored bits to pass, then `count` codes (or left/right code pairs)
// of one table. The list ends with a run of no codes.
struct SampleRun {
    std::uint32_t plainBefore;
    std::uint16_t count;
    std::uint8_t table; // version 7: the resolution, the set bit read first picks the table;
                        // versions 4 to 6: the (left) resolution
    std::uint8_t right; // versions 4 to 6: the right resolution of a pair run, else 0
};

struct SampleRuns {
    SampleRun run[2 * maxBands + 1];
    std::uint32_t count = 0;
    std::uint32_t plain = 0;
    void add(std::uint32_t codes, std::uint32_t table, std::uint32_t right = 0) {
        run[count++] = {plain, static_cast<std::uint16_t>(codes), static_cast<std::uint8_t>(table),
                        static_cast<std::uint8_t>(right)};
        plain = 0;
    }
    void finish() { add(0, 0); }
    // A version 7 channel band of resolution r (-17..17): a run of codes
    // (1..7), plain bits (8..17, and quantBits is 0 below 8) or nothing;
    // written without a branch on r.
    void addSv7(std::int32_t r) {
        static constexpr std::uint16_t codesByResolution[8] = {0, 12, 18, 36, 36, 36, 36, 36};
        const std::uint32_t coded = r >= 1 && r <= 7;
        run[count] = {plain, codesByResolution[r & 7], static_cast<std::uint8_t>(r), 0};
        count += coded;
        plain = (plain + 36 * static_cast<std::uint32_t>(quantBits[std::max(r, 0)])) & (coded - 1);
    }
};

// What one frame decodes to steer its own syntax; nothing of it carries over
// to the next frame.
struct Steering {
    std::int32_t resL[maxBands], resR[maxBands];
    std::int32_t scfiL[maxBands], scfiR[maxBands]; // versions 4 to 6: the whole bundle
};

// The version 7 syntax up to the samples, step by step, so that the steps
// of two frames can take turns (see sideInfo): each frame's lookups wait for
// the ones before, the other frame's fill the gaps. The cursor is the
// caller's local, so that it stays in a register.
template <class Cursor> struct Sv7Side {
    static constexpr std::int32_t firstBandCoded = 1; // band 0 takes 4-bit numbers
    Steering s;
    std::int32_t left = 0, right = 0, last = 0;
    std::uint32_t scaleCodes = 0;

    void firstBand(Cursor& c, bool midSide) {
        left = static_cast<std::int32_t>(c.read(4));
        right = static_cast<std::int32_t>(c.read(4));
        s.resL[0] = left;
        s.resR[0] = right;
        if (midSide && (left | right)) c.consume(1);
    }
    void band(Cursor& c, const FastTables& t, bool midSide, std::int32_t n) {
        c.refill(); // a band takes at most 2 * (9 + 4) + 1 bits
        std::int32_t d = decodeValue(c, t.sv7ResolutionDelta);
        left = d == sv7ResolutionEscape ? static_cast<std::int32_t>(c.read(4)) : left + d;
        d = decodeValue(c, t.sv7ResolutionDelta);
        right = d == sv7ResolutionEscape ? static_cast<std::int32_t>(c.read(4)) : right + d;
        s.resL[n] = left;
        s.resR[n] = right;
        const bool coded = (left | right) != 0;
        c.consume(midSide & coded);
        last = coded ? n : last;
    }
    // A channel without samples codes no selection and no scale codes: it
    // takes the same steps as one that does, but consumes nothing; so do the
    // bands after the last coded one. A band's two selections are read with
    // one lookup, which tells their length and the count of scale codes
    // they select.
    void selections(Cursor& c, const FastTables& t, std::int32_t b) {
        c.refill(); // two selections of at most 3 bits
        const std::uint32_t coded = (s.resL[b] != 0) + (s.resR[b] != 0);
        const std::uint8_t e = t.sv7Selections[coded][c.peek(6)];
        c.consume(e & 15);
        scaleCodes += e >> 4;
    }
    void scaleBand(Cursor&, const FastTables&, std::int32_t) const {}
    // The scale codes of all channels follow one another: one run, an
    // escape and its 6 bits taken as one code of 10 bits.
    void scaleRun(Cursor& c, const FastTables& t) const {
        if (scaleCodes)
            skipRun(c, t.sv7ScaleRun, scaleCodes, [&] { c.consume(t.sv7ScaleSkip[c.peek(10)]); });
    }
    void list(SampleRuns& runs) const {
        for (std::int32_t b = 0; b <= last; ++b)
            for (const std::int32_t r : {s.resL[b], s.resR[b]}) {
                if (r < -17 || r > 17) { // out of range: the frame ends here
                    runs.finish();
                    return;
                }
                runs.addSv7(r);
            }
        runs.finish();
    }
};

// A selection bundle of versions 4 to 6 (codes of at most 6 bits), consumed
// only when `coded`.
template <class Cursor> std::int32_t bundle(Cursor& c, const FastTables& t, bool coded) {
    const ValueTable::Entry e = t.sv6ScfiBundle.entry[c.peek(t.sv6ScfiBundle.bits)];
    c.consume(e.length & (0u - coded));
    return e.value;
}

// The syntax of versions 4 to 6 up to the samples, in the same steps;
// without branches on the values read, as for version 7.
template <class Cursor> struct Sv46Side {
    static constexpr std::int32_t firstBandCoded = 0;
    Steering s;
    std::int32_t last = 0;

    void firstBand(Cursor&, bool) {}
    void band(Cursor& c, const FastTables& t, bool midSide, std::int32_t b) {
        c.refill(); // two region codes of at most 14 bits and a mid/side bit
        const ValueTable& region = b <= 10 ? t.sv6RegionA : b <= 22 ? t.sv6RegionB : t.sv6RegionC;
        const std::int32_t left = t.sv6BandResolution[b][decodeValue(c, region)];
        c.consume(midSide);
        const std::int32_t right = t.sv6BandResolution[b][decodeValue(c, region)];
        s.resL[b] = left;
        s.resR[b] = right;
        last = (left | right) ? b : last;
    }
    // A bundle: the selection times two plus whether the scale codes are
    // differences (scale-delta codes of at most 6 bits) or plain 6-bit
    // numbers. Uncoded channels consume nothing, as in version 7.
    void selections(Cursor& c, const FastTables& t, std::int32_t b) {
        c.refill(); // two bundles of at most 6 bits
        s.scfiL[b] = bundle(c, t, s.resL[b] != 0);
        s.scfiR[b] = bundle(c, t, s.resR[b] != 0);
    }
    void scaleBand(Cursor& c, const FastTables& t, std::int32_t b) const {
        c.refill(); // two channels of at most 3 codes of 6 bits
        for (const auto& [r, v] :
             {std::pair{s.resL[b], s.scfiL[b]}, std::pair{s.resR[b], s.scfiR[b]}}) {
            const std::uint32_t count = scaleCodesBySelection[v >> 1] & (0u - (r != 0));
            const std::uint8_t* skip = t.sv6ScaleSkip[v & 1];
            for (std::uint32_t k = 0; k < 3; ++k) c.consume(skip[c.peek(6)] & (0u - (k < count)));
        }
    }
    void scaleRun(Cursor&, const FastTables&) const {}
    // A band's coded channels make one run (of pairs when their tables
    // differ), its plainly coded samples follow it.
    void list(SampleRuns& runs) const {
        for (std::int32_t b = 0; b <= last; ++b) {
            const std::uint32_t r = static_cast<std::uint32_t>(s.resL[b]);
            const std::uint32_t q = static_cast<std::uint32_t>(s.resR[b]);
            const std::uint32_t codedL = r - 1 < 7, codedR = q - 1 < 7;
            const std::uint32_t coded = codedL | codedR;
            const std::uint32_t paired = codedL & codedR & (r != q);
            runs.run[runs.count] = {runs.plain,
                                    static_cast<std::uint16_t>(36 * (codedL + codedR - paired)),
                                    static_cast<std::uint8_t>(codedL ? r : q),
                                    static_cast<std::uint8_t>(q & (0u - paired))};
            runs.count += coded;
            runs.plain = (runs.plain & (coded - 1)) +
                         36 * static_cast<std::uint32_t>(quantBits[r] + quantBits[q]);
        }
        runs.finish();
    }
};

// The side information of one frame, or of two taking turns step by step
// (`second` may be null); lists each frame's runs of samples.
template <template <class> class Side, class Cursor>
void sideInfo(Cursor& cursor, SampleRuns& runs, Cursor* second, SampleRuns* secondRuns,
              std::int32_t maxBand, bool midSide) {
    const FastTables& t = fastTables(std::is_same_v<Side<Cursor>, Sv7Side<Cursor>>);
    Cursor a = cursor; // local copies stay in registers
    Side<Cursor> sideA;
    sideA.firstBand(a, midSide);
    if (!second) {
        for (std::int32_t n = Side<Cursor>::firstBandCoded; n <= maxBand; ++n)
            sideA.band(a, t, midSide, n);
        for (std::int32_t b = 0; b <= sideA.last; ++b) sideA.selections(a, t, b);
        for (std::int32_t b = 0; b <= sideA.last; ++b) sideA.scaleBand(a, t, b);
        sideA.scaleRun(a, t);
        cursor = a;
        sideA.list(runs);
        return;
    }
    Cursor b = *second;
    Side<Cursor> sideB;
    sideB.firstBand(b, midSide);
    for (std::int32_t n = Side<Cursor>::firstBandCoded; n <= maxBand; ++n) {
        sideA.band(a, t, midSide, n);
        sideB.band(b, t, midSide, n);
    }
    const std::int32_t last = std::max(sideA.last, sideB.last);
    for (std::int32_t n = 0; n <= last; ++n) {
        sideA.selections(a, t, n);
        sideB.selections(b, t, n);
    }
    for (std::int32_t n = 0; n <= last; ++n) {
        sideA.scaleBand(a, t, n);
        sideB.scaleBand(b, t, n);
    }
    sideA.scaleRun(a, t);
    sideB.scaleRun(b, t);
    cursor = a;
    *second = b;
    sideA.list(runs);
    sideB.list(*secondRuns);
}

template <class Cursor>
void sideInfoOf(bool sv7, Cursor& cursor, SampleRuns& runs, Cursor* second, SampleRuns* secondRuns,
                std::int32_t maxBand, bool midSide) {
    if (sv7)
        sideInfo<Sv7Side>(cursor, runs, second, secondRuns, maxBand, midSide);
    else
        sideInfo<Sv46Side>(cursor, runs, second, secondRuns, maxBand, midSide);
}

// Passes the runs of one frame.
template <class Cursor> void skipRuns(Cursor& c, const SampleRuns& runs, bool sv7) {
    const FastTables& t = fastTables(sv7);
    for (const SampleRun* run = runs.run;; ++run) {
        if (run->plainBefore) c.skipLong(run->plainBefore);
        if (run->count == 0) return;
        if (sv7) {
            c.refill();
            const std::uint32_t set = c.read(1);
            skipCodes(c, t.sv7Quant[set * 8 + run->table], run->count);
        } else if (run->right) {
            skipPairs(c, t.sv6Pairs[run->table * 8 + run->right], t.sv6Quant[run->table],
                      t.sv6Quant[run->right], run->count);
        } else {
            skipCodes(c, t.sv6Quant[run->table], run->count);
        }
    }
}

template <class Cursor> void walkBody(Cursor& c, std::int32_t maxBand, bool midSide, bool sv7) {
    SampleRuns runs;
    sideInfoOf<Cursor>(sv7, c, runs, nullptr, nullptr, maxBand, midSide);
    skipRuns(c, runs, sv7);
}

// One frame's runs passed a few lookups at a time, so that two frames' runs
// can take turns: see walkFrameBodies. Between the turns, the state of the
// current run (a cursor, the codes due and the table) lives in the caller's
// locals, so that it stays in registers; it is handed to the lane and back
// at the start of a run only.
class RunLane {
  public:
    struct Going {
        LinearCursor c;
        std::uint32_t due; // codes due after the next one
        const std::uint16_t* entry;
    };

    // The lane of a frame whose side information is read up to `c`: its
    // runs are to be listed in runs() before the first startRun().
    RunLane(const LinearCursor& c, bool sv7)
        : t_(fastTables(sv7)), sv7_(sv7), going_{c, 0, nullptr}, next_(runs_.run) {}

    SampleRuns& runs() { return runs_; }

    // Starts the next run after the one `going` ends; false when none is left
    // (`going` then holds the position after the frame).
    bool startRun(Going& going) {
        const FastTables& t = t_;
        LinearCursor c = going.c;
        const SampleRun& run = *next_++;
        if (run.plainBefore) c.skipLong(run.plainBefore);
        going.c = c;
        if (run.count == 0) return false;
        going.due = run.count - 1u;
        right_ = nullptr;
        if (sv7_) {
            going.c.refill();
            single_ = &t.sv7Quant[going.c.read(1) * 8 + run.table];
            going.entry = single_->entry;
        } else if (run.right) {
            single_ = &t.sv6Quant[run.table];
            right_ = &t.sv6Quant[run.right];
            going.entry = t.sv6Pairs[run.table * 8 + run.right].entry;
        } else {
            single_ = &t.sv6Quant[run.table];
            going.entry = single_->entry;
        }
        return true;
    }
    bool startRun() { return startRun(going_); }

    // Up to RunTable::lookupsPerRefill lookups of the current run; true when
    // it is done.
    [[gnu::always_inline]] bool step(Going& going) const {
        LinearCursor c = going.c;
        std::uint32_t due = going.due;
        bool done = false;
        c.refill();
        for (int lookup = 0; lookup < RunTable::lookupsPerRefill; ++lookup) {
            const std::uint32_t e = going.entry[c.peek(RunTable::indexBits)];
            const std::uint32_t codes = RunTable::codes(e);
            if (codes - 1 >= due) { // enough codes, or none (wrapping to the largest)
                if (codes == 0) {
                    c.consume(longLength(c.peek64()));
                    done = due-- == 0;
                } else {
                    c.consume(RunTable::firstLength(e, due + 1));
                    done = true;
                }
                break;
            }
            c.consumeEntry(e);
            due -= codes;
        }
        going.c = c;
        going.due = due;
        return done;
    }

    Going& going() { return going_; }

    // Walks the rest of the runs, the current one (`going_`) first if
    // `goes`; the position after the frame.
    std::uint32_t finish(bool goes) {
        while (goes) {
            while (!step(going_)) {}
            goes = startRun();
        }
        return going_.c.position();
    }

  private:
    // The length of one code (or left/right pair) longer than the index,
    // from the next 64 bits.
    [[gnu::noinline]] std::uint32_t longLength(std::uint64_t window) const {
        if (!right_)
            return scanSorted(single_->sorted, static_cast<std::uint32_t>(window >> 32)).length;
        const std::uint32_t left = codeLength(window, *single_);
        return left + codeLength(window << left, *right_);
    }

    const FastTables& t_;
    const bool sv7_;
    SampleRuns runs_;
    Going going_;
    const SampleRun* next_;
    const RunTable* single_ = nullptr;
    const RunTable* right_ = nullptr;
};

} // namespace

std::uint32_t walkFrameBody(const std::uint8_t* ordered, std::uint32_t start,
                            const FrameShape& shape) {
    LinearCursor c(ordered, start);
    walkBody(c, shape.maxBand, shape.midSide, shape.sv7);
    return c.position();
}

void walkFrameBodies(const std::uint8_t* ordered, std::uint32_t& a, std::uint32_t& b,
                     const FrameShape& shape) {
    // Each lookup of a run waits for the one before; two frames' runs taking
    // turns keep twice as many lookups under way.
    LinearCursor x0(ordered, a), y0(ordered, b);
    RunLane first(x0, shape.sv7), second(y0, shape.sv7);
    sideInfoOf(shape.sv7, first.going().c, first.runs(), &second.going().c, &second.runs(),
               shape.maxBand, shape.midSide);
    bool firstGoes = first.startRun(), secondGoes = second.startRun();
    if (firstGoes && secondGoes) {
        RunLane::Going x = first.going(), y = second.going();
        for (;;) {
            if (first.step(x) && !(firstGoes = first.startRun(x))) break;
            if (second.step(y) && !(secondGoes = second.startRun(y))) break;
        }
        first.going() = x;
        second.going() = y;
    }
    a = first.finish(firstGoes);
    b = second.finish(secondGoes);
}

std::uint32_t walkRingFrameBody(const std::uint8_t* ringOrdered, std::uint32_t start,
                                const FrameShape& shape) {
    RingCursor c(ringOrdered, start);
    if (shape.sv7)
        walkBody(c, shape.maxBand, shape.midSide, true);
    else
        walkBody(c, shape.maxBand, shape.midSide, false);
    return c.position();
}

} // namespace vorlin
