#pragma once
// The encoder as it runs for a save: the picture is read row by row, never held whole, and the
// file leaves in order through a sink, never assembled in memory.
//
// Optimised Huffman tables need the statistics of every block before the first code is sent,
// so there are two passes. The first transforms the picture and finds its symbols (run/size
// or category with the additional bits), counting them and keeping them compactly (3 bytes
// each) up to a memory limit; the second looks up the codes of the kept symbols and
// transforms again only the bands that were not kept (the transform is deterministic, so
// both give the same symbols). Keeping every coefficient instead would cost 6 bytes per pixel.
//
// Both passes split the picture into bands of block rows that the threads take in turn. In
// the first pass each thread counts into its own tables, summed at the end (the DC difference
// at the top of a band is fixed up once the band above is known). In the second pass each band
// is coded into its own bit string, without byte stuffing, starting from the DC values the
// first pass recorded at the end of the band above; the bit strings are joined in band order
// into the one stuffed scan as soon as the band before is done, so only a few bands are ever
// held. The bytes are exactly those of coding the whole scan in one go.

#include <cstdint>

#include "base/progress.h"
#include "output/jpeg/jpeg_encoder.h"

namespace k3v::jpeg {

// The first pass keeps the symbols it finds (3 bytes each) for the second while they take at
// most this many bytes per pixel of the picture; later bands are transformed again. Photos
// at quality 100 give one to two symbols per pixel (the benchmark's textured picture 1.7),
// noise up to three. A side-by-side save of two W x H views has 2W x H pixels, so this is at
// most 2.75 planes' worth of 4-byte pixels.
inline constexpr double kKeptBytesPerPixel = 5.5;

// Writes the whole JFIF file (width and height 1..65535, checked by the caller) to `sink` and
// returns true. Throws std::bad_alloc when memory runs out (in any thread), and passes on what
// the rows or the sink throw, after all threads stopped; whatever was sent to the sink by then
// is incomplete. The functions of jpeg_encoder.h turn that into a Status. The bytes do not
// depend on `keptBytesPerPixel` (tests set it to 0 and to a lot to check both ways).
//
// Reports the block rows done to `progress` as each band is finished, and polls it between
// bands: once it is cancelled, every thread stops after its band and false is returned, the
// file in the sink incomplete.
bool EncodeStreaming(const JpegRows& picture, int32_t quality, const JpegSink& sink,
                     double keptBytesPerPixel = kKeptBytesPerPixel, const Progress& progress = {});

}  // namespace k3v::jpeg
