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

// DC values (Y, Cb, Cr) of a band's first and last block.
struct BandEnds {
    int first[kComponents] = {0, 0, 0};
    int last[kComponents] = {0, 0, 0};
};

struct Statistics {
    SymbolCounts dc[2] = {};
    SymbolCounts ac[2] = {};
};

// The first pass over one band: counts as if the DC predictors started at zero, and records
// the DC values at both ends so that the top can be fixed up.
void CountBand(const RowSource& picture, const Geometry& geometry, const BlockTables& tables,
               BlockTransform transform, size_t band, Strip& strip, Statistics& stats,
               BandEnds& ends) {
    alignas(32) int16_t blocks[kComponents * kBlockSize];
    int predictor[kComponents] = {0, 0, 0};
    bool first = true;
    for (size_t blockRow = geometry.FirstBlockRow(band); blockRow < geometry.EndBlockRow(band);
         ++blockRow) {
        strip.Read(picture, geometry, blockRow);
        for (size_t column = 0; column < geometry.blocksAcross; ++column) {
            transform(strip.data(), geometry.paddedWidth, column, tables, blocks);
            if (first) {
                for (size_t c = 0; c < kComponents; ++c) {
                    ends.first[c] = blocks[c * kBlockSize];
                }
                first = false;
            }
            CountBlockSymbols(blocks, predictor[kY], stats.dc[0], stats.ac[0]);
            CountBlockSymbols(blocks + kBlockSize, predictor[kCb], stats.dc[1], stats.ac[1]);
            CountBlockSymbols(blocks + 2 * kBlockSize, predictor[kCr], stats.dc[1], stats.ac[1]);
        }
    }
    for (size_t c = 0; c < kComponents; ++c) {
        ends.last[c] = predictor[c];
    }
}

// A band's coded bits, most significant first, without byte stuffing: whole 64-bit words,
// then `tailBits` bits in the low bits of `tail`.
class BandBits {
  public:
    void Reset() {
        count_ = 0;
        accumulator_ = 0;
        free_ = 64;
    }

    void EnsureRoom(size_t words) {
        if (words_.size() - count_ < words) {
            words_.resize(std::max(2 * words_.size(), count_ + words));
        }
    }

    // As BitWriter::Put.
    void Put(uint32_t bits, unsigned count) {
        if (count < free_) {
            accumulator_ = (accumulator_ << count) | bits;
            free_ -= count;
            return;
        }
        const unsigned rest = count - free_;
        words_[count_++] = (accumulator_ << free_) | (bits >> rest);
        accumulator_ = bits;
        free_ = 64 - rest;
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

// Words one MCU can need: each of its blocks is sent in at most 64 Puts of up to 27 bits.
constexpr size_t kMaxWordsPerMcu = kComponents * (64 * 27 / 64 + 2);

inline void PutSymbol(BandBits& bits, const HuffmanTable& table, unsigned symbol, uint32_t extra,
                      unsigned extraCount) {
    bits.Put((static_cast<uint32_t>(table.code[symbol]) << extraCount) | extra,
             table.length[symbol] + extraCount);
}

void EncodeBlock(BandBits& bits, const int16_t* block, int& predictor, const HuffmanTable& dc,
                 const HuffmanTable& ac) {
    const int diff = block[0] - predictor;
    predictor = block[0];
    const unsigned dcCategory = Category(diff);
    PutSymbol(bits, dc, dcCategory, ExtraBits(diff, dcCategory), dcCategory);

    uint64_t nonzero = NonzeroMask(block) & ~uint64_t{1};
    unsigned last = 0;
    while (nonzero != 0) {
        const auto k = static_cast<unsigned>(std::countr_zero(nonzero));
        nonzero &= nonzero - 1;
        unsigned run = k - last - 1;
        for (; run > 15; run -= 16) {
            PutSymbol(bits, ac, kZrl, 0, 0);
        }
        const int value = block[k];
        const unsigned category = Category(value);
        PutSymbol(bits, ac, 16 * run + category, ExtraBits(value, category), category);
        last = k;
    }
    if (last != 63) {
        PutSymbol(bits, ac, kEob, 0, 0);
    }
}

void CodeBand(const RowSource& picture, const Geometry& geometry, const BlockTables& tables,
              BlockTransform transform, const EntropyTables& entropy, size_t band,
              const int* startPredictors, Strip& strip, BandBits& bits) {
    alignas(32) int16_t blocks[kComponents * kBlockSize];
    int predictor[kComponents] = {startPredictors[0], startPredictors[1], startPredictors[2]};
    bits.Reset();
    for (size_t blockRow = geometry.FirstBlockRow(band); blockRow < geometry.EndBlockRow(band);
         ++blockRow) {
        strip.Read(picture, geometry, blockRow);
        for (size_t column = 0; column < geometry.blocksAcross; ++column) {
            transform(strip.data(), geometry.paddedWidth, column, tables, blocks);
            bits.EnsureRoom(kMaxWordsPerMcu);
            EncodeBlock(bits, blocks, predictor[kY], entropy.dc[0], entropy.ac[0]);
            EncodeBlock(bits, blocks + kBlockSize, predictor[kCb], entropy.dc[1], entropy.ac[1]);
            EncodeBlock(bits, blocks + 2 * kBlockSize, predictor[kCr], entropy.dc[1],
                        entropy.ac[1]);
        }
    }
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
    const int threads = std::min<int>(ThreadsFor(picture.width * picture.height, kPixelsPerThread),
                                      static_cast<int>(std::min<size_t>(geometry.bands, 16)));

    // First pass: statistics.
    std::vector<BandEnds> ends(geometry.bands);
    std::vector<Statistics> perThread(static_cast<size_t>(threads));
    std::atomic<size_t> nextBand{0};
    std::atomic<bool> stop{false};
    RunGuarded(threads, stop, [&](int t) {
        Strip strip(geometry);
        Statistics& stats = perThread[static_cast<size_t>(t)];
        for (size_t band = nextBand++; band < geometry.bands && !stop.load(); band = nextBand++) {
            CountBand(picture, geometry, tables, transform, band, strip, stats, ends[band]);
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
            const int above = band == 0 ? 0 : ends[band - 1].last[c];
            SymbolCounts& dc = total.dc[c == kY ? 0 : 1];
            --dc[Category(ends[band].first[c])];
            ++dc[Category(ends[band].first[c] - above)];
        }
    }
    EntropyTables entropy;
    for (size_t t = 0; t < 2; ++t) {
        entropy.dc[t] = GenerateOptimalTable(total.dc[t]);
        entropy.ac[t] = GenerateOptimalTable(total.ac[t]);
    }

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
        Strip strip(geometry);
        for (size_t band = nextBand++; band < geometry.bands && !stop.load(); band = nextBand++) {
            static constexpr int kZero[kComponents] = {0, 0, 0};
            const int* start = band == 0 ? kZero : ends[band - 1].last;
            std::unique_ptr<BandBits> bits = joiner.Take();
            CodeBand(picture, geometry, tables, transform, entropy, band, start, strip, *bits);
            joiner.Finished(band, std::move(bits));
        }
    });
    joiner.Finish();

    Bytes eoi;
    WriteEoi(eoi);
    sink(eoi.data(), eoi.size());
}

}  // namespace k3v::jpeg
