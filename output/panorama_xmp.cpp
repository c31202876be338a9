#include "output/panorama_xmp.h"

#include <cstring>
#include <string>

namespace k3v {

bool IsFullSpherePicture(int64_t width, int64_t height) {
    return height > 0 && width == 2 * height;
}

std::vector<uint8_t> PanoramaXmpSegment(int64_t width, int64_t height) {
    const std::string w = std::to_string(width);
    const std::string h = std::to_string(height);
    auto tag = [](const std::string& name, const std::string& value) {
        return "   <GPano:" + name + ">" + value + "</GPano:" + name + ">\n";
    };
    const std::string packet =
        "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
        " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
        "  <rdf:Description rdf:about=\"\"\n"
        "    xmlns:GPano=\"http://ns.google.com/photos/1.0/panorama/\">\n" +
        tag("ProjectionType", "equirectangular") + tag("FullPanoWidthPixels", w) +
        tag("FullPanoHeightPixels", h) + tag("CroppedAreaImageWidthPixels", w) +
        tag("CroppedAreaImageHeightPixels", h) + tag("CroppedAreaLeftPixels", "0") +
        tag("CroppedAreaTopPixels", "0") +
        "  </rdf:Description>\n"
        " </rdf:RDF>\n"
        "</x:xmpmeta>\n"
        "<?xpacket end=\"w\"?>";
    const std::string body = std::string("http://ns.adobe.com/xap/1.0/") + '\0' + packet;
    const size_t length = 2 + body.size();  // always far below 65536
    std::vector<uint8_t> segment(2 + length);
    segment[0] = 0xFF;
    segment[1] = 0xE1;
    segment[2] = uint8_t(length >> 8);
    segment[3] = uint8_t(length & 0xFF);
    std::memcpy(segment.data() + 4, body.data(), body.size());
    return segment;
}

}  // namespace k3v
