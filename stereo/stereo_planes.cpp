#include "stereo/stereo_planes.h"

#include <string>
#include <utility>

#include "base/memory_probe.h"

namespace k3v {

Status StereoPlanes::allocate(int32_t width, int32_t height) {
    StereoPlanes fresh;
    for (PixelPlane* plane : {&fresh.SourceImage1, &fresh.SourceImage2, &fresh.FirstView,
                              &fresh.SecondView, &fresh.DecodedImage1, &fresh.DecodedImage2}) {
        if (Status allocated = plane->allocate(width, height); !allocated) {
            return Status::Error(MemoryShortageMessage(width, height, 6));
        }
    }
    fresh.SourceWidth = width;
    fresh.SourceHeight = height;
    *this = std::move(fresh);
    return Status::Ok();
}

Status MakePlaceholderPlanes(StereoPlanes& planes) {
    return planes.allocate(kPlaceholderWidth, kPlaceholderHeight);
}

Status InstallFirstPicture(StereoPlanes& planes, PixelPlane&& picture) {
    const int32_t width = picture.width();
    const int32_t height = picture.height();
    if (picture.empty()) {
        return Status::Error("the picture has no pixels");
    }
    // The decoded picture is already in memory; five more planes of its size are needed.
    if (Status fits = CheckPlanesFit(width, height, 5); !fits) {
        return fits;
    }
    StereoPlanes fresh;
    for (PixelPlane* plane : {&fresh.SourceImage1, &fresh.SourceImage2, &fresh.FirstView,
                              &fresh.SecondView, &fresh.DecodedImage2}) {
        if (Status allocated = plane->allocate(width, height); !allocated) {
            return Status::Error(MemoryShortageMessage(width, height, 5));
        }
    }
    fresh.SourceImage1.copyFrom(picture);
    fresh.DecodedImage1 = std::move(picture);
    fresh.SourceWidth = width;
    fresh.SourceHeight = height;
    planes = std::move(fresh);
    return Status::Ok();
}

Status InstallSecondPicture(StereoPlanes& planes, PixelPlane&& picture) {
    if (planes.SourceWidth == 0 || planes.SourceHeight == 0) {
        return Status::Error("You must load first panorama, then load second panorama");
    }
    if (picture.width() != planes.SourceWidth || picture.height() != planes.SourceHeight) {
        return Status::Error("You need to use both panoramas with the same size!\r\nPanorama.1: " +
                             std::to_string(planes.SourceWidth) + "x" +
                             std::to_string(planes.SourceHeight) +
                             "\r\nPanorama.2: " + std::to_string(picture.width()) + "x" +
                             std::to_string(picture.height()));
    }
    PixelPlane working;
    if (Status allocated = working.allocate(picture.width(), picture.height()); !allocated) {
        return Status::Error(MemoryShortageMessage(picture.width(), picture.height(), 1));
    }
    working.copyFrom(picture);
    planes.SourceImage2 = std::move(working);
    planes.DecodedImage2 = std::move(picture);
    return Status::Ok();
}

}  // namespace k3v
