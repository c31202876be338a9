#include "stereo/stereo_planes.h"

#include <new>
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

std::string PairSizeMismatch(int32_t width, int32_t height, int32_t secondWidth,
                             int32_t secondHeight) {
    return "You need to use both panoramas with the same size!\r\nPanorama.1: " +
           std::to_string(width) + "x" + std::to_string(height) +
           "\r\nPanorama.2: " + std::to_string(secondWidth) + "x" + std::to_string(secondHeight);
}

std::string DepthMapSizeMismatch(int32_t width, int32_t height, int32_t mapWidth,
                                 int32_t mapHeight) {
    return "the depth map has " + std::to_string(mapWidth) + " x " + std::to_string(mapHeight) +
           " pixels, the picture " + std::to_string(width) + " x " + std::to_string(height);
}

Status MakePlaceholderPlanes(StereoPlanes& planes) {
    return planes.allocate(kPlaceholderWidth, kPlaceholderHeight);
}

Status InstallFirstPicture(StereoPlanes& planes, PixelPlane&& picture, WorkingCopy copy) {
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
    if (copy == WorkingCopy::Filled) {
        fresh.SourceImage1.copyFrom(picture);
    }
    fresh.DecodedImage1 = std::move(picture);
    fresh.SourceWidth = width;
    fresh.SourceHeight = height;
    if (planes.SourceWidth == width && planes.SourceHeight == height) {
        fresh.DepthMap = std::move(planes.DepthMap);
    }
    planes = std::move(fresh);
    return Status::Ok();
}

Status InstallSecondPicture(StereoPlanes& planes, PixelPlane&& picture, WorkingCopy copy) {
    if (planes.SourceWidth == 0 || planes.SourceHeight == 0) {
        return Status::Error("You must load first panorama, then load second panorama");
    }
    if (picture.width() != planes.SourceWidth || picture.height() != planes.SourceHeight) {
        return Status::Error(PairSizeMismatch(planes.SourceWidth, planes.SourceHeight,
                                              picture.width(), picture.height()));
    }
    PixelPlane working;
    if (Status allocated = working.allocate(picture.width(), picture.height()); !allocated) {
        return Status::Error(MemoryShortageMessage(picture.width(), picture.height(), 1));
    }
    if (copy == WorkingCopy::Filled) {
        working.copyFrom(picture);
    }
    planes.SourceImage2 = std::move(working);
    planes.DecodedImage2 = std::move(picture);
    return Status::Ok();
}

Status InstallDepthMap(StereoPlanes& planes, const PixelPlane& map) {
    if (map.width() != planes.SourceWidth || map.height() != planes.SourceHeight) {
        return Status::Error(DepthMapSizeMismatch(planes.SourceWidth, planes.SourceHeight,
                                                  map.width(), map.height()));
    }
    std::vector<uint8_t> depth;
    try {
        depth.resize(map.pixelCount());
    } catch (const std::bad_alloc&) {
        return Status::Error(MemoryShortageMessage(map.width(), map.height(), 1));
    }
    const uint32_t* pixels = map.data();
    for (size_t i = 0; i < depth.size(); ++i) {
        depth[i] = uint8_t(Luma(pixels[i]));
    }
    planes.DepthMap = std::move(depth);
    return Status::Ok();
}

}  // namespace k3v
