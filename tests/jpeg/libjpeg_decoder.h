#pragma once
// Decodes the encoder's files with libjpeg, an independent decoder: to RGB pixels, and to the
// quantised DCT coefficients and quantisation tables as stored in the file. A libjpeg error
// or warning (corrupt data, premature end) counts as failure.

#include <jpeglib.h>

#include <array>
#include <csetjmp>
#include <cstdint>
#include <string>
#include <vector>

namespace k3v::jpeg::testing {

struct LibjpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
};

inline void OnLibjpegError(j_common_ptr info) {
    auto* error = reinterpret_cast<LibjpegError*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

struct DecodedPicture {
    bool ok = false;
    std::string error;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // top row first, 3 bytes per pixel
};

inline DecodedPicture DecodePixels(const std::vector<uint8_t>& file) {
    DecodedPicture result;
    jpeg_decompress_struct info{};
    LibjpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = OnLibjpegError;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        result.ok = false;
        result.error = error.message;
        return result;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    info.dct_method = JDCT_FLOAT;
    jpeg_start_decompress(&info);
    result.width = static_cast<int>(info.output_width);
    result.height = static_cast<int>(info.output_height);
    result.rgb.resize(static_cast<size_t>(result.width) * result.height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row =
            result.rgb.data() + static_cast<size_t>(info.output_scanline) * result.width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    result.ok = error.manager.num_warnings == 0;
    if (!result.ok)
        result.error = "libjpeg reported warnings";
    jpeg_destroy_decompress(&info);
    return result;
}

struct DecodedCoefficients {
    bool ok = false;
    std::string error;
    int components = 0;
    int componentIds[3] = {};
    int sampling[3] = {};  // h << 4 | v
    size_t blocksAcross = 0;
    size_t blocksDown = 0;
    // [component][block in raster order][natural (row-major) index]
    std::vector<std::vector<std::array<int16_t, 64>>> blocks;
    std::array<std::array<uint16_t, 64>, 3> quant{};  // natural order, per component
};

inline DecodedCoefficients DecodeCoefficients(const std::vector<uint8_t>& file) {
    DecodedCoefficients result;
    jpeg_decompress_struct info{};
    LibjpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = OnLibjpegError;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        result.ok = false;
        result.error = error.message;
        return result;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&info, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
    result.components = info.num_components;
    result.blocks.resize(static_cast<size_t>(info.num_components));
    for (int c = 0; c < info.num_components && c < 3; ++c) {
        const jpeg_component_info& comp = info.comp_info[c];
        result.componentIds[c] = comp.component_id;
        result.sampling[c] = comp.h_samp_factor << 4 | comp.v_samp_factor;
        result.blocksAcross = comp.width_in_blocks;
        result.blocksDown = comp.height_in_blocks;
        for (int i = 0; i < 64; ++i)
            result.quant[c][i] = comp.quant_table->quantval[i];
        for (JDIMENSION by = 0; by < comp.height_in_blocks; ++by) {
            JBLOCKARRAY rows = (*info.mem->access_virt_barray)(
                reinterpret_cast<j_common_ptr>(&info), arrays[c], by, 1, FALSE);
            for (JDIMENSION bx = 0; bx < comp.width_in_blocks; ++bx) {
                std::array<int16_t, 64> block;
                for (int i = 0; i < 64; ++i)
                    block[i] = rows[0][bx][i];
                result.blocks[c].push_back(block);
            }
        }
    }
    jpeg_finish_decompress(&info);
    result.ok = error.manager.num_warnings == 0;
    if (!result.ok)
        result.error = "libjpeg reported warnings";
    jpeg_destroy_decompress(&info);
    return result;
}

}  // namespace k3v::jpeg::testing
