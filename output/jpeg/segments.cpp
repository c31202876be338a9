#include "output/jpeg/segments.h"

namespace k3v::jpeg {

namespace {

void Put16(Bytes& out, size_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void PutMarker(Bytes& out, uint8_t marker) {
    out.push_back(0xFF);
    out.push_back(marker);
}

}  // namespace

void WriteSoi(Bytes& out) {
    PutMarker(out, 0xD8);
}

void WriteApp0(Bytes& out) {
    PutMarker(out, 0xE0);
    Put16(out, 16);                                     // length
    out.insert(out.end(), {'J', 'F', 'I', 'F', 0x00});  // identifier
    out.insert(out.end(), {0x01, 0x01});                // JFIF version 1.01
    out.push_back(0x00);                                // density units: none, aspect ratio only
    Put16(out, 1);                                      // X density
    Put16(out, 1);                                      // Y density
    out.push_back(0x00);                                // thumbnail width
    out.push_back(0x00);                                // thumbnail height
}

void WriteComment(Bytes& out, std::string_view text) {
    if (text.empty()) {
        return;
    }
    PutMarker(out, 0xFE);
    Put16(out, text.size() + 2);
    out.insert(out.end(), text.begin(), text.end());
}

void WriteDqt(Bytes& out, unsigned tableNumber, const QuantTable& table) {
    PutMarker(out, 0xDB);
    Put16(out, 2 + 1 + 64);
    out.push_back(static_cast<uint8_t>(tableNumber));   // precision 0 (8-bit) | table number
    out.insert(out.end(), table.begin(), table.end());  // zig-zag order
}

void WriteSof0(Bytes& out, uint16_t width, uint16_t height) {
    PutMarker(out, 0xC0);
    Put16(out, 8 + 3 * 3);  // length
    out.push_back(8);       // sample precision
    Put16(out, height);     // as given, not rounded up to whole blocks
    Put16(out, width);
    out.push_back(3);  // components
    // identifier, sampling factors H << 4 | V, quantisation table
    out.insert(out.end(), {0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01});
}

void WriteDht(Bytes& out, unsigned tableClass, unsigned tableNumber, const HuffmanTable& table) {
    PutMarker(out, 0xC4);
    Put16(out, 2 + 1 + 16 + table.symbolCount);
    out.push_back(static_cast<uint8_t>(tableClass << 4 | tableNumber));
    out.insert(out.end(), table.bits.begin() + 1, table.bits.end());  // BITS[1..16]
    out.insert(out.end(), table.huffval.begin(), table.huffval.begin() + table.symbolCount);
}

void WriteSos(Bytes& out) {
    PutMarker(out, 0xDA);
    Put16(out, 6 + 2 * 3);  // length
    out.push_back(3);       // components in the scan
    // identifier, DC table << 4 | AC table
    out.insert(out.end(), {0x01, 0x00, 0x02, 0x11, 0x03, 0x11});
    out.push_back(0x00);  // start of spectral selection
    out.push_back(0x3F);  // end of spectral selection
    out.push_back(0x00);  // successive approximation
}

void WriteEoi(Bytes& out) {
    PutMarker(out, 0xD9);
}

void WriteHeaders(Bytes& out, const QuantTables& quant, const EntropyTables& entropy,
                  uint16_t width, uint16_t height) {
    WriteSoi(out);
    WriteApp0(out);
    WriteComment(out, kComment);
    WriteDqt(out, 0, quant.luma);
    WriteDqt(out, 1, quant.chroma);
    WriteSof0(out, width, height);
    WriteDht(out, 0, 0, entropy.dc[0]);
    WriteDht(out, 1, 0, entropy.ac[0]);
    WriteDht(out, 0, 1, entropy.dc[1]);
    WriteDht(out, 1, 1, entropy.ac[1]);
    WriteSos(out);
}

}  // namespace k3v::jpeg
