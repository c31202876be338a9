#include "output/jpeg/streaming_encoder.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "output/jpeg/bit_writer.h"
#include "output/jpeg/block_transform.h"
#include "output/jpeg/coefficient_planes.h"
#include "output/jpeg/huffman.h"
#include "output/jpeg/segments.h"
#include "stereo/parallel.h"

namespace k3v::jpeg {

namespace {

// A band holds about this many pixels: large enough that taking one costs nothing, small
// enough that the bands in flight need little memory and both threads finish together.
constexpr size_t kBandPixels = size_t(1) << 18;
// Pictures below this many pixels per thread are encoded on the calling thread.
constexpr size_t kPixelsPerThread = size_t(1) << 17;
// Symbols kept from the first pass for the second, in bytes per pixel of the saved picture
// (a side-by-side save of two W x H views has 2W x H pixels: this is 2 planes' worth).
constexpr size_t kKeptBytesPerPixel = 4;
// Coded bytes gathered before they go to the sink.
constexpr size_t kSinkChunk = size_t(1) << 20;

struct Geometry {
    size_t blocksAcross = 0;
    size_t blocksDown = 0;
    size_t paddedWidth = 0;  // 8 * blocksAcross
    size_t rowsPerBand = 0;  // block rows
    size_t bands = 0;

    size_t FirstBlockRow(size_t band) const { return band * rowsPerBand; }
    size_t EndBlockRow(size_t band) const { return std::min(blocksDown, (band + 1) * rowsPerBand); }
};

Geometry MakeGeometry(const RowSource& picture) {
    Geometry g;
    g.blocksAcross = (picture.width + 7) / 8;
    g.blocksDown = (picture.height + 7) / 8;
    g.paddedWidth = 8 * g.blocksAcross;
    g.rowsPerBand = std::max<size_t>(1, kBandPixels / (8 * g.paddedWidth));
    g.bands = (g.blocksDown + g.rowsPerBand - 1) / g.rowsPerBand;
    return g;
}

// One thread's strip of 8 rows, padded with black on the right and at the bottom.
class Strip {
  public:
    explicit Strip(const Geometry& geometry) : pixels_(8 * geometry.paddedWidth, 0) {}

    void Read(const RowSource& picture, const Geometry& geometry, size_t blockRow) {
        for (size_t r = 0; r < 8; ++r) {
            uint32_t* row = pixels_.data() + r * geometry.paddedWidth;
            const size_t top = 8 * blockRow + r;
            if (top < picture.height) {
                picture.readRow(top, row);  // the padding on the right stays black
            } else {
                std::fill(row, row + geometry.paddedWidth, 0u);
            }
        }
    }

    const uint32_t* data() const { return pixels_.data(); }

  private:
    std::vector<uint32_t> pixels_;
};

// The symbols of a band as the first pass finds them, so that the second pass only has to
// look up their codes. One 16-bit word per symbol: the table (0 luminance DC, 1 luminance AC,
// 2 chrominance DC, 3 chrominance AC) times 256 plus the symbol; their additional bits packed
// apart, least significant first, as many as the symbol's category says. The band's first
// three DC symbols depend on the band above: the first pass leaves their additional bits out,
// and the second pass codes them itself.
enum SymbolTable : uint16_t { kLumaDc = 0, kLumaAc = 1, kChromaDc = 2, kChromaAc = 3 };

// Symbols one MCU can give: each block is sent in at most 64 (see entropy_coder.cpp).
constexpr size_t kMaxSymbolsPerMcu = kComponents * kBlockSize;

inline uint32_t ExtraOf(int v, unsigned category) {
    return static_cast<uint32_t>(v + (v >> 31)) & ((uint32_t{1} << category) - 1u);
}

// Where a band's symbols go: room for the worst case.
struct SymbolOutput {
    uint16_t* symbols;
    uint64_t* extras;
};

// Packs additional bits, least significant first.
class ExtraPacker {
  public:
    explicit ExtraPacker(uint64_t* out) : start_(out), out_(out) {}

    void Put(uint32_t bits, unsigned count) {  // count 0..16
        accumulator_ |= static_cast<uint64_t>(bits) << used_;
        used_ += count;
        if (used_ >= 64) {
            *out_++ = accumulator_;
            used_ -= 64;
            accumulator_ = used_ == 0 ? 0 : static_cast<uint64_t>(bits) >> (count - used_);
        }
    }

    // Words written, the partial last one included.
    size_t Finish() {
        if (used_ > 0) {
            *out_++ = accumulator_;
        }
        return static_cast<size_t>(out_ - start_);
    }

  private:
    uint64_t* start_;
    uint64_t* out_;
    uint64_t accumulator_ = 0;
    unsigned used_ = 0;
};

struct Statistics {
    SymbolCounts dc[2] = {};
    SymbolCounts ac[2] = {};
};

// Appends the symbols of one block and counts them (as CountBlockSymbols counts and
// entropy_coder.cpp codes them). `dcExtra` false leaves out the DC's additional bits.
inline uint16_t* BlockSymbols(const int16_t* block, int& predictor, uint16_t dcTable,
                              bool dcExtra, SymbolCounts& dc, SymbolCounts& ac, uint16_t* out,
                              ExtraPacker& extras) {
    const int diff = block[0] - predictor;
    predictor = block[0];
    const unsigned dcCategory = Category(diff);
    ++dc[dcCategory];
    *out++ = static_cast<uint16_t>(dcTable * 256 + dcCategory);
    if (dcExtra) {
        extras.Put(ExtraOf(diff, dcCategory), dcCategory);
    }

    const unsigned acBase = (dcTable + 1u) * 256u;
    uint64_t nonzero = NonzeroMask(block) & ~uint64_t{1};
    unsigned last = 0;
    while (nonzero != 0) {
        const auto k = static_cast<unsigned>(std::countr_zero(nonzero));
        nonzero &= nonzero - 1;
        unsigned run = k - last - 1;
        if (run > 15) [[unlikely]] {
            for (; run > 15; run -= 16) {
                ++ac[kZrl];
                *out++ = static_cast<uint16_t>(acBase + kZrl);
            }
        }
        const int value = block[k];
        const unsigned category = Category(value);
        const unsigned symbol = 16 * run + category;
        ++ac[symbol];
        *out++ = static_cast<uint16_t>(acBase + symbol);
        extras.Put(ExtraOf(value, category), category);
        last = k;
    }
    if (last != 63) {
        ++ac[kEob];
        *out++ = static_cast<uint16_t>(acBase + kEob);
    }
    return out;
}

// What the first pass learnt about a band.
struct BandRecord {
    int firstDc[kComponents] = {0, 0, 0};  // DC values of the first MCU's blocks
    int lastDc[kComponents] = {0, 0, 0};   // and of the last MCU's
    size_t firstDcIndex[kComponents] = {0, 0, 0};
    // Kept symbols and additional bits; empty when not kept (the second pass finds them
    // again).
    std::vector<uint16_t> symbols;
    std::vector<uint64_t> extras;
    bool kept = false;
};

struct SymbolCount {
    size_t symbols = 0;
    size_t extraWords = 0;
};

// Transforms a band and writes its symbols and additional bits to `out`, counting the
// symbols into `stats`.
SymbolCount BandSymbols(const RowSource& picture, const Geometry& geometry,
                        const BlockTables& tables, BlockTransform transform, size_t band,
                        Strip& strip, Statistics& stats, BandRecord& record, SymbolOutput out) {
    alignas(32) int16_t blocks[kComponents * kBlockSize];
    int predictor[kComponents] = {0, 0, 0};
    uint16_t* symbols = out.symbols;
    ExtraPacker extras(out.extras);
    bool first = true;
    for (size_t blockRow = geometry.FirstBlockRow(band); blockRow < geometry.EndBlockRow(band);
         ++blockRow) {
        strip.Read(picture, geometry, blockRow);
        for (size_t column = 0; column < geometry.blocksAcross; ++column) {
            transform(strip.data(), geometry.paddedWidth, column, tables, blocks);
            if (first) {
                for (size_t c = 0; c < kComponents; ++c) {
                    record.firstDc[c] = blocks[c * kBlockSize];
                }
                record.firstDcIndex[kY] = static_cast<size_t>(symbols - out.symbols);
                symbols = BlockSymbols(blocks, predictor[kY], kLumaDc, false, stats.dc[0],
                                       stats.ac[0], symbols, extras);
                record.firstDcIndex[kCb] = static_cast<size_t>(symbols - out.symbols);
                symbols = BlockSymbols(blocks + kBlockSize, predictor[kCb], kChromaDc, false,
                                       stats.dc[1], stats.ac[1], symbols, extras);
                record.firstDcIndex[kCr] = static_cast<size_t>(symbols - out.symbols);
                symbols = BlockSymbols(blocks + 2 * kBlockSize, predictor[kCr], kChromaDc, false,
                                       stats.dc[1], stats.ac[1], symbols, extras);
                first = false;
                continue;
            }
            symbols = BlockSymbols(blocks, predictor[kY], kLumaDc, true, stats.dc[0],
                                   stats.ac[0], symbols, extras);
            symbols = BlockSymbols(blocks + kBlockSize, predictor[kCb], kChromaDc, true,
                                   stats.dc[1], stats.ac[1], symbols, extras);
            symbols = BlockSymbols(blocks + 2 * kBlockSize, predictor[kCr], kChromaDc, true,
                                   stats.dc[1], stats.ac[1], symbols, extras);
        }
    }
    for (size_t c = 0; c < kComponents; ++c) {
        record.lastDc[c] = predictor[c];
    }
    return {static_cast<size_t>(symbols - out.symbols), extras.Finish()};
}

// Scratch room for one band's symbols in the worst case, left uninitialised.
struct SymbolScratch {
    explicit SymbolScratch(size_t maxSymbols)
        : symbols(new uint16_t[maxSymbols]), extras(new uint64_t[maxSymbols * 16 / 64 + 2]) {}
    SymbolOutput Output() const { return {symbols.get(), extras.get()}; }

    std::unique_ptr<uint16_t[]> symbols;
    std::unique_ptr<uint64_t[]> extras;
};

// A band's coded bits, most significant first, without byte stuffing: `count` whole 64-bit
// words, then the `64 - free` bits in the low end of `accumulator`.
class BandBits {
  public:
    // Room for `words` words; the buffer may move.
    uint64_t* Reserve(size_t words) {
        if (words_.size() < words) {
            words_.resize(words);
        }
        return words_.data();
    }

    void Finish(size_t count, uint64_t accumulator, unsigned free) {
        count_ = count;
        accumulator_ = accumulator;
        free_ = free;
    }

    // Appends the bits to a stuffing writer.
    void AppendTo(BitWriter& out) const {
        for (size_t i = 0; i < count_; ++i) {
            out.EnsureRoom(2 * BitWriter::kMaxBytesPerPut);
            out.Put(static_cast<uint32_t>(words_[i] >> 32), 32);
            out.Put(static_cast<uint32_t>(words_[i]), 32);
        }
        const unsigned tailBits = 64 - free_;
        const uint64_t tail = tailBits == 0 ? 0 : accumulator_ & (~uint64_t{0} >> (64 - tailBits));
        out.EnsureRoom(2 * BitWriter::kMaxBytesPerPut);
        if (tailBits > 32) {
            out.Put(static_cast<uint32_t>(tail >> 32), tailBits - 32);
            out.Put(static_cast<uint32_t>(tail), 32);
        } else {
            out.Put(static_cast<uint32_t>(tail), tailBits);
        }
    }

  private:
    std::vector<uint64_t> words_;
    size_t count_ = 0;
    uint64_t accumulator_ = 0;
    unsigned free_ = 64;
};

// For each table and symbol (the value of a symbol word): the code shifted left by the number
// of additional bits in bits 0..31, the total length in bits 32..39, the number of
// additional bits in bits 40..47.
using CodeLookup = std::array<uint64_t, 4 * 256>;

CodeLookup MakeCodeLookup(const EntropyTables& entropy) {
    CodeLookup lookup{};
    const HuffmanTable* tables[4] = {&entropy.dc[0], &entropy.ac[0], &entropy.dc[1],
                                     &entropy.ac[1]};
    for (size_t t = 0; t < 4; ++t) {
        for (size_t symbol = 0; symbol < 256; ++symbol) {
            // DC symbols are categories; an AC symbol's category is its low four bits.
            const size_t extraBits = t % 2 == 0 ? (symbol < 16 ? symbol : 0) : symbol & 15;
            lookup[256 * t + symbol] =
                (static_cast<uint64_t>(extraBits) << 40) |
                (static_cast<uint64_t>(tables[t]->length[symbol] + extraBits) << 32) |
                (static_cast<uint64_t>(tables[t]->code[symbol]) << extraBits);
        }
    }
    return lookup;
}

// Reads the packed additional bits back, least significant first.
class ExtraReader {
  public:
    explicit ExtraReader(const uint64_t* words) : next_(words) {}

    uint32_t Get(unsigned count) {  // count 0..16
        uint64_t value = current_;
        if (count > available_) {
            const uint64_t word = *next_++;
            value |= word << available_;
            const unsigned taken = count - available_;  // 1..16
            current_ = word >> taken;
            available_ = 64 - taken;
        } else {
            current_ = count == 64 ? 0 : current_ >> count;
            available_ -= count;
        }
        return static_cast<uint32_t>(value) & ((uint32_t{1} << count) - 1u);
    }

  private:
    const uint64_t* next_;
    uint64_t current_ = 0;
    unsigned available_ = 0;
};

// The coder's state, in locals while a range is coded.
struct CoderState {
    uint64_t* words;
    size_t written = 0;
    uint64_t accumulator = 0;
    unsigned free = 64;
};

inline void PutBits(CoderState& state, uint32_t bits, unsigned length) {
    if (length < state.free) {
        state.accumulator = (state.accumulator << length) | bits;
        state.free -= length;
    } else {
        const unsigned rest = length - state.free;
        state.words[state.written++] = (state.accumulator << state.free) | (bits >> rest);
        state.accumulator = bits;
        state.free = 64 - rest;
    }
}

void CodeRange(const uint16_t* symbols, size_t begin, size_t end, const CodeLookup& lookup,
               ExtraReader& extras, CoderState& shared) {
    CoderState state = shared;
    ExtraReader reader = extras;
    for (size_t i = begin; i < end; ++i) {
        const uint64_t entry = lookup[symbols[i]];
        const uint32_t extra = reader.Get(static_cast<unsigned>(entry >> 40));
        PutBits(state, static_cast<uint32_t>(entry) | extra,
                static_cast<unsigned>(entry >> 32) & 0xFFu);
    }
    shared = state;
    extras = reader;
}

// Codes a band's symbols; the first MCU's DC differences are taken against `above`, the last
// DC values of the band above. The longest code with its additional bits is 16 + 11 bits.
void CodeSymbols(const uint16_t* symbols, size_t count, const uint64_t* extraWords,
                 const BandRecord& record, const int* above, const CodeLookup& lookup,
                 BandBits& bits) {
    CoderState state{bits.Reserve(count * 27 / 64 + 2)};
    ExtraReader extras(extraWords);
    size_t position = 0;
    for (size_t c = 0; c < kComponents; ++c) {
        const size_t dcIndex = record.firstDcIndex[c];
        CodeRange(symbols, position, dcIndex, lookup, extras, state);
        const int diff = record.firstDc[c] - above[c];
        const unsigned category = Category(diff);
        const uint64_t entry = lookup[(c == kY ? kLumaDc : kChromaDc) * 256u + category];
        PutBits(state, static_cast<uint32_t>(entry) | ExtraOf(diff, category),
                static_cast<unsigned>(entry >> 32) & 0xFFu);
        position = dcIndex + 1;
    }
    CodeRange(symbols, position, count, lookup, extras, state);
    bits.Finish(state.written, state.accumulator, state.free);
}

// Joins the bands' bit strings in order into the stuffed scan and passes the bytes on.
class ScanJoiner {
  public:
    ScanJoiner(size_t bands, const ByteSink& sink)
        : done_(bands), sink_(sink), writer_(staging_, kSinkChunk) {}

    // A band's bits for coding into, from the pool of returned ones.
    std::unique_ptr<BandBits> Take() {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (pool_.empty()) {
            return std::make_unique<BandBits>();
        }
        std::unique_ptr<BandBits> bits = std::move(pool_.back());
        pool_.pop_back();
        return bits;
    }

    // Hands over band `band`'s bits; joins every band that is ready in order unless another
    // thread is doing so already (it then joins this one too).
    void Finished(size_t band, std::unique_ptr<BandBits> bits) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_[band] = std::move(bits);
        if (joining_) {
            return;
        }
        joining_ = true;
        try {
            while (next_ < done_.size() && done_[next_]) {
                std::unique_ptr<BandBits> ready = std::move(done_[next_]);
                ++next_;
                lock.unlock();
                ready->AppendTo(writer_);
                if (writer_.BytesReady() >= kSinkChunk) {
                    writer_.Drain(sink_);
                }
                lock.lock();
                pool_.push_back(std::move(ready));
            }
        } catch (...) {
            if (!lock.owns_lock()) {
                lock.lock();
            }
            joining_ = false;
            throw;
        }
        joining_ = false;
    }

    bool AllJoined() const { return next_ == done_.size(); }

    // Pads the last byte and passes everything on.
    void Finish() {
        writer_.Finish();
        sink_(staging_.data(), staging_.size());
    }

  private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<BandBits>> done_;  // bands coded but not yet joined
    std::vector<std::unique_ptr<BandBits>> pool_;
    size_t next_ = 0;  // the next band to join
    bool joining_ = false;
    const ByteSink& sink_;
    std::vector<uint8_t> staging_;
    BitWriter writer_;
};

// Runs body(thread) on up to `threads` threads, thread 0 being the caller's; rethrows the first
// exception once all stopped, and sets `stop` for the others as soon as one fails. The bodies
// share their work through counters, so when a thread cannot be started (no memory for its
// stack) the ones that did start do all of it.
void RunGuarded(int threads, std::atomic<bool>& stop, const std::function<void(int)>& body) {
    std::exception_ptr failure;
    std::mutex failureMutex;
    const auto guarded = [&](int t) {
        try {
            body(t);
        } catch (...) {
            stop.store(true);
            const std::lock_guard<std::mutex> lock(failureMutex);
            if (!failure) {
                failure = std::current_exception();
            }
        }
    };
    std::vector<std::thread> helpers;
    try {
        helpers.reserve(static_cast<size_t>(threads));
        for (int t = 1; t < threads; ++t) {
            helpers.emplace_back(guarded, t);
        }
    } catch (...) {  // fewer threads than hoped
    }
    guarded(0);
    for (std::thread& helper : helpers) {
        helper.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

}  // namespace

void EncodeStreaming(const RowSource& picture, int32_t quality, std::string_view comment,
                     const ByteSink& sink) {
    const Geometry geometry = MakeGeometry(picture);
    const QuantTables quant = SetupQuantTables(quality);
    const BlockTables tables = MakeBlockTables(quant);
    const BlockTransform transform = ChooseBlockTransform();
    const int threads =
        std::min<int>(ThreadsFor(picture.width * picture.height, kPixelsPerThread),
                      static_cast<int>(std::min<size_t>(geometry.bands, 16)));
    // Symbols of a band in the worst case: every coefficient coded.
    const size_t maxBandSymbols = geometry.rowsPerBand * geometry.blocksAcross * kMaxSymbolsPerMcu;
    // Bands are kept while their symbols take at most this much (photos need about one
    // symbol per pixel, noise up to three); the rest are transformed again.
    const size_t keepLimit = kKeptBytesPerPixel * picture.width * picture.height;

    // First pass: statistics, and the symbols of as many bands as the limit allows.
    std::vector<BandRecord> records(geometry.bands);
    std::vector<Statistics> perThread(static_cast<size_t>(threads));
    std::atomic<size_t> nextBand{0};
    std::atomic<size_t> keptBytes{0};
    std::atomic<bool> stop{false};
    RunGuarded(threads, stop, [&](int t) {
        Strip strip(geometry);
        const SymbolScratch scratch(maxBandSymbols);
        Statistics& stats = perThread[static_cast<size_t>(t)];
        for (size_t band = nextBand++; band < geometry.bands && !stop.load(); band = nextBand++) {
            BandRecord& record = records[band];
            const SymbolCount count = BandSymbols(picture, geometry, tables, transform, band,
                                                  strip, stats, record, scratch.Output());
            const size_t bytes = count.symbols * sizeof(uint16_t) + count.extraWords * sizeof(uint64_t);
            if (keptBytes.fetch_add(bytes) + bytes <= keepLimit) {
                record.symbols.assign(scratch.symbols.get(), scratch.symbols.get() + count.symbols);
                record.extras.assign(scratch.extras.get(), scratch.extras.get() + count.extraWords);
                record.kept = true;
            } else {
                keptBytes.fetch_sub(bytes);
            }
        }
    });
    Statistics total;
    for (const Statistics& s : perThread) {
        for (size_t t = 0; t < 2; ++t) {
            for (size_t i = 0; i < s.dc[t].size(); ++i) {
                total.dc[t][i] += s.dc[t][i];
                total.ac[t][i] += s.ac[t][i];
            }
        }
    }
    // Each band's first DC difference was counted against zero; count it against the last DC
    // of the band above instead.
    for (size_t band = 0; band < geometry.bands; ++band) {
        for (size_t c = 0; c < kComponents; ++c) {
            const int above = band == 0 ? 0 : records[band - 1].lastDc[c];
            SymbolCounts& dc = total.dc[c == kY ? 0 : 1];
            --dc[Category(records[band].firstDc[c])];
            ++dc[Category(records[band].firstDc[c] - above)];
        }
    }
    EntropyTables entropy;
    for (size_t t = 0; t < 2; ++t) {
        entropy.dc[t] = GenerateOptimalTable(total.dc[t]);
        entropy.ac[t] = GenerateOptimalTable(total.ac[t]);
    }
    const CodeLookup lookup = MakeCodeLookup(entropy);

    Bytes header;
    WriteSoi(header);
    WriteApp0(header);
    WriteComment(header, comment);
    WriteDqt(header, 0, quant.luma);
    WriteDqt(header, 1, quant.chroma);
    WriteSof0(header, static_cast<uint16_t>(picture.width), static_cast<uint16_t>(picture.height));
    WriteDht(header, 0, 0, entropy.dc[0]);
    WriteDht(header, 1, 0, entropy.ac[0]);
    WriteDht(header, 0, 1, entropy.dc[1]);
    WriteDht(header, 1, 1, entropy.ac[1]);
    WriteSos(header);
    sink(header.data(), header.size());

    // Second pass: coding, joined in band order.
    ScanJoiner joiner(geometry.bands, sink);
    nextBand = 0;
    RunGuarded(threads, stop, [&](int) {
        std::unique_ptr<Strip> strip;
        std::unique_ptr<SymbolScratch> scratch;
        Statistics unused;
        for (size_t band = nextBand++; band < geometry.bands && !stop.load(); band = nextBand++) {
            BandRecord& record = records[band];
            const uint16_t* symbols = record.symbols.data();
            const uint64_t* extras = record.extras.data();
            size_t count = record.symbols.size();
            if (!record.kept) {
                if (!strip) {
                    strip = std::make_unique<Strip>(geometry);
                    scratch = std::make_unique<SymbolScratch>(maxBandSymbols);
                }
                // The same symbols again; a copy of the record keeps this thread's writes away
                // from what the thread coding the next band reads.
                BandRecord again;
                count = BandSymbols(picture, geometry, tables, transform, band, *strip, unused,
                                    again, scratch->Output())
                            .symbols;
                symbols = scratch->symbols.get();
                extras = scratch->extras.get();
            }
            static constexpr int kZero[kComponents] = {0, 0, 0};
            const int* above = band == 0 ? kZero : records[band - 1].lastDc;
            std::unique_ptr<BandBits> bits = joiner.Take();
            CodeSymbols(symbols, count, extras, record, above, lookup, *bits);
            std::vector<uint16_t>().swap(record.symbols);  // coded: no longer needed
            std::vector<uint64_t>().swap(record.extras);
            joiner.Finished(band, std::move(bits));
        }
    });
    joiner.Finish();

    Bytes eoi;
    WriteEoi(eoi);
    sink(eoi.data(), eoi.size());
}

}  // namespace k3v::jpeg
