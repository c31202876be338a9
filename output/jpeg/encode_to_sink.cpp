#include "output/jpeg/encode_to_sink.h"

#include <exception>
#include <new>
#include <stdexcept>

#include "output/jpeg/streaming_encoder.h"

namespace k3v::jpeg {

namespace {

// SOF0 holds width and height in 16 bits each.
constexpr int32_t kMaxDimension = 65535;

std::string SizeText(int64_t width, int64_t height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

}  // namespace

std::optional<std::string> SizeRefusal(int64_t width, int64_t height) {
    if (width < 1 || height < 1) {
        return "the picture has no pixels (" + SizeText(width, height) + ")";
    }
    if (width > kMaxDimension || height > kMaxDimension) {
        return "the picture is " + SizeText(width, height) +
               "; a JPEG file holds at most 65535 pixels in each direction";
    }
    return std::nullopt;
}

Status EncodeToSink(const JpegRows& rows, int32_t quality, const JpegSink& sink,
                    const Progress& progress, const FailureWording& failure) {
    if (std::optional<std::string> refused = SizeRefusal(rows.width, rows.height)) {
        return failure(*refused);
    }
    // Whatever the encoder throws (in any thread, rethrown once all stopped) ends here.
    try {
        if (!EncodeStreaming(rows, quality, sink, kPlainSymbolBytes, progress)) {
            return Status::Cancelled();
        }
    } catch (const std::bad_alloc&) {
        return failure("not enough memory to encode a picture of " +
                       SizeText(rows.width, rows.height));
    } catch (const std::length_error&) {  // a vector asked for more than it can hold
        return failure("not enough memory to encode a picture of " +
                       SizeText(rows.width, rows.height));
    } catch (const std::exception& e) {  // from the caller's rows or sink
        return failure(std::string("the encoder stopped: ") + e.what());
    } catch (...) {
        return failure("the encoder stopped");
    }
    return Status::Ok();
}

}  // namespace k3v::jpeg
