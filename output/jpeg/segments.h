#pragma once
// The marker segments of a baseline JFIF file, one function each, appending to the file being
// assembled, and the one order in which this encoder writes them. Length fields are big-endian
// and count themselves but not the marker.

#include <cstdint>
#include <string_view>
#include <vector>

#include "output/jpeg/huffman.h"
#include "output/jpeg/quantization.h"

namespace k3v::jpeg {

using Bytes = std::vector<uint8_t>;

void WriteSoi(Bytes& out);
void WriteApp0(Bytes& out);
// Nothing is written for an empty text.
void WriteComment(Bytes& out, std::string_view text);
void WriteDqt(Bytes& out, unsigned tableNumber, const QuantTable& table);
// Y, Cb, Cr, each sampled 1x1; Y uses quantisation table 0, Cb and Cr table 1.
void WriteSof0(Bytes& out, uint16_t width, uint16_t height);
// tableClass 0 for DC, 1 for AC.
void WriteDht(Bytes& out, unsigned tableClass, unsigned tableNumber, const HuffmanTable& table);
// One interleaved scan of Y (tables 0) and Cb, Cr (tables 1), all 64 coefficients.
void WriteSos(Bytes& out);
void WriteEoi(Bytes& out);

// The maker line, CR LF, and the encoder's credit: the COM segment of every file.
inline constexpr std::string_view kComment =
    "Quorvex Inc.\r\nBaseline JPEG encoder by the Quorvex K3V team";

// Everything before the entropy-coded data: SOI, APP0, COM with kComment, DQT of both tables,
// SOF0, DHT of the four tables (luminance DC, AC, then chrominance DC, AC) and SOS. The file
// then ends with the scan and EOI.
void WriteHeaders(Bytes& out, const QuantTables& quant, const EntropyTables& entropy,
                  uint16_t width, uint16_t height);

}  // namespace k3v::jpeg
