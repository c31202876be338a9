#include "output/jpeg/streaming_encoder.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "base/thread_runner.h"
#include "output/jpeg/bit_writer.h"
#include "output/jpeg/block_transform.h"
#include "output/jpeg/huffman.h"
#include "output/jpeg/kept_symbols.h"
#include "output/jpeg/segments.h"

namespace k3v::jpeg {

namespace {

// A band holds about this many pixels: large enough that taking one costs nothing, small
// enough that the bands in flight need little memory and both threads finish together.
constexpr size_t kBandPixels = size_t(1) << 18;
// Plain symbols are kept in an arena handed to the threads in chunks of at least this many bytes.
constexpr size_t kArenaChunk = size_t(16) << 20;
// Pictures below this many pixels per thread are encoded on the calling thread.
constexpr size_t kPixelsPerThread = size_t(1) << 17;
// Coded bytes gathered before they go to the sink.
constexpr size_t kSinkChunk = size_t(1) << 20;
// The first pass's share of the work reported to the progress: it transforms every band,
// while the second mostly looks up the codes of kept symbols (80 to 95 % of the time goes to
// the first on the benchmark's picture at quality 100 and 75).
constexpr double kFirstPassShare = 0.8;

struct Geometry {
    size_t width = 0;  // pixels
    size_t height = 0;
    size_t blocksAcross = 0;
    size_t blocksDown = 0;
    size_t paddedWidth = 0;  // 8 * blocksAcross
    size_t rowsPerBand = 0;  // block rows
    size_t bands = 0;

    size_t FirstBlockRow(size_t band) const { return band * rowsPerBand; }
    size_t EndBlockRow(size_t band) const { return std::min(blocksDown, (band + 1) * rowsPerBand); }
};

Geometry MakeGeometry(const JpegRows& picture) {
    Geometry g;
    g.width = static_cast<size_t>(picture.width);
    g.height = static_cast<size_t>(picture.height);
    g.blocksAcross = (g.width + 7) / 8;
    g.blocksDown = (g.height + 7) / 8;
    g.paddedWidth = 8 * g.blocksAcross;
    g.rowsPerBand = std::max<size_t>(1, kBandPixels / (8 * g.paddedWidth));
    g.bands = (g.blocksDown + g.rowsPerBand - 1) / g.rowsPerBand;
    return g;
}

// One thread's strip of 8 rows, top row first, padded with black on the right and at the
// bottom: partial edge blocks are filled with black, never with repeated edge pixels.
class Strip {
  public:
    explicit Strip(const Geometry& geometry) : pixels_(8 * geometry.paddedWidth, 0) {}

    void Read(const JpegRows& picture, const Geometry& geometry, size_t blockRow) {
        for (size_t r = 0; r < 8; ++r) {
            uint32_t* row = pixels_.data() + r * geometry.paddedWidth;
            const size_t top = 8 * blockRow + r;
            if (top < geometry.height) {
                // Rows are stored bottom-up; the padding on the right stays black.
                picture.readRow(static_cast<int32_t>(geometry.height - 1 - top), row);
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
// look up their codes. One 21-bit word per symbol, stored in 3 bytes (least significant
// first): bits 0..9 the table (0 luminance DC, 1 luminance AC, 2 chrominance DC,
// 3 chrominance AC) times 256 plus the symbol, bits 10..20 its additional bits. The band's
// first three DC symbols depend on the band above: the first pass finds them with the
// predictors at zero, and the second pass rewrites them.
enum SymbolTable : uint32_t { kLumaDc = 0, kLumaAc = 1, kChromaDc = 2, kChromaAc = 3 };

// The DC table of component c; its AC table is the next one.
inline uint32_t DcTable(size_t c) {
    return c == kY ? kLumaDc : kChromaDc;
}

// Symbols one MCU can give: a block is sent in at most 64 (its DC symbol, then nonzero
// coefficients, ZRLs and an EOB that together never exceed 63).
constexpr size_t kMaxSymbolsPerMcu = kComponents * kBlockSize;

constexpr size_t kSymbolBytes = 3;

// Room for `symbols` stored symbols: one byte more, since each is written and read as 4 bytes.
constexpr size_t SymbolStorage(size_t symbols) {
    return kSymbolBytes * symbols + 1;
}

inline uint32_t SymbolWord(uint32_t tableSymbol, int v, unsigned category) {
    const uint32_t extra = static_cast<uint32_t>(v + (v >> 31)) & ((uint32_t{1} << category) - 1u);
    return (extra << 10) | tableSymbol;
}

// Stores a word at `out` and returns the next position; the byte after it is overwritten
// (with zero) and belongs to the next symbol or the spare byte.
inline uint8_t* StoreSymbol(uint8_t* out, uint32_t word) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &word, 4);
    } else {
        out[0] = static_cast<uint8_t>(word);
        out[1] = static_cast<uint8_t>(word >> 8);
        out[2] = static_cast<uint8_t>(word >> 16);
        out[3] = 0;
    }
    return out + kSymbolBytes;
}

// Rewrites a stored word without touching its neighbours.
inline void ReplaceSymbol(uint8_t* at, uint32_t word) {
    at[0] = static_cast<uint8_t>(word);
    at[1] = static_cast<uint8_t>(word >> 8);
    at[2] = static_cast<uint8_t>(word >> 16);
}

inline uint32_t LoadSymbol(const uint8_t* at) {
    if constexpr (std::endian::native == std::endian::little) {
        uint32_t word;
        std::memcpy(&word, at, 4);
        return word & 0xFFFFFFu;
    } else {
        return at[0] | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16);
    }
}

// Occurrences of each symbol word's bits 0..9: the four tables' symbols side by side.
using Statistics = std::array<uint64_t, 4 * 256>;

// Appends the symbols of one block (T.81 F.1.2) and counts them: the category of the DC
// difference to `predictor` (which then becomes the block's DC value), then in zig-zag order a
// run/size symbol for each nonzero coefficient, preceded by a ZRL for each 16 zeros before it,
// and an EOB when the block ends in zeros. `words` holds CoefficientWords of the block.
inline uint8_t* BlockSymbols(const int16_t* block, const uint32_t* words, int& predictor,
                             uint32_t dcTable, Statistics& counts, uint8_t* out) {
    const int diff = block[0] - predictor;
    predictor = block[0];
    const unsigned dcCategory = Category(diff);
    const uint32_t dcWord = SymbolWord(dcTable * 256 + dcCategory, diff, dcCategory);
    ++counts[dcWord & 1023u];
    out = StoreSymbol(out, dcWord);

    const uint32_t acBase = (dcTable + 1) * 256;
    uint64_t nonzero = NonzeroMask(block) & ~uint64_t{1};
    unsigned last = 0;
    while (nonzero != 0) {
        const auto k = static_cast<unsigned>(std::countr_zero(nonzero));
        nonzero &= nonzero - 1;
        unsigned run = k - last - 1;
        if (run > 15) [[unlikely]] {
            for (; run > 15; run -= 16) {
                ++counts[acBase + kZrl];
                out = StoreSymbol(out, acBase + kZrl);
            }
        }
        const uint32_t word = words[k] + acBase + 16 * run;
        ++counts[word & 1023u];
        out = StoreSymbol(out, word);
        last = k;
    }
    if (last != 63) {
        ++counts[acBase + kEob];
        out = StoreSymbol(out, acBase + kEob);
    }
    return out;
}

// Kept symbols live in one arena, reserved at once but touched only where symbols are written.
// It is not asked for huge pages: written once and read once, it gains little from them, and
// where memory is fragmented (after another large program, say) the kernel compacts memory to
// find them while the first pass waits, which cost a 100 MP encode a tenth of its time. Each
// thread takes chunks of it and writes a band's symbols straight at its cursor, moving on by
// what the band used when the band is kept: no copy, and no fresh small pages for every band.
// A chunk's pages are mapped in one call when it is taken, rather than one fault at a time.
class SymbolArena {
  public:
    explicit SymbolArena(size_t bytes) : bytes_(bytes) {
        if (bytes == 0) {
            return;
        }
        base_.reset(static_cast<uint8_t*>(std::malloc(bytes)));
        if (!base_) {
            throw std::bad_alloc();
        }
    }

    // `bytes` of the arena, or null once it is used up.
    uint8_t* take(size_t bytes) {
        const size_t at = used_.fetch_add(bytes);
        if (at + bytes > bytes_) {
            return nullptr;
        }
        uint8_t* chunk = base_.get() + at;
#if defined(MADV_POPULATE_WRITE)
        // Whole pages inside the chunk; older kernels decline, and the writes map them.
        static const auto page = uintptr_t(std::max(sysconf(_SC_PAGESIZE), 1L));
        const uintptr_t first = (uintptr_t(chunk) + page - 1) / page * page;
        const uintptr_t end = (uintptr_t(chunk) + bytes) / page * page;
        if (end > first) {
            (void)madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
        }
#endif
        return chunk;
    }

  private:
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint8_t, Free> base_;
    size_t bytes_;
    std::atomic<size_t> used_{0};
};

// What the first pass learnt about a band.
struct BandRecord {
    int firstDc[kComponents] = {0, 0, 0};  // DC values of the first MCU's blocks
    int lastDc[kComponents] = {0, 0, 0};   // and of the last MCU's
    size_t firstDcIndex[kComponents] = {0, 0, 0};
    size_t count = 0;  // symbols
    // The symbols as found (SymbolStorage bytes, in the arena) while they fit in the memory
    // allowed for plain symbols; otherwise null, and `packed` holds them coded with
    // KeptSymbolTables() (BandBits::CopyForReading), the first DC differences against zero, until
    // the second pass has read them.
    uint8_t* symbols = nullptr;
    std::unique_ptr<uint8_t[]> packed;
};

// Transforms a band and writes its symbols to `out`, counting them into `stats`; returns
// their number.
size_t BandSymbols(const JpegRows& picture, const Geometry& geometry, const BlockTables& tables,
                   BlockTransform transform, size_t band, Strip& strip, Statistics& counts,
                   BandRecord& record, uint8_t* out) {
    alignas(32) int16_t blocks[kComponents * kBlockSize];
    alignas(32) uint32_t words[kComponents * kBlockSize];
    int predictor[kComponents] = {0, 0, 0};
    uint8_t* symbols = out;
    bool first = true;
    for (size_t blockRow = geometry.FirstBlockRow(band); blockRow < geometry.EndBlockRow(band);
         ++blockRow) {
        strip.Read(picture, geometry, blockRow);
        for (size_t column = 0; column < geometry.blocksAcross; ++column) {
            transform(strip.data(), geometry.paddedWidth, column, tables, blocks, words);
            if (first) {
                for (size_t c = 0; c < kComponents; ++c) {
                    record.firstDc[c] = blocks[c * kBlockSize];
                }
                first = false;
            }
            for (size_t c = 0; c < kComponents; ++c) {
                if (column == 0 && blockRow == geometry.FirstBlockRow(band)) {
                    record.firstDcIndex[c] = static_cast<size_t>(symbols - out) / kSymbolBytes;
                }
                symbols = BlockSymbols(blocks + c * kBlockSize, words + c * kBlockSize,
                                       predictor[c], DcTable(c), counts, symbols);
            }
        }
    }
    for (size_t c = 0; c < kComponents; ++c) {
        record.lastDc[c] = predictor[c];
    }
    return static_cast<size_t>(symbols - out) / kSymbolBytes;
}

// A band's coded bits, most significant first, without byte stuffing: `count` whole bytes,
// then `tailBits` (0..7) bits in the low end of `tail`.
class BandBits {
  public:
    // Room for `bytes` bytes, not initialised; the buffer may move.
    uint8_t* Reserve(size_t bytes) {
        if (capacity_ < bytes) {
            bytes_.reset();
            bytes_.reset(new uint8_t[bytes]);
            capacity_ = bytes;
        }
        return bytes_.get();
    }

    void Finish(size_t count, uint32_t tail, unsigned tailBits) {
        count_ = count;
        tail_ = tail;
        tailBits_ = tailBits;
    }

    // The bits in whole bytes (the last padded with zeros), then the spare bytes that
    // SymbolReader reads ahead.
    std::unique_ptr<uint8_t[]> CopyForReading() const {
        const size_t bytes = count_ + (tailBits_ > 0 ? 1 : 0);
        std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes + SymbolReader::kSpareBytes]);
        std::memcpy(copy.get(), bytes_.get(), count_);
        if (tailBits_ > 0) {
            copy[count_] = static_cast<uint8_t>(tail_ << (8 - tailBits_));
        }
        std::memset(copy.get() + bytes, 0, SymbolReader::kSpareBytes);
        return copy;
    }

    // Appends the bits to a stuffing writer.
    void AppendTo(BitWriter& out) const {
        const uint8_t* bytes = bytes_.get();
        size_t i = 0;
        for (; i + 8 <= count_; i += 8) {
            out.EnsureRoom(BitWriter::kMaxBytesPerPut);
            uint64_t word = 0;
            for (unsigned b = 0; b < 8; ++b) {
                word = (word << 8) | bytes[i + b];
            }
            out.Put64(word);
        }
        out.EnsureRoom(2 * BitWriter::kMaxBytesPerPut);
        for (; i < count_; ++i) {
            out.Put(bytes[i], 8);
        }
        out.Put(tail_, tailBits_);
    }

  private:
    std::unique_ptr<uint8_t[]> bytes_;
    size_t capacity_ = 0;
    size_t count_ = 0;
    uint32_t tail_ = 0;
    unsigned tailBits_ = 0;
};

// For each table and symbol (bits 0..9 of a symbol word): the code shifted left by the number
// of additional bits in bits 0..31, the total length above.
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
                (static_cast<uint64_t>(tables[t]->length[symbol] + extraBits) << 32) |
                (static_cast<uint64_t>(tables[t]->code[symbol]) << extraBits);
        }
    }
    return lookup;
}

// Codes a band's symbols; the longest code with its additional bits is 16 + 11 bits. Without
// a branch per symbol: two codes are joined (at most 54 bits), the pending bits (fewer than
// 8, then the new ones) are stored as 8 bytes every time, and the position moves on by the
// bytes completed.
void CodeSymbols(const uint8_t* symbols, size_t count, const CodeLookup& lookup, BandBits& bits) {
    uint8_t* out = bits.Reserve(count * 27 / 8 + 16);
    uint8_t* const start = out;
    uint64_t pending = 0;  // the low `pendingBits` bits are not yet complete bytes
    unsigned pendingBits = 0;
    const auto codeOf = [&lookup](uint32_t word, unsigned& length) {
        const uint64_t entry = lookup[word & 1023u];
        length = static_cast<unsigned>(entry >> 32);  // 1..27
        return static_cast<uint64_t>(static_cast<uint32_t>(entry) | (word >> 10));
    };
    const auto send = [&](uint64_t code, unsigned length) {
        pending = (pending << length) | code;
        pendingBits += length;  // at most 7 + 54
        const uint64_t aligned = pending << (64 - pendingBits);
        uint8_t bytes[8];
        for (unsigned b = 0; b < 8; ++b) {
            bytes[b] = static_cast<uint8_t>(aligned >> (56 - 8 * b));
        }
        std::memcpy(out, bytes, 8);
        out += pendingBits >> 3;
        pendingBits &= 7u;
    };
    size_t i = 0;
    for (; i + 2 <= count; i += 2) {
        unsigned firstLength = 0;
        unsigned secondLength = 0;
        const uint64_t first = codeOf(LoadSymbol(symbols + kSymbolBytes * i), firstLength);
        const uint64_t second = codeOf(LoadSymbol(symbols + kSymbolBytes * (i + 1)), secondLength);
        send((first << secondLength) | second, firstLength + secondLength);
    }
    if (i < count) {
        unsigned length = 0;
        const uint64_t code = codeOf(LoadSymbol(symbols + kSymbolBytes * i), length);
        send(code, length);
    }
    bits.Finish(static_cast<size_t>(out - start),
                static_cast<uint32_t>(pending & ((uint64_t{1} << pendingBits) - 1u)), pendingBits);
}

// Packs codes into a band's bits, most significant first, without byte stuffing: every Put
// stores 8 bytes, the pending bits (fewer than 8) followed by the new ones, and moves on by
// the bytes completed, without a branch. The buffer needs room for 8 bytes past the last
// whole byte.
class BitPacker {
  public:
    explicit BitPacker(uint8_t* out) : start_(out), out_(out) {}

    // Sends the `length` (1..56) low bits of `code`; higher bits must be zero.
    void Put(uint64_t code, unsigned length) {
        const uint64_t pending = (pending_ << length) | code;
        const unsigned bits = pendingBits_ + length;
        const uint64_t aligned = pending << (64 - bits);
        uint8_t bytes[8];
        for (unsigned b = 0; b < 8; ++b) {
            bytes[b] = static_cast<uint8_t>(aligned >> (56 - 8 * b));
        }
        std::memcpy(out_, bytes, 8);
        out_ += bits >> 3;
        pending_ = pending;
        pendingBits_ = bits & 7u;
    }

    void Finish(BandBits& bits) const {
        bits.Finish(static_cast<size_t>(out_ - start_),
                    static_cast<uint32_t>(pending_ & ((uint64_t{1} << pendingBits_) - 1u)),
                    pendingBits_);
    }

  private:
    uint8_t* start_;
    uint8_t* out_;
    uint64_t pending_ = 0;  // the low `pendingBits_` bits are not yet complete bytes
    unsigned pendingBits_ = 0;
};

// Bytes a band's bits may take: `symbols` codes of at most 16 + 11 bits, and the 8 bytes that
// BitPacker stores past the end.
constexpr size_t CodedBytes(size_t symbols) {
    return symbols * 27 / 8 + 16;
}

// For each table and symbol (bits 0..9 of a symbol word), what turns the bits SymbolReader
// takes for it (its fixed code, then its additional bits) into its optimised code followed by
// the same additional bits, by exclusive or, in bits 0..31; the length of those in bits
// 32..39; and how far the symbol moves on in its block in bits 40..47: 1 for a DC symbol,
// the run plus 1 for an AC symbol (16 for a ZRL), 64 for an EOB.
using TranscodeLookup = std::array<uint64_t, 4 * 256>;

TranscodeLookup MakeTranscodeLookup(const EntropyTables& kept, const EntropyTables& optimal) {
    TranscodeLookup lookup{};
    const HuffmanTable* from[4] = {&kept.dc[0], &kept.ac[0], &kept.dc[1], &kept.ac[1]};
    const HuffmanTable* to[4] = {&optimal.dc[0], &optimal.ac[0], &optimal.dc[1], &optimal.ac[1]};
    for (size_t t = 0; t < 4; ++t) {
        for (size_t symbol = 0; symbol < 256; ++symbol) {
            const unsigned category = symbol & 15u;
            const uint64_t change = (uint64_t{from[t]->code[symbol]} << category) ^
                                    (uint64_t{to[t]->code[symbol]} << category);
            const uint64_t length = to[t]->length[symbol] + category;
            const uint64_t step = t % 2 == 0 ? 1 : symbol == kEob ? 64 : (symbol >> 4) + 1;
            lookup[256 * t + symbol] = change | (length << 32) | (step << 40);
        }
    }
    return lookup;
}

// Reads a band's kept symbols and codes them into `bits` with the optimised codes; the first
// MCU's DC symbols are replaced by `firstDc` (symbol words, coded with `lookup`).
void Transcode(const SymbolReader& reader, const uint8_t* kept, size_t mcus, size_t count,
               const uint32_t (&firstDc)[kComponents], const CodeLookup& lookup,
               const TranscodeLookup& transcode, BandBits& bits) {
    BitPacker out(bits.Reserve(CodedBytes(count)));
    SymbolReader::Cursor at(kept);
    // Codes the next symbol, of table t, and returns how far it moves on in its block.
    const auto next = [&](unsigned t) {
        const unsigned entry = reader.Peek(at, t);
        const uint32_t taken = SymbolReader::Take(at, entry >> 8);
        const uint64_t change = transcode[256 * t + (entry & 0xFFu)];
        out.Put(static_cast<uint32_t>(change) ^ taken, static_cast<unsigned>(change >> 32) & 0xFFu);
        return static_cast<unsigned>(change >> 40);
    };
    for (size_t mcu = 0; mcu < mcus; ++mcu) {
        for (size_t c = 0; c < kComponents; ++c) {
            const uint32_t dc = DcTable(c);
            SymbolReader::Refill(at);
            if (mcu == 0) [[unlikely]] {
                SymbolReader::Take(at, reader.Peek(at, dc) >> 8);
                const uint64_t entry = lookup[firstDc[c] & 1023u];
                out.Put(static_cast<uint32_t>(entry) | (firstDc[c] >> 10),
                        static_cast<unsigned>(entry >> 32));
            } else {
                next(dc);
            }
            // The block ends with an EOB or once its 63rd coefficient is sent; one refill
            // serves two symbols.
            for (unsigned k = 1;;) {
                SymbolReader::Refill(at);
                k += next(dc + 1);
                if (k >= kBlockSize) {
                    break;
                }
                k += next(dc + 1);
                if (k >= kBlockSize) {
                    break;
                }
            }
        }
    }
    out.Finish(bits);
}

// Joins the bands' bit strings in order into the stuffed scan and passes the bytes on.
class ScanJoiner {
  public:
    ScanJoiner(size_t bands, const JpegSink& sink)
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
    const JpegSink& sink_;
    std::vector<uint8_t> staging_;
    BitWriter writer_;
};

// Thrown by the thread that finds the work cancelled between two bands: RunGuarded stops the
// others as for a failure, and EncodeStreaming returns false.
struct CancelledBetweenBands {};

// A pass's block rows done, reported as each band is finished; and the poll for a cancel
// before each band is begun.
class PassProgress {
  public:
    PassProgress(const Progress& progress, size_t blockRows)
        : progress_(progress), total_(blockRows) {}

    void ThrowIfCancelled() const {
        if (progress_.cancelled()) {
            throw CancelledBetweenBands{};
        }
    }

    void Finished(const Geometry& geometry, size_t band) {
        const size_t rows = geometry.EndBlockRow(band) - geometry.FirstBlockRow(band);
        progress_.report(done_ += rows, total_);
    }

  private:
    const Progress progress_;
    std::atomic<uint64_t> done_{0};
    const uint64_t total_;
};

// Runs body(thread) on up to `threads` threads, thread 0 being the caller's; rethrows the first
// exception once all stopped, and sets `stop` for the others as soon as one fails. The bodies
// share their work through counters, so a body whose thread could not be started finds the
// work done by the others.
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
    RunOnThreads(threads, guarded);
    if (failure) {
        std::rethrow_exception(failure);
    }
}

// What both passes work with.
struct Plan {
    Geometry geometry;
    QuantTables quant;
    BlockTables tables;
    BlockTransform transform = nullptr;
    int threads = 1;
    size_t maxBandSymbols = 0;  // symbols of a band in the worst case: every coefficient coded
    size_t keepLimit = 0;       // bytes of symbols the first pass may keep plain
    size_t bandStorage = 0;     // SymbolStorage(maxBandSymbols)
    size_t arenaChunk = 0;      // what a thread takes of the arena at a time
    size_t arenaBytes = 0;      // room for keepLimit bytes of kept bands, chunk ends unused
};

Plan MakePlan(const JpegRows& picture, int32_t quality, size_t plainSymbolBytes) {
    Plan plan;
    plan.geometry = MakeGeometry(picture);
    const Geometry& g = plan.geometry;
    plan.quant = SetupQuantTables(quality);
    plan.tables = MakeBlockTables(plan.quant);
    plan.transform = ChooseBlockTransform();
    plan.threads = std::min<int>(ThreadsFor(g.width * g.height, kPixelsPerThread),
                                 static_cast<int>(std::min<size_t>(g.bands, 16)));
    plan.maxBandSymbols = g.rowsPerBand * g.blocksAcross * kMaxSymbolsPerMcu;
    plan.keepLimit = plainSymbolBytes;
    plan.bandStorage = SymbolStorage(plan.maxBandSymbols);
    plan.arenaChunk = std::max(kArenaChunk, 4 * plan.bandStorage);
    // No more can be kept than every band at its worst; a chunk's last band may not fit and
    // moves on to the next chunk, leaving the end unused.
    const size_t kept = std::min(plan.keepLimit, g.bands * plan.bandStorage);
    const size_t chunkUse = plan.arenaChunk - plan.bandStorage;
    const size_t chunks = (kept + chunkUse - 1) / chunkUse + static_cast<size_t>(plan.threads);
    plan.arenaBytes = kept == 0 ? 0 : chunks * plan.arenaChunk;
    return plan;
}

// First pass: transforms every band, records its DC values and keeps its symbols: plain while
// the limit allows, coded with the fixed tables after that; returns the symbol counts of
// the whole picture.
Statistics GatherStatistics(const JpegRows& picture, const Plan& plan, SymbolArena& arena,
                            std::vector<BandRecord>& records, PassProgress& progress) {
    const Geometry& g = plan.geometry;
    std::vector<Statistics> perThread(static_cast<size_t>(plan.threads), Statistics{});
    std::atomic<size_t> nextBand{0};
    std::atomic<size_t> keptBytes{0};
    std::atomic<bool> stop{false};
    const CodeLookup fixed = MakeCodeLookup(KeptSymbolTables());
    RunGuarded(plan.threads, stop, [&](int t) {
        Strip strip(g);
        BandBits bits;
        Statistics& stats = perThread[static_cast<size_t>(t)];
        uint8_t* cursor = nullptr;  // in this thread's chunk of the arena
        uint8_t* chunkEnd = nullptr;
        std::unique_ptr<uint8_t[]> scratch;  // once the arena is used up
        for (size_t band = nextBand++; band < g.bands && !stop.load(); band = nextBand++) {
            progress.ThrowIfCancelled();
            BandRecord& record = records[band];
            if (size_t(chunkEnd - cursor) < plan.bandStorage) {
                cursor = arena.take(plan.arenaChunk);
                chunkEnd = cursor == nullptr ? nullptr : cursor + plan.arenaChunk;
            }
            if (cursor == nullptr && !scratch) {
                scratch.reset(new uint8_t[plan.bandStorage]);
            }
            uint8_t* out = cursor != nullptr ? cursor : scratch.get();
            const size_t count = BandSymbols(picture, g, plan.tables, plan.transform, band, strip,
                                             stats, record, out);
            const size_t bytes = SymbolStorage(count);
            record.count = count;
            if (cursor != nullptr && keptBytes.fetch_add(bytes) + bytes <= plan.keepLimit) {
                record.symbols = cursor;
                cursor += bytes;
            } else {
                if (cursor != nullptr) {
                    keptBytes.fetch_sub(bytes);
                }
                CodeSymbols(out, count, fixed, bits);
                record.packed = bits.CopyForReading();
            }
            progress.Finished(g, band);
        }
    });
    Statistics total{};
    for (const Statistics& s : perThread) {
        for (size_t i = 0; i < total.size(); ++i) {
            total[i] += s[i];
        }
    }
    // Each band's first DC difference was counted against zero; count it against the last DC
    // of the band above instead.
    for (size_t band = 0; band < g.bands; ++band) {
        for (size_t c = 0; c < kComponents; ++c) {
            const int above = band == 0 ? 0 : records[band - 1].lastDc[c];
            --total[DcTable(c) * 256 + Category(records[band].firstDc[c])];
            ++total[DcTable(c) * 256 + Category(records[band].firstDc[c] - above)];
        }
    }
    return total;
}

// The four optimised tables from the statistics of the whole picture.
EntropyTables OptimalTables(const Statistics& total) {
    EntropyTables entropy;
    for (size_t t = 0; t < 2; ++t) {
        SymbolCounts dc{};
        SymbolCounts ac{};
        const auto dcStart = total.begin() + static_cast<long>(256 * (2 * t));
        const auto acStart = total.begin() + static_cast<long>(256 * (2 * t + 1));
        std::copy(dcStart, dcStart + 256, dc.begin());
        std::copy(acStart, acStart + 256, ac.begin());
        entropy.dc[t] = GenerateOptimalTable(dc);
        entropy.ac[t] = GenerateOptimalTable(ac);
    }
    return entropy;
}

// Second pass: codes every band's kept symbols with the optimised tables (reading back those
// kept coded with the fixed tables) and joins the bands' bits in order into the scan, which
// leaves through `sink` as it grows.
void CodeBands(const Plan& plan, std::vector<BandRecord>& records, const EntropyTables& entropy,
               const JpegSink& sink, PassProgress& progress) {
    const Geometry& g = plan.geometry;
    const CodeLookup lookup = MakeCodeLookup(entropy);
    const TranscodeLookup transcode = MakeTranscodeLookup(KeptSymbolTables(), entropy);
    const SymbolReader reader(KeptSymbolTables());
    ScanJoiner joiner(g.bands, sink);
    std::atomic<size_t> nextBand{0};
    std::atomic<bool> stop{false};
    RunGuarded(plan.threads, stop, [&](int) {
        for (size_t band = nextBand++; band < g.bands && !stop.load(); band = nextBand++) {
            progress.ThrowIfCancelled();
            BandRecord& record = records[band];
            // The first DC differences, now against the last DC values of the band above.
            uint32_t firstDc[kComponents];
            for (size_t c = 0; c < kComponents; ++c) {
                const int above = band == 0 ? 0 : records[band - 1].lastDc[c];
                const int diff = record.firstDc[c] - above;
                const unsigned category = Category(diff);
                firstDc[c] = SymbolWord(DcTable(c) * 256 + category, diff, category);
            }
            std::unique_ptr<BandBits> bits = joiner.Take();
            if (record.symbols != nullptr) {
                for (size_t c = 0; c < kComponents; ++c) {
                    ReplaceSymbol(record.symbols + kSymbolBytes * record.firstDcIndex[c],
                                  firstDc[c]);
                }
                CodeSymbols(record.symbols, record.count, lookup, *bits);
            } else {
                const size_t mcus = (g.EndBlockRow(band) - g.FirstBlockRow(band)) * g.blocksAcross;
                Transcode(reader, record.packed.get(), mcus, record.count, firstDc, lookup,
                          transcode, *bits);
                record.packed.reset();
            }
            joiner.Finished(band, std::move(bits));
            progress.Finished(g, band);
        }
    });
    joiner.Finish();
}

}  // namespace

bool EncodeStreaming(const JpegRows& picture, int32_t quality, const JpegSink& sink,
                     size_t plainSymbolBytes, const Progress& progress) {
    const Plan plan = MakePlan(picture, quality, plainSymbolBytes);
    std::vector<BandRecord> records(plan.geometry.bands);
    SymbolArena arena(plan.arenaBytes);
    PassProgress first(progress.part(0.0, kFirstPassShare), plan.geometry.blocksDown);
    PassProgress second(progress.part(kFirstPassShare, 1.0), plan.geometry.blocksDown);
    try {
        const EntropyTables entropy =
            OptimalTables(GatherStatistics(picture, plan, arena, records, first));

        Bytes header;
        WriteHeaders(header, plan.quant, entropy, static_cast<uint16_t>(picture.width),
                     static_cast<uint16_t>(picture.height));
        sink(header.data(), header.size());

        CodeBands(plan, records, entropy, sink, second);
    } catch (const CancelledBetweenBands&) {
        return false;
    }

    Bytes eoi;
    WriteEoi(eoi);
    sink(eoi.data(), eoi.size());
    return true;
}

}  // namespace k3v::jpeg
