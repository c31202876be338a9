#pragma once
// Reads the photo information that a picture file carries, for the outputs to keep
// (base/photo_metadata.h), with Exiv2: the Exif block from JPEG, PNG, TIFF, WebP and the other
// formats Exiv2 knows, and the ICC colour profile. The Exif block is written anew for a JPEG:
// orientation 1, since the decoder has turned the pixels upright already; no thumbnail, which
// shows the photo, not the stereo image; none of the tags that describe a TIFF file's own
// pixels and strips. Exiv2 itself leaves out its largest tags when the block would not fit in a
// JPEG segment.

#include <string>

#include "base/photo_metadata.h"

namespace k3v {

struct PhotoMetadataRead {
    PhotoMetadata metadata;
    // What the picture carries but the outputs cannot, and why, naming the file; empty when
    // all is kept (or there is nothing to keep).
    std::string note;
};

// Never fails: a picture whose information cannot be read still converts, without it. A file
// of a format that carries no such information gives neither metadata nor a note.
PhotoMetadataRead ReadPhotoMetadata(const std::string& path);

}  // namespace k3v
