#pragma once
// The encoder as it runs for a save: the picture is read row by row, never held whole, and the
// file leaves in order through a sink, never assembled in memory.
//
// Optimised Huffman tables need the statistics of every block before the first code is sent,
// so there are two passes, and every row is read once, in the first. The first pass transforms
// the picture and finds its symbols (run/size or category with the additional bits), counts
// them and keeps them all: plain (3 bytes each, the fastest to code again) up to a fixed
// amount of memory, and beyond that coded with the fixed example tables of T.81 Annex K
// (kept_symbols.h), in about the room of the finished scan (a tenth to two fifths more).
// The second pass codes each band's symbols with the optimised tables, reading back those
// coded with the fixed ones. Memory thus grows with the size of the coded picture, not with
// its pixels. Keeping every coefficient instead would cost 6 bytes per pixel.
//
// Both passes split the picture into bands of block rows (8 picture rows each) that the
// threads take in turn, from the top. In the first pass each thread counts into its own
// tables, summed at the end (the DC difference at the top of a band is fixed up once the band
// above is known). In the second pass each band is coded into its own bit string, without byte
// stuffing, starting from the DC values the first pass recorded at the end of the band above;
// the bit strings are joined in band order into the one stuffed scan as soon as the band
// before is done, so only a few bands are ever held. The bytes are exactly those of coding the
// whole scan in one go.

#include <cstddef>
#include <cstdint>

#include "base/progress.h"
#include "output/jpeg/jpeg_encoder.h"

namespace k3v::jpeg {

// The first pass keeps symbols plain while they take at most this many bytes: 89 million
// symbols, more than a 24-megapixel photo has at quality 100 (about two per pixel). Plain
// symbols take two to five times the room of coded ones, but a picture whose bands are all
// read back coded costs a fifth to two thirds more work to encode.
inline constexpr size_t kPlainSymbolBytes = size_t{256} << 20;

// Writes the whole JFIF file (width and height 1..65535, checked by the caller) to `sink` and
// returns true. Throws std::bad_alloc when memory runs out (in any thread), and passes on what
// the rows or the sink throw, after all threads stopped; whatever was sent to the sink by then
// is incomplete. The functions of jpeg_encoder.h turn that into a Status. Rows are read as
// JpegRows promises: each once, in bands from the top. The bytes do not depend on
// `plainSymbolBytes` (tests set it to 0 and to a lot to check both ways).
//
// Reports the block rows done to `progress` as each band is finished, and polls it between
// bands: once it is cancelled, every thread stops after its band and false is returned, the
// file in the sink incomplete.
bool EncodeStreaming(const JpegRows& picture, int32_t quality, const JpegSink& sink,
                     size_t plainSymbolBytes = kPlainSymbolBytes, const Progress& progress = {});

}  // namespace k3v::jpeg
