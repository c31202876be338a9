#include "output/jpeg/picture_transform.h"

#include <vector>

#include "output/jpeg/forward_dct.h"

namespace k3v::jpeg {

void TransformPicture(const DibPicture& picture, const QuantTables& tables,
                      CoefficientPlanes& planes) {
    const size_t paddedWidth = 8 * planes.blocksAcross;
    std::vector<uint8_t> strip(8 * 3 * paddedWidth);
    alignas(32) float y[64];
    alignas(32) float cb[64];
    alignas(32) float cr[64];

    size_t blockIndex = 0;
    for (size_t blockRow = 0; blockRow < planes.blocksDown; ++blockRow) {
        ReadStrip(picture, blockRow, paddedWidth, strip.data());
        for (size_t blockColumn = 0; blockColumn < planes.blocksAcross; ++blockColumn) {
            ConvertBlock(strip.data(), paddedWidth, blockColumn, y, cb, cr);
            ForwardDct(y);
            ForwardDct(cb);
            ForwardDct(cr);
            QuantizeBlock(y, tables.lumaNatural, planes.Block(blockIndex, kY));
            QuantizeBlock(cb, tables.chromaNatural, planes.Block(blockIndex, kCb));
            QuantizeBlock(cr, tables.chromaNatural, planes.Block(blockIndex, kCr));
            ++blockIndex;
        }
    }
}

}  // namespace k3v::jpeg
